// sp_sections.h -- the static SQL of the stored-procedure library: the one
// table of sections that both the procedures and the bind-file writer use.
//
// The package ZULSRVSP holds 68 numbered sections. A static section carries
// its statement text, bound once by the database; a dynamic section is a slot
// that a procedure fills at run time (EXECUTE IMMEDIATE, or PREPARE of a
// cursor). The consistency token is a hash of this table, so a library runs
// only against the package bound from the bind file written from the same
// table; change a statement and both change together.
//
// Markers ("?") take the host variables that the procedure hands over, in
// order; the comment after each row lists them. Statements name their
// tables with the schema ZUL, so they do not depend on the binder's
// qualifier. USER and CURRENT TIMESTAMP are the caller's.
//
// This header is read by the library and by zulsrvsp-bindgen; it holds only
// constant data and constexpr functions.
#ifndef ZUL_SP_SECTIONS_H
#define ZUL_SP_SECTIONS_H

#include <stddef.h>
#include <stdint.h>

#include <string>

#pragma GCC visibility push(hidden)

namespace sp {

struct SpSection {
  int number;        // package section number (1 to 68)
  const char* text;  // static statement, or nullptr for a dynamic slot
};

// clang-format off
inline constexpr SpSection kSections[] = {
    {1, nullptr},  // LOCK TABLE of sp_lock_table (EXECUTE IMMEDIATE)
    {2, "INSERT INTO ZUL.LAYERS (layer_id, description, database_name, owner, table_name, spatial_column,"
        " eflags, layer_mask, minx, miny, maxx, maxy, cdate, layer_config, optimal_array_size, stats_date,"
        " minimum_id, srid, base_layer_id, gsize1, gsize2, gsize3)"
        " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"},  // the 22 inputs
    {3, "DELETE FROM ZUL.LAYERS WHERE layer_id = ?"},  // layer_id
    {4, "UPDATE ZUL.LAYERS SET description = ?, eflags = ?, layer_mask = ?, minx = ?, miny = ?, maxx = ?,"
        " maxy = ?, layer_config = ?, optimal_array_size = ?, stats_date = ?, minimum_id = ?, gsize1 = ?,"
        " gsize2 = ?, gsize3 = ? WHERE layer_id = ?"},
    {5, "SELECT minx, miny, maxx, maxy FROM ZUL.LAYERS WHERE layer_id = ?"},  // into the four
    {6, "UPDATE ZUL.LAYERS SET minx = ?, miny = ?, maxx = ?, maxy = ? WHERE layer_id = ?"},
    {7, "UPDATE ZUL.LAYERS SET table_name = ? WHERE layer_id = ?"},
    // The layer's coordinate reference already carries this text: 1, else 0.
    {8, "SELECT COUNT(*) FROM DB2GSE.GSE_COORD_REF c, DB2GSE.GSE_SPATIAL_REF s, ZUL.LAYERS l"
        " WHERE c.srtext = ? AND l.layer_id = ? AND s.srid = l.srid AND c.scid = s.scid"},
    {9, "UPDATE DB2GSE.GSE_COORD_REF SET srtext = ? WHERE scid IN (SELECT s.scid FROM"
        " DB2GSE.GSE_SPATIAL_REF s, ZUL.LAYERS l WHERE s.srid = l.srid AND l.layer_id = ?)"},
    {10, "UPDATE ZUL.LAYERS SET srid = ? WHERE layer_id = ?"},
    {11, "DELETE FROM ZUL.TABLE_REGISTRY WHERE registration_id = ?"},
    {12, "INSERT INTO ZUL.TABLE_REGISTRY (registration_id, database_name, table_name, owner, rowid_column,"
         " description, object_flags, registration_date, config_keyword, minimum_id, imv_view_name)"
         " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"},
    {13, "UPDATE ZUL.TABLE_REGISTRY SET rowid_column = ?, description = ?, object_flags = ?,"
         " config_keyword = ?, minimum_id = ?, imv_view_name = ? WHERE registration_id = ?"},
    {14, "UPDATE ZUL.TABLE_REGISTRY SET table_name = ? WHERE registration_id = ?"},
    {15, "DELETE FROM ZUL.MVTABLES_MODIFIED WHERE registration_id = ?"},
    {16, "LOCK TABLE DB2GSE.GSE_SPATIAL_REF IN EXCLUSIVE MODE"},
    {17, "LOCK TABLE DB2GSE.GSE_COORD_REF IN EXCLUSIVE MODE"},
    {18, "SELECT srid FROM DB2GSE.GSE_SPATIAL_REF WHERE srid = ?"},
    {19, "INSERT INTO ZUL.METADATA (record_id, object_name, object_database, object_owner, object_type,"
         " class_name, property, prop_value, description, creation_date)"
         " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, CURRENT TIMESTAMP)"},
    {20, "DELETE FROM ZUL.METADATA WHERE record_id IN (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"},
    {21, "UPDATE ZUL.METADATA SET class_name = ?, property = ?, prop_value = ?, description = ?"
         " WHERE record_id = ?"},
    {22, "INSERT INTO ZUL.LOCATORS (locator_id, name, owner, category, type, description)"
         " VALUES (?, ?, ?, ?, ?, ?)"},
    {23, "DELETE FROM ZUL.LOCATORS WHERE locator_id = ?"},
    {24, "UPDATE ZUL.LOCATORS SET name = ?, category = ?, type = ?, description = ? WHERE locator_id = ?"},
    {25, "INSERT INTO ZUL.RASTER_COLUMNS (rastercolumn_id, description, database_name, owner, table_name,"
         " raster_column, cdate, config_keyword, minimum_id, base_rastercolumn_id, rastercolumn_mask, srid)"
         " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"},
    {26, "DELETE FROM ZUL.RASTER_COLUMNS WHERE rastercolumn_id = ?"},
    {27, "UPDATE ZUL.RASTER_COLUMNS SET description = ?, config_keyword = ?, minimum_id = ?,"
         " rastercolumn_mask = ? WHERE rastercolumn_id = ?"},
    {28, nullptr},  // no statement uses this slot
    {29, "DELETE FROM ZUL.DBTUNE"},
    {30, "INSERT INTO ZUL.DBTUNE (keyword, parameter_name, config_string) VALUES (?, ?, ?)"},
    // sp_check_state_owner: the state's owner, the caller, its closing time.
    {31, "SELECT s.owner, USER, s.closing_time FROM ZUL.STATES s WHERE s.state_id = ?"},
    {32, nullptr},  // the cursor over the states of zul_delete_state's list
    // One state removed: its modified marks, every lineage it belongs to, the row.
    {33, "DELETE FROM ZUL.MVTABLES_MODIFIED WHERE state_id = ?"},
    {34, "DELETE FROM ZUL.STATE_LINEAGES WHERE lineage_id = ?"},
    {35, "DELETE FROM ZUL.STATES WHERE state_id = ?"},
    {36, "SELECT MAX(state_id) + 1 FROM ZUL.STATES"},  // candidate id of a new state
    {37, "INSERT INTO ZUL.STATES (state_id, owner, creation_time, closing_time, parent_state_id,"
         " lineage_name) VALUES (?, USER, CURRENT TIMESTAMP, CURRENT TIMESTAMP, ?, ?)"},  // closed
    {38, "INSERT INTO ZUL.STATES (state_id, owner, creation_time, closing_time, parent_state_id,"
         " lineage_name) VALUES (?, USER, CURRENT TIMESTAMP, NULL, ?, ?)"},  // open
    {39, "SELECT MAX(lineage_name) + 1 FROM ZUL.STATE_LINEAGES"},  // a lineage name not in use
    // The new lineage gets the parent's lineage up to the parent (ids grow downwards).
    {40, "INSERT INTO ZUL.STATE_LINEAGES (lineage_name, lineage_id) SELECT CAST(? AS INTEGER),"
         " l.lineage_id FROM ZUL.STATE_LINEAGES l WHERE l.lineage_name = ? AND l.lineage_id <= ?"},
    {41, "INSERT INTO ZUL.STATE_LINEAGES (lineage_name, lineage_id) VALUES (?, ?)"},
    {42, "UPDATE ZUL.STATES SET closing_time = NULL WHERE state_id = ?"},
    {43, "UPDATE ZUL.STATES SET closing_time = CURRENT TIMESTAMP WHERE state_id = ?"},
    {44, "SELECT closing_time FROM ZUL.STATES WHERE state_id = ?"},
    {45, "VALUES USER"},
    // sp_check_version_owner: the version's id and status, the caller.
    {46, "SELECT v.version_id, v.status, USER FROM ZUL.VERSIONS v WHERE v.name = ? AND v.owner = ?"},
    // A table marked modified in a state once; a second mark adds no row.
    {47, "INSERT INTO ZUL.MVTABLES_MODIFIED (state_id, registration_id) SELECT n.s, n.r FROM"
         " (VALUES (CAST(? AS INTEGER), CAST(? AS INTEGER))) AS n (s, r) WHERE NOT EXISTS (SELECT 1"
         " FROM ZUL.MVTABLES_MODIFIED m WHERE m.state_id = n.s AND m.registration_id = n.r)"},
    {48, "INSERT INTO ZUL.VERSIONS (name, owner, version_id, status, state_id, description, parent_name,"
         " parent_owner, parent_version_id, creation_time)"
         " VALUES (?, USER, ?, ?, ?, ?, ?, ?, ?, CURRENT TIMESTAMP)"},
    {49, "SELECT COUNT(*) FROM ZUL.VERSIONS WHERE parent_name = ? AND parent_owner = ?"},
    {50, "DELETE FROM ZUL.VERSIONS WHERE name = ? AND owner = ?"},
    {51, "SELECT v.status, USER FROM ZUL.VERSIONS v WHERE v.owner = ? AND v.name = ?"},
    {52, "UPDATE ZUL.VERSIONS SET status = ?, description = ? WHERE owner = ? AND name = ?"},
    {53, "SELECT v.status, USER FROM ZUL.VERSIONS v WHERE v.owner = ? AND v.name = ?"},
    {54, "UPDATE ZUL.VERSIONS SET name = ? WHERE name = ? AND owner = ?"},
    {55, "UPDATE ZUL.VERSIONS SET parent_name = ? WHERE parent_name = ? AND parent_owner = ?"},  // children
    {56, "UPDATE ZUL.VERSIONS SET state_id = ? WHERE owner = ? AND name = ? AND state_id = ?"},
    {57, "SELECT v.state_id, USER FROM ZUL.VERSIONS v WHERE v.owner = ? AND v.name = ?"},
    {58, "VALUES USER"},
    {59, nullptr},  // zul_range_del_ok: the states below the start state
    {60, nullptr},  // zul_range_del_ok: a version on one of them
    // Trim down to the base state: the high state's marks and row go, every
    // lineage row of a state that no longer exists goes, the high state's
    // children hang from the base state.
    {61, "DELETE FROM ZUL.MVTABLES_MODIFIED WHERE state_id = ?"},
    {62, "DELETE FROM ZUL.STATES WHERE state_id = ?"},
    {63, "DELETE FROM ZUL.STATE_LINEAGES WHERE lineage_id <> ? AND lineage_id NOT IN"
         " (SELECT s.state_id FROM ZUL.STATES s)"},
    {64, "UPDATE ZUL.STATES SET parent_state_id = ? WHERE state_id <> ? AND (parent_state_id = ? OR"
         " parent_state_id = ?)"},  // 0, 0, 0, high
    // Every lineage of a child of the base state holds the base state.
    {65, "INSERT INTO ZUL.STATE_LINEAGES (lineage_name, lineage_id) SELECT s.lineage_name, CAST(? AS"
         " INTEGER) FROM ZUL.STATES s WHERE s.parent_state_id = ? AND s.state_id <> 0 AND NOT EXISTS"
         " (SELECT 1 FROM ZUL.STATE_LINEAGES l WHERE l.lineage_name = s.lineage_name AND"
         " l.lineage_id = 0)"},
    {66, "DELETE FROM ZUL.STATE_LINEAGES WHERE lineage_name = ? AND lineage_id = ?"},  // 0, high
    {67, "UPDATE ZUL.STATES SET parent_state_id = ? WHERE parent_state_id = ?"},  // 0, high
    // Trim above the base state: once the states from the low one down have
    // been deleted, the high state hangs from the nearest state still on its
    // lineage.
    {68, "UPDATE ZUL.STATES SET parent_state_id = (SELECT MAX(l.lineage_id) FROM ZUL.STATE_LINEAGES l"
         " WHERE l.lineage_name = (SELECT s.lineage_name FROM ZUL.STATES s WHERE s.state_id = ?) AND"
         " l.lineage_id < ?) WHERE state_id = ?"},  // high, high, high
};
// clang-format on

inline constexpr int kSectionCount = 68;
static_assert(sizeof kSections / sizeof kSections[0] == kSectionCount, "one row per section");

constexpr bool sections_in_order() {
  for (int i = 0; i < kSectionCount; ++i)
    if (kSections[i].number != i + 1) return false;
  return true;
}
static_assert(sections_in_order(), "section numbers run 1 to 68 in order");

// FNV-1a over every section's number, kind and text.
constexpr uint64_t sections_hash() {
  uint64_t h = 1469598103934665603ull;
  auto mix = [&h](unsigned char c) {
    h ^= c;
    h *= 1099511628211ull;
  };
  for (int i = 0; i < kSectionCount; ++i) {
    int n = kSections[i].number;
    mix(static_cast<unsigned char>(n & 0xff));
    mix(static_cast<unsigned char>(n >> 8));
    const char* t = kSections[i].text;
    mix(t ? 'S' : 'D');
    for (; t && *t; ++t) mix(static_cast<unsigned char>(*t));
    mix(0);
  }
  return h;
}

// The consistency token: 8 characters of A-Z and 0-9 derived from the table.
struct SpToken {
  char c[9];
};
constexpr SpToken sections_token() {
  SpToken t{};
  uint64_t h = sections_hash();
  const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (int i = 0; i < 8; ++i) {
    t.c[i] = digits[h % 36];
    h /= 36;
  }
  t.c[8] = 0;
  return t;
}
inline constexpr SpToken kToken = sections_token();

inline constexpr char kPackageName[] = "ZULSRVSP";
inline constexpr char kPackageCreator[] = "DB2ADMIN";

// The bind file of the package, in the database's bind-file format.
inline std::string bind_file_text() {
  std::string s = "DB2LITE-BIND 1\n";
  s += std::string("PACKAGE ") + kPackageCreator + " " + kPackageName + " " + kToken.c + "\n";
  for (const SpSection& sec : kSections) {
    s += "SECTION " + std::to_string(sec.number);
    s += sec.text ? std::string(" STATIC ") + sec.text : std::string(" DYNAMIC");
    s += "\n";
  }
  s += "END\n";
  return s;
}

}  // namespace sp

#pragma GCC visibility pop

#endif
