// Named mutexes (recursive, abandoned by a killed owner), named events, the
// wait on a mutex and an event together, stop semaphores and eventfd events.
#include "child_support.h"
#include "zulos.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

TEST(Sync, MutexIsRecursiveAndAbandonedByAKilledOwner) {
  std::string name = unique("mtx_abandon");
  zulos_mutex m;
  ASSERT_EQ(ZULOS_OK, zulos_mutex_create(name.c_str(), &m));
  EXPECT_EQ(ZULOS_WAIT_ACQUIRED, zulos_mutex_lock(&m, ZULOS_INFINITE));
  EXPECT_EQ(ZULOS_WAIT_ACQUIRED, zulos_mutex_lock(&m, 0)) << "the owner takes it again";
  EXPECT_EQ(0, zulos_mutex_unlock(&m));
  EXPECT_EQ(0, zulos_mutex_unlock(&m));
  EXPECT_EQ(-1, zulos_mutex_unlock(&m)) << "not held";

  zulos_process p;
  ASSERT_TRUE(start_ready("hold-mutex", name, &p));
  EXPECT_EQ(ZULOS_WAIT_TIMEOUT, zulos_mutex_lock(&m, 50));
  kill(p.pid, SIGKILL);
  EXPECT_EQ(ZULOS_WAIT_ABANDONED, zulos_mutex_lock(&m, 10000));
  EXPECT_EQ(0, zulos_mutex_unlock(&m));
  EXPECT_EQ(ZULOS_WAIT_ACQUIRED, zulos_mutex_lock(&m, 0)) << "consistent again";
  EXPECT_EQ(0, zulos_mutex_unlock(&m));
  zulos_process_wait(&p, 10000);
  zulos_process_close(&p);
  zulos_mutex_close(&m);
  zulos_mutex other;
  EXPECT_EQ(ZULOS_NOT_FOUND, zulos_mutex_open(name.c_str(), &other)) << "the creator's close removes the name";
}

TEST(Sync, EventsManualAndAutomatic) {
  std::string name = unique("evt");
  zulos_event manual, autom;
  ASSERT_EQ(ZULOS_OK, zulos_event_create((name + "_m").c_str(), 1, 1, &manual));
  ASSERT_EQ(ZULOS_OK, zulos_event_create((name + "_a").c_str(), 0, 0, &autom));
  EXPECT_EQ(ZULOS_WAIT_ACQUIRED, zulos_event_wait(&manual, 0));
  EXPECT_EQ(ZULOS_WAIT_ACQUIRED, zulos_event_wait(&manual, 0)) << "manual reset stays signalled";
  zulos_event_reset(&manual);
  EXPECT_EQ(ZULOS_WAIT_TIMEOUT, zulos_event_wait(&manual, 20));
  EXPECT_EQ(ZULOS_WAIT_TIMEOUT, zulos_event_wait(&autom, 20));
  std::thread setter([&] {
    zulos_sleep_ms(50);
    zulos_event_set(&autom);
  });
  EXPECT_EQ(ZULOS_WAIT_ACQUIRED, zulos_event_wait(&autom, 5000));
  setter.join();
  EXPECT_EQ(ZULOS_WAIT_TIMEOUT, zulos_event_wait(&autom, 0)) << "an automatic event is consumed";
  zulos_event_close(&manual);
  zulos_event_close(&autom);
}

TEST(Sync, WaitAllTakesTheMutexOnlyOnceTheEventIsSet) {
  std::string name = unique("wall");
  zulos_mutex m;
  zulos_event e;
  ASSERT_EQ(ZULOS_OK, zulos_mutex_create(name.c_str(), &m));
  ASSERT_EQ(ZULOS_OK, zulos_event_create(name.c_str(), 1, 0, &e));
  EXPECT_EQ(ZULOS_WAIT_TIMEOUT, zulos_wait_all(&m, &e, 50));
  std::atomic<bool> set{false};
  std::thread reader([&] {
    zulos_sleep_ms(100);
    zulos_mutex_lock(&m, ZULOS_INFINITE);
    set = true;
    zulos_event_set(&e);
    zulos_mutex_unlock(&m);
  });
  EXPECT_EQ(ZULOS_WAIT_ACQUIRED, zulos_wait_all(&m, &e, 5000));
  EXPECT_TRUE(set.load());
  EXPECT_EQ(0, zulos_mutex_unlock(&m));
  reader.join();
  zulos_event_close(&e);
  zulos_mutex_close(&m);
}

TEST(Sync, SemaphoreKeepsItsMaximumAndSweepTakesDeadOnes) {
  std::string name = unique("sem");
  zulos_nsem s, o;
  ASSERT_EQ(ZULOS_OK, zulos_nsem_create(name.c_str(), 0, 1, 0600, &s));
  ASSERT_EQ(ZULOS_OK, zulos_nsem_open(name.c_str(), &o));
  EXPECT_EQ(ZULOS_WAIT_TIMEOUT, zulos_nsem_wait(&o, 20));
  EXPECT_EQ(0, zulos_nsem_release(&s));
  EXPECT_EQ(-1, zulos_nsem_release(&s)) << "maximum 1";
  EXPECT_EQ(ZULOS_WAIT_ACQUIRED, zulos_nsem_wait(&o, 0));
  zulos_nsem_close(&o);
  zulos_nsem_close(&s);
  EXPECT_EQ(0, zulos_nsem_unlink(name.c_str()));
  EXPECT_FALSE(zulos_nsem_exists(name.c_str()));

  // A name of a process that no longer runs, and one of ours.
  std::string prefix = unique("zul_sweep") + "_";
  zulos_process p;
  const char* argv[] = {kChild.c_str(), "exit", "0", nullptr};
  zulos_spawn_spec spec = {kChild.c_str(), argv, -1};
  ASSERT_EQ(0, zulos_spawn(&spec, &p));
  zulos_process_wait(&p, 10000);
  int dead = p.pid;
  zulos_process_close(&p);
  std::string dead_name = prefix + std::to_string(dead) + "_1";
  std::string live_name = prefix + std::to_string(getpid()) + "_1";
  ASSERT_EQ(ZULOS_OK, zulos_nsem_create(dead_name.c_str(), 0, 1, 0600, &s));
  zulos_nsem_close(&s);
  ASSERT_EQ(ZULOS_OK, zulos_nsem_create(live_name.c_str(), 0, 1, 0600, &s));
  zulos_nsem_close(&s);
  EXPECT_EQ(1, zulos_nsem_sweep(prefix.c_str()));
  EXPECT_FALSE(zulos_nsem_exists(dead_name.c_str()));
  EXPECT_TRUE(zulos_nsem_exists(live_name.c_str()));
  zulos_nsem_unlink(live_name.c_str());
}

TEST(Sync, EventfdIsAutoResetAndPollable) {
  zulos_evfd e;
  ASSERT_EQ(0, zulos_evfd_create(&e));
  EXPECT_EQ(ZULOS_WAIT_TIMEOUT, zulos_evfd_wait(&e, 10));
  zulos_evfd_set(&e);
  zulos_evfd_set(&e);
  EXPECT_EQ(0, zulos_wait_any(&e.fd, 1, 0));
  EXPECT_EQ(ZULOS_WAIT_ACQUIRED, zulos_evfd_wait(&e, 0));
  EXPECT_EQ(ZULOS_WAIT_TIMEOUT, zulos_evfd_wait(&e, 0)) << "one wait consumes every set";
  zulos_evfd_close(&e);
}
