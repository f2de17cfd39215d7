// dbtune_probe.cpp -- DB_instance_has_dbs_tables: whether the instance keeps
// DBMS-specific dbtune tables. This system keeps its storage settings in the
// shared dbtune table only, so the answer is always "no" (-37); the
// shared-memory segment creation asks before it builds the segment.
#include "dbtune_probe.h"

#include "zul_status.h"

int32_t DB_instance_has_dbs_tables(struct DB_INSTANCE* instance) {
  (void)instance;  // the answer does not depend on the instance
  return SE_TABLE_NOEXIST;
}
