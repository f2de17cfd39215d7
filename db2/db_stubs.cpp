// db_stubs.cpp -- the services of the catalogue, stream and versioning
// modules that the access core calls, in the form they take until those
// modules are built.
//
// What stands here: the where-clause helper the query set-up shares.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <string>

#include "dbsql_io.h"
#include "svr_services.h"

const char* db_sql_strip_where(const char* clause) {
  if (clause == nullptr || clause[0] == '\0') return nullptr;
  const char* p = clause;
  while (*p == ' ' || *p == '\t') ++p;
  if (strncasecmp(p, "where ", 6) == 0) {
    p += 6;
    while (*p == ' ' || *p == '\t') ++p;
  }
  return *p != '\0' ? p : nullptr;
}
