// The lock tables: for each lock kind a table of held locks and a request,
// with the grant or conflict answer and what the table holds afterwards;
// dead owners; and a process killed while holding a mutex and locks.
#include "shared_internal.h"
#include "zul_shared.h"
#include "zul_subprograms.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <vector>

namespace {

const int32_t A = 1001, B = 1002, DEAD = 1003;

int32_t alive_but_dead(int32_t pid) { return pid != DEAD; }

struct LocalSegment {
  SM_HANDLE* h = nullptr;
  explicit LocalSegment(int32_t locks = 50) {
    EXPECT_EQ(0, SM_local_server_open(nullptr, 4, locks, locks, locks, 10, 10, 10, locks, nullptr, &h));
    sm_set_alive_probe(alive_but_dead);
  }
  ~LocalSegment() {
    sm_set_alive_probe(nullptr);
    SM_server_close(h);
  }
  SM_HANDLE* as(int32_t pid) {
    sm_handle_set_owner(h, pid);
    return h;
  }
};

int32_t count_area(SM_HANDLE* h) { return SM_shared_info(h, 3); }

struct Area {
  int32_t pid, kind;
  SM_LOCK_ENVP env;
};
const SM_LOCK_ENVP kLeft = {0, 0, 10, 10}, kTouch = {10, 10, 20, 20}, kFar = {50, 50, 60, 60},
                   kInside = {2, 2, 4, 4};

}  // namespace

TEST(Locks, AreaRules) {
  struct Case {
    const char* name;
    std::vector<Area> held;
    Area request;
    int32_t rc;
    int32_t locks_after;
  };
  const Case cases[] = {
      {"shared areas overlap", {{B, 2, kLeft}}, {A, 2, kLeft}, 0, 2},
      {"shared vs update, touching edges", {{B, 3, kLeft}}, {A, 2, kTouch}, -49, 1},
      {"shared vs update, apart", {{B, 3, kLeft}}, {A, 2, kFar}, 0, 2},
      {"update layer vs another's auto area", {{B, 4, kFar}}, {A, 1, kLeft}, -49, 1},
      {"auto area vs another's update layer", {{B, 1, kFar}}, {A, 4, kLeft}, -49, 1},
      {"own update layer covers auto area", {{A, 1, kLeft}}, {A, 4, kFar}, 0, 1},
      {"own update area covers auto area inside", {{A, 3, kLeft}}, {A, 4, kInside}, 0, 1},
      {"own update area, auto area outside", {{A, 3, kLeft}}, {A, 4, kFar}, 0, 2},
      {"second own auto area", {{A, 4, kLeft}}, {A, 4, kFar}, -49, 1},
      {"own lock replaced in place", {{A, 0, kLeft}}, {A, 3, kFar}, 0, 1},
      {"failed upgrade drops own shared layer", {{A, 0, kLeft}, {B, 0, kLeft}}, {A, 3, kFar}, -49, 1},
      {"dead owner's lock is dropped", {{DEAD, 1, kLeft}}, {A, 3, kLeft}, 0, 1},
  };
  for (const Case& c : cases) {
    LocalSegment seg;
    for (const Area& a : c.held) ASSERT_EQ(0, SM_lock_add(seg.as(a.pid), 3, a.kind, &a.env)) << c.name;
    EXPECT_EQ(c.rc, SM_lock_add(seg.as(c.request.pid), 3, c.request.kind, &c.request.env)) << c.name;
    EXPECT_EQ(c.locks_after, count_area(seg.h)) << c.name;
  }
}

TEST(Locks, AreaModifyDeleteAndBounds) {
  LocalSegment seg;
  EXPECT_EQ(-48, SM_lock_modify(seg.as(A), 3, 1, &kLeft));
  EXPECT_EQ(-66, SM_lock_add(seg.as(A), 11, 1, &kLeft)) << "layer id past the table";
  EXPECT_EQ(-66, SM_lock_add(seg.as(A), 0, 1, &kLeft));
  ASSERT_EQ(0, SM_lock_add(seg.as(A), 3, 2, &kLeft));
  ASSERT_EQ(0, SM_autolock_add(seg.as(A), 3, &kFar));
  EXPECT_EQ(0, SM_lock_modify(seg.as(A), 3, 3, &kLeft));
  EXPECT_EQ(0, SM_autolock_delete(seg.as(A), 3));
  EXPECT_EQ(-48, SM_autolock_delete(seg.as(A), 3));
  ASSERT_EQ(0, SM_lock_add(seg.as(B), 4, 0, &kLeft));
  EXPECT_EQ(0, SM_locks_delete_user(seg.as(A), B));
  EXPECT_EQ(1, count_area(seg.h)) << "only B's lock is gone";
  EXPECT_EQ(0, SM_lock_delete(seg.as(A), 3));
  EXPECT_EQ(0, count_area(seg.h));
}

TEST(Locks, StateRules) {
  struct Held {
    int32_t pid, state, kind;
  };
  struct Case {
    const char* name;
    std::vector<Held> held;
    Held request;
    int32_t rc;
    int32_t count;
    int32_t first_kind;  // kind of the first record afterwards
  };
  const Case cases[] = {
      {"exclusive vs another's shared, same state", {{B, 5, 2}}, {A, 5, 3}, -49, 1, 2},
      {"exclusive vs another's shared, other state", {{B, 5, 2}}, {A, 6, 3}, 0, 2, 3},
      {"own shared state converts in place", {{A, 5, 2}}, {A, 5, 3}, 0, 1, 3},
      {"shared tree held on another id", {{A, 9, 0}}, {A, 5, 0}, 0, 1, 0},
      {"exclusive tree vs another's shared tree", {{B, 1, 0}}, {A, 1, 1}, -49, 1, 0},
      {"own shared tree upgrades to exclusive", {{A, 1, 0}}, {A, 1, 1}, 0, 1, 1},
      {"auto exclusive vs another's shared state", {{B, 5, 2}}, {A, 5, 5}, -49, 1, 2},
      {"auto exclusive over own shared state", {{A, 5, 2}}, {A, 5, 5}, 0, 2, 5},
      {"dead owner's exclusive state", {{DEAD, 5, 3}}, {A, 5, 2}, 0, 1, 2},
  };
  for (const Case& c : cases) {
    LocalSegment seg;
    for (const Held& hd : c.held) ASSERT_EQ(0, SM_state_lock_add(seg.as(hd.pid), hd.state, hd.kind)) << c.name;
    EXPECT_EQ(c.rc, SM_state_lock_add(seg.as(c.request.pid), c.request.state, c.request.kind)) << c.name;
    EXPECT_EQ(c.count, SM_shared_info(seg.h, 9)) << c.name;
    int16_t first = static_cast<int16_t>(sm_header(seg.h)[SMW_STATE_USED]);
    ASSERT_GE(first, 0) << c.name;
    EXPECT_EQ(c.first_kind, seg.h->state_locks[first].kind) << c.name;
  }
}

TEST(Locks, StateDeleteAndFullTableReusesDeadOwnersRecord) {
  LocalSegment seg(2);
  ASSERT_EQ(0, SM_state_lock_add(seg.as(A), 5, 4));
  ASSERT_EQ(0, SM_state_lock_add(seg.as(DEAD), 6, 2));
  EXPECT_EQ(0, SM_state_lock_add(seg.as(B), 7, 2)) << "the dead owner's record is reused";
  EXPECT_EQ(-50, SM_state_lock_add(seg.as(B), 8, 2));
  EXPECT_EQ(-48, SM_state_lock_delete(seg.as(A), 5, 0)) << "not an automatic request";
  EXPECT_EQ(0, SM_state_lock_delete(seg.as(A), 5, 1));
  EXPECT_EQ(0, SM_state_locks_delete_user(seg.as(A), B));
  EXPECT_EQ(0, SM_shared_info(seg.h, 9));
}

TEST(Locks, TableRules) {
  struct Case {
    const char* name;
    int32_t held_pid, held_table, held_kind;
    int32_t req_pid, req_table, req_kind;
    int32_t rc, count;
  };
  const Case cases[] = {
      {"shared with shared", B, 7, 1, A, 7, 1, 0, 2},
      {"exclusive vs shared", B, 7, 1, A, 7, 2, -49, 1},
      {"shared vs exclusive", B, 7, 2, A, 7, 1, -49, 1},
      {"other table", B, 7, 2, A, 8, 2, 0, 2},
      {"own shared upgrades", A, 7, 1, A, 7, 2, 0, 1},
      {"own exclusive already covers", A, 7, 2, A, 7, 2, 0, 1},
  };
  for (const Case& c : cases) {
    LocalSegment seg;
    ASSERT_EQ(0, SM_table_lock_add(seg.as(c.held_pid), c.held_table, c.held_kind)) << c.name;
    EXPECT_EQ(c.rc, SM_table_lock_add(seg.as(c.req_pid), c.req_table, c.req_kind)) << c.name;
    EXPECT_EQ(c.count, SM_shared_info(seg.h, 13)) << c.name;
  }
  LocalSegment seg;
  EXPECT_EQ(-66, SM_table_lock_add(seg.h, 7, 3));
  EXPECT_EQ(-48, SM_table_lock_delete(seg.h, 7));
}

TEST(Locks, ObjectRules) {
  struct Case {
    const char* name;
    SM_OBJECT_LOCK held;
    int16_t held_type;
    SM_OBJECT_LOCK req;
    int16_t req_type;
    int32_t rc, count;
  };
  const SM_OBJECT_LOCK a1 = {A, 7, 1, 999, 0, 0}, b1 = {B, 7, 1, 999, 0, 0}, b2 = {B, 8, 1, 999, 0, 0};
  const Case cases[] = {
      {"shared with shared", b1, 0, a1, 0, 0, 2},
      {"exclusive vs shared", b1, 0, a1, 1, -49, 1},
      {"other object", b2, 1, a1, 1, 0, 2},
      {"own shared upgrades", a1, 0, a1, 1, 0, 1},
      {"auto shared vs another's auto shared", b1, 2, a1, 2, -49, 1},
      // Type 3 excludes as type 1 does.
      {"auto exclusive held excludes shared", b1, 3, a1, 0, -49, 1},
      {"auto exclusive request vs shared", b1, 0, a1, 3, -49, 1},
      {"own auto exclusive held twice", a1, 3, a1, 3, 0, 1},
  };
  for (const Case& c : cases) {
    LocalSegment seg;
    ASSERT_EQ(0, SM_object_lock_add(seg.h, &c.held, c.held_type)) << c.name;
    EXPECT_EQ(c.rc, SM_object_lock_add(seg.h, &c.req, c.req_type)) << c.name;
    EXPECT_EQ(c.count, SM_shared_info(seg.h, 19)) << c.name;
  }
  LocalSegment seg;
  ASSERT_EQ(0, SM_object_lock_add(seg.h, &a1, 2));
  ASSERT_EQ(0, SM_object_lock_add(seg.h, &b2, 0));
  SM_OBJECT_LOCK example = {0, 0, 1, 999, 0, 0};
  int32_t seen = 0;
  SM_object_locks_find_by_example(seg.h, &example, 1,
                                  [](void* u, const SM_OBJECT_LOCK*) { return ++*static_cast<int32_t*>(u); },
                                  &seen);
  EXPECT_EQ(2, seen);
  EXPECT_EQ(-48, SM_object_lock_delete(seg.h, &a1, 0)) << "its only lock is automatic";
  EXPECT_EQ(0, SM_object_lock_delete(seg.h, &a1, 1));
  EXPECT_EQ(0, SM_object_locks_delete_user(seg.h, B));
  EXPECT_EQ(0, SM_shared_info(seg.h, 19));
}

// The listener's side of a server process killed while it holds the general
// mutex and locks of every kind.
namespace {
SM_HANDLE* g_master = nullptr;
std::atomic<int32_t> g_dead_pid{0};
void on_death(int32_t pid, int32_t) {
  SM_locks_delete_user(g_master, pid);
  SM_table_locks_delete_user(g_master, pid);
  SM_state_locks_delete_user(g_master, pid);
  SM_object_locks_delete_user(g_master, pid);
  SM_pinfo_delete(g_master, pid);
  g_dead_pid = pid;
}
}  // namespace

TEST(Locks, KilledHolderLosesItsMutexLocksAndRecord) {
  std::string inst = "killed" + std::to_string(getpid());
  std::string ready = "/tmp/zul_sm_hold_" + std::to_string(getpid());
  unlink(ready.c_str());
  ASSERT_EQ(0, SM_master_create(nullptr, inst.c_str(), nullptr, 8, 50, 50, 50, 10, 10, 10, 50, nullptr, &g_master));
  ASSERT_EQ(0, SubPrograms_Initialize(nullptr, "locks", on_death));
  std::string worker = std::string(ZUL_BIN_DIR) + "/svrsys_sm_worker";
  const char* args[] = {"hold", inst.c_str(), ready.c_str(), nullptr};
  int32_t pid = SubPrograms_StartProgramArgv(0, 0, worker.c_str(), nullptr, nullptr, args);
  ASSERT_GT(pid, 0);
  for (int i = 0; i < 1000 && access(ready.c_str(), F_OK) != 0; ++i) zulos_sleep_ms(10);
  ASSERT_EQ(0, access(ready.c_str(), F_OK));
  EXPECT_EQ(1, SM_shared_info(g_master, 3));
  EXPECT_EQ(1, SM_shared_info(g_master, 9));
  EXPECT_EQ(1, SM_shared_info(g_master, 13));
  EXPECT_EQ(1, SM_shared_info(g_master, 19));
  EXPECT_EQ(1, SM_shared_info(g_master, 1));
  kill(pid, SIGKILL);
  EXPECT_EQ(0, SM_shared_mutex_lock(g_master)) << "the dead holder's mutex is taken over";
  EXPECT_EQ(0, SM_shared_mutex_unlock(g_master));
  for (int i = 0; i < 1000 && g_dead_pid.load() != pid; ++i) zulos_sleep_ms(10);
  EXPECT_EQ(pid, g_dead_pid.load());
  for (int code : {3, 9, 13, 19, 1}) EXPECT_EQ(0, SM_shared_info(g_master, code)) << "code " << code;
  SubPrograms_End();
  SM_master_destroy(g_master);
  unlink(ready.c_str());
}
