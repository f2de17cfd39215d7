// dbtune_probe.cpp -- DB_instance_has_dbs_tables: whether the instance keeps
// DBMS-specific dbtune tables. This system keeps its storage settings in the
// one shared dbtune table (db_dbtune.cpp), so the answer is always "no"
// (-37); the shared-memory segment creation goes on only on that answer.
#include "dbtune_probe.h"

int32_t DB_instance_has_dbs_tables(DB_INSTANCE* unused) {
  (void)unused;  // the answer does not depend on the instance
  return SE_TABLE_NOEXIST;
}
