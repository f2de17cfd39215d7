// dbtune_probe.h -- the question the segment creation asks the database
// layer: does the instance keep DBMS-specific dbtune tables?
#ifndef DBTUNE_PROBE_H
#define DBTUNE_PROBE_H

#include <stdint.h>

struct DB_INSTANCE;

// -37 (SE_TABLE_NOEXIST): the instance keeps no DBMS-specific dbtune tables.
int32_t DB_instance_has_dbs_tables(struct DB_INSTANCE* instance);

#endif
