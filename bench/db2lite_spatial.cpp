// db2lite_spatial.cpp -- a small-window envelope query on a layer of many
// shapes, answered through db2lite's spatial index, as a ratio to the full
// scan that ENVELOPESINTERSECT makes without it, on the same data in the
// same run.
//
// The table holds N shapes (small squares and points spread over a square
// field), stored from packed shape values by GEOMETRYFROMZUL as inserts do.
// Each round runs the same Q windows twice:
//   baseline  ENVELOPESINTERSECT(search, SHAPE) = 1, every row tested;
//   indexed   the spatial index's predicate (dl_spatial_filter_sql).
// Both must return the same rows (checked by count and a sum of ids per
// window); the figure is windows per second and the ratio indexed/baseline.
// Usage: bench_db2lite_spatial [shapes] [windows]
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "dl_engine.h"
#include "dl_spatial.h"
#include "geomkit.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

void put_varlong(std::string* out, int32_t v) {
  uint32_t a = v < 0 ? (uint32_t)(-(int64_t)v) : (uint32_t)v;
  unsigned char b = (unsigned char)(a & 0x3F);
  if (v < 0) b |= 0x40;
  a >>= 6;
  while (a) {
    out->push_back((char)(b | 0x80));
    b = (unsigned char)(a & 0x7F);
    a >>= 7;
  }
  out->push_back((char)b);
}

// A packed shape value as the server writes it: header, a compressed
// feature of 24 bytes, and the trailer with srid and envelope (plus area
// and length for an area).
std::string packed(int32_t npts, int32_t entity, const double env[4]) {
  std::string b;
  put_varlong(&b, npts);
  put_varlong(&b, entity);
  b.resize(8, '\0');
  put_varlong(&b, 16);
  b.resize(8 + 24, '\x11');
  b += "001";
  unsigned char num[8];
  int32_t srid = 1;
  SgPutInteger(num, '1', 1, &srid);
  b.append((char*)num, 4);
  for (int i = 0; i < 4; ++i) {
    SgPutDouble(num, '1', 1, &env[i]);
    b.append((char*)num, 8);
  }
  if (entity & 8) {
    double area = (env[2] - env[0]) * (env[3] - env[1]), len = 2 * (env[2] - env[0] + env[3] - env[1]);
    SgPutDouble(num, '1', 1, &area);
    b.append((char*)num, 8);
    SgPutDouble(num, '1', 1, &len);
    b.append((char*)num, 8);
  }
  return b;
}

bool exec(sqlite3* db, const std::string& sql) {
  char* err = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) == SQLITE_OK) return true;
  fprintf(stderr, "%s\n  in: %.200s\n", err ? err : "?", sql.c_str());
  sqlite3_free(err);
  return false;
}

bool run_db2(sqlite3* db, const dl::DlSession& s, const std::string& text) {
  dl::DlPlan plan;
  dl::DlDiag d;
  if (dl::dl_translate(db, s, text.data(), text.size(), &plan, &d) != 0) {
    fprintf(stderr, "%s\n", d.text.c_str());
    return false;
  }
  for (const auto& p : plan.pre)
    if (!exec(db, p)) return false;
  if (!exec(db, plan.main)) return false;
  for (const auto& p : plan.post)
    if (!exec(db, p)) return false;
  return true;
}

struct Answer {
  long long rows = 0, id_sum = 0;
};

Answer run_window(sqlite3_stmt* st, const std::string& search) {
  sqlite3_reset(st);
  sqlite3_bind_blob(st, 1, search.data(), (int)search.size(), SQLITE_STATIC);
  Answer a;
  while (sqlite3_step(st) == SQLITE_ROW) {
    ++a.rows;
    a.id_sum += sqlite3_column_int64(st, 0);
  }
  return a;
}

}  // namespace

int main(int argc, char** argv) {
  const long n = argc > 1 ? atol(argv[1]) : 1000000;
  const int q = argc > 2 ? atoi(argv[2]) : 200;
  if (n < 1 || q < 1) {
    fprintf(stderr, "usage: %s [shapes] [windows]\n", argv[0]);
    return 2;
  }
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  dl::DlSession s;
  s.user = s.schema = "ZUL";
  s.database = "BENCH";
  dl::DlDiag d;
  if (dl::dl_catalog_init(db, &d) || dl::dl_user_add(db, "ZUL", "zulpw", true, &d) ||
      dl::dl_catalog_enable_spatial(db, &d) || dl::dl_connection_setup(db, &s, &d) ||
      dl::dl_spatial_register(db) != SQLITE_OK) {
    fprintf(stderr, "set-up: %s\n", d.text.c_str());
    return 1;
  }
  if (!run_db2(db, s, "CREATE TABLE ZUL.PARCELS (ID INTEGER NOT NULL, SHAPE DB2GSE.ST_Geometry)")) return 1;

  // The field: side chosen so that a shape meets a few neighbours.
  const double side = 100.0 * sqrt((double)n);
  std::mt19937 rng(42);
  std::uniform_real_distribution<double> pos(0, side), size(0, 80);
  Clock::time_point t0 = Clock::now();
  exec(db, "BEGIN");
  sqlite3_stmt* ins = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO \"ZUL.PARCELS\" (ID, SHAPE) VALUES (?, GEOMETRYFROMZUL(?, NULL))", -1, &ins,
                     nullptr);
  for (long i = 1; i <= n; ++i) {
    double x = pos(rng), y = pos(rng);
    bool pt = i % 5 == 0;
    double w = pt ? 0 : size(rng), h = pt ? 0 : size(rng);
    double env[4] = {x, y, x + w, y + h};
    std::string b = packed(pt ? 1 : 5, pt ? 1 : 8, env);
    sqlite3_bind_int64(ins, 1, i);
    sqlite3_bind_blob(ins, 2, b.data(), (int)b.size(), SQLITE_TRANSIENT);
    if (sqlite3_step(ins) != SQLITE_DONE) {
      fprintf(stderr, "insert: %s\n", sqlite3_errmsg(db));
      return 1;
    }
    sqlite3_reset(ins);
  }
  sqlite3_finalize(ins);
  exec(db, "COMMIT");
  double load = seconds_since(t0);

  t0 = Clock::now();
  if (!run_db2(db, s, "CREATE INDEX ZUL.P_IX1 ON ZUL.PARCELS (SHAPE) EXTEND USING db2gse.spatial_index (1.0, 0, 0)"))
    return 1;
  std::vector<std::string> stmts;
  if (dl::dl_spatial_create_index_sql(db, "ZUL", "P_IX1", "ZUL", "PARCELS", {"SHAPE"}, "1.0, 0, 0", &stmts, &d)) {
    fprintf(stderr, "index: %s\n", d.text.c_str());
    return 1;
  }
  for (const auto& x : stmts)
    if (!exec(db, x)) return 1;
  double build = seconds_since(t0);

  const std::string search = "POLYFROMZUL(CAST(? AS BLOB), CAST(NULL AS TEXT))";
  std::string filter;
  if (!dl::dl_spatial_filter_sql(db, "ZUL", "PARCELS", "SHAPE", "\"ZUL.PARCELS\"", search, &filter)) {
    fprintf(stderr, "no index filter\n");
    return 1;
  }
  sqlite3_stmt *plain = nullptr, *indexed = nullptr;
  sqlite3_prepare_v2(db, ("SELECT ID FROM \"ZUL.PARCELS\" WHERE ENVELOPESINTERSECT(" + search + ", SHAPE) = 1").c_str(),
                     -1, &plain, nullptr);
  sqlite3_prepare_v2(db, ("SELECT ID FROM \"ZUL.PARCELS\" WHERE " + filter).c_str(), -1, &indexed, nullptr);
  if (!plain || !indexed) {
    fprintf(stderr, "prepare: %s\n", sqlite3_errmsg(db));
    return 1;
  }
  std::vector<std::string> windows;
  std::uniform_real_distribution<double> wsize(50, 500);
  for (int i = 0; i < q; ++i) {
    double x = pos(rng), y = pos(rng);
    double env[4] = {x, y, x + wsize(rng), y + wsize(rng)};
    windows.push_back(packed(5, 8, env));
  }

  // The full scan is slow: it runs on a tenth of the windows (at least one),
  // and both sides are compared on those.
  int scanned = q / 10 > 0 ? q / 10 : 1;
  std::vector<Answer> base(scanned);
  t0 = Clock::now();
  for (int i = 0; i < scanned; ++i) base[i] = run_window(plain, windows[i]);
  double t_plain = seconds_since(t0) / scanned;

  long long rows = 0;
  int wrong = 0;
  t0 = Clock::now();
  for (int i = 0; i < q; ++i) {
    Answer a = run_window(indexed, windows[i]);
    rows += a.rows;
    if (i < scanned && (a.rows != base[i].rows || a.id_sum != base[i].id_sum)) ++wrong;
  }
  double t_indexed = seconds_since(t0) / q;

  printf("shapes %ld: load %.2f s, index build %.2f s\n", n, load, build);
  printf("baseline (full scan)   %10.1f windows/s\n", 1.0 / t_plain);
  printf("indexed                %10.1f windows/s  (%lld rows over %d windows)\n", 1.0 / t_indexed, rows, q);
  printf("ratio indexed/baseline %10.1f\n", t_plain / t_indexed);
  sqlite3_finalize(plain);
  sqlite3_finalize(indexed);
  sqlite3_close(db);
  if (wrong) {
    fprintf(stderr, "%d windows answered differently with the index\n", wrong);
    return 1;
  }
  return 0;
}
