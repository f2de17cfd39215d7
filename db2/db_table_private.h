// db_table_private.h -- what the table, index, statistics and envelope
// files share and nobody else needs: a statement guard, the exported-edge
// guard against allocation failures, name checks, SQL literal quoting, the
// DBMS error report of a statement, the raster column of a table and the
// GRANT runner.
#ifndef DB_TABLE_PRIVATE_H
#define DB_TABLE_PRIVATE_H

#include <string.h>

#include <new>
#include <string>

#include "dbsql_io.h"
#include "zul_db_table.h"
#include "zul_db_tables.h"

namespace dbt {

inline bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// Owns one CLI statement handle; dropped at the end of scope.
struct Stmt {
  SQLHSTMT h = SQL_NULL_HSTMT;
  Stmt() = default;
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  ~Stmt() { db_free_stmt(&h); }
  void drop() { db_free_stmt(&h); }
};

// Runs body; an allocation failure inside it becomes -12, so that no
// exception leaves an exported call.
template <typename F>
int32_t guarded(F body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return SE_OUT_OF_DBMS_MEM;
  }
}

// A name that goes into SQL text: -65 null, -66 empty, -322 refused.
inline int32_t check_name(DB_INSTANCE* instance, const char* name) {
  if (name == nullptr) return SE_INVALID_POINTER;
  if (name[0] == '\0') return SE_INVALID_PARAM;
  if (DB_check_identifier(instance, name) != 0) return SE_INVALID_IDENTIFIER;
  return 0;
}

// The text with every single quote doubled, for a '%s' literal.
inline std::string lit(const char* text) {
  std::string out;
  for (const char* p = text; *p != '\0'; ++p) {
    out += *p;
    if (*p == '\'') out += '\'';
  }
  return out;
}

// Upper-cased copy of an identifier, at most cap - 1 characters.
inline std::string upcase(DB_INSTANCE* instance, const char* text, size_t cap) {
  std::string s(text, strnlen(text, cap - 1));
  s.push_back('\0');
  db_upcase_identifier(instance, &s[0], (int32_t)s.size());
  s.resize(strlen(s.c_str()));
  return s;
}

// A field that may fill its array, as a string.
template <size_t N>
std::string field(const char (&f)[N]) {
  return std::string(f, strnlen(f, N));
}

// Reads the statement's diagnostic and records it in the instance; answers
// the diagnostic so that the caller can map its SQLSTATE.
inline DB_DIAG_RECORD report(DB_INSTANCE* instance, SQLHSTMT* stmt, int32_t rc) {
  DB_DIAG_RECORD d = (stmt != nullptr && *stmt != SQL_NULL_HSTMT)
                         ? db_get_diag_record(instance, stmt, rc)
                         : db_get_diag_record(instance, nullptr, rc);
  db_report_dbms_error(instance, d);
  return d;
}

inline bool state_is(const DB_DIAG_RECORD& d, const char* state) {
  return strncmp(d.sqlstate, state, 5) == 0;
}

// The raster column of a table: its id and name. -226 when the table has
// none.
struct RasterColumnRef {
  int32_t id = 0;
  char    name[SE_NAME_COLUMN_LEN] = {0};
};
int32_t raster_column_of(DB_INSTANCE* instance, const char* owner, const char* table,
                         RasterColumnRef* out);

// Runs a GRANT or REVOKE with commit; -25 when the user may not grant.
// (The layer privileges' own grant runner has the same rule.)
int32_t exec_grant(DB_INSTANCE* instance, const std::string& sql);

}  // namespace dbt

#endif
