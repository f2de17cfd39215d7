// zulmisc.cpp -- small shared services: the map from geometry-library errors
// to the server's statuses, date arithmetic, cell-size comparison, string
// arrays, the query description's life, and debug printing.
//
// Dates take a month from 1 to 12; any other month is refused rather than
// read outside the month tables. The day of the week is always 0 (Sunday) to
// 6.
#include <math.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdlib.h>

#include "svr_services.h"
#include "zul_queryinfo.h"
#include "zul_status.h"
#include "zulos.h"

namespace {

struct ShapeErrorMap {
  int32_t geometry_code;
  int32_t status;
};

constexpr ShapeErrorMap kShapeErrors[] = {
    {-2001, -134}, {-2002, -65},  {-2003, -66},  {-2004, -27},  {-2005, -135}, {-2006, -29},
    {-2007, -136}, {-2008, -82},  {-2009, -30},  {-2010, -75},  {-2011, -76},  {-2012, -36},
    {-2013, -67},  {-2014, -72},  {-2015, -81},  {-2016, -123}, {-2017, -94},  {-2018, -999},
    {-2019, -137}, {-2020, -138}, {-2021, -139}, {-2022, -58},  {-2023, -141}, {-2024, -142},
    {-2025, -143}, {-2026, -145}, {-2027, -147}, {-2028, -148}, {-2029, -149}, {-2030, -150},
    {-2031, -151}, {-2032, -152}, {-2033, -153}, {-2034, -154}, {-2035, -155}, {-2036, -157},
    {-2037, -200}, {-2038, -201}, {-2039, -202}, {-2040, -198}, {-2041, -199}, {-2042, -203},
    {-2043, -197}, {-2044, -206}, {-2045, -207}, {-2046, -204}, {-2047, -205}, {-2048, -208},
    {-2049, -217}, {-2999, -83},
};

constexpr int32_t kMonthDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr int32_t kWeekdayOffset[12] = {6, 2, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};

constexpr size_t kStringArrayMax = size_t{1} << 30;  // largest string-array block, bytes

bool is_leap(int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

}  // namespace

int32_t SES_map_shape_error_to_zul(int32_t code) {
  if (code == 0) return SE_SUCCESS;
  for (const ShapeErrorMap& m : kShapeErrors) {
    if (m.geometry_code == code) return m.status;
  }
  return -1;
}

int32_t SES_get_day_of_year(int32_t month, int32_t day, int32_t year) {
  if (month < 1 || month > 12) return SE_INVALID_PARAM;
  int32_t n = day;
  for (int32_t m = 1; m < month; ++m) n += kMonthDays[m - 1];
  if (month > 2 && !is_leap(year)) --n;
  return n;
}

int32_t SES_get_day_of_week(int32_t month, int32_t day, int32_t year) {
  if (month < 1 || month > 12) return SE_INVALID_PARAM;
  int64_t r = (static_cast<int64_t>(year) + year / 4 + year / 400 - year / 100 - 6 + kWeekdayOffset[month - 1] +
               day - 1) % 7;
  if (month <= 2 && is_leap(year)) --r;
  // The subtraction, and years before 0, can leave the remainder outside
  // 0..6; fold it back so every caller gets a weekday.
  return static_cast<int32_t>(((r % 7) + 7) % 7);
}

int32_t SES_cell_size_equal(double a, double b, double reference) {
  if (!(a > 0.0) || !(b > 0.0)) return 0;
  if (a == b) return 1;
  double ref = fabs(reference);
  double digits;
  if (a >= 1.0) {
    double v = (ref >= 1.0 && ref >= a) ? ref : a;
    digits = 13.0 - floor(log10(v));
  } else {
    digits = ref >= 1.0 ? 13.0 - floor(log10(ref)) : 14.0;
  }
  return fabs(a - b) < pow(10.0, -digits) ? 1 : 0;
}

int32_t SES_allocate_string_array(char*** out, int32_t count, int32_t size) {
  if (out == nullptr) return SE_INVALID_POINTER;
  if (count < 1 || size < 1) return SE_INVALID_PARAM;
  size_t n = static_cast<size_t>(count);
  size_t each = static_cast<size_t>(size);
  // Both factors are below 2^31, so the size cannot wrap in 64 bits; a block
  // beyond any sensible use is refused before it is asked for.
  static_assert(sizeof(size_t) >= 8, "string-array size needs 64-bit size_t");
  if (n * (sizeof(char*) + each) > kStringArrayMax) return -1;
  char** block = static_cast<char**>(calloc(1, n * sizeof(char*) + n * each));
  if (block == nullptr) return -1;
  char* text = reinterpret_cast<char*>(block + n);
  for (size_t i = 0; i < n; ++i) block[i] = text + i * each;
  *out = block;
  return SE_SUCCESS;
}

void SES_initialize_queryinfo(QUERYINFO* info) {
  if (info == nullptr) return;
  info->num_columns = 0;
  info->columns = nullptr;
  info->construct = nullptr;
  info->query_kind = SE_QUERY_KIND_DEFAULT;
  info->clause = nullptr;
  info->text_count = 0;
  info->texts = nullptr;
  info->logfile = nullptr;
  info->value = 0;
}

void SES_queryinfo_free(QUERYINFO* info) {
  if (info == nullptr) return;
  free(info->buffer);
  free(info);
}

int32_t SES_print_debug(FILE* stream, const char* format, ...) {
  if (zulos_env_get("ZULVERBOSE") == nullptr) return SE_SUCCESS;
  if (stream == nullptr || format == nullptr) return -1;
  va_list ap;
  va_start(ap, format);
  int n = vfprintf(stream, format, ap);
  va_end(ap);
  if (n < 0 || fflush(stream) != 0) return -1;
  return SE_SUCCESS;
}
