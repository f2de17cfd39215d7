// The shared segment: layout, creation and its refusals, the stale-creator
// check, attaching and its failures, the process table, the registration
// guard, and eight processes racing for ids.
#include "shared_internal.h"
#include "zul_shared.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

const std::string kWorker = std::string(ZUL_BIN_DIR) + "/svrsys_sm_worker";

std::string instance(const char* what) { return std::string(what) + std::to_string(getpid()); }

std::string tmp_path(const std::string& name) { return "/tmp/zul_sm_" + name + "_" + std::to_string(getpid()); }

bool wait_file(const std::string& path, int ms = 10000) {
  for (int i = 0; i < ms / 10; ++i) {
    if (access(path.c_str(), F_OK) == 0) return true;
    zulos_sleep_ms(10);
  }
  return false;
}

int spawn(std::vector<std::string> args, zulos_process* p) {
  std::vector<const char*> argv = {kWorker.c_str()};
  for (auto& a : args) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  zulos_spawn_spec spec = {kWorker.c_str(), argv.data(), -1};
  return zulos_spawn(&spec, p);
}

// Named objects of an instance left in /dev/shm.
int leftovers(const std::string& inst) {
  int n = 0;
  DIR* d = opendir(zulos_shm_dir());
  while (struct dirent* e = d ? readdir(d) : nullptr)
    if (strstr(e->d_name, ("_" + inst + "_").c_str())) ++n;
  if (d) closedir(d);
  return n;
}

SM_HANDLE* create_small(const std::string& inst, int32_t* rc = nullptr) {
  SM_HANDLE* h = nullptr;
  int32_t r = SM_master_create(nullptr, inst.c_str(), nullptr, 16, 100, 100, 100, 100, 10, 10, 100, nullptr, &h);
  if (rc) *rc = r;
  return h;
}

}  // namespace

TEST(SharedLayout, RegionsAndSizeFollowTheCounts) {
  struct Case {
    const char* name;
    int32_t S, A, T, B, O, L, G, R;
    int32_t rc;
    std::vector<uint32_t> offsets;
    uint32_t total;
  };
  const Case cases[] = {
      {"defaults", 64, 10000, 10000, 10000, 10000, 500, 1000, 500, 0,
       {160, 5280, 325280, 327288, 447288, 449288, 451440, 991440, 991940, 993940, 995940, 1115940}, 1315960},
      // The raster-id counters stay 4-byte aligned with 501 raster columns.
      {"odd raster columns", 64, 10000, 10000, 10000, 10000, 500, 1000, 501, 0,
       {160, 5280, 325280, 327288, 447288, 449288, 451440, 991440, 991944, 993948, 995952, 1115960}, 1315980},
      {"area-lock index past 16 bits", 64, 65536, 10, 10, 10, 10, 10, 10, -66, {}, 0},
      {"state-lock index past 15 bits", 64, 10, 32768, 10, 10, 10, 10, 10, -66, {}, 0},
      {"object locks past 15 bits", 64, 10, 10, 10, 32768, 10, 10, 10, -66, {}, 0},
      {"no table locks", 64, 10, 10, 0, 10, 10, 10, 10, -66, {}, 0},
      {"segment past 2 GB", 64, 10, 10, 10, 10, 10, 4000000, 10, -66, {}, 0},
  };
  for (const Case& c : cases) {
    SM_LAYOUT lay;
    ASSERT_EQ(c.rc, sm_layout(c.S, c.A, c.T, c.B, c.O, c.L, c.G, c.R, &lay)) << c.name;
    if (c.rc != 0) continue;
    for (int i = 0; i < SM_REGIONS; ++i) EXPECT_EQ(c.offsets[i], lay.offset[i]) << c.name << " region " << i + 1;
    EXPECT_EQ(c.total, lay.total) << c.name;
    EXPECT_EQ(10001u, (lay.total - lay.offset[11]) / 20) << c.name << ": object locks + 1";
  }
}

TEST(SharedSegment, CreateTwiceKeepsTheFirstAndDestroyLeavesNothing) {
  std::string inst = instance("twice");
  int32_t rc;
  SM_HANDLE* h = create_small(inst, &rc);
  ASSERT_EQ(0, rc);
  SM_next_state_id_set(h, 41);
  SM_HANDLE* again = create_small(inst, &rc);
  EXPECT_EQ(-999, rc);
  EXPECT_EQ(nullptr, again);
  EXPECT_EQ(42, SM_shared_info(h, 15)) << "the first segment is untouched";
  EXPECT_EQ(-66, SM_master_create(nullptr, inst.c_str(), nullptr, 16, 70000, 10, 10, 10, 10, 10, 10, nullptr, &again));
  EXPECT_GT(leftovers(inst), 15);
  SM_master_destroy(h);
  EXPECT_EQ(0, leftovers(inst));
}

TEST(SharedSegment, KilledCreatorDoesNotBlockTheNextCreate) {
  std::string inst = instance("stale");
  std::string ready = tmp_path("stale_ready");
  unlink(ready.c_str());
  zulos_process p;
  ASSERT_EQ(0, spawn({"create", inst, ready}, &p));
  ASSERT_TRUE(wait_file(ready));
  int32_t rc;
  EXPECT_EQ(nullptr, create_small(inst, &rc));
  EXPECT_EQ(-999, rc) << "creator alive";
  kill(p.pid, SIGKILL);
  zulos_process_wait(&p, 10000);
  zulos_process_close(&p);
  SM_HANDLE* h = create_small(inst, &rc);
  ASSERT_EQ(0, rc) << "creator gone";
  SM_master_destroy(h);
  EXPECT_EQ(0, leftovers(inst));
  unlink(ready.c_str());
}

TEST(SharedSegment, AttachFailures) {
  std::string inst = instance("attach");
  SM_HANDLE* out = nullptr;
  EXPECT_EQ(-12, SM_server_open(nullptr, inst.c_str(), nullptr, 0, nullptr, &out)) << "no segment";
  SM_HANDLE* h = create_small(inst);
  ASSERT_NE(nullptr, h);
  EXPECT_EQ(-88, SM_server_open(nullptr, inst.c_str(), nullptr, 1, nullptr, &out)) << "mode 1";
  EXPECT_EQ(nullptr, out);
  std::string prefix = "ZUL_8.3_" + inst + "_iomgr_";
  struct Case {
    const char* object;
    const char* kind;
    int32_t rc;
  };
  const Case cases[] = {
      {"rwno_readers_event", "evt", -1},
      {"next_locator_id_mutex", "mtx", -109},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(0, zulos_shm_unlink(c.kind, (prefix + c.object).c_str())) << c.object;
    EXPECT_EQ(c.rc, SM_server_open(nullptr, inst.c_str(), nullptr, 0, nullptr, &out)) << c.object;
    EXPECT_EQ(nullptr, out);
  }
  SM_master_destroy(h);
}

TEST(SharedSegment, ProcessTableScanAndCounters) {
  std::string inst = instance("pinfo");
  SM_HANDLE* h = create_small(inst);
  ASSERT_NE(nullptr, h);
  PROC_INFO rec;
  EXPECT_EQ(-14, SM_pinfo_scan(h, 2, &rec)) << "step 2 before step 1";
  EXPECT_EQ(0, SM_pinfo_add(h, 501));
  EXPECT_EQ(0, SM_pinfo_add(h, 502));
  EXPECT_EQ(2, SM_shared_info(h, 1));
  PROC_INFO* mine = SM_pinfo_find(h, 502);
  ASSERT_NE(nullptr, mine);
  EXPECT_EQ(502, mine->pid2);
  PROC_INFO upd = *mine;
  upd.counters[0] = 9;
  EXPECT_EQ(0, SM_pinfo_update(h, &upd));
  EXPECT_EQ(9, mine->counters[0]);
  upd.pid = 777;
  EXPECT_EQ(-97, SM_pinfo_update(h, &upd));
  EXPECT_EQ(0, SM_pinfo_scan(h, 1, &rec));
  EXPECT_EQ(501, rec.pid);
  EXPECT_EQ(0, SM_pinfo_scan(h, 2, &rec));
  EXPECT_EQ(502, rec.pid);
  EXPECT_EQ(-4, SM_pinfo_scan(h, 2, &rec));
  EXPECT_EQ(-14, SM_pinfo_scan(h, 2, &rec)) << "after the end";
  EXPECT_EQ(0, SM_pinfo_delete(h, 501));
  EXPECT_EQ(-1, SM_pinfo_delete(h, 501));
  EXPECT_EQ(1, SM_shared_info(h, 1));
  // The states time moves forward even when asked to go back.
  EXPECT_EQ(0, SM_states_set_last_modified(h, 1000));
  EXPECT_EQ(0, SM_lineage_set_last_modified(h, 0, 900));
  int32_t t = 0;
  EXPECT_EQ(0, SM_states_get_last_modified(h, &t));
  EXPECT_EQ(1001, t);
  SM_master_destroy(h);
}

TEST(SharedSegment, LocalModeHasEveryLayerTaken) {
  SM_HANDLE* h = nullptr;
  ASSERT_EQ(0, SM_local_server_open(nullptr, 4, 10, 10, 10, 5, 10, 10, 10, nullptr, &h));
  EXPECT_EQ(-16, SM_shared_info(h, 22));
  SM_HANDLE* refused = nullptr;
  EXPECT_EQ(-12, SM_local_server_open(nullptr, 4, 10, 10, 10, 5, 10, 10, 0, nullptr, &refused)) << "no object locks";
  SM_server_close(h);
}

// A reader that dies inside the registration guard must not block writers.
TEST(SharedSegment, DeadReaderIsPurgedAndWritersGoOn) {
  std::string inst = instance("reader");
  std::string ready = tmp_path("reader_ready");
  unlink(ready.c_str());
  SM_HANDLE* h = create_small(inst);
  ASSERT_NE(nullptr, h);
  zulos_process p;
  ASSERT_EQ(0, spawn({"reader", inst, ready}, &p));
  ASSERT_TRUE(wait_file(ready));
  kill(p.pid, SIGKILL);
  zulos_process_wait(&p, 10000);
  zulos_process_close(&p);
  REGISTRATION r{};
  strcpy(r.table, "roads");
  EXPECT_EQ(0, SM_shared_registration_set(h, 1, &r));
  EXPECT_EQ(0, sm_header(h)[SMW_READERS]);
  SM_master_destroy(h);
  unlink(ready.c_str());
}

TEST(SharedSegment, EightProcessesRaceForIdsWithoutDuplicates) {
  std::string inst = instance("race");
  SM_HANDLE* h = create_small(inst);
  ASSERT_NE(nullptr, h);
  REGISTRATION r{};
  strcpy(r.table, "parcels");
  r.flags = SE_REG_ROWID_BY_SERVER;
  ASSERT_EQ(0, SM_shared_registration_set(h, 1, &r));
  std::string counter = tmp_path("race_counter");
  unlink(counter.c_str());
  std::vector<zulos_process> workers(8);
  std::vector<std::string> outs;
  for (int i = 0; i < 8; ++i) {
    outs.push_back(tmp_path("race_out" + std::to_string(i)));
    ASSERT_EQ(0, spawn({"race", inst, outs.back(), counter}, &workers[i]));
  }
  for (auto& w : workers) {
    ASSERT_EQ(0, zulos_process_wait(&w, 60000));
    int code = -1;
    zulos_process_exit_code(&w, &code);
    EXPECT_EQ(0, code);
    zulos_process_close(&w);
  }
  std::ifstream cf(counter);
  int lines = 0;
  for (std::string s; std::getline(cf, s);) ++lines;
  EXPECT_EQ(1, lines) << "the feature-id counter is initialised once";

  std::vector<std::pair<int64_t, int64_t>> fids, rows;
  for (auto& o : outs) {
    std::ifstream in(o);
    char kind;
    int64_t first, n;
    while (in >> kind >> first >> n) (kind == 'F' ? fids : rows).push_back({first, n});
    unlink(o.c_str());
  }
  EXPECT_EQ(8u * 200, fids.size());
  EXPECT_EQ(8u * 200, rows.size());
  for (auto* v : {&fids, &rows}) {
    std::sort(v->begin(), v->end());
    for (size_t i = 1; i < v->size(); ++i)
      ASSERT_LE((*v)[i - 1].first + (*v)[i - 1].second, (*v)[i].first) << "overlapping ranges";
  }
  EXPECT_EQ(1001, fids.front().first);
  EXPECT_EQ(5000, rows.front().first);
  EXPECT_EQ(8, SM_shared_info(h, 1)) << "every worker keeps its record";
  std::set<int32_t> pids;
  PROC_INFO rec;
  for (int rc = SM_pinfo_scan(h, 1, &rec); rc == 0; rc = SM_pinfo_scan(h, 2, &rec)) pids.insert(rec.pid);
  EXPECT_EQ(8u, pids.size());
  unlink(counter.c_str());
  SM_master_destroy(h);
}
