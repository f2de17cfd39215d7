// testprocs.cpp -- a small stored-procedure library for db2lite's procedure
// tests, written the way a DB2DARI procedure library is: entry points that
// take the parameter area and the caller's SQLCA, statements run through the
// embedded-SQL runtime against the package TESTPRC, and the procedure's own
// SQLCA copied to the caller's at the end.
//
// The package's bind file comes from tp_bind_file_text, so that the library
// and its package carry the same consistency token. Sections:
//   1 INSERT INTO T_ROWS (K, V) VALUES (?, ?)
//   2 SELECT V FROM T_ROWS WHERE K = ?                   (single row)
//   3 SELECT USER, COUNT(*) FROM SECRET                   (unqualified: owner's schema)
//   4 dynamic, a cursor
//   5 dynamic, EXECUTE IMMEDIATE
#include "sql_esql.h"

#include <stdio.h>
#include <string.h>

namespace {

const char kToken[9] = "TPTOKEN1";

DL_PROGRAM_ID program_id() {
  DL_PROGRAM_ID p;
  memset(&p, ' ', sizeof p);
  p.length = sizeof(DL_PROGRAM_ID);
  memcpy(p.release, "TP0001", 6);
  memcpy(p.name, "TESTPRC ", 8);
  memcpy(p.token, kToken, 8);
  p.creator_len = 8;
  memcpy(p.creator, "DB2ADMIN", 8);
  return p;
}

DL_PROGRAM_ID g_pid = program_id();
DL_RTINFO g_rtinfo = {{'T', 'P', 'R', 'T', 'I', 'N', 'F', 'O'}, {0}};

DL_HOSTVAR hv(int16_t type, int32_t len, void* addr, int16_t* ind = nullptr) {
  DL_HOSTVAR v;
  memset(&v, 0, sizeof v);
  v.sqltype = type;
  v.len = len;
  v.addr = addr;
  v.ind = ind;
  return v;
}

// Runs one statement of the package: inputs, outputs, call type, section.
void run(struct sqlca* ca, int call_type, int section, DL_HOSTVAR* in, int nin, DL_HOSTVAR* out,
         int nout) {
  if (sqlastrt(&g_pid, &g_rtinfo, ca) != 0) return;
  if (nin) {
    sqlaaloc(DL_SQLA_INPUT, static_cast<unsigned short>(nin), 1, nullptr);
    sqlasetda(DL_SQLA_INPUT, 0, static_cast<unsigned short>(nin), in, nullptr, nullptr);
  }
  if (nout) {
    sqlaaloc(DL_SQLA_OUTPUT, static_cast<unsigned short>(nout), 1, nullptr);
    sqlasetda(DL_SQLA_OUTPUT, 0, static_cast<unsigned short>(nout), out, nullptr, nullptr);
  }
  sqlacall(static_cast<unsigned short>(call_type), static_cast<unsigned short>(section),
           nin ? DL_SQLA_INPUT : 0, nout ? DL_SQLA_OUTPUT : 0, nullptr);
  sqlastop(nullptr);
}

int32_t get_int(const DL_SQLVAR& v) {
  int32_t x = 0;
  memcpy(&x, v.sqldata, 4);
  return x;
}

void set_int(DL_SQLVAR& v, int32_t x) {
  memcpy(v.sqldata, &x, 4);
  if (v.sqlind) *v.sqlind = 4;
}

// A VARCHAR parameter as a NUL-terminated text (cut to the buffer).
void get_text(const DL_SQLVAR& v, char* buf, size_t cap) {
  buf[0] = 0;
  if (v.sqlind && *v.sqlind < 0) return;
  uint16_t n;
  memcpy(&n, v.sqldata, 2);
  if (n > v.sqllen) n = static_cast<uint16_t>(v.sqllen);
  if (n >= cap) n = static_cast<uint16_t>(cap - 1);
  memcpy(buf, static_cast<char*>(v.sqldata) + 2, n);
  buf[n] = 0;
}

void set_text(DL_SQLVAR& v, const char* s) {
  size_t n = strlen(s);
  if (n > static_cast<size_t>(v.sqllen)) n = static_cast<size_t>(v.sqllen);
  uint16_t len = static_cast<uint16_t>(n);
  memcpy(v.sqldata, &len, 2);
  memcpy(static_cast<char*>(v.sqldata) + 2, s, n);
  if (v.sqlind) *v.sqlind = static_cast<int16_t>(n);
}

void finish(DL_SQLDA* da, int nin, const struct sqlca* own, struct sqlca* caller) {
  for (int i = 0; i < nin; ++i)
    if (da->sqlvar[i].sqlind) *da->sqlvar[i].sqlind = -128;
  memcpy(caller, own, sizeof *own);
}

}  // namespace

extern "C" {

const char* tp_bind_file_text() {
  return "DB2LITE-BIND 1\n"
         "PACKAGE DB2ADMIN TESTPRC TPTOKEN1\n"
         "SECTION 1 STATIC INSERT INTO T_ROWS (K, V) VALUES (?, ?)\n"
         "SECTION 2 STATIC SELECT V FROM T_ROWS WHERE K = ?\n"
         "SECTION 3 STATIC SELECT USER, COUNT(*) FROM SECRET\n"
         "SECTION 4 DYNAMIC\n"
         "SECTION 5 DYNAMIC\n"
         "END\n";
}

// tp_types(INOUT SMALLINT, INOUT INTEGER, INOUT BIGINT, INOUT DOUBLE, INOUT
// REAL, INOUT VARCHAR(20), INOUT CHAR(5), INOUT TIMESTAMP, INOUT DATE, INOUT
// TIME, OUT INTEGER nulls, OUT VARCHAR(200) layout): numbers +1 (floating
// ones doubled), the VARCHAR gets "!", the CHAR is upper-cased, datetimes
// come back unchanged; NULLs stay NULL and are counted; layout lists each
// parameter's "type/length".
int tp_types(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  struct sqlca own;
  dl_sqlca_clear(&own);
  if (da->sqld != 12) {
    own.sqlcode = -440;
    memcpy(own.sqlstate, "42884", 5);
    memcpy(ca, &own, sizeof own);
    return 1;
  }
  char layout[200] = "";
  int nulls = 0;
  for (int i = 0; i < 10; ++i) {
    DL_SQLVAR& v = da->sqlvar[i];
    char part[24];
    snprintf(part, sizeof part, "%s%d/%d", i ? " " : "", v.sqltype, v.sqllen);
    strncat(layout, part, sizeof layout - strlen(layout) - 1);
    if (*v.sqlind < 0) {
      ++nulls;
      continue;
    }
    char* p = static_cast<char*>(v.sqldata);
    switch (i) {
      case 0: { int16_t x; memcpy(&x, p, 2); x = static_cast<int16_t>(x + 1); memcpy(p, &x, 2); break; }
      case 1: { int32_t x; memcpy(&x, p, 4); x += 1; memcpy(p, &x, 4); break; }
      case 2: { int64_t x; memcpy(&x, p, 8); x += 1; memcpy(p, &x, 8); break; }
      case 3: { double x; memcpy(&x, p, 8); x *= 2; memcpy(p, &x, 8); break; }
      case 4: { float x; memcpy(&x, p, 4); x *= 2; memcpy(p, &x, 4); break; }
      case 5: {
        char buf[32];
        get_text(v, buf, sizeof buf);
        strncat(buf, "!", sizeof buf - strlen(buf) - 1);
        set_text(v, buf);
        break;
      }
      case 6:
        for (int k = 0; k < v.sqllen; ++k)
          if (p[k] >= 'a' && p[k] <= 'z') p[k] = static_cast<char>(p[k] - 'a' + 'A');
        break;
      default: break;
    }
  }
  set_int(da->sqlvar[10], nulls);
  set_text(da->sqlvar[11], layout);
  memcpy(ca, &own, sizeof own);
  return 1;
}

// tp_insert(IN k INTEGER, IN v VARCHAR(20), IN mode INTEGER, OUT code
// INTEGER, OUT msg VARCHAR(100)): inserts (k, v); mode 1 then commits, mode
// 2 inserts it a second time (a duplicate key), mode 3 rolls back.
int tp_insert(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  struct sqlca own;
  dl_sqlca_clear(&own);
  int32_t k = get_int(da->sqlvar[0]);
  char v[32];
  get_text(da->sqlvar[1], v, sizeof v);
  int16_t vind = *da->sqlvar[1].sqlind;
  int32_t mode = get_int(da->sqlvar[2]);
  DL_HOSTVAR in[2] = {hv(DL_SQL_TYP_INTEGER, 4, &k), hv(DL_SQL_TYP_NCSTR, sizeof v, v, &vind)};
  run(&own, DL_SQLA_EXECUTE, 1, in, 2, nullptr, 0);
  if (own.sqlcode >= 0) {
    if (mode == 1) run(&own, DL_SQLA_COMMIT, 0, nullptr, 0, nullptr, 0);
    if (mode == 2) run(&own, DL_SQLA_EXECUTE, 1, in, 2, nullptr, 0);
    if (mode == 3) run(&own, DL_SQLA_ROLLBACK, 0, nullptr, 0, nullptr, 0);
  }
  set_int(da->sqlvar[3], own.sqlcode);
  set_text(da->sqlvar[4], own.sqlcode ? "failed" : "");
  finish(da, 3, &own, ca);
  return 1;
}

// tp_get(IN k INTEGER, OUT v VARCHAR(20), OUT ind INTEGER): V of row k read
// into a 6-byte host variable (longer texts are cut), and the indicator the
// runtime gave it.
int tp_get(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  struct sqlca own;
  dl_sqlca_clear(&own);
  int32_t k = get_int(da->sqlvar[0]);
  char v[6] = "";
  int16_t ind = -99;
  DL_HOSTVAR in[1] = {hv(DL_SQL_TYP_INTEGER, 4, &k)};
  DL_HOSTVAR out[1] = {hv(DL_SQL_TYP_NCSTR, sizeof v, v, &ind)};
  run(&own, DL_SQLA_EXECUTE, 2, in, 1, out, 1);
  if (own.sqlcode == 0) set_text(da->sqlvar[1], v);
  set_int(da->sqlvar[2], ind);
  finish(da, 1, &own, ca);
  return 1;
}

// tp_who(OUT u VARCHAR(128), OUT n INTEGER): USER and the rows of SECRET, by
// static section 3.
int tp_who(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  struct sqlca own;
  dl_sqlca_clear(&own);
  char u[129] = "";
  int32_t n = -1;
  DL_HOSTVAR out[2] = {hv(DL_SQL_TYP_CSTR, sizeof u, u), hv(DL_SQL_TYP_INTEGER, 4, &n)};
  run(&own, DL_SQLA_EXECUTE, 3, nullptr, 0, out, 2);
  if (own.sqlcode == 0) {
    set_text(da->sqlvar[0], u);
    set_int(da->sqlvar[1], n);
  }
  finish(da, 0, &own, ca);
  return 1;
}

// tp_dynamic(IN text VARCHAR(200), IN immediate INTEGER, OUT n INTEGER): runs
// text with EXECUTE IMMEDIATE (section 5), or prepares it as a cursor
// (section 4) and counts the rows it fetches.
int tp_dynamic(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  struct sqlca own;
  dl_sqlca_clear(&own);
  char text[256];
  get_text(da->sqlvar[0], text, sizeof text);
  int32_t immediate = get_int(da->sqlvar[1]);
  int32_t rows = 0;
  if (immediate) {
    if (sqlastrt(&g_pid, &g_rtinfo, &own) == 0) {
      sqlastls(0, text, nullptr);
      sqlacall(DL_SQLA_EXECIMMD, 5, 0, 0, nullptr);
    }
    sqlastop(nullptr);
  } else {
    if (sqlastrt(&g_pid, &g_rtinfo, &own) == 0) {
      sqlastls(0, text, nullptr);
      sqlacall(DL_SQLA_PREPARE, 4, 0, 0, nullptr);
    }
    sqlastop(nullptr);
    if (own.sqlcode >= 0) run(&own, DL_SQLA_OPEN, 4, nullptr, 0, nullptr, 0);
    while (own.sqlcode == 0) {
      char col[64];
      int16_t ind = 0;
      DL_HOSTVAR out[1] = {hv(DL_SQL_TYP_NCSTR, sizeof col, col, &ind)};
      run(&own, DL_SQLA_FETCH, 4, nullptr, 0, out, 1);
      if (own.sqlcode == 0) ++rows;
    }
    if (own.sqlcode == 100) {
      run(&own, DL_SQLA_CLOSE, 4, nullptr, 0, nullptr, 0);
    }
  }
  set_int(da->sqlvar[2], rows);
  finish(da, 2, &own, ca);
  return 1;
}

}  // extern "C"
