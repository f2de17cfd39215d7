// db_version_private.h -- what the files of the versioning module share:
// the per-connection storage hung on DB_INSTANCE.state_list, a statement
// guard, the parameter binders and the calendar-time conversion of DB2
// timestamps.
#ifndef DB_VERSION_PRIVATE_H
#define DB_VERSION_PRIVATE_H

#include <stdint.h>
#include <time.h>

#include <string>

#include "dbsql_io.h"
#include "zul_db_version.h"
#include "zul_logfile.h"

namespace dbv {

constexpr int kRowset = 100;           // rows per rowset of every scan
constexpr int kOwnerCap = 33;          // owner column (32) and its terminator

// One rowset of the state scan, bound column by column.
struct StateRowset {
  SQLINTEGER           id[kRowset];
  char                 owner[kRowset][kOwnerCap];
  SQL_TIMESTAMP_STRUCT created[kRowset];
  SQL_TIMESTAMP_STRUCT closed[kRowset];
  SQLINTEGER           lineage_name[kRowset];
  SQLINTEGER           id2[kRowset];
  SQLLEN               ind[6][kRowset];     // per column; closed's NULL shows in ind[3]
};

// One rowset of the version scan, bound column by column.
struct VersionRowset {
  char                 name[kRowset][65];
  char                 owner[kRowset][kOwnerCap];
  SQLINTEGER           id[kRowset];
  SQLUINTEGER          status[kRowset];
  SQLINTEGER           state_id[kRowset];
  char                 description[kRowset][65];
  char                 parent_name[kRowset][65];
  char                 parent_owner[kRowset][kOwnerCap];
  SQLINTEGER           parent_id[kRowset];
  SQL_TIMESTAMP_STRUCT created[kRowset];
  SQLLEN               ind[10][kRowset];
};

// A single-state reader kept prepared (by id, by parent, by version).
struct StateReader {
  SQLHSTMT             stmt = SQL_NULL_HSTMT;
  SQLINTEGER           param = 0;
  SQLLEN               param_ind = 0;
  SQLINTEGER           id = 0, lineage_name = 0;
  char                 owner[kOwnerCap] = {};
  SQL_TIMESTAMP_STRUCT created = {}, closed = {};
  SQLLEN               ind[5] = {};
};

// The module's storage of one connection.
struct Storage {
  // the state scan
  SQLHSTMT     scan_stmt = SQL_NULL_HSTMT;
  bool         scan_active = false;
  bool         scan_at_end = false;
  SQLULEN      scan_rows = 0;        // rows of the current rowset
  SQLULEN      scan_pos = 0;         // next row of it
  StateRowset* scan_rowset = nullptr;
  uint8_t*     scan_lineage = nullptr;  // lineage data handed out last
  // the lineage statement
  SQLHSTMT     lineage_stmt = SQL_NULL_HSTMT;
  SQLINTEGER   lineage_params[2] = {0, 0};
  SQLLEN       lineage_param_ind[2] = {0, 0};
  SQLINTEGER   lineage_ids[kRowset];
  SQLLEN       lineage_ind[kRowset];
  // the single-state readers
  StateReader  readers[3];
  // the parent scan of the lineage rebuild
  SQLHSTMT     parent_stmt = SQL_NULL_HSTMT;
  bool         parent_at_end = false;
  SQLULEN      parent_rows = 0, parent_pos = 0;
  SQLINTEGER   parent_ids[kRowset], parent_parents[kRowset];
  SQLLEN       parent_ind[2][kRowset];
  // the version scan
  SQLHSTMT       version_stmt = SQL_NULL_HSTMT;
  bool           version_open = false;
  bool           version_at_end = false;
  SQLULEN        version_rows = 0, version_pos = 0;
  VersionRowset* version_rowset = nullptr;
  // the lineage condition
  bool         lc_set = false;
  std::string  lc_text;
  int32_t      lc_lineage = 0, lc_state = 0;
  // the state-list log file
  LOGFILE      list_log = {};
  bool         list_log_exists = false;
};

// The instance's storage, made at first use; null when memory runs out.
Storage* storage(DB_INSTANCE* instance);

inline bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// A statement handle dropped when it goes out of scope.
struct Stmt {
  SQLHSTMT h = SQL_NULL_HSTMT;
  Stmt() = default;
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  ~Stmt() { db_free_stmt(&h); }
};

// Records the statement's diagnostic in the instance; answers -51.
int32_t report(DB_INSTANCE* instance, SQLHSTMT* stmt, int32_t rc);
// The statement's SQLSTATE after a failure ("" when none), without recording it.
std::string sqlstate_of(SQLHSTMT stmt);

// DB2 timestamp taken as local time -> seconds; 0 for a NULL value.
uint32_t timestamp_seconds(const SQL_TIMESTAMP_STRUCT& ts);
// Seconds -> DB2 timestamp in local time.
SQL_TIMESTAMP_STRUCT seconds_timestamp(time_t seconds);

// A terminated copy of a fixed record field.
inline std::string field(const char* text, size_t cap) { return std::string(text, strnlen(text, cap)); }
// Copies a terminated text into a fixed field, cut to cap - 1 and terminated.
void copy_field(char* to, size_t cap, const char* from);

// Calls a procedure whose last two parameters are the message code and
// text; bind binds the leading ones on the statement. Maps a non-zero
// message code (error text "Error executing stored procedure <label>",
// procedure text as extended message). 0 or the mapped status; -51 for a
// CLI failure (recorded). Does not end the transaction.
struct SpCall {
  SQLINTEGER code = 0;
  SQLLEN     code_ind = 0;
  char       message[512] = {};
  SQLLEN     message_ind = 0;
};
template <typename Bind>
int32_t sp_call(DB_INSTANCE* instance, const char* sql, int32_t leading, const char* label,
                SpCall* call, Bind bind, bool code_inout = false);

int32_t sp_bind_and_run(DB_INSTANCE* instance, Stmt* s, const char* sql, int32_t leading,
                        const char* label, SpCall* call, bool code_inout);
int32_t sp_map(DB_INSTANCE* instance, SpCall* call, const char* label);

template <typename Bind>
int32_t sp_call(DB_INSTANCE* instance, const char* sql, int32_t leading, const char* label,
                SpCall* call, Bind bind, bool code_inout) {
  Stmt s;
  int32_t status = db_open_cursor(instance, nullptr, &s.h);
  if (status != 0) return status;
  SQLRETURN rc = bind(s.h);
  if (!ok(rc)) return report(instance, &s.h, rc);
  return sp_bind_and_run(instance, &s, sql, leading, label, call, code_inout);
}

}  // namespace dbv

#endif
