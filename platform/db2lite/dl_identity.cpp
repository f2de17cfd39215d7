// dl_identity.cpp -- identity counters that a rollback cannot take back.
//
// A value handed to an identity column is never handed out again, even when
// the statement that took it fails or its unit of work is rolled back. The
// counters therefore live outside the unit of work: in a small side file
// next to the database ("<database file>-identity", one row per identity
// column), written by a connection of its own that commits each advance at
// once. The database's DL_IDENTITY keeps the declared START/INCREMENT/CACHE
// and, in the unit of work, the next value after the last one committed
// with a row, so that values in committed rows are never given again even
// if the side file is lost.
//
// Notes:
//  1. Each value is taken by one short committed write of the side file,
//     under its lock, so values come out in order across every process and
//     connection, with no gaps but those of values whose statement failed or
//     was rolled back. (DB2's CACHE would only add gaps; it is recorded and
//     not used.)
//  2. The side file is written with synchronous=NORMAL: a power failure may
//     lose its last advances, never a value of a committed row, because the
//     database's own DL_IDENTITY.NEXTVAL (a floor the side file never goes
//     below) commits with the rows. Only values of work that never committed
//     could then be given again.
//  3. The side file's lock is held only for one short statement and never
//     while waiting for another lock, so it cannot deadlock with the
//     database's write lock. A wait past kStoreBusyMs fails the statement
//     alone (57033/-913), as DB2 does for a statement-level time-out.
//  4. A forked child opens the side file afresh and never closes its
//     parent's handle (closing it could disturb the parent's WAL).
//  5. A column's counter is keyed by the random ID its CREATE TABLE drew
//     (DL_IDENTITY.ID), so a dropped and re-created table starts afresh.
#include "dl_internal.h"

#include <unistd.h>

#include <map>
#include <memory>

namespace dl {

namespace {

constexpr int kStoreBusyMs = 10000;  // another process holds the side file only briefly

}  // namespace

struct DlIdentityStore {
  std::mutex mu;                   // guards everything below
  std::string path;                // the side file
  pid_t pid = 0;                   // the process that opened it (note 4)
  sqlite3* db = nullptr;
  sqlite3_stmt* take = nullptr;    // advances one counter, committed at once

  ~DlIdentityStore() {
    if (pid != getpid()) return;  // a child leaves its parent's handle alone (note 4)
    sqlite3_finalize(take);
    sqlite3_close_v2(db);
  }
};

namespace {

std::mutex g_stores_mu;
std::map<std::string, std::weak_ptr<DlIdentityStore>> g_stores;

// Opens the side file of the database file main_path. 0, or an SQLite code.
int open_store(DlIdentityStore* s) {
  int rc = sqlite3_open_v2(s->path.c_str(), &s->db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) return rc;
  sqlite3_busy_timeout(s->db, kStoreBusyMs);
  rc = sqlite3_exec(s->db,
                    "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                    " CREATE TABLE IF NOT EXISTS DL_IDENTITY_NEXT ("
                    "ID INTEGER PRIMARY KEY, NEXTVAL INTEGER NOT NULL)",
                    nullptr, nullptr, nullptr);
  // ?2 the floor (the database's own next value), ?3 the increment. A new
  // counter starts at the floor; an existing one at its stored value, or at
  // the floor when that lies beyond it. The answer is the value taken.
  if (rc == SQLITE_OK)
    rc = sqlite3_prepare_v2(
        s->db,
        "INSERT INTO DL_IDENTITY_NEXT (ID, NEXTVAL) VALUES (?1, ?2 + ?3)"
        " ON CONFLICT (ID) DO UPDATE SET NEXTVAL ="
        " (CASE WHEN ?3 > 0 THEN max(NEXTVAL, ?2) ELSE min(NEXTVAL, ?2) END) + ?3"
        " RETURNING NEXTVAL - ?3",
        -1, &s->take, nullptr);
  return rc;
}

std::shared_ptr<DlIdentityStore> store_for(const std::string& path, int* rc) {
  std::lock_guard<std::mutex> g(g_stores_mu);
  auto it = g_stores.find(path);
  if (it != g_stores.end()) {
    std::shared_ptr<DlIdentityStore> s = it->second.lock();
    if (s && s->pid == getpid()) return s;
  }
  auto s = std::make_shared<DlIdentityStore>();
  s->path = path;
  s->pid = getpid();
  *rc = open_store(s.get());
  if (*rc != SQLITE_OK) return nullptr;
  g_stores[path] = s;
  return s;
}

}  // namespace

// DL_IDENTITY_NEXT(id, floor, increment, cache): the next value of an
// identity counter (note 1). floor is the database's own next value.
void dl_identity_next_fn(sqlite3_context* cx, int, sqlite3_value** v) {
  DlSessionState* st = static_cast<DlSessionState*>(sqlite3_user_data(cx));
  int64_t id = sqlite3_value_int64(v[0]);
  int64_t floor = sqlite3_value_int64(v[1]);
  int64_t inc = sqlite3_value_int64(v[2]);
  if (inc == 0) inc = 1;
  int64_t after = 0;
  if (__builtin_add_overflow(floor, inc, &after)) {
    std::string e = dl_raise_text("23522", -359, dl_msg(-359, "The range of values for the identity column or sequence is exhausted.", "23522"));
    return sqlite3_result_error(cx, e.c_str(), (int)e.size());
  }
  const char* main_path = sqlite3_db_filename(sqlite3_context_db_handle(cx), "main");
  if (st == nullptr || main_path == nullptr || *main_path == 0) {
    // A database without a file: no other connection can see it, nothing to keep.
    return sqlite3_result_int64(cx, floor);
  }
  std::shared_ptr<DlIdentityStore> s;
  {
    std::lock_guard<std::mutex> g(st->mu);
    s = st->identity;
  }
  std::string path = std::string(main_path) + "-identity";
  if (!s || s->path != path || s->pid != getpid()) {
    int rc = SQLITE_OK;
    s = store_for(path, &rc);
    if (!s) {
      std::string e = dl_raise_text("58004", -902, dl_msg(-902, "A system error occurred opening the identity store \"" + path + "\": " + sqlite3_errstr(rc) + ".", "58004"));
      return sqlite3_result_error(cx, e.c_str(), (int)e.size());
    }
    std::lock_guard<std::mutex> g(st->mu);
    st->identity = s;
  }
  std::lock_guard<std::mutex> g(s->mu);
  sqlite3_bind_int64(s->take, 1, id);
  sqlite3_bind_int64(s->take, 2, floor);
  sqlite3_bind_int64(s->take, 3, inc);
  int rc = sqlite3_step(s->take);
  int64_t out = rc == SQLITE_ROW ? sqlite3_column_int64(s->take, 0) : 0;
  if (rc == SQLITE_ROW) rc = sqlite3_step(s->take);
  sqlite3_reset(s->take);
  if (rc != SQLITE_DONE) {
    int p = rc & 0xff;
    std::string e =
        p == SQLITE_BUSY || p == SQLITE_LOCKED
            ? dl_raise_text("57033", -913, dl_msg(-913, "Unsuccessful execution caused by deadlock or timeout.  Reason code \"68\".", "57033"))
            : dl_raise_text("58004", -902, dl_msg(-902, "A system error occurred advancing an identity counter: " + std::string(sqlite3_errmsg(s->db)) + ".", "58004"));
    return sqlite3_result_error(cx, e.c_str(), (int)e.size());
  }
  sqlite3_result_int64(cx, out);
}

}  // namespace dl
