// dbtune_probe.h -- the question the shared-memory segment creation asks the
// database layer: does the instance keep DBMS-specific dbtune tables? The
// declaration lives with the rest of the dbtune configuration.
#ifndef DBTUNE_PROBE_H
#define DBTUNE_PROBE_H

#include "zul_dbtune.h"

#endif
