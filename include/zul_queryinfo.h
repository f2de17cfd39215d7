// zul_queryinfo.h -- the query description that the query commands hand to
// the DB2 streams: column names, the tables and where clause, the query kind
// and an optional log file.
//
// A record built by a command handler points at texts the handler owns. A
// copy that the DB2 layer keeps for a stream holds its texts in one block,
// which `buffer` names and SES_queryinfo_free releases with the record.
#ifndef ZUL_QUERYINFO_H
#define ZUL_QUERYINFO_H

#include <stdint.h>

struct SQL_CONSTRUCT;

#define SE_QUERY_KIND_DEFAULT  4   // the kind of every query the server builds itself

struct QUERYINFO {
  void*          buffer;       // block holding the texts of a stream's copy, or null
  int32_t        num_columns;  // number of column names
  char**         columns;      // column names
  SQL_CONSTRUCT* construct;    // tables and where clause, borrowed
  int32_t        query_kind;   // SE_QUERY_KIND_DEFAULT
  char*          clause;       // trailing clause, upper-cased by the DB2 layer
  int32_t        text_count;   // entries of texts
  char**         texts;        // texts of up to 1024 characters
  char*          logfile;      // log-file name; null or empty for none
  int32_t        value;        // a further value of the query
};

// Empties the record: no column names, count 0, no construct, kind 4, and the
// five fields behind the kind cleared. `buffer` is left alone. Null is
// ignored.
void SES_initialize_queryinfo(QUERYINFO* info);

// Frees a heap record made for a stream: its `buffer` block and the record.
// Null is ignored.
void SES_queryinfo_free(QUERYINFO* info);

#endif
