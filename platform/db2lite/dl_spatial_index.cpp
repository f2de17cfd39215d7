// dl_spatial_index.cpp -- the spatial index: CREATE INDEX ... EXTEND USING
// db2gse.spatial_index as an SQLite R*Tree kept in step by triggers, and the
// index-assisted form of an ENVELOPESINTERSECT predicate.
//
// Relies on the engine's catalogue (DL_COLUMNS, DL_OBJECTS) to know a
// column's type and a table's indexes, and on the shape functions of
// dl_spatial_shape.cpp (DB2GSE_XMIN ..., DL_SPIX_OK, DL_SPIX_HIT). The
// engine writes the index's catalogue row; this file only makes the
// statements that build and remove what stands behind it.
//
// Notes:
//  1. The R*Tree of index S.I is the engine table "DL_SPIX$$<S>$$<I>", the
//     names written with every character outside [A-Za-z0-9_@#] as "$hh".
//     "$$" cannot come out of that encoding, so two indexes never share a
//     name, and the name holds no '.', which keeps it an engine table that
//     no client statement can name (the authorizer's rule).
//  2. Columns: ID (the row's rowid), MINX MAXX MINY MAXY (the envelope as
//     the R*Tree keeps it: 32-bit floats rounded outward, so the tree never
//     misses a row) and the auxiliary EXMINX EXMAXX EXMINY EXMAXY (the exact
//     doubles). A shape without a usable envelope is not in the tree; it
//     meets nothing anyway.
//  3. Triggers "<rtree>#I", "#U" and "#D" on the table keep the tree in step
//     inside the statement that changes the row, so a rolled-back change
//     leaves no trace in the index either. The update trigger does work only
//     when the shape or the rowid changed. The insert trigger first removes
//     any entry under the new rowid: a row deleted without its delete trigger
//     firing (REPLACE with recursive triggers off) must not lend its envelope
//     to a row that reuses its rowid. A stale entry whose rowid no row holds
//     costs a probe and answers nothing.
//  4. The indexed predicate looks the search shape up once, in a one-row
//     derived table, so its parameter marker appears once and in place.
#include "dl_spatial.h"

#include "dl_internal.h"

#include <ctype.h>
#include <math.h>
#include <stdlib.h>

namespace dl {

namespace {

std::string enc(const std::string& s) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (isalnum(c) || c == '_' || c == '@' || c == '#') {
      out += (char)c;
    } else {
      out += '$';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// Three grid sizes "g1, g2, g3": finite, not negative, the first above 0.
bool grid_sizes(const std::string& args, double g[3]) {
  const char* p = args.c_str();
  for (int i = 0; i < 3; ++i) {
    while (isspace((unsigned char)*p)) ++p;
    char* end = nullptr;
    g[i] = strtod(p, &end);
    if (end == p || !std::isfinite(g[i]) || g[i] < 0) return false;
    p = end;
    while (isspace((unsigned char)*p)) ++p;
    if (i < 2) {
      if (*p != ',') return false;
      ++p;
    }
  }
  return *p == '\0' && g[0] > 0;
}

std::string envelope_values(const std::string& col) {
  std::string e = "DB2GSE_XMIN(" + col + "), DB2GSE_XMAX(" + col + "), DB2GSE_YMIN(" + col +
                  "), DB2GSE_YMAX(" + col + ")";
  return e + ", " + e;
}

}  // namespace

std::string dl_spatial_index_table(const std::string& ischema, const std::string& iname) {
  return "DL_SPIX$$" + enc(ischema) + "$$" + enc(iname);
}

int dl_spatial_create_index_sql(sqlite3* db, const std::string& ischema, const std::string& iname,
                                const std::string& tschema, const std::string& tname,
                                const std::vector<std::string>& columns, const std::string& args,
                                std::vector<std::string>* stmts, DlDiag* diag) {
  if (columns.size() != 1) {
    dl_set_diag(diag, "42601", -104,
                dl_msg(-104, "A spatial index is defined on exactly one column.", "42601"));
    return -1;
  }
  double g[3];
  if (!grid_sizes(args, g)) {
    dl_set_diag(diag, "42601", -104,
                dl_msg(-104, "The grid sizes \"" + args.substr(0, 60) +
                                 "\" of the spatial index are not three numbers with the first above 0.",
                       "42601"));
    return -1;
  }
  const std::string& col = columns[0];
  std::vector<std::vector<std::string>> rows;
  dl_query(db, "SELECT TYPESCHEMA, TYPENAME FROM DL_COLUMNS WHERE TABSCHEMA = ?1 AND TABNAME = ?2 AND COLNAME = ?3",
           {tschema, tname, col}, &rows);
  if (rows.empty()) {
    dl_set_diag(diag, "42S22", -205,
                dl_msg(-205, "\"" + col + "\" is not a column of table \"" + tschema + "." + tname + "\".",
                       "42S22"));
    return -1;
  }
  if (dl_upper(rows[0][0]) != "DB2GSE" || dl_spatial_type_code(rows[0][1]) < 0) {
    dl_set_diag(diag, "42601", -104,
                dl_msg(-104, "Column \"" + col + "\" is of type \"" + rows[0][1] +
                                 "\", which a spatial index cannot be defined on.",
                       "42601"));
    return -1;
  }
  const std::string rt = dl_qid(dl_spatial_index_table(ischema, iname));
  const std::string base = dl_qid(tschema + "." + tname);
  const std::string c = dl_qid(col);
  auto trig = [&](const char* suffix) { return dl_qid(dl_spatial_index_table(ischema, iname) + suffix); };
  // A tree left behind by a table dropped without its index is replaced:
  // the catalogue has just shown that no index of this name exists.
  dl_spatial_drop_index_sql(ischema, iname, stmts);
  stmts->push_back("CREATE VIRTUAL TABLE " + rt +
                   " USING rtree(ID, MINX, MAXX, MINY, MAXY, +EXMINX, +EXMAXX, +EXMINY, +EXMAXY)");
  stmts->push_back("INSERT INTO " + rt + " SELECT rowid, " + envelope_values(c) + " FROM " + base +
                   " WHERE DL_SPIX_OK(" + c + ")");
  stmts->push_back("CREATE TRIGGER " + trig("#I") + " AFTER INSERT ON " + base + " FOR EACH ROW BEGIN DELETE FROM " +
                   rt + " WHERE ID = NEW.rowid; INSERT INTO " + rt + " SELECT NEW.rowid, " +
                   envelope_values("NEW." + c) + " WHERE DL_SPIX_OK(NEW." + c + "); END");
  stmts->push_back("CREATE TRIGGER " + trig("#U") + " AFTER UPDATE ON " + base +
                   " FOR EACH ROW WHEN OLD.rowid IS NOT NEW.rowid OR OLD." + c + " IS NOT NEW." + c +
                   " BEGIN DELETE FROM " + rt + " WHERE ID = OLD.rowid; INSERT INTO " + rt +
                   " SELECT NEW.rowid, " + envelope_values("NEW." + c) + " WHERE DL_SPIX_OK(NEW." + c +
                   "); END");
  stmts->push_back("CREATE TRIGGER " + trig("#D") + " AFTER DELETE ON " + base + " FOR EACH ROW BEGIN DELETE FROM " +
                   rt + " WHERE ID = OLD.rowid; END");
  return 0;
}

void dl_spatial_drop_index_sql(const std::string& ischema, const std::string& iname,
                               std::vector<std::string>* stmts) {
  const std::string rt = dl_spatial_index_table(ischema, iname);
  for (const char* s : {"#I", "#U", "#D"}) stmts->push_back("DROP TRIGGER IF EXISTS " + dl_qid(rt + s));
  stmts->push_back("DROP TABLE IF EXISTS " + dl_qid(rt));
}

void dl_spatial_drop_table_sql(sqlite3* db, const std::string& tschema, const std::string& tname,
                               std::vector<std::string>* stmts) {
  std::vector<std::vector<std::string>> rows;
  dl_query(db,
           "SELECT SCHEMA, NAME FROM DL_OBJECTS WHERE KIND = 'I' AND TABSCHEMA = ?1 AND TABNAME = ?2"
           " AND UPPER(IESCHEMA) = 'DB2GSE' AND UPPER(IENAME) = 'SPATIAL_INDEX'",
           {tschema, tname}, &rows);
  for (const auto& r : rows) dl_spatial_drop_index_sql(r[0], r[1], stmts);
}

bool dl_spatial_filter_sql(sqlite3* db, const std::string& tschema, const std::string& tname,
                           const std::string& column, const std::string& qualifier,
                           const std::string& search_sql, std::string* out) {
  std::vector<std::vector<std::string>> rows;
  dl_query(db,
           "SELECT SCHEMA, NAME FROM DL_OBJECTS WHERE KIND = 'I' AND TABSCHEMA = ?1 AND TABNAME = ?2"
           " AND UPPER(IESCHEMA) = 'DB2GSE' AND UPPER(IENAME) = 'SPATIAL_INDEX' AND COLNAMES = ?3"
           " ORDER BY SCHEMA, NAME",
           {tschema, tname, "+" + column}, &rows);
  if (rows.empty()) return false;
  // The R*Tree must stand behind the catalogue row (a database whose index
  // predates it scans instead).
  const std::string rt = dl_spatial_index_table(rows[0][0], rows[0][1]);
  std::vector<std::vector<std::string>> there;
  dl_query(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1", {rt}, &there);
  if (there.empty()) return false;
  const std::string q = "DL_SPIX_S.DL_SPIX_Q";
  *out = "(" + qualifier + ".rowid IN (SELECT DL_SPIX_R.ID FROM " + dl_qid(rt) + " AS DL_SPIX_R, (SELECT " +
         search_sql + " AS DL_SPIX_Q) AS DL_SPIX_S WHERE DL_SPIX_R.MAXX >= DB2GSE_XMIN(" + q +
         ") AND DL_SPIX_R.MINX <= DB2GSE_XMAX(" + q + ") AND DL_SPIX_R.MAXY >= DB2GSE_YMIN(" + q +
         ") AND DL_SPIX_R.MINY <= DB2GSE_YMAX(" + q + ") AND DL_SPIX_HIT(" + q +
         ", DL_SPIX_R.EXMINX, DL_SPIX_R.EXMAXX, DL_SPIX_R.EXMINY, DL_SPIX_R.EXMAXY) = 1))";
  return true;
}

}  // namespace dl
