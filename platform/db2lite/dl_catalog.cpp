// dl_catalog.cpp -- db2lite's own catalogue (the DL_ tables), the SYSCAT
// views over it, the spatial catalogue of schema DB2GSE, and privilege
// look-ups.
//
// Notes:
//  1. The DL_ tables live in the database file beside the data. Their names
//     hold no '.', and every name the translator produces from a statement
//     does, so no client statement can name them; the authorizer therefore
//     leaves them alone.
//  2. Text columns of the catalogue compare with DB2PAD (blank padding), as
//     DB2's catalogue columns do.
//  3. A table's creator gets a TABAUTH row with GRANTOR "SYSIBM", CONTROL
//     'Y' and the other privileges 'G', as DB2 records it.
//  4. PUBLIC gets the authorities of a new DB2 database: CONNECT, CREATETAB,
//     BINDADD and IMPLICIT_SCHEMA; ZUL, when registered, is DBADM.
#include "dl_internal.h"

namespace dl {

namespace {

// Catalogue tables. SYSCAT views follow with DB2's column names and codes.
const char* const kCatalogue[] = {
    "CREATE TABLE IF NOT EXISTS DL_META (NAME TEXT PRIMARY KEY, VALUE TEXT)",
    // Tables, views, indexes, triggers. KIND: T table, V view, I index, G trigger.
    "CREATE TABLE IF NOT EXISTS DL_OBJECTS ("
    " SCHEMA TEXT COLLATE DB2PAD NOT NULL, NAME TEXT COLLATE DB2PAD NOT NULL,"
    " KIND TEXT NOT NULL, OWNER TEXT COLLATE DB2PAD NOT NULL,"
    " TABSCHEMA TEXT COLLATE DB2PAD, TABNAME TEXT COLLATE DB2PAD,"  // index/trigger: its table
    " TBSPACE TEXT COLLATE DB2PAD, STORAGE TEXT,"                    // storage clause as written
    " UNIQUERULE TEXT, COLNAMES TEXT COLLATE DB2PAD, COLCOUNT INTEGER, INDEXTYPE TEXT,"
    " IESCHEMA TEXT COLLATE DB2PAD, IENAME TEXT COLLATE DB2PAD, IEARGS TEXT,"
    " CATALOG_ONLY INTEGER NOT NULL DEFAULT 0,"                      // no SQLite object behind it
    " CREATE_TIME TEXT, TEXT TEXT,"
    " PRIMARY KEY (SCHEMA, NAME, KIND))",
    "CREATE TABLE IF NOT EXISTS DL_COLUMNS ("
    " TABSCHEMA TEXT COLLATE DB2PAD NOT NULL, TABNAME TEXT COLLATE DB2PAD NOT NULL,"
    " COLNAME TEXT COLLATE DB2PAD NOT NULL, COLNO INTEGER NOT NULL,"
    " TYPESCHEMA TEXT COLLATE DB2PAD, TYPENAME TEXT COLLATE DB2PAD, LENGTH INTEGER, SCALE INTEGER,"
    " DEFAULT_TEXT TEXT, NULLS TEXT, CODEPAGE INTEGER, IDENTITY TEXT, GENERATED TEXT,"
    " PRIMARY KEY (TABSCHEMA, TABNAME, COLNAME))",
    // Identity counters; ID is what the assigning trigger names, so a
    // renamed table keeps its counter.
    "CREATE TABLE IF NOT EXISTS DL_IDENTITY ("
    " ID INTEGER PRIMARY KEY, TABSCHEMA TEXT COLLATE DB2PAD, TABNAME TEXT COLLATE DB2PAD,"
    " COLNAME TEXT COLLATE DB2PAD, START INTEGER, INCREMENT INTEGER, CACHE INTEGER,"
    " NEXTVAL INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS DL_INDEXCOLUSE ("
    " INDSCHEMA TEXT COLLATE DB2PAD, INDNAME TEXT COLLATE DB2PAD, COLNAME TEXT COLLATE DB2PAD,"
    " COLSEQ INTEGER, COLORDER TEXT)",
    "CREATE TABLE IF NOT EXISTS DL_CHECKS ("
    " CONSTNAME TEXT COLLATE DB2PAD, DEFINER TEXT COLLATE DB2PAD, TABSCHEMA TEXT COLLATE DB2PAD,"
    " TABNAME TEXT COLLATE DB2PAD, CREATE_TIME TEXT, QUALIFIER TEXT COLLATE DB2PAD,"
    " TYPE TEXT, FUNC_PATH TEXT, TEXT TEXT)",
    "CREATE TABLE IF NOT EXISTS DL_TABAUTH ("
    " GRANTOR TEXT COLLATE DB2PAD NOT NULL, GRANTEE TEXT COLLATE DB2PAD NOT NULL,"
    " GRANTEETYPE TEXT NOT NULL, TABSCHEMA TEXT COLLATE DB2PAD NOT NULL,"
    " TABNAME TEXT COLLATE DB2PAD NOT NULL,"
    " CONTROLAUTH TEXT NOT NULL DEFAULT 'N', ALTERAUTH TEXT NOT NULL DEFAULT 'N',"
    " DELETEAUTH TEXT NOT NULL DEFAULT 'N', INDEXAUTH TEXT NOT NULL DEFAULT 'N',"
    " INSERTAUTH TEXT NOT NULL DEFAULT 'N', SELECTAUTH TEXT NOT NULL DEFAULT 'N',"
    " REFAUTH TEXT NOT NULL DEFAULT 'N', UPDATEAUTH TEXT NOT NULL DEFAULT 'N',"
    " PRIMARY KEY (GRANTOR, GRANTEE, GRANTEETYPE, TABSCHEMA, TABNAME))",
    "CREATE TABLE IF NOT EXISTS DL_DBAUTH ("
    " GRANTOR TEXT COLLATE DB2PAD, GRANTEE TEXT COLLATE DB2PAD NOT NULL, GRANTEETYPE TEXT NOT NULL,"
    " DBADMAUTH TEXT NOT NULL DEFAULT 'N', CREATETABAUTH TEXT NOT NULL DEFAULT 'N',"
    " BINDADDAUTH TEXT NOT NULL DEFAULT 'N', CONNECTAUTH TEXT NOT NULL DEFAULT 'N',"
    " NOFENCEAUTH TEXT NOT NULL DEFAULT 'N', IMPLSCHEMAAUTH TEXT NOT NULL DEFAULT 'N',"
    " PRIMARY KEY (GRANTEE, GRANTEETYPE))",
    "CREATE TABLE IF NOT EXISTS DL_USERS ("
    " NAME TEXT PRIMARY KEY, HASH TEXT NOT NULL, CREATE_TIME TEXT)",
    // The procedure registry: CREATE PROCEDURE ... EXTERNAL NAME 'lib!entry'.
    "CREATE TABLE IF NOT EXISTS DL_PROCEDURES ("
    " PROCSCHEMA TEXT COLLATE DB2PAD NOT NULL, PROCNAME TEXT COLLATE DB2PAD NOT NULL,"
    " SPECIFICNAME TEXT COLLATE DB2PAD, DEFINER TEXT COLLATE DB2PAD, PARM_COUNT INTEGER,"
    " IMPLEMENTATION TEXT, LIBRARY TEXT, ENTRY TEXT, LANGUAGE TEXT, FENCED TEXT,"
    " PARM_STYLE TEXT, RESULT_SETS INTEGER, CREATE_TIME TEXT, TEXT TEXT,"
    " PRIMARY KEY (PROCSCHEMA, PROCNAME))",
    "CREATE TABLE IF NOT EXISTS DL_PROCPARMS ("
    " PROCSCHEMA TEXT COLLATE DB2PAD, PROCNAME TEXT COLLATE DB2PAD, ORDINAL INTEGER,"
    " PARMNAME TEXT COLLATE DB2PAD, TYPESCHEMA TEXT, TYPENAME TEXT COLLATE DB2PAD,"
    " LENGTH INTEGER, SCALE INTEGER, PARM_MODE TEXT)",
    // Packages bound from bind files (filled by the package binder).
    "CREATE TABLE IF NOT EXISTS DL_PACKAGES ("
    " PKGSCHEMA TEXT COLLATE DB2PAD NOT NULL, PKGNAME TEXT COLLATE DB2PAD NOT NULL,"
    " BOUNDBY TEXT COLLATE DB2PAD, DEFINER TEXT COLLATE DB2PAD, QUALIFIER TEXT COLLATE DB2PAD,"
    " UNIQUE_ID TEXT, CREATE_TIME TEXT, PRIMARY KEY (PKGSCHEMA, PKGNAME))",
    "CREATE TABLE IF NOT EXISTS DL_PACKAGE_SECTIONS ("
    " PKGSCHEMA TEXT COLLATE DB2PAD, PKGNAME TEXT COLLATE DB2PAD, SECTNO INTEGER, TEXT TEXT,"
    " PRIMARY KEY (PKGSCHEMA, PKGNAME, SECTNO))",
    "CREATE TABLE IF NOT EXISTS DL_PACKAGEAUTH ("
    " GRANTOR TEXT COLLATE DB2PAD, GRANTEE TEXT COLLATE DB2PAD, GRANTEETYPE TEXT,"
    " PKGSCHEMA TEXT COLLATE DB2PAD, PKGNAME TEXT COLLATE DB2PAD,"
    " CONTROLAUTH TEXT DEFAULT 'N', BINDAUTH TEXT DEFAULT 'N', EXECUTEAUTH TEXT DEFAULT 'N',"
    " PRIMARY KEY (GRANTEE, GRANTEETYPE, PKGSCHEMA, PKGNAME))",

    // ---- SYSCAT views ----
    "CREATE VIEW IF NOT EXISTS \"SYSCAT.TABLES\" AS SELECT"
    " o.SCHEMA AS TABSCHEMA, o.NAME AS TABNAME, o.OWNER AS DEFINER, o.KIND AS TYPE,"
    " 'N' AS STATUS, CAST(NULL AS TEXT) AS BASE_TABSCHEMA, CAST(NULL AS TEXT) AS BASE_TABNAME,"
    " o.CREATE_TIME AS CREATE_TIME, CAST(NULL AS TEXT) AS STATS_TIME,"
    " (SELECT COUNT(*) FROM DL_COLUMNS c WHERE c.TABSCHEMA = o.SCHEMA AND c.TABNAME = o.NAME) AS COLCOUNT,"
    " o.rowid AS TABLEID, 2 AS TBSPACEID, -1 AS CARD, -1 AS NPAGES, -1 AS FPAGES, -1 AS OVERFLOW,"
    " COALESCE(o.TBSPACE, CASE o.KIND WHEN 'T' THEN 'USERSPACE1' END) AS TBSPACE,"
    " CAST(NULL AS TEXT) AS INDEX_TBSPACE, CAST(NULL AS TEXT) AS LONG_TBSPACE,"
    " 0 AS PARENTS, 0 AS CHILDREN, 0 AS SELFREFS, 0 AS KEYCOLUMNS, 0 AS KEYINDEXID,"
    " CAST(NULL AS TEXT) AS REMARKS"
    " FROM DL_OBJECTS o WHERE o.KIND IN ('T', 'V')",
    "CREATE VIEW IF NOT EXISTS \"SYSCAT.COLUMNS\" AS SELECT"
    " TABSCHEMA, TABNAME, COLNAME, COLNO, TYPESCHEMA, TYPENAME, LENGTH, SCALE,"
    " DEFAULT_TEXT AS \"DEFAULT\", NULLS, CODEPAGE, 'N' AS LOGGED, 'N' AS COMPACT,"
    " -1 AS COLCARD, CAST(NULL AS TEXT) AS HIGH2KEY, CAST(NULL AS TEXT) AS LOW2KEY, -1 AS AVGCOLLEN,"
    " -1 AS KEYSEQ, CAST(NULL AS TEXT) AS PARTKEYSEQ, -1 AS NQUANTILES, -1 AS NMOSTFREQ,"
    " IDENTITY, GENERATED, CAST(NULL AS TEXT) AS REMARKS FROM DL_COLUMNS",
    "CREATE VIEW IF NOT EXISTS \"SYSCAT.TABAUTH\" AS SELECT"
    " GRANTOR, GRANTEE, GRANTEETYPE, TABSCHEMA, TABNAME, CONTROLAUTH, ALTERAUTH, DELETEAUTH,"
    " INDEXAUTH, INSERTAUTH, SELECTAUTH, REFAUTH, UPDATEAUTH FROM DL_TABAUTH",
    "CREATE VIEW IF NOT EXISTS \"SYSCAT.DBAUTH\" AS SELECT"
    " GRANTOR, GRANTEE, GRANTEETYPE, DBADMAUTH, CREATETABAUTH, BINDADDAUTH, CONNECTAUTH,"
    " NOFENCEAUTH, IMPLSCHEMAAUTH FROM DL_DBAUTH",
    "CREATE VIEW IF NOT EXISTS \"SYSCAT.INDEXES\" AS SELECT"
    " o.SCHEMA AS INDSCHEMA, o.NAME AS INDNAME, o.OWNER AS DEFINER, o.TABSCHEMA AS TABSCHEMA,"
    " o.TABNAME AS TABNAME, o.COLNAMES AS COLNAMES, o.UNIQUERULE AS UNIQUERULE, 'N' AS MADE_UNIQUE,"
    " o.COLCOUNT AS COLCOUNT,"
    " CASE o.UNIQUERULE WHEN 'D' THEN -1 ELSE o.COLCOUNT END AS UNIQUE_COLCOUNT,"
    " o.INDEXTYPE AS INDEXTYPE, 'L' AS ENTRYTYPE, -1 AS PCTFREE, o.rowid AS IID,"
    " -1 AS NLEAF, -1 AS NLEVELS, -1 AS FIRSTKEYCARD, -1 AS FULLKEYCARD, -1 AS CLUSTERRATIO,"
    " o.IESCHEMA AS IESCHEMA, o.IENAME AS IENAME, o.IEARGS AS IEARGS, o.CREATE_TIME AS CREATE_TIME,"
    " CAST(NULL AS TEXT) AS STATS_TIME, CAST(NULL AS TEXT) AS REMARKS"
    " FROM DL_OBJECTS o WHERE o.KIND = 'I'",
    "CREATE VIEW IF NOT EXISTS \"SYSCAT.INDEXCOLUSE\" AS SELECT"
    " INDSCHEMA, INDNAME, COLNAME, COLSEQ, COLORDER FROM DL_INDEXCOLUSE",
    "CREATE VIEW IF NOT EXISTS \"SYSCAT.CHECKS\" AS SELECT"
    " CONSTNAME, DEFINER, TABSCHEMA, TABNAME, CREATE_TIME, QUALIFIER, TYPE, FUNC_PATH, TEXT"
    " FROM DL_CHECKS",
    "CREATE VIEW IF NOT EXISTS \"SYSCAT.PROCEDURES\" AS SELECT"
    " PROCSCHEMA, PROCNAME, SPECIFICNAME, DEFINER, PARM_COUNT, 'N' AS DETERMINISTIC,"
    " 'E' AS ORIGIN, FENCED, 'Y' AS NULLCALL, LANGUAGE, IMPLEMENTATION, PARM_STYLE,"
    " RESULT_SETS, CREATE_TIME, CAST(NULL AS TEXT) AS ALTER_TIME, TEXT,"
    " CAST(NULL AS TEXT) AS REMARKS FROM DL_PROCEDURES",
    "CREATE VIEW IF NOT EXISTS \"SYSCAT.PROCPARMS\" AS SELECT"
    " PROCSCHEMA, PROCNAME, PROCNAME AS SPECIFICNAME, ORDINAL, PARMNAME, TYPESCHEMA, TYPENAME,"
    " LENGTH, SCALE, 0 AS CODEPAGE, PARM_MODE, 'N' AS AS_LOCATOR FROM DL_PROCPARMS",
    "CREATE VIEW IF NOT EXISTS \"SYSCAT.PACKAGES\" AS SELECT"
    " PKGSCHEMA, PKGNAME, BOUNDBY, DEFINER, QUALIFIER, UNIQUE_ID, CREATE_TIME AS LAST_BIND_TIME"
    " FROM DL_PACKAGES",
};

const char* const kSyscatViews[] = {"TABLES", "COLUMNS", "TABAUTH", "DBAUTH", "INDEXES",
                                    "INDEXCOLUSE", "CHECKS", "PROCEDURES", "PROCPARMS",
                                    "PACKAGES"};

// The spatial catalogue, created when the administration tool enables
// spatial data. Column types are recorded in DL_COLUMNS like any table's.
struct GseCol { const char* name; const char* type; int len; bool notnull; };
struct GseTable { const char* name; const char* ddl; std::vector<GseCol> cols; };

const GseTable kGseTables[] = {
    {"GSE_COORD_REF",
     "CREATE TABLE IF NOT EXISTS \"DB2GSE.GSE_COORD_REF\" (SCID INTEGER NOT NULL PRIMARY KEY,"
     " SC_NAME VARCHAR(128) COLLATE DB2PAD, AUTH_NAME VARCHAR(256) COLLATE DB2PAD,"
     " AUTH_SRID INTEGER, DESC VARCHAR(256) COLLATE DB2PAD, SRTEXT VARCHAR(2048) COLLATE DB2PAD)",
     {{"SCID", "INTEGER", 4, true}, {"SC_NAME", "VARCHAR", 128, false},
      {"AUTH_NAME", "VARCHAR", 256, false}, {"AUTH_SRID", "INTEGER", 4, false},
      {"DESC", "VARCHAR", 256, false}, {"SRTEXT", "VARCHAR", 2048, false}}},
    {"GSE_SPATIAL_REF",
     "CREATE TABLE IF NOT EXISTS \"DB2GSE.GSE_SPATIAL_REF\" (SRID INTEGER NOT NULL PRIMARY KEY,"
     " SREF_NAME VARCHAR(128) COLLATE DB2PAD, SCID INTEGER NOT NULL"
     " REFERENCES \"DB2GSE.GSE_COORD_REF\" (SCID),"
     " FALSEX DOUBLE, FALSEY DOUBLE, XYUNITS DOUBLE, FALSEZ DOUBLE, ZUNITS DOUBLE,"
     " FALSEM DOUBLE, MUNITS DOUBLE)",
     {{"SRID", "INTEGER", 4, true}, {"SREF_NAME", "VARCHAR", 128, false},
      {"SCID", "INTEGER", 4, true}, {"FALSEX", "DOUBLE", 8, false}, {"FALSEY", "DOUBLE", 8, false},
      {"XYUNITS", "DOUBLE", 8, false}, {"FALSEZ", "DOUBLE", 8, false},
      {"ZUNITS", "DOUBLE", 8, false}, {"FALSEM", "DOUBLE", 8, false},
      {"MUNITS", "DOUBLE", 8, false}}},
    {"GSE_LAYER",
     "CREATE TABLE IF NOT EXISTS \"DB2GSE.GSE_LAYER\" ("
     " LAYER_SCHEMA VARCHAR(128) COLLATE DB2PAD NOT NULL, LAYER_TABLE VARCHAR(128) COLLATE DB2PAD NOT NULL,"
     " LAYER_COLUMN VARCHAR(128) COLLATE DB2PAD NOT NULL, TYPE_NAME VARCHAR(128) COLLATE DB2PAD,"
     " SRID INTEGER REFERENCES \"DB2GSE.GSE_SPATIAL_REF\" (SRID),"
     " BASE_LAYER_SCHEMA VARCHAR(128) COLLATE DB2PAD, BASE_LAYER_TABLE VARCHAR(128) COLLATE DB2PAD,"
     " BASE_LAYER_COLUMN VARCHAR(128) COLLATE DB2PAD, CREATE_TIME TIMESTAMP,"
     " PRIMARY KEY (LAYER_SCHEMA, LAYER_TABLE, LAYER_COLUMN))",
     {{"LAYER_SCHEMA", "VARCHAR", 128, true}, {"LAYER_TABLE", "VARCHAR", 128, true},
      {"LAYER_COLUMN", "VARCHAR", 128, true}, {"TYPE_NAME", "VARCHAR", 128, false},
      {"SRID", "INTEGER", 4, false}, {"BASE_LAYER_SCHEMA", "VARCHAR", 128, false},
      {"BASE_LAYER_TABLE", "VARCHAR", 128, false}, {"BASE_LAYER_COLUMN", "VARCHAR", 128, false},
      {"CREATE_TIME", "TIMESTAMP", 10, false}}},
};

int fail(sqlite3* db, DlDiag* diag, const std::string& what) {
  dl_set_diag(diag, "58004", -902,
              dl_msg(-902, "A system error occurred while " + what + ": " +
                               std::string(sqlite3_errmsg(db)) + ".", "58004"));
  return -1;
}

// Records a catalogue object owned by SYSIBM and readable by PUBLIC.
std::string system_object(const std::string& schema, const std::string& name, const char* kind) {
  return "INSERT OR IGNORE INTO DL_OBJECTS (SCHEMA, NAME, KIND, OWNER, CREATE_TIME) VALUES (" +
         dl_lit(schema) + ", " + dl_lit(name) + ", '" + kind + "', 'SYSIBM', " +
         dl_lit(dl_now_timestamp()) + ");"
         "INSERT OR IGNORE INTO DL_TABAUTH (GRANTOR, GRANTEE, GRANTEETYPE, TABSCHEMA, TABNAME,"
         " SELECTAUTH) VALUES ('SYSIBM', 'PUBLIC', 'G', " +
         dl_lit(schema) + ", " + dl_lit(name) + ", 'Y');";
}

}  // namespace

int dl_catalog_init(sqlite3* db, DlDiag* diag) {
  if (dl_register_collation(db) != SQLITE_OK) return fail(db, diag, "registering the collation");
  if (dl_exec(db, "SAVEPOINT dl_catalog_init") != SQLITE_OK)
    return fail(db, diag, "creating the catalogue");
  for (const char* ddl : kCatalogue) {
    if (dl_exec(db, ddl) != SQLITE_OK) {
      int r = fail(db, diag, "creating the catalogue");
      dl_exec(db, "ROLLBACK TO dl_catalog_init; RELEASE dl_catalog_init");
      return r;
    }
  }
  std::string rows;
  for (const char* v : kSyscatViews) rows += system_object("SYSCAT", v, "V");
  // A new database's authorities for PUBLIC.
  rows +=
      "INSERT OR IGNORE INTO DL_DBAUTH (GRANTOR, GRANTEE, GRANTEETYPE, CONNECTAUTH,"
      " CREATETABAUTH, BINDADDAUTH, IMPLSCHEMAAUTH) VALUES ('SYSIBM', 'PUBLIC', 'G', 'Y', 'Y', 'Y', 'Y');"
      "INSERT OR IGNORE INTO DL_META (NAME, VALUE) VALUES ('CATALOG_VERSION', '1');";
  if (dl_exec(db, rows) != SQLITE_OK) {
    int r = fail(db, diag, "filling the catalogue");
    dl_exec(db, "ROLLBACK TO dl_catalog_init; RELEASE dl_catalog_init");
    return r;
  }
  dl_exec(db, "RELEASE dl_catalog_init");
  return 0;
}

int dl_catalog_enable_spatial(sqlite3* db, DlDiag* diag) {
  if (dl_register_collation(db) != SQLITE_OK) return fail(db, diag, "registering the collation");
  if (dl_exec(db, "SAVEPOINT dl_gse") != SQLITE_OK) return fail(db, diag, "enabling spatial data");
  std::string sql;
  for (const GseTable& t : kGseTables) {
    sql += t.ddl;
    sql += ";";
    sql += system_object("DB2GSE", t.name, "T");
    int colno = 0;
    for (const GseCol& c : t.cols) {
      sql += "INSERT OR IGNORE INTO DL_COLUMNS (TABSCHEMA, TABNAME, COLNAME, COLNO, TYPESCHEMA,"
             " TYPENAME, LENGTH, SCALE, NULLS, CODEPAGE, IDENTITY, GENERATED) VALUES ('DB2GSE', " +
             dl_lit(t.name) + ", " + dl_lit(c.name) + ", " + std::to_string(colno++) +
             ", 'SYSIBM', " + dl_lit(c.type) + ", " + std::to_string(c.len) + ", 0, '" +
             (c.notnull ? "N" : "Y") + "', 0, 'N', ' ');";
    }
  }
  // PUBLIC reads, locks and extends the coordinate systems (new ones are
  // inserted directly by the layer code).
  sql += "UPDATE DL_TABAUTH SET INSERTAUTH = 'Y' WHERE GRANTEE = 'PUBLIC' AND TABSCHEMA = 'DB2GSE'"
         " AND TABNAME = 'GSE_COORD_REF';";
  sql += "CREATE VIEW IF NOT EXISTS \"DB2GSE.GSE_LAYER_GEOM\" AS SELECT LAYER_SCHEMA, LAYER_TABLE,"
         " LAYER_COLUMN, TYPE_NAME, SRID, BASE_LAYER_SCHEMA, BASE_LAYER_TABLE, BASE_LAYER_COLUMN,"
         " CREATE_TIME FROM \"DB2GSE.GSE_LAYER\";";
  sql += system_object("DB2GSE", "GSE_LAYER_GEOM", "V");
  sql += "INSERT OR REPLACE INTO DL_META (NAME, VALUE) VALUES ('SPATIAL', 'Y');";
  if (dl_exec(db, sql) != SQLITE_OK) {
    int r = fail(db, diag, "enabling spatial data");
    dl_exec(db, "ROLLBACK TO dl_gse; RELEASE dl_gse");
    return r;
  }
  dl_exec(db, "RELEASE dl_gse");
  return 0;
}

// ---- privileges -------------------------------------------------------------

DlTablePriv dl_table_priv(sqlite3* db, const std::string& user, const std::string& schema,
                          const std::string& name) {
  DlTablePriv p;
  std::vector<std::vector<std::string>> rows;
  if (dl_query(db, "SELECT 1 FROM DL_OBJECTS WHERE SCHEMA = ?1 AND NAME = ?2 AND KIND IN ('T','V')",
               {schema, name}, &rows) == 0 &&
      !rows.empty())
    p.exists = true;
  rows.clear();
  if (dl_query(db,
               "SELECT CONTROLAUTH, ALTERAUTH, DELETEAUTH, INDEXAUTH, INSERTAUTH, SELECTAUTH,"
               " REFAUTH, UPDATEAUTH FROM DL_TABAUTH WHERE TABSCHEMA = ?1 AND TABNAME = ?2"
               " AND ((GRANTEE = ?3 AND GRANTEETYPE = 'U') OR (GRANTEE = 'PUBLIC' AND GRANTEETYPE = 'G'))",
               {schema, name, user}, &rows) != 0)
    return p;
  auto held = [](const std::string& v) { return v == "Y" || v == "G"; };
  for (const auto& r : rows) {
    if (r.size() < 8) continue;
    p.control |= held(r[0]);
    p.alter |= held(r[1]);
    p.del |= held(r[2]);
    p.index |= held(r[3]);
    p.insert |= held(r[4]);
    p.select |= held(r[5]);
    p.ref |= held(r[6]);
    p.update |= held(r[7]);
  }
  if (p.control) p.alter = p.del = p.index = p.insert = p.select = p.ref = p.update = true;
  return p;
}

bool dl_has_authority(sqlite3* db, const std::string& user, const char* authority) {
  std::string col;
  std::string a = dl_upper(authority);
  if (a == "DBADM") col = "DBADMAUTH";
  else if (a == "CREATETAB") col = "CREATETABAUTH";
  else if (a == "BINDADD") col = "BINDADDAUTH";
  else if (a == "CONNECT") col = "CONNECTAUTH";
  else if (a == "CREATE_NOT_FENCED") col = "NOFENCEAUTH";
  else if (a == "IMPLICIT_SCHEMA") col = "IMPLSCHEMAAUTH";
  else return false;
  dl_register_collation(db);
  std::vector<std::vector<std::string>> rows;
  std::string sql = "SELECT 1 FROM DL_DBAUTH WHERE ((GRANTEE = ?1 AND GRANTEETYPE = 'U') OR"
                    " (GRANTEE = 'PUBLIC' AND GRANTEETYPE = 'G')) AND (" + col +
                    " = 'Y' OR DBADMAUTH = 'Y')";
  // DBADM does not imply CONNECT in DB2's catalogue, but its holder may
  // connect; the same query serves both.
  return dl_query(db, sql, {user}, &rows) == 0 && !rows.empty();
}

int dl_authority_set(sqlite3* db, const char* grantee, const char* authority, bool grant,
                     DlDiag* diag) {
  std::string a = dl_upper(authority ? authority : "");
  std::string col;
  if (a == "DBADM") col = "DBADMAUTH";
  else if (a == "CREATETAB") col = "CREATETABAUTH";
  else if (a == "BINDADD") col = "BINDADDAUTH";
  else if (a == "CONNECT") col = "CONNECTAUTH";
  else if (a == "CREATE_NOT_FENCED") col = "NOFENCEAUTH";
  else if (a == "IMPLICIT_SCHEMA") col = "IMPLSCHEMAAUTH";
  else {
    dl_set_diag(diag, "42601", -104, dl_msg(-104, "An unexpected token \"" + a + "\" was found.", "42601"));
    return -1;
  }
  dl_register_collation(db);
  std::string who = dl_upper(grantee ? grantee : "");
  std::string type = who == "PUBLIC" ? "G" : "U";
  std::string sql = "INSERT OR IGNORE INTO DL_DBAUTH (GRANTOR, GRANTEE, GRANTEETYPE) VALUES ('SYSIBM', " +
                    dl_lit(who) + ", '" + type + "'); UPDATE DL_DBAUTH SET " + col + " = '" +
                    (grant ? "Y" : "N") + "' WHERE GRANTEE = " + dl_lit(who) +
                    " AND GRANTEETYPE = '" + type + "'";
  if (dl_exec(db, sql) != SQLITE_OK) return fail(db, diag, "setting an authority");
  return 0;
}

// ---- session state --------------------------------------------------------------

DlSessionState* dl_state(const DlSession& s) {
  if (!s.state) {
    s.state = std::make_shared<DlSessionState>();
    s.state->session = &s;
  }
  return s.state.get();
}

}  // namespace dl
