// zul_db_version.h -- the state tree, the versions and the lineages as the
// DB2 layer sees them: the SQL texts that restrict rows to states, the
// reads of ZUL.states and ZUL.versions, and the calls of the state and
// version procedures through which every change of those tables is made.
//
// Relies on the access core (zul_db.h, dbsql_io.h), the log files
// (zul_db_logfile.h) for long state lists, the varLONG codec and the
// bitmaps of the communication layer, and the procedures of ZULSRVSP.
//
// Divisions:
//   1. state and lineage strings            (db2/db_state_str.cpp)
//   2. states table access                  (db2/db_states.cpp)
//   3. versions table access                (db2/db_versions.cpp)
//   4. state changes through procedures     (db2/db_sp_states.cpp)
//   5. cursor numbering and grants          (db2/db_versioning.cpp, with the module storage)
//
// Notes:
//   1. The per-connection storage of this module (the scan cursors, the
//      single-state statements, the lineage condition, the state-list log
//      file) hangs on DB_INSTANCE.state_list. db_versioning_release drops
//      all of it; the instance's close must call it before disconnecting.
//   2. A STATE's lineage data is owned by whoever filled the record: after
//      a read the caller frees it with free() (a scan frees the data it
//      handed out last when it reads the next state into the same record,
//      or when it ends).
//   3. Procedure message codes from -20998 to -20001 become the code plus
//      20000 with native code 0; any other non-zero code becomes -51 with
//      the code as native code (db_sp_set_message_error).
#ifndef ZUL_DB_VERSION_H
#define ZUL_DB_VERSION_H

#include <stdint.h>

#include "zul_db.h"
#include "zul_registration.h"

struct SE_BITMAP;

#define SE_VERSION_NOEXIST        (-126)  // version not found or not readable
#define SE_VERSION_NAME_TOO_LONG  (-171)  // version or owner name too long
#define SE_STATE_NOEXIST          (-172)  // a lineage names a missing state
#define SE_VERSION_HAS_MOVED      (-174)  // version no longer in the expected state
#define SE_STATE_HAS_CHILDREN     (-175)  // state has children
#define SE_PARENT_NOT_CLOSED      (-176)  // parent or target state is open
#define SE_VERSION_EXISTS         (-177)  // version name exists
#define SE_STATE_USED_BY_VERSION  (-179)  // a version points at the state, or the range may not go
#define SE_STATE_NOT_ON_LINEAGE   (-190)  // state not on the lineage, or empty range
#define SE_STATE_SCAN_INACTIVE    (-14)   // "next" without an active scan
#define SE_SCAN_FINISHED          (-4)    // no more rows; the scan has ended

// Scan operations of DB_state_scan and DB_version_scan.
#define SE_SCAN_START  1
#define SE_SCAN_NEXT   2
#define SE_SCAN_END    3

// ---- 1. state and lineage strings -----------------------------------------------------

// The lineage condition of the instance (written by DB_state_lineage_string
// type 2), for the versioned-query generator. Null text when none is set.
struct DB_LINEAGE_CONDITION {
  const char* text;          // the condition, or null
  int32_t     lineage_name;  // lineage it was written for
  int32_t     state_id;      // state it was written for
};

// Formats a short id list into *text (malloc'd); its status is returned as is.
typedef int32_t (*DB_STATE_LIST_FORMATTER)(const int32_t* ids, int32_t count, char** text);

int32_t DB_state_lineage_string(DB_INSTANCE* instance, const STATE* state, void* list_fn,
                                int32_t unused1, char** text, int32_t markers, int32_t unused2,
                                int32_t type);
int32_t DB_state_sublineage_string(DB_INSTANCE* instance, const STATE* a, const STATE* b,
                                   void* list_fn, int32_t unused1, void* unused2, char** text,
                                   int32_t unused3, int32_t slot);
int32_t DB_state_partial_lineage_string(DB_INSTANCE* instance, const STATE* state,
                                        int32_t ancestor, void* list_fn, char** text);
int32_t DB_state_list_string(DB_INSTANCE* instance, const int32_t* ids, int32_t count,
                             DB_STATE_LIST_FORMATTER formatter, char** text);
int32_t DB_state_list_string_free(DB_INSTANCE* instance, char* text);
// The instance's lineage condition (text null when none).
DB_LINEAGE_CONDITION db_state_lineage_condition(DB_INSTANCE* instance);

// ---- 2. states table access ---------------------------------------------------------

int32_t DB_state_scan(DB_INSTANCE* instance, int32_t operation, const char* where,
                      int32_t lineage, STATE* state);
int32_t DB_state_get_by_id(DB_INSTANCE* instance, int32_t id, int32_t lineage, STATE* state);
int32_t DB_state_has_children(DB_INSTANCE* instance, int32_t id, int32_t* result);
int32_t DB_state_has_versions(DB_INSTANCE* instance, int32_t id, int32_t* result);
int32_t DB_state_get_modified_mvtables(DB_INSTANCE* instance, const STATE* state,
                                       SE_BITMAP* bitmap);
int32_t DB_state_list_get_modified_mvtables(DB_INSTANCE* instance, void* unused,
                                            const char* list, SE_BITMAP* bitmap);
int32_t DB_state_unflag_modified_mvtables(DB_INSTANCE* instance, const STATE* state);
// DB_states_def_insert is declared in zul_db_tables.h.
int32_t DB_states_def_delete(...);
int32_t DB_states_def_trim_lineage(...);
int32_t DB_states_def_update(...);
// For the lineage rebuild: (state id, parent id) in state-id order.
int32_t db_states_parent_scan(DB_INSTANCE* instance, int32_t operation, int32_t* id,
                              int32_t* parent);
// Decodes a packed lineage into ids (root first); -66 when the data is
// damaged. *ids is malloc'd (free()), null for an empty lineage.
int32_t db_state_lineage_ids(const STATE* state, int32_t** ids, int32_t* count);
// Packs ids as lineage data (malloc'd) for a STATE: 0 or -12.
int32_t db_state_lineage_pack(const int32_t* ids, int32_t count, uint8_t** data);

// ---- 3. versions table access -------------------------------------------------------

int32_t DB_version_scan(DB_INSTANCE* instance, int32_t mode, const char* where, VERSION* out);
int32_t DB_version_get_by_name(DB_INSTANCE* instance, const char* owner, const char* name,
                               VERSION* out);
int32_t DB_version_get_by_id(DB_INSTANCE* instance, int32_t id, VERSION* out);
int32_t db_version_select_one(DB_INSTANCE* instance, const char* where, int32_t id,
                              const char* owner, const char* name, VERSION* out);
// DB_versions_def_insert is declared in zul_db_tables.h.
int32_t DB_versions_def_change_state(...);
int32_t DB_versions_def_delete(...);
int32_t DB_versions_def_rename(...);
int32_t DB_versions_def_update(...);
int32_t DB_sp_versions_def_change_state(DB_INSTANCE* instance, const VERSION* version,
                                        int32_t new_state);
// name_out: at least 65 bytes.
int32_t DB_sp_versions_def_insert(DB_INSTANCE* instance, const VERSION* version,
                                  int32_t unique_name, char* name_out);
int32_t DB_sp_versions_def_delete(DB_INSTANCE* instance, const char* owner, const char* name);
int32_t DB_sp_versions_def_update(DB_INSTANCE* instance, const VERSION* version);
int32_t DB_sp_versions_def_rename(DB_INSTANCE* instance, const char* owner,
                                  const char* old_name, const char* new_name);

// ---- 4. state changes through procedures --------------------------------------------

int32_t DB_sp_states_def_insert(DB_INSTANCE* instance, const STATE* state, int32_t* new_id,
                                int32_t* new_lineage);
int32_t DB_sp_states_def_delete(DB_INSTANCE* instance, const int32_t* ids, int32_t count);
int32_t DB_sp_states_def_update(DB_INSTANCE* instance, const STATE* state,
                                uint32_t* closing_time);
int32_t DB_sp_states_def_trim_lineage(DB_INSTANCE* instance, int32_t guard, int32_t low,
                                      int32_t high);
int32_t DB_state_range_delete_ok(DB_INSTANCE* instance, int32_t start, int32_t end);

// ---- 5. cursor numbering and grants ---------------------------------------------------

int32_t db_column_update_by_cursor(DB_INSTANCE* instance, const REGISTRATION* reg,
                                   int32_t unused1, int32_t unused2, int32_t rowid_flag,
                                   char** name);
int32_t db_grant_revoke(DB_INSTANCE* instance, int32_t unused, const char* privilege,
                        const char* table, const char* user, int32_t grant,
                        int32_t grant_option);

// ---- module storage -------------------------------------------------------------------

// Drops every statement and buffer this module keeps for the instance and
// removes its temporary state-list log file. Safe to call twice.
void db_versioning_release(DB_INSTANCE* instance);

#endif
