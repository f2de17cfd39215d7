// Small shared services: the geometry-error map, dates, cell sizes, string
// arrays, the query description and debug printing.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include "svr_services.h"
#include "tmp_home.h"
#include "zul_queryinfo.h"
#include "zul_status.h"

namespace {

TEST(ShapeErrorMap, EveryCodeAndTheRest) {
  const int32_t pairs[][2] = {
      {-2001, -134}, {-2002, -65},  {-2003, -66},  {-2004, -27},  {-2005, -135}, {-2006, -29},  {-2007, -136},
      {-2008, -82},  {-2009, -30},  {-2010, -75},  {-2011, -76},  {-2012, -36},  {-2013, -67},  {-2014, -72},
      {-2015, -81},  {-2016, -123}, {-2017, -94},  {-2018, -999}, {-2019, -137}, {-2020, -138}, {-2021, -139},
      {-2022, -58},  {-2023, -141}, {-2024, -142}, {-2025, -143}, {-2026, -145}, {-2027, -147}, {-2028, -148},
      {-2029, -149}, {-2030, -150}, {-2031, -151}, {-2032, -152}, {-2033, -153}, {-2034, -154}, {-2035, -155},
      {-2036, -157}, {-2037, -200}, {-2038, -201}, {-2039, -202}, {-2040, -198}, {-2041, -199}, {-2042, -203},
      {-2043, -197}, {-2044, -206}, {-2045, -207}, {-2046, -204}, {-2047, -205}, {-2048, -208}, {-2049, -217},
      {-2999, -83},  {0, 0},        {1234, -1},    {-2000, -1},   {-2050, -1},
  };
  for (const auto& p : pairs) EXPECT_EQ(p[1], SES_map_shape_error_to_zul(p[0])) << p[0];
}

TEST(Dates, DayOfYear) {
  const int32_t cases[][4] = {
      // month, day, year, day of year
      {3, 1, 2001, 60}, {3, 1, 2000, 61}, {1, 1, 2001, 1}, {12, 31, 2001, 365},
      {12, 31, 2000, 366}, {3, 1, 1900, 60}, {2, 29, 2004, 60},
  };
  for (const auto& c : cases) EXPECT_EQ(c[3], SES_get_day_of_year(c[0], c[1], c[2])) << c[0] << "/" << c[1] << "/" << c[2];
  EXPECT_EQ(SE_INVALID_PARAM, SES_get_day_of_year(0, 1, 2001));
  EXPECT_EQ(SE_INVALID_PARAM, SES_get_day_of_year(13, 1, 2001));
}

// Weekdays from 0 (Sunday); January and February of leap years are where the
// formula's correction could leave the range.
TEST(Dates, DayOfWeek) {
  const int32_t cases[][4] = {
      {1, 1, 2001, 1},  {1, 1, 2000, 6},  {2, 29, 2000, 2}, {1, 2, 2000, 0}, {2, 1, 2004, 0},
      {1, 4, 2004, 0},  {3, 1, 2000, 3},  {7, 4, 1976, 0},  {12, 25, 2023, 1}, {1, 1, 1900, 1},
  };
  for (const auto& c : cases) EXPECT_EQ(c[3], SES_get_day_of_week(c[0], c[1], c[2])) << c[0] << "/" << c[1] << "/" << c[2];
  for (int32_t year : {1996, 2000, 2004, 2400}) {
    for (int32_t month : {1, 2}) {
      for (int32_t day = 1; day <= 28; ++day) {
        int32_t w = SES_get_day_of_week(month, day, year);
        EXPECT_TRUE(w >= 0 && w <= 6) << month << "/" << day << "/" << year << " gave " << w;
      }
    }
  }
  EXPECT_EQ(SE_INVALID_PARAM, SES_get_day_of_week(13, 1, 2001));
}

TEST(CellSize, Table) {
  struct Case {
    double a, b, ref;
    int32_t equal;
  };
  const Case cases[] = {
      {0.5, 0.5000000000000001, 0, 1},
      {0.5, 0.5, 0, 1},
      {0.5, 0.50001, 0, 0},
      {0, 0, 0, 0},
      {-1, -1, 0, 0},
      {1000.0, 1000.0 + 1e-11, 0, 1},
      {1000.0, 1000.0 + 1e-9, 0, 0},
      {0.5, 0.5 + 1e-12, 100000.0, 1},  // the reference scales the tolerance
      {0.5, 0.5 + 1e-12, 0, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(c.equal, SES_cell_size_equal(c.a, c.b, c.ref)) << c.a << " " << c.b << " " << c.ref;
}

TEST(StringArray, OneBlockOfPointersAndBuffers) {
  char** a = nullptr;
  ASSERT_EQ(0, SES_allocate_string_array(&a, 3, 10));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(reinterpret_cast<char*>(a + 3) + i * 10, a[i]);
    EXPECT_STREQ("", a[i]);
    strcpy(a[i], "123456789");
  }
  free(a);
  EXPECT_EQ(SE_INVALID_POINTER, SES_allocate_string_array(nullptr, 1, 1));
  EXPECT_EQ(SE_INVALID_PARAM, SES_allocate_string_array(&a, 0, 1));
  EXPECT_EQ(SE_INVALID_PARAM, SES_allocate_string_array(&a, 1, -5));
  EXPECT_EQ(-1, SES_allocate_string_array(&a, 0x7fffffff, 0x7fffffff));
}

TEST(QueryInfo, InitialiseAndFree) {
  QUERYINFO* q = static_cast<QUERYINFO*>(malloc(sizeof(QUERYINFO)));
  memset(q, 0x5a, sizeof *q);
  q->buffer = malloc(64);
  SES_initialize_queryinfo(q);
  EXPECT_EQ(0, q->num_columns);
  EXPECT_EQ(nullptr, q->columns);
  EXPECT_EQ(nullptr, q->construct);
  EXPECT_EQ(SE_QUERY_KIND_DEFAULT, q->query_kind);
  EXPECT_EQ(nullptr, q->clause);
  EXPECT_EQ(0, q->text_count);
  EXPECT_EQ(nullptr, q->texts);
  EXPECT_EQ(nullptr, q->logfile);
  EXPECT_EQ(0, q->value);
  SES_queryinfo_free(q);  // frees the buffer and the record (the sanitizer checks)
  SES_initialize_queryinfo(nullptr);
  SES_queryinfo_free(nullptr);
}

TEST(PrintDebug, OnlyWithZulverbose) {
  {
    ScopedEnv off("ZULVERBOSE", nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, SES_print_debug(stderr, "hidden %d\n", 1));
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
  }
  ScopedEnv on("ZULVERBOSE", "1");
  testing::internal::CaptureStderr();
  EXPECT_EQ(0, SES_print_debug(stderr, "shown %d\n", 2));
  EXPECT_EQ("shown 2\n", testing::internal::GetCapturedStderr());
  FILE* ro = fopen("/dev/null", "r");
  ASSERT_NE(nullptr, ro);
  EXPECT_EQ(-1, SES_print_debug(ro, "cannot write %d\n", 3));
  fclose(ro);
}

}  // namespace
