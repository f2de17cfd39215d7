// dl_spatial.h -- db2lite's Spatial Extender: the shape type and its
// functions, the spatial index, and the registration procedures of schema
// DB2GSE. The SQL engine and the CLI call this interface; nothing else in
// db2lite knows how a shape is stored.
//
// What it offers:
//  - Shapes are BLOBs in db2lite's own shape encoding (dl_spatial_shape.cpp):
//    the packed shape value the client sent, kept byte for byte, with the
//    annotation text and the thirteen properties (srid, number of points,
//    geometry type, envelope, Z and M ranges, area, length). `..Points`
//    returns the packed bytes exactly as they were stored.
//  - SQL functions, registered on a connection by dl_spatial_register:
//      constructors   POINTFROMZUL, LINEFROMZUL, POLYFROMZUL, GEOMETRYFROMZUL
//                     (packed value, annotation): the properties are read
//                     from the packed value's trailer;
//                     ST_POINT(), ST_LINESTRING(), ... ST_GEOMETRY(): an empty
//                     shape of that type, filled by the mutators below;
//      methods        DB2GSE_<METHOD>(shape): Points, Anno_Text, Srid,
//                     NumPoints, Geometry_Type, Xmin, Ymin, Xmax, Ymax, Zmin,
//                     Zmax, Mmin, Mmax, Area, Length; NULL for a NULL shape
//                     or an absent property;
//      mutators       DB2GSE_<METHOD>(shape, value): a copy of the shape with
//                     that property set (NULL clears it);
//      ZULENTITY(shape): the entity type of the packed value's header;
//      ENVELOPESINTERSECT(a, b): 1 when the two envelopes meet (boundary
//                     contact counts), 0 when not or when either has no
//                     envelope, NULL when either shape is NULL.
//    Methods carry the DB2GSE_ prefix because `..Length` would otherwise
//    collide with the DB2 function LENGTH; dl_spatial_method_function gives
//    the translator the name for a method written `expr..Method`.
//  - The spatial index: CREATE INDEX ... EXTEND USING db2gse.spatial_index
//    becomes an SQLite R*Tree over the column's envelopes, kept in step with
//    every INSERT, UPDATE and DELETE by triggers on the table. The R*Tree
//    holds each envelope twice: rounded outward to 32-bit floats (what the
//    tree searches) and exactly (auxiliary columns), so an indexed query
//    answers exactly what ENVELOPESINTERSECT answers row by row.
//  - The procedures gse_register_layer, gse_unregist_layer, gse_enable_sref
//    and gse_disable_sref, called as CALL db2gse!<name>(...). They answer
//    through their message-code and message-text OUTPUT parameters; the CALL
//    itself fails only for a call that names no procedure or has the wrong
//    number of arguments (42884/-440).
//
// What it does not reproduce: the exact relations of shapes (the server
// tests those itself), coordinate transformation between spatial
// references, and grid-level tuning (the three grid sizes are recorded and
// not otherwise used).
#ifndef DL_SPATIAL_H
#define DL_SPATIAL_H

#include "dl_cli_call.h"
#include "dl_engine.h"

#include <sqlite3.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace dl {

// ---- limits on shape values (they come from clients) ------------------------
constexpr size_t kMaxPackedShape = 1024 * 1024;  // CAST(? AS BLOB(1M)) in every insert text
constexpr size_t kMaxAnnoText = 255;             // CAST(? AS VARCHAR(255))

// ---- the shape type -----------------------------------------------------------

// The Spatial Extender type codes, in the order of the registration type
// names: 0 ST_GEOMETRY, 1 ST_POINT, 2 ST_CURVE, 3 ST_LINESTRING, 4 ST_SURFACE,
// 5 ST_POLYGON, 6 ST_GEOMCOLLECTION, 7 ST_MULTIPOINT, 8 ST_MULTICURVE,
// 9 ST_MULTILINESTRING, 10 ST_MULTISURFACE, 11 ST_MULTIPOLYGON.
// dl_spatial_type_code takes a type name with or without the "DB2GSE."
// qualifier, in any case, and accepts both spellings of the collection type
// (ST_GEOMCOLLECTION and ST_GEOMETRYCOLLECTION); -1 for any other name.
int dl_spatial_type_code(const std::string& type_name);
// The registration spelling of a code ("ST_POINT"), or "" outside 0-11.
const char* dl_spatial_type_name(int code);
// True when a column of type `column_code` may hold shapes of type
// `shape_code` (same type, or the column's type is a supertype of it).
bool dl_spatial_type_holds(int column_code, int shape_code);

// Registers the shape functions on a connection (idempotent). SQLITE_OK or
// the SQLite code.
int dl_spatial_register(sqlite3* db);

// The SQL function for `expr..Method` (Method in any case): "DB2GSE_XMIN"
// for "Xmin". False when the shape type has no such method.
bool dl_spatial_method_function(const std::string& method, std::string* fn);

// The DB2 type name of what a method (written `expr..Method`) or a Spatial
// Extender function (ZULENTITY, ENVELOPESINTERSECT, the constructors)
// returns, for describing a result column: "BLOB" for `..Points`, "DOUBLE"
// for the envelope, ranges and measures, "INTEGER", "SMALLINT", "VARCHAR",
// or the shape type ("ST_POINT", ...) of a constructor. "" when the name is
// none of them.
std::string dl_spatial_result_type(const std::string& name);

// ---- the spatial index -----------------------------------------------------------

// The statements that build the spatial index ischema.iname on
// tschema.tname(columns) with the index arguments as written between the
// parentheses of EXTEND USING db2gse.spatial_index (the three grid sizes):
// the R*Tree, its filling from the rows already there, and the three
// triggers. They are appended to *stmts, to run after the index's catalogue
// row is written, in the same unit of work. Returns 0, or -1 with diag:
// 42601 for anything but one column, for grid sizes that are not three
// numbers with the first above 0, or for a column that is not of a spatial
// type; 42S22 for a missing column.
int dl_spatial_create_index_sql(sqlite3* db, const std::string& ischema, const std::string& iname,
                                const std::string& tschema, const std::string& tname,
                                const std::vector<std::string>& columns, const std::string& args,
                                std::vector<std::string>* stmts, DlDiag* diag);

// The statements that remove the R*Tree and triggers of a spatial index
// (harmless when there are none), appended to *stmts.
void dl_spatial_drop_index_sql(const std::string& ischema, const std::string& iname,
                               std::vector<std::string>* stmts);

// The statements that remove the R*Trees of every spatial index on a table
// that is being dropped (its triggers go with the table), appended to
// *stmts. Reads the catalogue: call it before the table's catalogue rows go.
void dl_spatial_drop_table_sql(sqlite3* db, const std::string& tschema, const std::string& tname,
                               std::vector<std::string>* stmts);

// The SQLite name of the R*Tree behind spatial index ischema.iname.
std::string dl_spatial_index_table(const std::string& ischema, const std::string& iname);

// An index-assisted form of "ENVELOPESINTERSECT(search, qualifier.column) = 1"
// when a spatial index covers tschema.tname(column): the row's rowid is
// looked up among the index's candidates, and each candidate's exact
// envelope is tested. search_sql (already translated, with its parameter
// marker) appears once in *out, so parameter order is kept. qualifier is
// the SQL text that qualifies the table's columns in the statement (its
// alias or its quoted name). False, with *out untouched, when no spatial
// index covers the column: the caller keeps the plain predicate.
bool dl_spatial_filter_sql(sqlite3* db, const std::string& tschema, const std::string& tname,
                           const std::string& column, const std::string& qualifier,
                           const std::string& search_sql, std::string* out);

// ---- the registration procedures --------------------------------------------------

// True for "db2gse!gse_register_layer" and the three others (any case).
bool dl_spatial_is_procedure(const std::string& call_name);

// Runs a Spatial Extender procedure on db, inside the caller's unit of work
// (the caller has begun it). call_args are the argument texts of the CALL
// ("?" for a parameter marker, NULL, a number or a string literal); args
// hold the marker values in order and receive the OUTPUT values. The
// procedure's own changes stand or fall whole. Returns 0 with the message
// code in the procedure's OUTPUT parameter, or -1 with diag when the call
// names no procedure or has the wrong number of arguments.
int dl_spatial_call(sqlite3* db, const std::string& call_name,
                    const std::vector<std::string>& call_args, std::vector<DlCallArg>& args,
                    DlDiag* diag);

// A CLI call handler (dl_cli_call.h) that runs the Spatial Extender
// procedures on the caller's connection and refuses every other name with
// 42884/-440. The procedure host chains to it for names of the form
// "db2gse!..."; until there is one, it can be registered on its own.
int dl_spatial_call_handler(SQLHDBC dbc, const DlPlan& plan, std::vector<DlCallArg>& args,
                            DlDiag* diag);

// ---- counters for tests ---------------------------------------------------------------

// Process-wide counts of the envelopes compared: by ENVELOPESINTERSECT row by
// row, and by the index filter among the R*Tree's candidates.
struct DlSpatialCounters {
  uint64_t envelope_tests = 0;    // ENVELOPESINTERSECT calls that compared two envelopes
  uint64_t index_candidates = 0;  // candidates the R*Tree handed to the exact test
};
DlSpatialCounters dl_spatial_counters();
void dl_spatial_counters_reset();

}  // namespace dl

#endif
