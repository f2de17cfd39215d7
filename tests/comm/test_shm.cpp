// The shared-memory channel between two processes: every item round-trips
// (the socket channel's item tables), large items cross in chunks and small
// reads continue inside a chunk, hostile sizes are refused with the channel
// in step, and a peer that dies mid-exchange gives a status, not a hang.
#include <gtest/gtest.h>
#include <signal.h>

// The item tables live with the socket channel's tests; they are compiled
// here with that file's own tests left out.
#pragma push_macro("TEST")
#pragma push_macro("TEST_P")
#pragma push_macro("INSTANTIATE_TEST_SUITE_P")
#undef TEST
#undef TEST_P
#undef INSTANTIATE_TEST_SUITE_P
#define TEST(suite, name) [[maybe_unused]] static void suite##_##name##_elsewhere()
#define TEST_P(suite, name)                                    \
  struct suite##_##name##_elsewhere : suite { void body(); }; \
  [[maybe_unused]] void suite##_##name##_elsewhere::body()
#define INSTANTIATE_TEST_SUITE_P(...) static_assert(true, "")
#include "test_channel.cpp"
#pragma pop_macro("TEST")
#pragma pop_macro("TEST_P")
#pragma pop_macro("INSTANTIATE_TEST_SUITE_P")

#include "shm_io.h"
#include "test_cmem_hostile.h"

namespace {

// A second process on a shared-memory channel: the child opens the objects
// this process makes and runs body on its channel; its exit code is body's
// result.
struct ShmPeer {
  pid_t pid = -1;
  CHANNEL* ch = nullptr;
  ~ShmPeer() {
    CH_destroy(ch);
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
  int wait() {
    int status = 0;
    pid_t p = pid;
    pid = -1;
    if (p <= 0 || waitpid(p, &status, 0) != p) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

std::string fresh_name() {
  static int n = 0;
  return "t" + std::to_string(getpid()) + "_" + std::to_string(++n);
}

void start_shm_peer(ShmPeer& p, const std::function<int(CHANNEL*)>& body) {
  std::string name = fresh_name();
  pid_t pid = fork();
  if (pid == 0) {
    CHANNEL* ch = CH_create(CH_KIND_SHMEM, 0, nullptr);
    SHM_OBJECT* shm = shm_chanl_open(name.c_str(), static_cast<int32_t>(getppid()), 10000);
    if (!ch || !shm || CH_reset_shared_chanl_io(ch, shm) != 0) _exit(99);
    int rc = body(ch);
    CH_destroy(ch);
    _exit(rc);
  }
  p.pid = pid;
  SHM_OBJECT* shm = shm_chanl_create(name.c_str(), pid);
  p.ch = CH_create(CH_KIND_SHMEM, 0, nullptr);
  if (!shm || !p.ch || CH_reset_shared_chanl_io(p.ch, shm) != 0) {
    shm_chanl_destroy(shm);
    CH_destroy(p.ch);
    p.ch = nullptr;
  }
}

class ShmRoundTrip : public ::testing::TestWithParam<int32_t> {};

// The child echoes every item; the parent sends each, then checks the echo.
TEST_P(ShmRoundTrip, EveryItemRoundTripsBetweenTwoProcesses) {
  const int32_t release = GetParam();
  std::vector<ItemCase> cases = item_cases();
  for (ItemCase& c : record_cases(release)) cases.push_back(std::move(c));
  ShmPeer peer;
  start_shm_peer(peer, [&](CHANNEL* ch) {
    CH_set_release(ch, release);
    for (size_t i = 0; i < cases.size(); i++)
      if (cases[i].echo(ch) != 0) return static_cast<int>(i + 1);
    return 0;
  });
  ASSERT_NE(nullptr, peer.ch);
  CH_set_release(peer.ch, release);
  for (const ItemCase& c : cases) {
    ASSERT_EQ(0, c.send(peer.ch)) << c.name;
    ASSERT_EQ(0, CH_flush(peer.ch)) << c.name;
    EXPECT_EQ(0, c.check(peer.ch)) << c.name;
  }
  EXPECT_EQ(0, peer.wait()) << "the peer failed at item (1-based index)";
}

INSTANTIATE_TEST_SUITE_P(Releases, ShmRoundTrip, ::testing::Values(0, 81199, 81200, 83002),
                         [](const ::testing::TestParamInfo<int32_t>& i) {
                           return "Release" + std::to_string(i.param);
                         });

// 250000 bytes cross in chunks of 100000, 100000 and 50000 and arrive whole;
// a read of part of a chunk leaves the rest, and the next read continues at
// the offset.
TEST(ShmChunks, LargeItemsCrossInChunksAndPartReadsContinueAtTheOffset) {
  ShmPeer peer;
  start_shm_peer(peer, [](CHANNEL* ch) {
    std::vector<unsigned char> big(250000), small(30);
    for (size_t i = 0; i < big.size(); i++) big[i] = static_cast<unsigned char>(i * 31 + i / 100000);
    for (size_t i = 0; i < small.size(); i++) small[i] = static_cast<unsigned char>(200 + i);
    return CH_write_block(ch, big.data(), 250000) != 0 || CH_write_block(ch, small.data(), 30) != 0;
  });
  ASSERT_NE(nullptr, peer.ch);
  std::vector<unsigned char> got(250000);
  ASSERT_EQ(0, CH_read_block(peer.ch, got.data(), 250000));
  size_t bad = 0;
  for (size_t i = 0; i < got.size(); i++)
    if (got[i] != static_cast<unsigned char>(i * 31 + i / 100000)) bad++;
  EXPECT_EQ(0u, bad);
  unsigned char part[20];
  ASSERT_EQ(0, CH_read_block(peer.ch, part, 10));
  EXPECT_EQ(200, part[0]);
  EXPECT_EQ(1, CH_data_waiting(peer.ch)) << "20 bytes of the chunk are left";
  ASSERT_EQ(0, CH_read_block(peer.ch, part, 20));
  EXPECT_EQ(210, part[0]);
  EXPECT_EQ(229, part[19]);
  EXPECT_EQ(0, peer.wait());
  EXPECT_EQ(0, CH_data_waiting(peer.ch));
}

TEST(ShmChannel, HostileSizesAreRefusedAndTheChannelStaysInStep) {
  for (const zultest::HostileCase& c : zultest::hostile_cases()) {
    ShmPeer peer;
    start_shm_peer(peer, [&](CHANNEL* ch) { return c.send(ch) != 0 || CH_write_long(ch, 4242) != 0; });
    ASSERT_NE(nullptr, peer.ch) << c.name;
    EXPECT_EQ(c.status, c.read(peer.ch)) << c.name;
    int32_t v = 0;
    if (c.in_step) {
      EXPECT_EQ(0, CH_read_long(peer.ch, &v)) << c.name;
      EXPECT_EQ(4242, v) << c.name;
      EXPECT_EQ(0, CH_out_of_step(peer.ch)) << c.name;
    } else {
      EXPECT_NE(0, CH_out_of_step(peer.ch)) << c.name;
      CH_read_long(peer.ch, &v);  // lets the peer finish
    }
    EXPECT_EQ(0, peer.wait()) << c.name;
  }
}

// The peer dies half-way through a list: the pending read fails once the
// wait notices, and every later transfer fails at once.
TEST(ShmPeerDeath, ReadFromAPeerThatDiedMidItemFails) {
  ShmPeer peer;
  start_shm_peer(peer, [](CHANNEL* ch) {
    REGISTRATION r{};
    r.id = 1;
    CH_write_long(ch, 2);  // a list of two, of which one is sent
    CH_write_registration(ch, &r);
    _exit(0);
    return 0;
  });
  ASSERT_NE(nullptr, peer.ch);
  REGISTRATION list[2];
  int32_t n = 0;
  EXPECT_EQ(-1, CH_read_registration_list(peer.ch, list, 2, &n));
  EXPECT_NE(0, CH_out_of_step(peer.ch));
  int32_t v;
  EXPECT_EQ(-1, CH_read_long(peer.ch, &v));
  EXPECT_EQ(-1, CH_write_long(peer.ch, 1));
  EXPECT_EQ(0, peer.wait());
}

TEST(ShmPeerDeath, WriteToAPeerThatEndedFails) {
  ShmPeer peer;
  start_shm_peer(peer, [](CHANNEL*) { return 0; });
  ASSERT_NE(nullptr, peer.ch);
  std::vector<unsigned char> big(250000, 7);
  EXPECT_EQ(-1, CH_write_block(peer.ch, big.data(), 250000));
  EXPECT_EQ(0, peer.wait());
}

// The count in the shared area comes from the other process: one that does
// not fit the area is refused and the channel is given up.
TEST(ShmChannel, CountBeyondTheAreaIsRefused) {
  ShmPeer peer;
  start_shm_peer(peer, [](CHANNEL* ch) {
    int32_t v;
    return CH_read_long(ch, &v) == 0;  // waits until the parent gives up
  });
  ASSERT_NE(nullptr, peer.ch);
  SHM_OBJECT* shm = peer.ch->shm_io;
  ASSERT_EQ(ZULOS_WAIT_ACQUIRED, zulos_mutex_lock(&shm->mutex, 5000));
  *shm->read_count = SHM_CHUNK + 1;
  zulos_event_set(&shm->read_filled);
  zulos_mutex_unlock(&shm->mutex);
  int32_t v;
  EXPECT_EQ(-1, CH_read_long(peer.ch, &v));
  EXPECT_NE(0, CH_out_of_step(peer.ch));
}

TEST(ShmChannel, NamesThatLeaveTheirPlaceAreRefused) {
  for (const char* name : {"", "a/b", "a\\b", "0123456789012345678901234567890123456789012345678901234567890123456789"})
    EXPECT_EQ(nullptr, shm_chanl_create(name, getpid())) << name;
  EXPECT_EQ(nullptr, shm_chanl_open("nobody_made_this", getpid(), 0));
}

}  // namespace
