// The coordinated-memory channel between two threads of one process: every
// item round-trips (the socket channel's item tables, run over a linked
// pair), hand-overs pair one write with one read, an empty hand-over does not
// block the writer, and hostile sizes are refused with the channel in step.
#include <gtest/gtest.h>

#include <future>
#include <thread>

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

#include "cmem_io.h"
#include "test_cmem_hostile.h"

namespace {

// Two linked kind-2 channels.
struct CmemPair {
  CHANNEL* a = nullptr;
  CHANNEL* b = nullptr;
  explicit CmemPair(int32_t legacy = 0) {
    a = CH_create(CH_KIND_CMEM, legacy, nullptr);
    b = CH_create(CH_KIND_CMEM, legacy, nullptr);
    if (a && b && CH_CMEM_readjust_chanlsys(a, b) != 0) a = b = nullptr;
  }
  ~CmemPair() {
    CH_destroy(a);
    CH_destroy(b);
  }
};

class CmemRoundTrip : public ::testing::TestWithParam<int32_t> {};

// One thread echoes every item; the other sends each, then checks the echo.
TEST_P(CmemRoundTrip, EveryItemRoundTripsBetweenTwoThreads) {
  const int32_t release = GetParam();
  std::vector<ItemCase> cases = item_cases();
  for (ItemCase& c : record_cases(release)) cases.push_back(std::move(c));
  CmemPair p;
  ASSERT_NE(nullptr, p.a);
  CH_set_release(p.a, release);
  CH_set_release(p.b, release);
  size_t failed_at = 0;
  std::thread echo([&] {
    for (size_t i = 0; i < cases.size(); i++)
      if (cases[i].echo(p.b) != 0) {
        failed_at = i + 1;
        return;
      }
  });
  for (const ItemCase& c : cases) {
    ASSERT_EQ(0, c.send(p.a)) << c.name;
    ASSERT_EQ(0, CH_flush(p.a)) << c.name;
    EXPECT_EQ(0, c.check(p.a)) << c.name;
  }
  echo.join();
  EXPECT_EQ(0u, failed_at) << "the echo failed at item (1-based index)";
  EXPECT_EQ(0, CH_out_of_step(p.a));
}

INSTANTIATE_TEST_SUITE_P(Releases, CmemRoundTrip, ::testing::Values(0, 81199, 81200, 83002),
                         [](const ::testing::TestParamInfo<int32_t>& i) {
                           return "Release" + std::to_string(i.param);
                         });

TEST(CmemChannel, LegacyLayerTravelsInTheOlderLayoutWithItsDefaults) {
  CmemPair p(1);
  ASSERT_NE(nullptr, p.a);
  LayerRec sent;
  fill_layer(sent, 12);
  int32_t rc = -1;
  std::thread writer([&] { rc = CH_write_layer(p.a, &sent.layer); });
  LayerRec got;
  EXPECT_EQ(0, CH_read_layer(p.b, &got.layer));
  writer.join();
  EXPECT_EQ(0, rc);
  EXPECT_EQ(0, got.cref.srid) << "the older reference has no srid";
  got.cref.srid = sent.cref.srid;
  EXPECT_TRUE(same_layer(sent.layer, got.layer, true));
  EXPECT_EQ(0, got.layer.layer_mask);
  EXPECT_EQ(0, got.layer.base_layer_id);
}

// The primitive pairs each hand-over with one take: a short take releases
// the writer and leaves the rest counted until the next hand-over replaces
// it; a take larger than the hand-over fails but still releases the writer.
TEST(CmemHandOver, EachWriteIsConsumedByExactlyOneRead) {
  CmemPair p;
  ASSERT_NE(nullptr, p.a);
  CMEM_OBJECT* w = p.a->cmem;
  CMEM_OBJECT* r = p.b->cmem;
  unsigned char hundred[100], four[4] = {1, 2, 3, 4}, next[4] = {9, 8, 7, 6};
  for (int i = 0; i < 100; i++) hundred[i] = static_cast<unsigned char>(i);
  int32_t wrote[3] = {-1, -1, -1};
  std::promise<void> checked;
  std::thread writer([&] {
    wrote[0] = cmem_write_bytes(w, hundred, 100);
    checked.get_future().wait();
    wrote[1] = cmem_write_bytes(w, four, 4);
    wrote[2] = cmem_write_bytes(w, next, 4);
  });
  unsigned char buf[100];
  ASSERT_EQ(60, cmem_read_bytes(r, buf, 60));
  EXPECT_EQ(0, memcmp(buf, hundred, 60));
  // The rest stays counted until the writer's next hand-over replaces it.
  EXPECT_EQ(1, cmem_data_waiting(r));
  checked.set_value();
  EXPECT_EQ(0, cmem_read_bytes(r, buf, 8)) << "8 bytes asked of a 4-byte hand-over";
  ASSERT_EQ(4, cmem_read_bytes(r, buf, 4));
  EXPECT_EQ(0, memcmp(buf, next, 4));
  writer.join();
  EXPECT_EQ(100, wrote[0]);
  EXPECT_EQ(4, wrote[1]);
  EXPECT_EQ(4, wrote[2]);
  EXPECT_EQ(0, cmem_data_waiting(r));
}

// An empty feature-id array is an empty hand-over: the writer goes on at
// once, and the next item pairs normally.
TEST(CmemHandOver, EmptyArrayDoesNotBlockTheWriter) {
  CmemPair p;
  ASSERT_NE(nullptr, p.a);
  EXPECT_EQ(0, CH_write_fid_array(p.a, 0, nullptr));  // returns without a reader
  std::thread writer([&] { CH_write_string(p.a, ""); });
  EXPECT_EQ(0, CH_read_fid_array(p.b, 0, nullptr));
  char text[8] = "junk";
  EXPECT_EQ(0, CH_read_string(p.b, text, sizeof text));
  EXPECT_STREQ("", text);
  writer.join();
}

TEST(CmemChannel, HostileSizesAreRefusedAndTheChannelStaysInStep) {
  for (const zultest::HostileCase& c : zultest::hostile_cases()) {
    CmemPair p;
    ASSERT_NE(nullptr, p.a);
    std::thread writer([&] {
      c.send(p.a);
      CH_write_long(p.a, 4242);
    });
    EXPECT_EQ(c.status, c.read(p.b)) << c.name;
    if (c.in_step) {
      int32_t v = 0;
      EXPECT_EQ(0, CH_read_long(p.b, &v)) << c.name;
      EXPECT_EQ(4242, v) << c.name;
      EXPECT_EQ(0, CH_out_of_step(p.b)) << c.name;
    } else {
      EXPECT_NE(0, CH_out_of_step(p.b)) << c.name;
      int32_t v;
      CH_read_long(p.b, &v);  // frees the writer's last hand-over
    }
    writer.join();
  }
}

TEST(CmemChannel, UnlinkedOrMismatchedChannelsAreRefused) {
  CHANNEL* a = CH_create(CH_KIND_CMEM, 0, nullptr);
  ASSERT_NE(nullptr, a);
  EXPECT_EQ(-1, CH_write_long(a, 1)) << "no peer yet";
  EXPECT_EQ(-1, CH_data_waiting(a));
  int fd = -1;
  CHANNEL* s = CH_create(CH_KIND_SHMEM, 0, &fd);
  ASSERT_NE(nullptr, s);
  EXPECT_EQ(-1, CH_CMEM_readjust_chanlsys(a, s));
  EXPECT_EQ(-1, CH_CMEM_readjust_chanlsys(a, a));
  EXPECT_EQ(-1, CH_write_long(s, 1)) << "no shared-memory object attached";
  CH_destroy(s);
  CH_destroy(a);
}

}  // namespace
