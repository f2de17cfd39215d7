// Id pools, feature-id, raster and band counters, and the shared
// registration table; a feature-id initialiser that dies is taken over.
#include "shared_internal.h"
#include "zul_shared.h"

#include "bitmap.h"
#include "svr_services.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

struct Local {
  SM_HANDLE* h = nullptr;
  explicit Local(int32_t registrations = 10) {
    EXPECT_EQ(0, SM_local_server_open(nullptr, 4, 10, 10, 10, 10, registrations, 4, 10, nullptr, &h));
  }
  ~Local() { SM_server_close(h); }
};

REGISTRATION reg(const char* db, const char* owner, const char* table, int32_t flags = 0) {
  REGISTRATION r{};
  strcpy(r.database, db);
  strcpy(r.owner, owner);
  strcpy(r.table, table);
  r.flags = flags;
  return r;
}

int32_t answer(void* u, const RASTERCOLUMN*) { return *static_cast<int32_t*>(u); }

}  // namespace

TEST(IdPool, RasterAndBandIds) {
  Local l;
  RASTERCOLUMN col{};
  col.id = 2;
  col.min_id = 100;
  int32_t zero = 0, id = 0;
  ASSERT_EQ(0, SM_raster_get_id(l.h, &col, answer, &zero, &id));
  EXPECT_EQ(100, id) << "the minimum id wins over an empty database";
  ASSERT_EQ(0, SM_raster_get_id(l.h, &col, answer, &zero, &id));
  EXPECT_EQ(101, id);
  EXPECT_EQ(0, SM_raster_return_id(l.h, &col, 100)) << "an older id changes nothing";
  ASSERT_EQ(0, SM_raster_get_id(l.h, &col, answer, &zero, &id));
  EXPECT_EQ(102, id);
  EXPECT_EQ(0, SM_raster_return_id(l.h, &col, 102));
  ASSERT_EQ(0, SM_raster_get_id(l.h, &col, answer, &zero, &id));
  EXPECT_EQ(102, id) << "the last id came back";
  ASSERT_EQ(0, SM_rasterband_get_id(l.h, &col, answer, &zero, &id));
  EXPECT_EQ(1, id) << "band ids ignore the minimum id";
  int32_t failing = -51;
  EXPECT_EQ(0, SM_raster_clear_ids(l.h, &col));
  EXPECT_EQ(-51, SM_raster_get_id(l.h, &col, answer, &failing, &id));
  col.id = 5;
  EXPECT_EQ(-66, SM_raster_get_id(l.h, &col, answer, &zero, &id)) << "raster column id past the table";
}

TEST(IdPool, FeatureIdsAndLayerBounds) {
  Local l;
  EXPECT_EQ(-1, SM_layer_get_fid_range(l.h, 1, 10)) << "counter not set: no id 0";
  EXPECT_EQ(-66, SM_layer_get_fid_range(l.h, 11, 10));
  EXPECT_EQ(-66, SM_layer_set_fid_start(l.h, 0, nullptr, nullptr));
  EXPECT_EQ(0, SM_layer_set_fid_start(l.h, 1, [](void*, int32_t) { return 41; }, nullptr));
  EXPECT_EQ(42, SM_layer_get_fid_range(l.h, 1, 10));
  EXPECT_EQ(52, SM_layer_get_fid_range(l.h, 1, 1));
  EXPECT_EQ(0, SM_layer_set_fid_start(l.h, 1, [](void*, int32_t) { return 999; }, nullptr)) << "set already";
  EXPECT_EQ(53, SM_layer_get_fid_range(l.h, 1, 1));
  EXPECT_EQ(-7, SM_layer_set_fid_start(l.h, 2, [](void*, int32_t) { return -7; }, nullptr));
  EXPECT_EQ(-1, SM_layer_get_fid_range(l.h, 2, 1));
  EXPECT_EQ(0, SM_layer_touch(l.h, 3));
  EXPECT_GT(SM_layer_get_time_last_modified(l.h, 3), 0);
  EXPECT_EQ(1, SM_shared_info(l.h, 5));
}

TEST(IdPool, RegistrationChainFindAndLists) {
  Local l(3);
  REGISTRATION r5 = reg("db", "alice", "roads", SE_REG_ROWID_BY_SERVER);
  REGISTRATION r2 = reg("DB", "bob", "Rivers");
  REGISTRATION r3 = reg("db", "bob", "roads", SE_REG_MULTIVERSION);
  // Set in slot order 3, 1, 2: the chain keeps ascending slot order.
  ASSERT_EQ(0, SM_shared_registration_set(l.h, 3, &r5));
  ASSERT_EQ(0, SM_shared_registration_set(l.h, 1, &r2));
  ASSERT_EQ(0, SM_shared_registration_set(l.h, 2, &r3));
  EXPECT_EQ(-219, SM_shared_registration_set(l.h, 4, &r3));
  EXPECT_EQ(-221, SM_shared_info(l.h, 23)) << "every slot taken";
  REGISTRATION* list = nullptr;
  int32_t n = 0;
  ASSERT_EQ(0, SM_registration_get_list(l.h, nullptr, &list, &n));
  ASSERT_EQ(3, n);
  EXPECT_EQ(1, list[0].id);
  EXPECT_STREQ("RIVERS", list[0].table) << "names fold to upper case";
  EXPECT_STREQ("ReG", list[0].tag);
  EXPECT_EQ(3, list[2].id);
  SES_buffer_free(list, 4 * sizeof(REGISTRATION));
  ASSERT_EQ(0, SM_registration_get_masked_list(l.h, SE_REG_MULTIVERSION, 1, &list, &n));
  ASSERT_EQ(1, n);
  EXPECT_EQ(2, list[0].id);
  SES_buffer_free(list, 2 * sizeof(REGISTRATION));
  ASSERT_EQ(0, SM_registration_get_masked_list(l.h, 0x40, 1, &list, &n));
  EXPECT_EQ(0, n);
  EXPECT_EQ(nullptr, list);

  REGISTRATION found;
  ASSERT_EQ(0, SM_registration_find(l.h, "db", "", "roads", &found));
  EXPECT_EQ(2, found.id) << "an empty owner matches the first in chain order";
  ASSERT_EQ(0, SM_registration_find(l.h, "db", "alice", "roads", &found));
  EXPECT_EQ(3, found.id);
  EXPECT_EQ(-220, SM_registration_find(l.h, "db", "carol", "roads", &found));
  std::string too_long(200, 'r');
  EXPECT_EQ(-220, SM_registration_find(l.h, "db", "", too_long.c_str(), &found)) << "longer than the field";

  EXPECT_EQ(0, SM_shared_registration_clear(l.h, 2));
  EXPECT_EQ(2, SM_shared_info(l.h, 7));
  ASSERT_EQ(0, SM_registration_find(l.h, "db", "", "roads", &found));
  EXPECT_EQ(3, found.id);
  EXPECT_EQ(-221, SM_shared_info(l.h, 23)) << "a cleared slot keeps its id";
  EXPECT_EQ(0, SM_return_registration_id(l.h, 2));
  EXPECT_EQ(2, SM_shared_info(l.h, 23));
}

TEST(IdPool, RowIdRanges) {
  Local l;
  REGISTRATION kept = reg("db", "a", "t", SE_REG_ROWID_BY_SERVER), user = reg("db", "a", "u");
  ASSERT_EQ(0, SM_shared_registration_set(l.h, 1, &kept));
  ASSERT_EQ(0, SM_shared_registration_set(l.h, 2, &user));
  int32_t calls = 0, first = 0, got = 0;
  auto init = [](void* u, const REGISTRATION* r) {
    ++*static_cast<int32_t*>(u);
    return strcmp(r->table, "T") == 0 ? 500 : -1;
  };
  EXPECT_EQ(-114, SM_registration_get_rowid_range(l.h, 2, 10, init, &calls, &first, &got));
  EXPECT_EQ(-219, SM_registration_get_rowid_range(l.h, 3, 10, init, &calls, &first, &got)) << "free slot";
  ASSERT_EQ(0, SM_registration_get_rowid_range(l.h, 1, 10, init, &calls, &first, &got));
  EXPECT_EQ(500, first);
  EXPECT_EQ(10, got);
  ASSERT_EQ(0, SM_registration_get_rowid_range(l.h, 1, 5, init, &calls, &first, &got));
  EXPECT_EQ(510, first);
  EXPECT_EQ(1, calls) << "initialised once";
  EXPECT_EQ(0, SM_registration_return_rowid_range(l.h, 1, 510, 5));
  ASSERT_EQ(0, SM_registration_get_rowid_range(l.h, 1, 1, init, &calls, &first, &got));
  EXPECT_EQ(510, first);
  // operate stores the counter the callback leaves.
  EXPECT_EQ(0, SM_shared_registration_operate(
                   l.h, 1, [](void*, REGISTRATION*, int32_t* next) { *next = 900; return 0; }, nullptr));
  ASSERT_EQ(0, SM_registration_get_rowid_range(l.h, 1, 1, init, &calls, &first, &got));
  EXPECT_EQ(900, first);
}

TEST(IdPool, LayerAndRasterColumnIdPools) {
  SM_HANDLE* h = nullptr;
  std::string inst = "idpool" + std::to_string(getpid());
  ASSERT_EQ(0, SM_master_create(nullptr, inst.c_str(), nullptr, 4, 10, 10, 10, 3, 10, 2, 10, nullptr, &h));
  SE_BITMAP* taken = SES_Bitmap_Create(3, 0);
  SES_Bitmap_Set(taken, 0, 1);
  ASSERT_EQ(0, SM_available_layer_ids_set(h, taken));
  EXPECT_EQ(2, SM_shared_info(h, 22));
  EXPECT_EQ(3, SM_shared_info(h, 22));
  EXPECT_EQ(-16, SM_shared_info(h, 22));
  EXPECT_EQ(0, SM_return_layer_id(h, 2));
  EXPECT_EQ(2, SM_shared_info(h, 22));
  EXPECT_EQ(-66, SM_return_layer_id(h, 4));
  EXPECT_EQ(1, SM_shared_info(h, 24));
  EXPECT_EQ(2, SM_shared_info(h, 24));
  EXPECT_EQ(-228, SM_shared_info(h, 24));
  SES_Bitmap_Destroy(taken);
  SM_master_destroy(h);
}

// The process that started a layer's feature-id counter dies in its
// callback; the next one takes over instead of waiting for ever.
TEST(IdPool, DeadFeatureIdInitialiserIsTakenOver) {
  std::string inst = "fidinit" + std::to_string(getpid());
  std::string ready = "/tmp/zul_sm_fid_" + std::to_string(getpid());
  unlink(ready.c_str());
  SM_HANDLE* h = nullptr;
  ASSERT_EQ(0, SM_master_create(nullptr, inst.c_str(), nullptr, 4, 10, 10, 10, 3, 10, 2, 10, nullptr, &h));
  std::string worker = std::string(ZUL_BIN_DIR) + "/svrsys_sm_worker";
  const char* argv[] = {worker.c_str(), "fidinit", inst.c_str(), ready.c_str(), nullptr};
  zulos_spawn_spec spec = {worker.c_str(), argv, -1};
  zulos_process p;
  ASSERT_EQ(0, zulos_spawn(&spec, &p));
  for (int i = 0; i < 1000 && access(ready.c_str(), F_OK) != 0; ++i) zulos_sleep_ms(10);
  EXPECT_EQ(-p.pid, h->fid_counters[1]) << "marked by the initialiser";
  kill(p.pid, SIGKILL);
  zulos_process_wait(&p, 10000);
  zulos_process_close(&p);
  EXPECT_EQ(0, SM_layer_set_fid_start(h, 2, [](void*, int32_t) { return 10; }, nullptr));
  EXPECT_EQ(11, SM_layer_get_fid_range(h, 2, 1));
  SM_master_destroy(h);
  unlink(ready.c_str());
}
