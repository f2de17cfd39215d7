// dbtune_probe.cpp -- DB_instance_has_dbs_tables, until the dbtune module of
// the database layer answers it.
#include "dbtune_probe.h"

#include "zul_status.h"

#include <stdio.h>

int32_t DB_instance_has_dbs_tables(struct DB_INSTANCE* instance) {
  (void)instance;
  fprintf(stderr, "DB_instance_has_dbs_tables: called, not built yet\n");
  return SE_NOT_BUILT_YET;
}
