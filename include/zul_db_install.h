// zul_db_install.h -- installing a database for the server: the system
// tables of schema ZUL and the release record, the stored procedures of the
// procedure library (their signatures, registration, package bind and the
// start-up check), and the few versioning and registration services these
// call.
//
// Divisions:
//   1. system tables                          (db2/db_install.cpp)
//   2. stored-procedure signatures            (db2/db_spsig.cpp)
//   3. stored-procedure registration          (db2/db_spregister.cpp)
//   4. versioning and registration services   (db2/db_stubs_sp.cpp)
//
// Conventions: a signed 32-bit status, 0 success; messages of the
// installation go to standard error. Every call runs on the instance's
// connection, autocommit off.
#ifndef ZUL_DB_INSTALL_H
#define ZUL_DB_INSTALL_H

#include <stddef.h>
#include <stdint.h>

#include "zul_db.h"
#include "zul_db_tables.h"

// ---- 1. system tables ----------------------------------------------------------------

// Status codes of the installation besides the shared ones.
#define SE_INCONSISTENT_TABLE   (-53)   // a column of a system table has another type
#define SE_INSTALL_FAILED       (-1)    // a creation failed, or a table is inconsistent or old

// The system tables are taken as present: always 0.
int32_t DB_instance_system_tables_exists(DB_INSTANCE* instance);
// Checks the release (writing a fresh one into a database that has none),
// then creates every missing system table in a fixed order. 0; -88 a
// database of another release; -1 a creation failed or a table is
// inconsistent or of an old layout; else the failed check's or step's status.
int32_t DB_instance_system_tables_create(DB_INSTANCE* instance,
                                         const DBTUNE_SYSTEM_PARAMS* storage);

// ---- 2. stored-procedure signatures -----------------------------------------------

#define SP_PROCEDURE_COUNT      45      // procedures registered in schema ZUL
#define SP_FAMILY_COUNT         10
#define SP_MIN_LIBRARY_RELEASE  13      // the oldest procedure library served
#define SP_LIBRARY_NAME         "zulsrvsp"
#define SP_BIND_FILE            "zulsrvsp.bnd"

// How a family's procedures are created.
enum SP_FAMILY_KIND {
  SP_FAMILY_COMMON = 0,   // DROP then CREATE on the installation's statement
  SP_FAMILY_OWN_STMT = 1, // CREATE through db_create_procedure (states, versions)
  SP_FAMILY_COMMITTED = 2 // DROP and CREATE each committed (raster columns)
};

// One procedure: its bare name (also its entry point in the library) and
// its parameters as "direction name type" separated by ", ".
struct SP_SIGNATURE {
  const char* name;       // bare name, "zul_..."
  const char* params;     // "" for none
  int32_t     msg_pair;   // 1: OUT msgCode INTEGER, OUT reserved VARCHAR(1024) follow
};

struct SP_FAMILY {
  const char*         name;     // for messages and tests
  int32_t             kind;     // SP_FAMILY_KIND
  int32_t             count;    // procedures
  const SP_SIGNATURE* procs;    // in creation order
};

// The ten families in registration order.
const SP_FAMILY* db_sp_families(void);
// The signature of a bare name, or null.
const SP_SIGNATURE* db_sp_find(const char* name);
// Markers a CALL of the procedure binds (its parameters and the message
// pair); -1 for an unknown name.
int32_t db_sp_marker_count(const char* name);
// Writes the CREATE PROCEDURE text of sig into out (cap bytes). 0, or -250
// when it does not fit.
int32_t db_sp_create_text(DB_INSTANCE* instance, const SP_SIGNATURE* sig, char* out, size_t cap);

// ---- 3. stored-procedure registration --------------------------------------------

// 0: all 45 procedures registered and the library answers release 13 or
// more (the registration row-id migration has then run); -1: a procedure is
// missing or the library is too old; -51: a DB2 call failed (recorded in the
// instance); else the status of the preparation or the CLI return code of a
// failed allocation.
int32_t DB_instance_stored_procedures_exists(DB_INSTANCE* instance);
// Binds the package, drops and creates the 45 procedures family by family,
// runs the migration and commits. 0; -12; the bind's status; the CLI return
// code of a failed allocation or CREATE; the status of the creating routine;
// the migration's status.
int32_t DB_instance_stored_procedures_create(DB_INSTANCE* instance);
// Binds the procedure library's package from $ZULHOME/lib/<file> with
// EXECUTE granted to PUBLIC. 0; -12; -51 the bind failed (also when ZULHOME
// is not set).
int32_t S_bind_package(const char* file);
// Gives registered layers of databases older than release 81200 the row-id
// column SE_ROW_ID where their table has it. 0 when the pass completed.
int32_t db_registry_rowid_migrate(DB_INSTANCE* instance);

// ---- 4. versioning and registration services ----------------------------------------

// Records a procedure's non-zero message code as the instance's error:
// -20998 to -20001 give the code plus 20000 with native code 0, anything
// else -51 with the code as native code; the message is "Error executing
// stored procedure <name>". Returns the status recorded.
int32_t db_sp_set_message_error(DB_INSTANCE* instance, int32_t code, const char* name);
// Runs one CREATE PROCEDURE text on a statement of its own. 0, or the
// failing CLI code with the diagnostic recorded in the stream (when given)
// or the instance. A procedure that already exists is dropped and created
// again.
int32_t db_create_procedure(DB_INSTANCE* instance, DB_STREAM* stream, const char* sql,
                            const char* name);
// Stores a registration's row-id column, description, flags, keyword,
// minimum id and view name through zul_update_registr, and commits. 0; -51
// a CLI call failed; else the mapped message code of the procedure.
int32_t DB_sp_registry_def_update(DB_INSTANCE* instance, const REGISTRATION* reg);
// 0 the state_lineages table is there (its seed row added when missing);
// -37 missing; -38 a column missing; -51 a DBMS error.
int32_t DB_instance_lineages_table_exists(DB_INSTANCE* instance);
// Creates the state_lineages table, fills it from the states table (unless
// states_created) and adds its index, delete trigger and grant. old_layout:
// an older table exists and is replaced.
int32_t DB_instance_lineages_table_create(DB_INSTANCE* instance,
                                          const DBTUNE_SYSTEM_PARAMS* storage,
                                          int32_t old_layout, int32_t states_created);

#endif
