// dl_fault.h -- db2lite's seams for tests: a fault-injection hook and
// counters of the work done. Tests of db2lite and of the system include it;
// production code never does.
//
// The hook makes a chosen statement, or the next commit, fail with a chosen
// SQLSTATE and native code, so that the callers' branches on DB2 states that
// SQLite cannot produce can be walked one by one. A failed statement does
// nothing; a failed commit rolls the unit of work back, so nothing is
// half-written. The counters are process-wide and count every statement run
// through the CLI, the rows it examined and the full-scan steps SQLite took.
#ifndef DL_FAULT_H
#define DL_FAULT_H

#include <stdint.h>

namespace dl {

// The n-th statement executed from now on (1 = the next one) whose statement
// text contains pattern (null or "" = any) fails with sqlstate and native
// instead of running; the CLI call returns rc (SQL_ERROR by default).
void dl_fault_fail_statement(long n, const char* sqlstate, int32_t native,
                             const char* pattern = nullptr, int rc = -1);
// The next COMMIT fails with sqlstate and native; the unit of work is rolled
// back and every cursor closed.
void dl_fault_fail_commit(const char* sqlstate, int32_t native);
// SQLGetTypeInfo answers no row for this SQL type code (0 clears).
void dl_fault_hide_type(int sqltype);
// Disarms every fault.
void dl_fault_clear();

struct DlCounters {
  uint64_t statements = 0;      // statements executed (each row of a parameter array counts)
  uint64_t rows_examined = 0;   // rows delivered by queries plus rows changed by DML
  uint64_t fullscan_steps = 0;  // full-table-scan steps SQLite took
  uint64_t commits = 0;         // units of work committed
};
DlCounters dl_counters();
void dl_counters_reset();

}  // namespace dl

#endif
