// dl_peer.cpp -- a second database client for db2lite's multi-process tests.
//
// Reads one command per line on standard input and answers one line on
// standard output: "<rc> <sqlstate> <native> <value>", where value is the
// first column of a fetched row ("-" when there is none). Commands:
//   connect DB USER PW | busy MS | exec SQL | open SQL | fetch | commit |
//   rollback | quit
#include "db2lite.h"

#include <stdio.h>
#include <string.h>

#include <iostream>
#include <string>

namespace {

SQLHENV env;
SQLHDBC dbc;
SQLHSTMT cursor = SQL_NULL_HSTMT;
SQLINTEGER value;
SQLLEN value_ind;

void answer(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE h, const std::string& v = "-") {
  SQLCHAR state[6] = "-";
  SQLINTEGER native = 0;
  if (rc != SQL_SUCCESS && h) SQLGetDiagRec(type, h, 1, state, &native, nullptr, 0, nullptr);
  if (!state[0]) strcpy((char*)state, "-");
  std::cout << rc << " " << state << " " << native << " " << v << std::endl;
}

}  // namespace

int main() {
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0);
  std::string line;
  while (std::getline(std::cin, line)) {
    std::string cmd = line.substr(0, line.find(' '));
    std::string arg = line.size() > cmd.size() ? line.substr(cmd.size() + 1) : "";
    if (cmd == "connect") {
      char db[64], user[64], pw[64];
      if (sscanf(arg.c_str(), "%63s %63s %63s", db, user, pw) != 3) return 2;
      answer(SQLConnect(dbc, (SQLCHAR*)db, SQL_NTS, (SQLCHAR*)user, SQL_NTS, (SQLCHAR*)pw, SQL_NTS),
             SQL_HANDLE_DBC, dbc);
    } else if (cmd == "busy") {
      long ms = atol(arg.c_str());
      answer(SQLSetConnectAttr(dbc, SQL_ATTR_DB2LITE_BUSY_TIMEOUT, (SQLPOINTER)ms, 0), SQL_HANDLE_DBC, dbc);
    } else if (cmd == "exec") {
      SQLHSTMT h;
      SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h);
      answer(SQLExecDirect(h, (SQLCHAR*)arg.c_str(), SQL_NTS), SQL_HANDLE_STMT, h);
      SQLFreeHandle(SQL_HANDLE_STMT, h);
    } else if (cmd == "open") {
      if (!cursor) SQLAllocHandle(SQL_HANDLE_STMT, dbc, &cursor);
      SQLFreeStmt(cursor, SQL_CLOSE);
      SQLRETURN rc = SQLExecDirect(cursor, (SQLCHAR*)arg.c_str(), SQL_NTS);
      SQLBindCol(cursor, 1, SQL_C_SLONG, &value, 0, &value_ind);
      answer(rc, SQL_HANDLE_STMT, cursor);
    } else if (cmd == "fetch") {
      SQLRETURN rc = SQLFetch(cursor);
      answer(rc, SQL_HANDLE_STMT, cursor, rc == SQL_SUCCESS ? std::to_string(value) : "-");
    } else if (cmd == "commit" || cmd == "rollback") {
      answer(SQLEndTran(SQL_HANDLE_DBC, dbc, cmd == "commit" ? SQL_COMMIT : SQL_ROLLBACK),
             SQL_HANDLE_DBC, dbc);
    } else if (cmd == "quit") {
      break;
    } else {
      std::cout << "? " << line << std::endl;
    }
  }
  if (cursor) SQLFreeHandle(SQL_HANDLE_STMT, cursor);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return 0;
}
