// dl_errors.cpp -- SQLite failures as DB2 diagnostics: SQLSTATE, native
// SQLCODE and a DB2-style message that names the object.
//
// Three sources: the engine's own failures raised inside SQLite (DL_RAISE,
// trigger SIGNALs: "DL:<state>:<code>:<text>"), the authorizer's refusals
// (remembered per thread), and SQLite's own result codes and messages,
// matched by their fixed prefixes.
#include "dl_internal.h"

#include <string.h>

namespace dl {

extern thread_local std::string g_last_denial;

namespace {

bool starts(const std::string& s, const char* p) { return s.compare(0, strlen(p), p) == 0; }

std::string after(const std::string& s, const char* p) { return s.substr(strlen(p)); }

void set(DlDiag* d, const char* state, int32_t native, const std::string& body) {
  dl_set_diag(d, state, native, dl_msg(native, body, state));
}


}  // namespace

void dl_map_error(sqlite3* db, int rc, const DlPlan* plan, DlDiag* diag) {
  if (diag == nullptr) return;
  std::string msg = db ? sqlite3_errmsg(db) : "";
  int primary = rc & 0xff;

  if (starts(msg, "DL:")) {
    // DL:<state>:<native>:<message>
    size_t a = msg.find(':', 3);
    size_t b = a == std::string::npos ? a : msg.find(':', a + 1);
    if (a != std::string::npos && b != std::string::npos) {
      std::string state = msg.substr(3, a - 3);
      int32_t native = (int32_t)strtol(msg.substr(a + 1, b - a - 1).c_str(), nullptr, 10);
      set(diag, state.c_str(), native, msg.substr(b + 1));
      return;
    }
  }
  if (primary == SQLITE_AUTH || msg == "not authorized") {
    std::string op = "SELECT", obj = "?", user = "?";
    size_t t1 = g_last_denial.find('\t');
    size_t t2 = t1 == std::string::npos ? t1 : g_last_denial.find('\t', t1 + 1);
    if (t2 != std::string::npos) {
      op = g_last_denial.substr(0, t1);
      obj = g_last_denial.substr(t1 + 1, t2 - t1 - 1);
      user = g_last_denial.substr(t2 + 1);
    }
    set(diag, "42501", -551, "\"" + user + "\" does not have the privilege to perform operation \"" + op +
                                 "\" on object \"" + obj + "\".");
    return;
  }
  switch (primary) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      set(diag, "40001", -911, "The current transaction has been rolled back because of a deadlock or timeout.  Reason code \"68\".");
      return;
    case SQLITE_NOMEM:
      set(diag, "57011", -930, "There is not enough storage available to process the statement.");
      return;
    case SQLITE_FULL:
      set(diag, "57011", -968, "The file system is full.");
      return;
    case SQLITE_INTERRUPT:
      set(diag, "57014", -952, "Processing was cancelled due to an interrupt.");
      return;
    case SQLITE_READONLY:
      set(diag, "25000", -817, "The SQL statement cannot be executed because the statement will result in a prohibited update operation.");
      return;
    case SQLITE_TOOBIG:
      set(diag, "54001", -101, "The statement is too long or too complex.");
      return;
    case SQLITE_IOERR:
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_CANTOPEN:
      set(diag, "58030", -902, "An I/O error has occurred: " + msg + ".");
      return;
    default:
      break;
  }
  if (starts(msg, "no such table: ")) {
    std::string t = after(msg, "no such table: ");
    if (starts(t, "main.")) t = t.substr(5);
    set(diag, "42S02", -204, "\"" + t + "\" is an undefined name.");
  } else if (starts(msg, "no such column: ")) {
    set(diag, "42S22", -206, "\"" + after(msg, "no such column: ") + "\" is not valid in the context where it is used.");
  } else if (starts(msg, "no such function: ") || starts(msg, "wrong number of arguments to function ")) {
    std::string f = starts(msg, "no such function: ") ? after(msg, "no such function: ")
                                                      : after(msg, "wrong number of arguments to function ");
    if (!f.empty() && f.back() == ')') f = f.substr(0, f.find('('));
    set(diag, "42884", -440, "No authorized routine named \"" + f + "\" of type \"FUNCTION\" having compatible arguments was found.");
  } else if (starts(msg, "misuse of aggregate")) {
    set(diag, "42903", -120, "Invalid use of an aggregate function or OLAP function.");
  } else if (starts(msg, "table ") && msg.find(" already exists") != std::string::npos) {
    std::string t = msg.substr(6, msg.find(" already exists") - 6);
    if (t.size() > 1 && t.front() == '"') t = t.substr(1, t.size() - 2);
    set(diag, "42S01", -601, "The name of the object to be created is identical to the existing name \"" + t + "\" of type \"TABLE\".");
  } else if (starts(msg, "index ") && msg.find(" already exists") != std::string::npos) {
    std::string t = msg.substr(6, msg.find(" already exists") - 6);
    set(diag, "42S11", -601, "The name of the object to be created is identical to the existing name \"" + t + "\" of type \"INDEX\".");
  } else if (starts(msg, "trigger ") && msg.find(" already exists") != std::string::npos) {
    set(diag, "42710", -601, "The name of the object to be created is identical to the existing name of type \"TRIGGER\".");
  } else if (starts(msg, "no such index: ")) {
    set(diag, "42S12", -204, "\"" + after(msg, "no such index: ") + "\" is an undefined name.");
  } else if (starts(msg, "no such trigger: ")) {
    set(diag, "42704", -204, "\"" + after(msg, "no such trigger: ") + "\" is an undefined name.");
  } else if (starts(msg, "duplicate column name: ")) {
    set(diag, "42S21", -612, "\"" + after(msg, "duplicate column name: ") + "\" is a duplicate name.");
  } else if (starts(msg, "UNIQUE constraint failed: ") || starts(msg, "PRIMARY KEY must be unique")) {
    std::string cols = starts(msg, "UNIQUE") ? after(msg, "UNIQUE constraint failed: ") : "";
    std::string table = cols.empty() ? (plan ? plan->target : "") : cols.substr(0, cols.find(','));
    table = table.substr(0, table.rfind('.') == std::string::npos ? table.size() : table.rfind('.'));
    set(diag, "23505", -803, "One or more values in the INSERT statement, UPDATE statement, or foreign key update caused by a DELETE statement are not valid because the primary key, unique constraint or unique index identified by \"" +
                                 cols + "\" constrains table \"" + table + "\" from having duplicate values for the index key.");
  } else if (starts(msg, "NOT NULL constraint failed: ")) {
    set(diag, "23502", -407, "Assignment of a NULL value to a NOT NULL column \"" + after(msg, "NOT NULL constraint failed: ") + "\" is not allowed.");
  } else if (starts(msg, "CHECK constraint failed: ")) {
    std::string n = after(msg, "CHECK constraint failed: ");
    if (starts(n, "DL_LEN_")) {
      set(diag, "22001", -404, "A string in the UPDATE or INSERT statement is too long for column \"" + after(n, "DL_LEN_") + "\".");
    } else if (starts(n, "DL_RNG_")) {
      set(diag, "22003", -413, "Overflow occurred during numeric data type conversion (column \"" + after(n, "DL_RNG_") + "\").");
    } else {
      set(diag, "23513", -545, "The requested operation is not allowed because a row does not satisfy the check constraint \"" +
                                   (plan ? plan->target + "." : std::string()) + n + "\".");
    }
  } else if (starts(msg, "FOREIGN KEY constraint failed")) {
    bool del = plan && starts(plan->main, "DELETE");
    if (del)
      set(diag, "23504", -532, "The parent row cannot be deleted because the relationship restricts the deletion.");
    else
      set(diag, "23503", -530, "The INSERT or UPDATE value of the FOREIGN KEY is not equal to any value of the parent key of the parent table.");
  } else if (starts(msg, "near \"")) {
    std::string tok = msg.substr(6, msg.find('"', 6) - 6);
    set(diag, "42601", -104, "An unexpected token \"" + tok + "\" was found.");
  } else if (msg == "incomplete input" || starts(msg, "unrecognized token")) {
    set(diag, "42601", -104, "An unexpected token \"END OF STATEMENT\" was found.");
  } else if (starts(msg, "ambiguous column name: ")) {
    set(diag, "42702", -203, "A reference to column \"" + after(msg, "ambiguous column name: ") + "\" is ambiguous.");
  } else if (starts(msg, "cannot modify ") && msg.find("because it is a view") != std::string::npos) {
    set(diag, "42807", -150, "The target fullselect, view, typed table, materialized query table, or staging table in the INSERT, DELETE, UPDATE, or MERGE statement is a target for which the requested operation is not permitted.");
  } else if (starts(msg, "use DROP ")) {
    set(diag, "42809", -159, "The statement references an object that identifies a different type of object.");
  } else if (msg.find("values for") != std::string::npos && msg.find("columns") != std::string::npos) {
    set(diag, "42802", -117, "The number of values assigned is not the same as the number of specified or implied columns.");
  } else if (starts(msg, "sub-select returns") || starts(msg, "row value misused")) {
    set(diag, "42823", -412, "Multiple columns are returned from a subquery that is allowed only one column.");
  } else if (starts(msg, "integer overflow")) {
    set(diag, "22003", -802, "Arithmetic overflow or other arithmetic exception occurred.");
  } else if (primary == SQLITE_MISMATCH) {
    set(diag, "42821", -408, "A value is not compatible with the data type of its assignment target.");
  } else if (primary == SQLITE_CONSTRAINT) {
    set(diag, "23000", -545, "A constraint was violated: " + msg + ".");
  } else {
    set(diag, "58004", -901, "The SQL statement failed because of a non-severe system error: " + msg + ".");
  }
}

}  // namespace dl
