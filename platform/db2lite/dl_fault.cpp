// dl_fault.cpp -- the fault-injection hook and the work counters of db2lite
// (dl_fault.h). State is process-wide; the armed flag is read on every
// statement, so it is an atomic that costs one load when nothing is armed.
#include "dl_fault.h"

#include "dl_cli_impl.h"

#include <atomic>
#include <mutex>

namespace dl {
namespace {

struct StatementFault {
  long remaining = 0;     // fires when it reaches 0
  std::string state;
  int32_t native = 0;
  std::string pattern;
  SQLRETURN rc = SQL_ERROR;
};

std::mutex g_mu;
std::atomic<bool> g_armed{false};
StatementFault g_stmt;
bool g_commit_armed = false;
std::string g_commit_state;
int32_t g_commit_native = 0;
std::atomic<int> g_hidden_type{0};
std::atomic<bool> g_hidden_set{false};

std::atomic<uint64_t> g_statements{0}, g_rows{0}, g_fullscan{0}, g_commits{0};

void fault_text(DlDiag* diag, const std::string& state, int32_t native) {
  diag->sqlstate = state;
  diag->native = native;
  diag->text = "SQL" + std::to_string(native < 0 ? -native : native) +
               "N  The statement failed by request of the test hook.  SQLSTATE=" + state;
}

void rearm_locked() {
  g_armed.store(g_stmt.remaining > 0 || g_commit_armed, std::memory_order_relaxed);
}

}  // namespace

void dl_fault_fail_statement(long n, const char* sqlstate, int32_t native, const char* pattern,
                             int rc) {
  std::lock_guard<std::mutex> lk(g_mu);
  g_stmt.remaining = n > 0 ? n : 0;
  g_stmt.state = sqlstate ? sqlstate : "HY000";
  g_stmt.native = native;
  g_stmt.pattern = pattern ? pattern : "";
  g_stmt.rc = static_cast<SQLRETURN>(rc);
  rearm_locked();
}

void dl_fault_fail_commit(const char* sqlstate, int32_t native) {
  std::lock_guard<std::mutex> lk(g_mu);
  g_commit_armed = true;
  g_commit_state = sqlstate ? sqlstate : "HY000";
  g_commit_native = native;
  rearm_locked();
}

void dl_fault_hide_type(int sqltype) {
  g_hidden_type.store(sqltype);
  g_hidden_set.store(sqltype != 0);
}

void dl_fault_clear() {
  std::lock_guard<std::mutex> lk(g_mu);
  g_stmt = StatementFault();
  g_commit_armed = false;
  rearm_locked();
  dl_fault_hide_type(0);
}

bool fault_statement(const std::string& text, DlDiag* diag, SQLRETURN* rc) {
  if (!g_armed.load(std::memory_order_relaxed)) return false;
  std::lock_guard<std::mutex> lk(g_mu);
  if (g_stmt.remaining <= 0) return false;
  if (!g_stmt.pattern.empty() && text.find(g_stmt.pattern) == std::string::npos) return false;
  if (--g_stmt.remaining > 0) return false;
  fault_text(diag, g_stmt.state, g_stmt.native);
  *rc = g_stmt.rc;
  rearm_locked();
  return true;
}

bool fault_commit(DlDiag* diag) {
  if (!g_armed.load(std::memory_order_relaxed)) return false;
  std::lock_guard<std::mutex> lk(g_mu);
  if (!g_commit_armed) return false;
  g_commit_armed = false;
  fault_text(diag, g_commit_state, g_commit_native);
  rearm_locked();
  return true;
}

bool fault_type_hidden(int sqltype) {
  return g_hidden_set.load() && g_hidden_type.load() == sqltype;
}

void count_run() { g_statements.fetch_add(1, std::memory_order_relaxed); }

void count_work(sqlite3_stmt* st, uint64_t rows) {
  if (rows) g_rows.fetch_add(rows, std::memory_order_relaxed);
  if (st) {
    int scan = sqlite3_stmt_status(st, SQLITE_STMTSTATUS_FULLSCAN_STEP, 1);
    if (scan) g_fullscan.fetch_add(static_cast<uint64_t>(scan), std::memory_order_relaxed);
  }
}

void count_commit() { g_commits.fetch_add(1, std::memory_order_relaxed); }

DlCounters dl_counters() {
  DlCounters c;
  c.statements = g_statements.load();
  c.rows_examined = g_rows.load();
  c.fullscan_steps = g_fullscan.load();
  c.commits = g_commits.load();
  return c;
}

void dl_counters_reset() {
  g_statements = 0;
  g_rows = 0;
  g_fullscan = 0;
  g_commits = 0;
}

}  // namespace dl
