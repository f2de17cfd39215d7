// db_raster_io.h -- the statement helper that the raster catalogue's files
// share: one CLI statement owned for the length of a call, with its
// parameters, result columns and last diagnostic, freed by its destructor so
// that an early return cannot leak it.
//
// A failure keeps the diagnostic in the helper; record() copies it into the
// stream (when the helper has one) or the instance as a -51 DBMS error. The
// caller decides first whether the SQLSTATE has a status of its own.
#ifndef DB_RASTER_IO_H
#define DB_RASTER_IO_H

#include <stdint.h>

#include <string>

#include "dbsql_io.h"

namespace rasio {

class Stmt {
 public:
  Stmt(DB_INSTANCE* instance, DB_STREAM* stream = nullptr);
  ~Stmt();
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;

  // Each answers 0 or -51 (diagnostic kept; not yet recorded).
  int32_t prepare(const std::string& sql);
  int32_t bind_int(const int32_t* value, SQLLEN* ind = nullptr);
  int32_t bind_double(const double* value);
  // text: NUL-terminated, bound as VARCHAR(cap); ind may mark NULL.
  int32_t bind_text(const char* text, SQLULEN cap, SQLLEN* ind);
  int32_t bind_blob(const uint8_t* data, SQLLEN* len);
  int32_t col_int(int32_t* value, SQLLEN* ind = nullptr);
  int32_t col_double(double* value);
  int32_t col_text(char* out, SQLLEN cap, SQLLEN* ind);
  int32_t col_blob(uint8_t* out, SQLLEN cap, SQLLEN* ind);
  // Reads a column of the fetched row (position 1, 2, ...); ind receives
  // SQL_NULL_DATA for NULL. 0 (truncation included) or -51.
  int32_t get_int(SQLUSMALLINT pos, int32_t* value, SQLLEN* ind);
  int32_t get_text(SQLUSMALLINT pos, char* out, SQLLEN cap, SQLLEN* ind);
  // 0; SE_DB_NO_DATA for a change that touched no row; -51.
  int32_t execute();
  // 0 (truncation counts as a row); -4 no more rows; -51.
  int32_t fetch();
  int32_t close_cursor();

  bool state_is(const char* sqlstate) const;
  const char* sqlstate() const { return diag_.sqlstate; }
  // Copies the kept diagnostic into the stream or the instance; -51.
  int32_t record();
  SQLHSTMT handle() const { return stmt_; }
  // Gives the statement up to the caller (which frees it with db_free_stmt).
  SQLHSTMT release();
  // Takes over a statement handle kept elsewhere.
  void adopt(SQLHSTMT stmt) { stmt_ = stmt; }
  bool truncated() const { return truncated_; }

 private:
  int32_t fail(SQLRETURN rc);
  DB_INSTANCE* instance_;
  DB_STREAM* stream_;
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
  SQLUSMALLINT param_ = 0;
  SQLUSMALLINT col_ = 0;
  SQLLEN ind_int_ = 0;
  bool truncated_ = false;
  DB_DIAG_RECORD diag_;
};

// Runs one statement text; with commit it commits after success. 0,
// SE_DB_NO_DATA, or -51 with the diagnostic recorded unless the SQLSTATE is
// one that ddl_state_status maps, whose status is returned without a
// record.
int32_t exec_sql(DB_INSTANCE* instance, const std::string& sql, bool commit,
                 std::string* sqlstate = nullptr);

// A status for the common SQLSTATEs of DDL (42S02 -37, 42704 -37, 42S01 -62,
// 42S11 -63, 42502 -25, 42501 -25, 42S21 -19), else 0.
int32_t ddl_state_status(const char* sqlstate);

int32_t commit(DB_INSTANCE* instance);
void    rollback(DB_INSTANCE* instance);

// Text of at most cap - 1 characters of a fixed field that may fill it.
std::string field(const char* text, size_t cap);
// "%d"-free formatting into a std::string.
std::string fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
int32_t now();

}  // namespace rasio

#endif
