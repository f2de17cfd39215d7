// db_install.cpp -- installing the system tables of schema ZUL: the release
// gate, then every missing table in a fixed order, each step reported on
// standard error.
//
// The tables' DDL and existence checks are those of db_systables.cpp and
// the lineage functions of db_stubs_sp.cpp; this file fixes only the order,
// the decisions between the steps and the messages. Every creation commits
// its own DDL, so an interrupted installation is completed by running it
// again: tables that exist are skipped.
#include <stdio.h>
#include <string.h>

#include "dbsql_io.h"
#include "svr_services.h"
#include "zul_dbms.h"
#include "zul_db_install.h"

namespace {

// Prints the instance's last DBMS error.
void print_dbms_error(DB_INSTANCE* instance) {
  EXTENDED_ERROR e = DB_instance_get_xerr(instance);
  fprintf(stderr, "DBMS error code: %d\n%s\n%s\n", (int)e.native, e.msg, e.ext_msg);
}

using Exists = int32_t (*)(DB_INSTANCE*);
using Create = int32_t (*)(DB_INSTANCE*, const DBTUNE_SYSTEM_PARAMS*);

struct TableStep {
  const char* name;           // in the messages
  Exists exists;
  Create create;              // null: the lineage table's own creation
  int32_t missing;            // the check's code for a missing table
  bool inconsistent_check;    // -53 means an inconsistent table
  const char* failure_name;   // name in the failed-creation message, if another
};

const TableStep kSteps[] = {
    {"SPATIAL_REFERENCES", DB_instance_spatial_ref_table_exists, DB_instance_spatial_ref_table_create,
     SE_TABLE_NOEXIST, false, "SPATIAL_REFERENCE"},
    {"GEOMETRY_COLUMNS", DB_instance_geocol_table_exists, DB_instance_geocol_table_create,
     SE_TABLE_NOEXIST, true, nullptr},
    {"LAYERS", DB_instance_layers_table_exists, DB_instance_layers_table_create, SE_LAYERS_NOEXIST,
     false, nullptr},
    {"RASTER_COLUMNS", DB_instance_rascol_table_exists, DB_instance_rascol_table_create,
     SE_TABLE_NOEXIST, true, nullptr},
    {"TABLE_REGISTRY", DB_instance_registry_table_exists, DB_instance_registry_table_create,
     SE_TABLE_NOEXIST, false, nullptr},
    {"STATES", DB_instance_states_table_exists, DB_instance_states_table_create, SE_TABLE_NOEXIST,
     false, nullptr},
    {"VERSIONS", DB_instance_versions_table_exists, DB_instance_versions_table_create,
     SE_TABLE_NOEXIST, false, nullptr},
    {"MVTABLES_MODIFIED", DB_instance_modified_table_exists, DB_instance_modified_table_create,
     SE_TABLE_NOEXIST, false, nullptr},
    {"METADATA", DB_instance_metadata_table_exists, DB_instance_metadata_table_create,
     SE_TABLE_NOEXIST, false, nullptr},
    {"STATE_LINEAGES", DB_instance_lineages_table_exists, nullptr, SE_TABLE_NOEXIST, false, nullptr},
    {"LOCATORS", DB_instance_zullocators_table_exists, DB_instance_zullocators_table_create,
     SE_TABLE_NOEXIST, true, nullptr},
};

// Reads the release, writing a fresh record into a database without one.
int32_t check_release(DB_INSTANCE* instance, const DBTUNE_SYSTEM_PARAMS* storage) {
  RELEASE release;
  memset(&release, 0, sizeof release);
  int32_t status = DB_instance_get_release(instance, &release);
  if (status == SE_INVALID_RELEASE) {
    memset(&release, 0, sizeof release);
    SES_get_release(&release);
    status = DB_instance_release_table_create(instance, &release, storage);
    if (status != 0) {
      fprintf(stderr, "Error creating VERSION table. (%d)\n", (int)status);
      print_dbms_error(instance);
      return status;
    }
    fprintf(stderr, "VERSION table created...\n");
  } else if (status != 0) {
    print_dbms_error(instance);
    fprintf(stderr, "ERROR getting ZUL server Release. (%d).\n", (int)status);
    return status;
  }
  if (release.release < SE_RELEASE_COMPATIBLE_MIN || release.release > SE_RELEASE_COMPATIBLE_MAX) {
    RELEASE current;
    memset(&current, 0, sizeof current);
    SES_get_release(&current);
    fprintf(stderr,
            "Previous ZUL Server Release %d.%d.%d is not compatible with the current Release "
            "%d.%d.%d.\n\n",
            (int)release.major, (int)release.minor, (int)release.bug, (int)current.major,
            (int)current.minor, (int)current.bug);
    return SE_INVALID_RELEASE;
  }
  return 0;
}

}  // namespace

int32_t DB_instance_system_tables_exists(DB_INSTANCE* instance) {
  (void)instance;
  return 0;
}

int32_t DB_instance_system_tables_create(DB_INSTANCE* instance, const DBTUNE_SYSTEM_PARAMS* storage) {
  if (instance == nullptr) return SE_INVALID_POINTER;
  int32_t status = DB_trans_def_start(instance);
  if (status != 0) {
    print_dbms_error(instance);
    fprintf(stderr, "ERROR starting default transaction. (%d).\n", (int)status);
    return status;
  }
  status = check_release(instance, storage);
  if (status != 0) return status;

  bool states_created = false;
  for (const TableStep& t : kSteps) {
    status = t.exists(instance);
    if (status == 0) continue;
    bool lineages = t.create == nullptr;
    if (status == t.missing || (lineages && status == SE_ATTR_NOEXIST)) {
      fprintf(stderr, "%s table being created...\n", t.name);
      int32_t created =
          lineages ? DB_instance_lineages_table_create(instance, storage, status == SE_ATTR_NOEXIST ? 1 : 0,
                                                       states_created ? 1 : 0)
                   : t.create(instance, storage);
      if (created != 0) {
        fprintf(stderr, "ERROR in creating %s table.\nError: %d\n", t.failure_name ? t.failure_name : t.name,
                (int)created);
        print_dbms_error(instance);
        return SE_INSTALL_FAILED;
      }
      fprintf(stderr, "%s table created...\n", t.name);
      if (t.exists == DB_instance_states_table_exists) states_created = true;
      continue;
    }
    if (t.inconsistent_check && status == SE_INCONSISTENT_TABLE) {
      fprintf(stderr, "Inconsistent data type in %s table.\n", t.name);
      return SE_INSTALL_FAILED;
    }
    if (t.exists == DB_instance_layers_table_exists && status == SE_ATTR_NOEXIST) {
      fprintf(stderr, "Need to upgrade ZUL table schema.\n");
      return SE_INSTALL_FAILED;
    }
    fprintf(stderr, "Unable to verify the existence of the %s table, error = %d.\n", t.name, (int)status);
    print_dbms_error(instance);
    return status;
  }
  return 0;
}
