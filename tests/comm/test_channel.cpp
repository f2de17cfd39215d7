// The channel between two processes: every item round-trips in both
// encodings and on both sides of the release boundaries; commands follow the
// legacy numbering on legacy channels; the socket helpers and the native
// buffers keep their framing.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "comp_ftr.h"
#include "sock_io.h"
#include "test_channel_pair.h"
#include "zul_channel.h"
#include "zul_commands.h"

using namespace zultest;

namespace {

// One item of the exchange: send writes the canonical value; echo reads one
// and writes back what it read; check reads one and compares it with the
// canonical value (0 when equal).
struct ItemCase {
  const char* name;
  std::function<int(CHANNEL*)> send;
  std::function<int(CHANNEL*)> echo;
  std::function<int(CHANNEL*)> check;
};

const std::string kLongText(3000, 'x');

SE_DATE sample_date() {
  SE_DATE d{};
  d.sec = 5; d.min = 9; d.hour = 13; d.mday = 28; d.mon = 1; d.year = 126; d.wday = 6; d.yday = 58; d.isdst = 0;
  return d;
}

std::vector<ItemCase> item_cases() {
  std::vector<ItemCase> v;
  v.push_back({"long",
               [](CHANNEL* c) { return CH_write_long(c, -123456789); },
               [](CHANNEL* c) { int32_t x; return CH_read_long(c, &x) ?: CH_write_long(c, x); },
               [](CHANNEL* c) { int32_t x; return CH_read_long(c, &x) ?: (x != -123456789); }});
  v.push_back({"ulong",
               [](CHANNEL* c) { return CH_write_ulong(c, 0xFEDCBA98u); },
               [](CHANNEL* c) { uint32_t x; return CH_read_ulong(c, &x) ?: CH_write_ulong(c, x); },
               [](CHANNEL* c) { uint32_t x; return CH_read_ulong(c, &x) ?: (x != 0xFEDCBA98u); }});
  v.push_back({"float",
               [](CHANNEL* c) { return CH_write_float(c, -2.5f); },
               [](CHANNEL* c) { float x; return CH_read_float(c, &x) ?: CH_write_float(c, x); },
               [](CHANNEL* c) { float x; return CH_read_float(c, &x) ?: (x != -2.5f); }});
  v.push_back({"short",
               [](CHANNEL* c) { return CH_write_short(c, -32768); },
               [](CHANNEL* c) { int16_t x; return CH_read_short(c, &x) ?: CH_write_short(c, x); },
               [](CHANNEL* c) { int16_t x; return CH_read_short(c, &x) ?: (x != -32768); }});
  v.push_back({"lfloat",
               [](CHANNEL* c) { return CH_write_lfloat(c, 1.0 / 3.0); },
               [](CHANNEL* c) { double x; return CH_read_lfloat(c, &x) ?: CH_write_lfloat(c, x); },
               [](CHANNEL* c) { double x; return CH_read_lfloat(c, &x) ?: (x != 1.0 / 3.0); }});
  v.push_back({"lfloat_array",
               [](CHANNEL* c) { double a[3] = {1.5, -2.25, 1e300}; return CH_write_lfloat_array(c, 3, a); },
               [](CHANNEL* c) { double a[3]; return CH_read_lfloat_array(c, 3, a) ?: CH_write_lfloat_array(c, 3, a); },
               [](CHANNEL* c) {
                 double a[3];
                 return CH_read_lfloat_array(c, 3, a) ?: !(a[0] == 1.5 && a[1] == -2.25 && a[2] == 1e300);
               }});
  v.push_back({"short_array",
               [](CHANNEL* c) { int16_t a[4] = {1, -2, 300, -32767}; return CH_write_short_array(c, 4, a); },
               [](CHANNEL* c) {
                 int16_t a[8], n;
                 return CH_read_short_array(c, &n, a, 8) ?: CH_write_short_array(c, n, a);
               },
               [](CHANNEL* c) {
                 int16_t a[8], n;
                 return CH_read_short_array(c, &n, a, 8) ?: !(n == 4 && a[0] == 1 && a[1] == -2 && a[2] == 300 && a[3] == -32767);
               }});
  v.push_back({"empty short_array",
               [](CHANNEL* c) { return CH_write_short_array(c, 0, nullptr); },
               [](CHANNEL* c) { int16_t a[1], n; return CH_read_short_array(c, &n, a, 1) ?: CH_write_short_array(c, n, a); },
               [](CHANNEL* c) { int16_t a[1], n = 9; return CH_read_short_array(c, &n, a, 1) ?: (n != 0); }});
  v.push_back({"fid_array",
               [](CHANNEL* c) { int32_t a[5] = {7, 8, 9, -1, 2147483647}; return CH_write_fid_array(c, 5, a); },
               [](CHANNEL* c) { int32_t a[5]; return CH_read_fid_array(c, 5, a) ?: CH_write_fid_array(c, 5, a); },
               [](CHANNEL* c) {
                 int32_t a[5];
                 return CH_read_fid_array(c, 5, a) ?: !(a[0] == 7 && a[3] == -1 && a[4] == 2147483647);
               }});
  v.push_back({"empty fid_array",
               [](CHANNEL* c) { return CH_write_fid_array(c, 0, nullptr); },
               [](CHANNEL* c) { return CH_read_fid_array(c, 0, nullptr) ?: CH_write_fid_array(c, 0, nullptr); },
               [](CHANNEL* c) { return CH_read_fid_array(c, 0, nullptr); }});
  v.push_back({"string",
               [](CHANNEL* c) { return CH_write_string(c, "layer name"); },
               [](CHANNEL* c) { char b[64]; return CH_read_string(c, b, sizeof b) ?: CH_write_string(c, b); },
               [](CHANNEL* c) { char b[64]; return CH_read_string(c, b, sizeof b) ?: (strcmp(b, "layer name") != 0); }});
  v.push_back({"empty string",
               [](CHANNEL* c) { return CH_write_string(c, ""); },
               [](CHANNEL* c) { char b[4]; return CH_read_string(c, b, sizeof b) ?: CH_write_string(c, b); },
               [](CHANNEL* c) { char b[4] = "zz"; return CH_read_string(c, b, sizeof b) ?: (b[0] != '\0'); }});
  v.push_back({"long string",
               [](CHANNEL* c) { return CH_write_string(c, kLongText.c_str()); },
               [](CHANNEL* c) { char b[4097]; return CH_read_string(c, b, sizeof b) ?: CH_write_string(c, b); },
               [](CHANNEL* c) { char b[4097]; return CH_read_string(c, b, sizeof b) ?: (kLongText != b); }});
  v.push_back({"dynamic_string",
               [](CHANNEL* c) { return CH_write_dynamic_string(c, "PROJCS[\"x\"]"); },
               [](CHANNEL* c) {
                 char* s = nullptr;
                 int rc = CH_read_dynamic_string(c, &s) ?: CH_write_dynamic_string(c, s);
                 free(s);
                 return rc;
               },
               [](CHANNEL* c) {
                 char* s = nullptr;
                 int rc = CH_read_dynamic_string(c, &s) ?: (!s || strcmp(s, "PROJCS[\"x\"]") != 0);
                 free(s);
                 return rc;
               }});
  v.push_back({"null dynamic_string",
               [](CHANNEL* c) { return CH_write_dynamic_string(c, nullptr); },
               [](CHANNEL* c) { char* s = nullptr; return CH_read_dynamic_string(c, &s) ?: CH_write_dynamic_string(c, s); },
               [](CHANNEL* c) { char* s = reinterpret_cast<char*>(1); return CH_read_dynamic_string(c, &s) ?: (s != nullptr); }});
  v.push_back({"date",
               [](CHANNEL* c) { SE_DATE d = sample_date(); return CH_write_date(c, &d); },
               [](CHANNEL* c) { SE_DATE d; return CH_read_date(c, &d) ?: CH_write_date(c, &d); },
               [](CHANNEL* c) {
                 SE_DATE d, e = sample_date();
                 return CH_read_date(c, &d) ?: (memcmp(&d, &e, sizeof d) != 0);
               }});
  v.push_back({"block",
               [](CHANNEL* c) { return CH_write_block(c, "\x01\x02\x03\x04\x05", 5); },
               [](CHANNEL* c) { char b[5]; return CH_read_block(c, b, 5) ?: CH_write_block(c, b, 5); },
               [](CHANNEL* c) { char b[5]; return CH_read_block(c, b, 5) ?: (memcmp(b, "\x01\x02\x03\x04\x05", 5) != 0); }});
  v.push_back({"blob in two segments",
               [](CHANNEL* c) {
                 return CH_write_blob_seg(c, "abcdef", 6, 0) ?: CH_write_blob_seg(c, "ghij", 4, 1) ?: CH_write_blob_end(c, 10, 1);
               },
               [](CHANNEL* c) {
                 char b[16];
                 int32_t n1, l1, n2, l2;
                 int rc = CH_read_blob_seg(c, b, 16, &n1, &l1) ?: CH_read_blob_seg(c, b + n1, 16 - n1, &n2, &l2) ?:
                          CH_read_blob_end(c, n1 + n2, 1);
                 return rc ?: CH_write_blob_seg(c, b, n1, l1) ?: CH_write_blob_seg(c, b + n1, n2, l2) ?:
                        CH_write_blob_end(c, n1 + n2, 1);
               },
               [](CHANNEL* c) {
                 char b[16];
                 int32_t n1, l1, n2, l2;
                 int rc = CH_read_blob_seg(c, b, 16, &n1, &l1) ?: CH_read_blob_seg(c, b + n1, 16 - n1, &n2, &l2) ?:
                          CH_read_blob_end(c, n1 + n2, 1);
                 return rc ?: !(n1 == 6 && l1 == 0 && n2 == 4 && l2 == 1 && memcmp(b, "abcdefghij", 10) == 0);
               }});
  v.push_back({"command",
               [](CHANNEL* c) { return CH_write_command(c, CMD_QueryLayer); },
               [](CHANNEL* c) { int32_t x; return CH_read_command(c, &x) ?: CH_write_command(c, x); },
               [](CHANNEL* c) { int32_t x; return CH_read_command(c, &x) ?: (x != CMD_QueryLayer); }});
  return v;
}

// ---- records ---------------------------------------------------------------

COORDREF sample_coordref(const char* text) {
  COORDREF c{};
  c.falsex = -180.5; c.falsey = -90.25; c.xyunits = 1e6; c.xycround = 5e-7; c.xyhalfsu = 5e-7;
  c.falsez = -1000; c.zunits = 100; c.zcround = 0.005; c.zhalfsu = 0.005;
  c.falsem = -5; c.munits = 10; c.mcround = 0.05; c.mhalfsu = 0.05;
  c.srtext = text ? strdup(text) : nullptr;
  c.srid = 4326;
  return c;
}

bool same_coordref(const COORDREF& a, const COORDREF& b) {
  const double da[13] = {a.falsex, a.falsey, a.xyunits, a.xycround, a.xyhalfsu, a.falsez, a.zunits,
                         a.zcround, a.zhalfsu, a.falsem, a.munits, a.mcround, a.mhalfsu};
  const double db[13] = {b.falsex, b.falsey, b.xyunits, b.xycround, b.xyhalfsu, b.falsez, b.zunits,
                         b.zcround, b.zhalfsu, b.falsem, b.munits, b.mcround, b.mhalfsu};
  bool texts = (!a.srtext && !b.srtext) || (a.srtext && b.srtext && strcmp(a.srtext, b.srtext) == 0);
  return memcmp(da, db, sizeof da) == 0 && texts && a.srid == b.srid;
}

// A layer and the reference it points to, kept together.
struct LayerRec {
  LAYER layer{};
  COORDREF cref{};
  LayerRec() { layer.coordref = &cref; }
  ~LayerRec() { free(cref.srtext); }
};

void fill_layer(LayerRec& r, int32_t id) {
  LAYER& l = r.layer;
  l.id = id;
  l.envelope = {1.5, 2.5, 100.25, 200.75};
  snprintf(l.description, sizeof l.description, "roads %d", id);
  l.grid_size[0] = 1000; l.grid_size[1] = 0; l.grid_size[2] = 0;
  l.entity_flags = 0x8000000 | 8 | 16;
  strcpy(l.database, "GISDB"); strcpy(l.owner, "ZUL"); strcpy(l.table, "ROADS"); strcpy(l.spatial_column, "SHAPE");
  l.creation_date = 1700000000; l.privileges = 2 | 8; strcpy(l.config_keyword, "DEFAULTS");
  l.array_size = 1000; l.stats_date = 0; l.min_shape_id = 1; l.layer_mask = 3; l.base_layer_id = 7;
  free(r.cref.srtext);
  r.cref = sample_coordref("GEOGCS[\"WGS 84\"]");
}

bool same_layer(const LAYER& a, const LAYER& b, bool legacy) {
  LAYER x = a, y = b;
  x.coordref = y.coordref = nullptr;
  x.local_word = y.local_word = 0;
  if (legacy) x.layer_mask = x.base_layer_id = 0;
  return memcmp(&x, &y, sizeof x) == 0 && a.coordref && b.coordref && same_coordref(*a.coordref, *b.coordref);
}

template <class T> T filled(int seed) {
  T t;
  memset(&t, 0, sizeof t);
  unsigned char* p = reinterpret_cast<unsigned char*>(&t);
  for (size_t i = 0; i < sizeof t; i++) p[i] = static_cast<unsigned char>('A' + (i * 7 + seed) % 26);
  return t;
}

REGISTRATION sample_registration(int32_t id) {
  REGISTRATION r{};
  r.id = id; strcpy(r.database, "GISDB"); strcpy(r.owner, "ZUL"); strcpy(r.table, "PARCELS");
  strcpy(r.rowid_column, "OBJECTID"); strcpy(r.description, "parcels"); r.flags = 0x0B; r.reg_date = 1700000001;
  r.privileges = 30; strcpy(r.config_keyword, "DEFAULTS"); r.min_id = 1; strcpy(r.mv_view, "PARCELS_MV");
  return r;
}

VERSION sample_version(int32_t id) {
  VERSION v{};
  snprintf(v.name, sizeof v.name, "edit%d", id); strcpy(v.owner, "ANNA"); v.id = id; v.status = 1; v.state_id = 40 + id;
  strcpy(v.description, "work"); strcpy(v.parent_name, "DEFAULT"); strcpy(v.parent_owner, "ZUL"); v.parent_id = 1;
  v.creation_time = 1700000002;
  return v;
}

METADATA_RECORD sample_metadata(int32_t id, bool with_database) {
  METADATA_RECORD m{};
  m.id = id; strcpy(m.object_name, "ROADS"); if (with_database) strcpy(m.object_database, "GISDB");
  strcpy(m.object_owner, "ZUL"); m.object_type = 1; strcpy(m.class_name, "layer"); strcpy(m.property, "source");
  strcpy(m.value, "survey 2024"); strcpy(m.description, "origin"); m.date_modified = 1700000003;
  return m;
}

SE_TABLE_LOCK sample_table_lock(int32_t type) {
  SE_TABLE_LOCK l{};
  snprintf(l.user, sizeof l.user, "user%d", type);
  l.lock_type = type;
  return l;
}

template <class T>
std::function<int(CHANNEL*)> echo_list(int32_t (*rd)(CHANNEL*, T*, int32_t, int32_t*),
                                      int32_t (*wr)(CHANNEL*, const T*, int32_t)) {
  return [rd, wr](CHANNEL* c) {
    std::vector<T> v(4);
    memset(v.data(), 0, sizeof(T) * v.size());
    int32_t n = 0;
    return rd(c, v.data(), 4, &n) ?: wr(c, v.data(), n);
  };
}

template <class T>
std::function<int(CHANNEL*)> check_list(int32_t (*rd)(CHANNEL*, T*, int32_t, int32_t*), std::vector<T> want) {
  return [rd, want](CHANNEL* c) {
    std::vector<T> v(4);
    memset(v.data(), 0, sizeof(T) * v.size());
    int32_t n = -1;
    if (int rc = rd(c, v.data(), 4, &n)) return rc;
    return static_cast<int>(n != static_cast<int32_t>(want.size()) ||
                            (n > 0 && memcmp(v.data(), want.data(), sizeof(T) * want.size()) != 0));
  };
}

// A record without pointers: write, echo and compare its whole image. The
// samples leave zero the words that only one encoding carries (record tags,
// fields the XDR forms omit), which the receiver keeps as its own.
template <class T>
ItemCase plain_record(const char* name, T value, int32_t (*rd)(CHANNEL*, T*), int32_t (*wr)(CHANNEL*, const T*)) {
  return {name, [value, wr](CHANNEL* c) { return wr(c, &value); },
          [rd, wr](CHANNEL* c) {
            T t;
            memset(&t, 0, sizeof t);
            return rd(c, &t) ?: wr(c, &t);
          },
          [value, rd](CHANNEL* c) {
            T t;
            memset(&t, 0, sizeof t);
            return rd(c, &t) ?: static_cast<int>(memcmp(&t, &value, sizeof t) != 0);
          }};
}

// A three-point line with Z values and no measures.
struct ShapeRec {
  FEATURE_STRUCT f{};
  POINT pts[3] = {{10, 20}, {30, -40}, {50, 60}};
  int32_t z[3] = {100, 200, 300};
  ShapeRec() {
    f.fid = 17; f.numofpts = 3; f.entity = 4; f.envelope = {10, -40, 50, 60};
    f.points = pts; f.z = z; f.allocpts = 3;
  }
  ~ShapeRec() { free(f.buffer); }
};

struct RasterColumnRec {
  RASTERCOLUMN col{};
  COORDREF cref = sample_coordref("GEOGCS[\"x\"]");
  explicit RasterColumnRec(bool with_ref) {
    col.id = 3; strcpy(col.description, "imagery"); strcpy(col.database, "GISDB"); strcpy(col.owner, "ZUL");
    strcpy(col.table, "PHOTOS"); strcpy(col.column, "IMAGE"); col.creation_date = 1700000009; col.privileges = 2;
    strcpy(col.config_keyword, "DEFAULTS"); col.min_id = 1; col.value372 = 372; col.mask = 1;
    col.coordref = with_ref ? &cref : nullptr;
  }
  ~RasterColumnRec() { free(cref.srtext); }
};

// A shape filter (with its shape and reference) and an id filter with a
// relation pattern.
struct FilterRec {
  ShapeRec shape;
  COORDREF cref = sample_coordref("PROJCS[\"utm\"]");
  char cbm[16] = "T*F**F***";
  SPATIAL_FILTER filters[2] = {};
  FilterRec() {
    shape.f.coordref = &cref;
    strcpy(filters[0].table, "ZUL.ROADS"); strcpy(filters[0].column, "SHAPE");
    filters[0].filter_type = SE_SHAPE_FILTER; filters[0].filter.shape = &shape.f; filters[0].method = 4;
    filters[0].truth = 1;
    strcpy(filters[1].table, "ZUL.ROADS"); strcpy(filters[1].column, "SHAPE");
    filters[1].filter_type = SE_ID_FILTER; filters[1].filter.id = 42; strcpy(filters[1].id_table, "ZUL.PARCELS");
    filters[1].method = SM_CBM; filters[1].truth = 0; filters[1].cbm = cbm;
  }
  ~FilterRec() { free(cref.srtext); }
};

// A state whose packed lineage (a varLONG of the bytes after it, then the
// ids) is owned by the holder.
struct StateRec {
  STATE state{};
  uint8_t packed[32];
  explicit StateRec(int32_t id) {
    state.id = id; strcpy(state.owner, "ANNA"); state.creation_time = 1700000007; state.closing_time = 1700000008;
    state.lineage_name = 99; state.lineage_length = 3;
    const int32_t ids[3] = {0, id, 40 + id};
    uint8_t body[16];
    uint8_t* at = body;
    for (int32_t x : ids) at = SES_encode_varLONG(x, at);
    int32_t rest = static_cast<int32_t>(at - body);
    uint8_t* p = SES_encode_varLONG(rest, packed);
    memcpy(p, body, static_cast<size_t>(rest));
    state.lineage = packed;
  }
};

bool same_state(const STATE& a, const STATE& b) {
  STATE x = a, y = b;
  x.lineage = y.lineage = nullptr;
  int32_t la = ch_lineage_bytes(&a), lb = ch_lineage_bytes(&b);
  return memcmp(&x, &y, sizeof x) == 0 && la == lb && (la == 0 || memcmp(a.lineage, b.lineage, static_cast<size_t>(la)) == 0);
}

struct LocatorRec {
  LOCATOR loc{};
  char n0[33] = "street", n1[33] = "zone", v0[256] = "Main St", v1[256] = "";
  char* names[2] = {n0, n1};
  char* values[2] = {v0, v1};
  LocatorRec() {
    loc.id = 7; strcpy(loc.name, "addr"); strcpy(loc.owner, "ZUL"); strcpy(loc.category, "Address"); loc.type = 2;
    strcpy(loc.description, "address locator"); loc.property_count = 2;
    loc.property_names = names; loc.property_values = values;
  }
};

bool same_locator(const LOCATOR& a, const LOCATOR& b) {
  LOCATOR x = a, y = b;
  x.property_names = x.property_values = y.property_names = y.property_values = nullptr;
  x.local_word = y.local_word = 0;
  if (memcmp(&x, &y, sizeof x) != 0) return false;
  for (int32_t i = 0; i < a.property_count; i++)
    if (strcmp(a.property_names[i], b.property_names[i]) || strcmp(a.property_values[i], b.property_values[i])) return false;
  return true;
}

std::vector<ItemCase> record_cases(int32_t release) {
  std::vector<ItemCase> v;
  v.push_back(plain_record<ENVELOPE>("envp", {-5, -6, 70000, 80000}, CH_read_envp, CH_write_envp));
  v.push_back(plain_record<POINT3D>("pt3d", {1, -2, 3}, CH_read_pt3d, CH_write_pt3d));
  v.push_back(plain_record("registration", sample_registration(12), CH_read_registration, CH_write_registration));
  v.push_back(plain_record("version", sample_version(3), CH_read_version, CH_write_version));
  {
    RASTER r{};
    r.id = 5; r.column_id = 6; strcpy(r.description, "orthophoto");
    v.push_back(plain_record("raster", r, CH_read_raster, CH_write_raster));
  }
  {
    RASTERBAND b{};
    b.id = 9; b.sequence = 1; b.creation_date = 1700000004; b.last_modified = 1700000005; b.band_flags = (3 << 16) | 0x4000 | 2;
    b.band_types = (64 << 16) | (1 << 10); b.width = 512; b.height = 256; b.block_width = 128; b.block_height = 128;
    b.block_origin_x = 10.5; b.block_origin_y = -3.25; b.raster_id = 5; b.column_id = 6;
    b.envelope = {0, 0, 512, 256}; strcpy(b.description, "red");
    v.push_back(plain_record("rasterband", b, CH_read_rasterband, CH_write_rasterband));
  }
  {
    SE_OBJECT_LOCK l{};
    l.pid = 4321; strcpy(l.owner, "ANNA"); l.object_id = 77; l.object_type = 2; l.application_id = 999; l.lock_type = 3;
    v.push_back(plain_record("object_lock", l, CH_read_object_lock, CH_write_object_lock));
    v.push_back({"object_lock_list", [l](CHANNEL* c) { SE_OBJECT_LOCK a[2] = {l, l}; return CH_write_object_lock_list(c, a, 2); },
                 echo_list<SE_OBJECT_LOCK>(CH_read_object_lock_list, CH_write_object_lock_list),
                 check_list<SE_OBJECT_LOCK>(CH_read_object_lock_list, {l, l})});
  }
  {
    std::vector<SE_TABLE_LOCK> locks = {sample_table_lock(1), sample_table_lock(2), sample_table_lock(3)};
    v.push_back({"se_table_lock_list", [locks](CHANNEL* c) { return CH_write_se_table_lock_list(c, locks.data(), 3); },
                 echo_list<SE_TABLE_LOCK>(CH_read_se_table_lock_list, CH_write_se_table_lock_list),
                 check_list<SE_TABLE_LOCK>(CH_read_se_table_lock_list, locks)});
    v.push_back({"se_version_lock_list", [locks](CHANNEL* c) { return CH_write_se_version_lock_list(c, locks.data(), 1); },
                 echo_list<SE_VERSION_LOCK>(CH_read_se_version_lock_list, CH_write_se_version_lock_list),
                 check_list<SE_VERSION_LOCK>(CH_read_se_version_lock_list, {locks[0]})});
    SE_LAYER_LOCKS ll{};
    strcpy(ll.user, "BOB"); ll.lock_type = 2; ll.area = {1, 2, 3, 4};
    v.push_back({"se_layer_locks_list", [ll](CHANNEL* c) { return CH_write_se_layer_locks_list(c, &ll, 1); },
                 echo_list<SE_LAYER_LOCKS>(CH_read_se_layer_locks_list, CH_write_se_layer_locks_list),
                 check_list<SE_LAYER_LOCKS>(CH_read_se_layer_locks_list, {ll})});
  }
  {
    std::vector<REGISTRATION> regs = {sample_registration(1), sample_registration(2)};
    v.push_back({"registration_list", [regs](CHANNEL* c) { return CH_write_registration_list(c, regs.data(), 2); },
                 echo_list<REGISTRATION>(CH_read_registration_list, CH_write_registration_list),
                 check_list<REGISTRATION>(CH_read_registration_list, regs)});
    v.push_back({"empty registration_list", [](CHANNEL* c) { return CH_write_registration_list(c, nullptr, 0); },
                 echo_list<REGISTRATION>(CH_read_registration_list, CH_write_registration_list),
                 check_list<REGISTRATION>(CH_read_registration_list, {})});
    std::vector<VERSION> versions = {sample_version(1), sample_version(2), sample_version(3)};
    v.push_back({"version_list", [versions](CHANNEL* c) { return CH_write_version_list(c, versions.data(), 3); },
                 echo_list<VERSION>(CH_read_version_list, CH_write_version_list),
                 check_list<VERSION>(CH_read_version_list, versions)});
  }
  {
    LOGFILE lf{};
    strcpy(lf.name, "LOG_1"); strcpy(lf.target, "ROADS"); strcpy(lf.column, "SHAPE"); lf.id = 1; lf.data_id = 2;
    lf.flags = 1; lf.session_tag = 99; lf.registration = sample_registration(3);
    v.push_back(plain_record("logfile", lf, CH_read_logfile, CH_write_logfile));
  }
  {
    LAYER_STATS st{};
    st.layer_id = 4; for (int i = 0; i < 9; i++) st.counts[i] = i * 10; st.total = 360; st.envelope = {0, 0, 10, 10};
    st.last_modified = 1700000006; st.min_fid = 1; st.max_fid = 360; st.min_points = 1; st.max_points = 90;
    st.min_area = 0.5; st.max_area = 99.5; st.min_length = 1; st.max_length = 2; st.avg_points = 3; st.avg_area = 4;
    st.avg_length = 5;
    v.push_back(plain_record("se_layer_stats", st, CH_read_se_layer_stats, CH_write_se_layer_stats));
    S_INDEX_STATS si{};
    strcpy(si.table, "ROADS"); strcpy(si.column, "SHAPE"); si.levels = 2;
    for (int g = 0; g < 3; g++) { si.grid[g].features = g + 1; si.grid[g].cells = 10 * g; si.grid[g].groups[7] = 8; }
    v.push_back(plain_record("se_si_stats", si, CH_read_se_si_stats, CH_write_se_si_stats));
  }
  {
    RELEASE r{};
    r.major = 8; r.minor = 3; r.bug = 0; strcpy(r.description, "db2lite 1.0 2026-01-01"); r.release = 83002;
    v.push_back(plain_record("release", r, CH_read_release, CH_write_release));
  }
  {
    bool current = release > 81199;
    METADATA_RECORD m = sample_metadata(8, true), want = sample_metadata(8, current);
    v.push_back({"metadata (layout by release)", [m](CHANNEL* c) { return CH_write_metadata(c, &m); },
                 [](CHANNEL* c) { METADATA_RECORD t{}; return CH_read_metadata(c, &t) ?: CH_write_metadata(c, &t); },
                 [want](CHANNEL* c) {
                   METADATA_RECORD t{};
                   return CH_read_metadata(c, &t) ?: static_cast<int>(memcmp(&t, &want, sizeof t) != 0);
                 }});
    v.push_back({"metadata_list (layout by release)", [m](CHANNEL* c) { return CH_write_metadata_list(c, &m, 1); },
                 echo_list<METADATA_RECORD>(CH_read_metadata_list, CH_write_metadata_list),
                 check_list<METADATA_RECORD>(CH_read_metadata_list, {want})});
  }
  v.push_back({"coordref",
               [](CHANNEL* c) { COORDREF cr = sample_coordref("PROJCS[\"x\"]"); int rc = CH_write_coordref(c, &cr); free(cr.srtext); return rc; },
               [](CHANNEL* c) { COORDREF cr{}; int rc = CH_read_coordref(c, &cr) ?: CH_write_coordref(c, &cr); free(cr.srtext); return rc; },
               [](CHANNEL* c) {
                 COORDREF cr{}, want = sample_coordref("PROJCS[\"x\"]");
                 int rc = CH_read_coordref(c, &cr) ?: !same_coordref(cr, want);
                 free(cr.srtext); free(want.srtext);
                 return rc;
               }});
  v.push_back({"layer",
               [](CHANNEL* c) { LayerRec r; fill_layer(r, 11); return CH_write_layer(c, &r.layer); },
               [](CHANNEL* c) { LayerRec r; return CH_read_layer(c, &r.layer) ?: CH_write_layer(c, &r.layer); },
               [](CHANNEL* c) {
                 LayerRec r, want;
                 fill_layer(want, 11);
                 return CH_read_layer(c, &r.layer) ?: !same_layer(r.layer, want.layer, false);
               }});
  v.push_back({"layer_list",
               [](CHANNEL* c) {
                 LayerRec a, b;
                 fill_layer(a, 1); fill_layer(b, 2);
                 LAYER list[2] = {a.layer, b.layer};
                 return CH_write_layer_list(c, list, 2);
               },
               [](CHANNEL* c) {
                 LayerRec a, b;
                 LAYER list[2] = {a.layer, b.layer};
                 int32_t n = 0;
                 return CH_read_layer_list(c, list, 2, &n) ?: CH_write_layer_list(c, list, n);
               },
               [](CHANNEL* c) {
                 LayerRec a, b, wa, wb;
                 fill_layer(wa, 1); fill_layer(wb, 2);
                 LAYER list[2] = {a.layer, b.layer};
                 int32_t n = 0;
                 return CH_read_layer_list(c, list, 2, &n) ?:
                        !(n == 2 && same_layer(list[0], wa.layer, false) && same_layer(list[1], wb.layer, false));
               }});
  {
    COLUMN_DEF cols[2] = {};
    strcpy(cols[0].name, "OBJECTID"); cols[0].type = SE_INTEGER; cols[0].size = 10; cols[0].rowid_kind = 1;
    strcpy(cols[1].name, "NAME"); cols[1].type = SE_STRING; cols[1].size = 64; cols[1].nullable = 1; cols[1].rowid_kind = 3;
    std::vector<COLUMN_DEF> want(cols, cols + 2);
    v.push_back({"column_def", [want](CHANNEL* c) { return CH_write_column_def(c, 2, want.data()); },
                 [](CHANNEL* c) {
                   int16_t n = 0; COLUMN_DEF* d = nullptr;
                   int rc = CH_read_column_def(c, &n, &d) ?: CH_write_column_def(c, n, d);
                   free(d);
                   return rc;
                 },
                 [want](CHANNEL* c) {
                   int16_t n = 0; COLUMN_DEF* d = nullptr;
                   int rc = CH_read_column_def(c, &n, &d) ?: !(n == 2 && memcmp(d, want.data(), 2 * sizeof *d) == 0);
                   free(d);
                   return rc;
                 }});
  }
  v.push_back({"input_desc", [](CHANNEL* c) { INPUT_DESC d[1] = {{5, 64}}; return CH_write_input_desc(c, 1, d); },
               [](CHANNEL* c) {
                 int16_t n = 0; INPUT_DESC* d = nullptr;
                 int rc = CH_read_input_desc(c, &n, &d) ?: CH_write_input_desc(c, n, d);
                 free(d);
                 return rc;
               },
               [](CHANNEL* c) {
                 int16_t n = 0; INPUT_DESC* d = nullptr;
                 int rc = CH_read_input_desc(c, &n, &d) ?: !(n == 1 && d[0].value1 == 5 && d[0].value2 == 64);
                 free(d);
                 return rc;
               }});
  {
    bool current = release > 81199;
    v.push_back({"state with lineage (layout by release)",
                 [](CHANNEL* c) { StateRec r(4); return CH_write_state(c, &r.state); },
                 [](CHANNEL* c) {
                   STATE t{};
                   int rc = CH_read_state(c, &t) ?: CH_write_state(c, &t);
                   free(t.lineage);
                   return rc;
                 },
                 [current](CHANNEL* c) {
                   STATE t{};
                   StateRec want(4);
                   if (!current) want.state.lineage_name = want.state.id;
                   int rc = CH_read_state(c, &t) ?: !same_state(t, want.state);
                   free(t.lineage);
                   return rc;
                 }});
    v.push_back({"state_list with lineages",
                 [](CHANNEL* c) {
                   StateRec a(1), b(2);
                   b.state.lineage = nullptr;  // a state without lineage
                   STATE list[2] = {a.state, b.state};
                   return CH_write_state_list(c, list, 2);
                 },
                 [](CHANNEL* c) {
                   STATE list[3] = {};
                   int32_t n = 0;
                   int rc = CH_read_state_list(c, list, 3, &n) ?: CH_write_state_list(c, list, n);
                   for (STATE& t : list) free(t.lineage);
                   return rc;
                 },
                 [current](CHANNEL* c) {
                   STATE list[3] = {};
                   int32_t n = 0;
                   StateRec a(1), b(2);
                   b.state.lineage = nullptr;
                   if (!current) a.state.lineage_name = a.state.id, b.state.lineage_name = b.state.id;
                   int rc = CH_read_state_list(c, list, 3, &n) ?:
                            !(n == 2 && same_state(list[0], a.state) && same_state(list[1], b.state));
                   for (STATE& t : list) free(t.lineage);
                   return rc;
                 }});
  }
  v.push_back({"feature with Z and no measures",
               [](CHANNEL* c) { ShapeRec r; return CH_writef(c, &r.f); },
               [](CHANNEL* c) {
                 FEATURE_STRUCT t{};
                 int rc = CH_readf(c, &t, 1);
                 if (rc == 0) {
                   free(t.m);  // the sender has none: send it back without
                   t.m = nullptr;
                   rc = CH_writef(c, &t);
                 }
                 free(t.points); free(t.z);
                 return rc;
               },
               [](CHANNEL* c) {
                 ShapeRec want;
                 POINT pts[4];
                 int32_t z[4], m[4] = {9, 9, 9, 9};
                 FEATURE_STRUCT t{};
                 t.points = pts; t.z = z; t.m = m; t.allocpts = 4;
                 int rc = CH_readf(c, &t, 0);
                 return rc ?: !(t.fid == want.f.fid && t.numofpts == 3 && t.entity == want.f.entity &&
                                memcmp(&t.envelope, &want.f.envelope, sizeof t.envelope) == 0 &&
                                memcmp(pts, want.pts, sizeof want.pts) == 0 && memcmp(z, want.z, sizeof want.z) == 0 &&
                                m[0] == 0 && m[2] == 0);
               }});
  v.push_back({"compressed feature",
               [](CHANNEL* c) {
                 ShapeRec r;
                 if (SES_feature_compress(&r.f, SE_FEATURE_HAS_Z) != 0) return 90;
                 return CH_write_compressed_feature(c, &r.f);
               },
               [](CHANNEL* c) {
                 FEATURE_STRUCT t{};
                 int rc = CH_read_compressed_feature(c, &t) ?: CH_write_compressed_feature(c, &t);
                 free(t.buffer);
                 return rc;
               },
               [](CHANNEL* c) {
                 ShapeRec want;
                 SES_feature_compress(&want.f, SE_FEATURE_HAS_Z);
                 FEATURE_STRUCT t{};
                 int rc = CH_read_compressed_feature(c, &t);
                 int32_t size = SES_get_compressed_buffer_size(&want.f);
                 rc = rc ?: !(t.fid == want.f.fid && t.numofpts == want.f.numofpts && t.entity == want.f.entity &&
                              size > 8 && SES_get_compressed_buffer_size(&t) == size &&
                              memcmp(t.buffer, want.f.buffer, static_cast<size_t>(size)) == 0);
                 free(t.buffer);
                 return rc;
               }});
  v.push_back({"construct",
               [](CHANNEL* c) {
                 char t0[] = "ZUL.ROADS", t1[] = "ZUL.PARCELS";
                 char* tables[2] = {t0, t1};
                 char where[] = "ROADS.ID = PARCELS.ROAD";
                 SQL_CONSTRUCT q = {2, tables, where};
                 return CH_write_construct(c, &q);
               },
               [](CHANNEL* c) {
                 SQL_CONSTRUCT q{};
                 int rc = CH_read_construct(c, &q) ?: CH_write_construct(c, &q);
                 CH_construct_free(&q);
                 return rc;
               },
               [](CHANNEL* c) {
                 SQL_CONSTRUCT q{};
                 int rc = CH_read_construct(c, &q) ?: !(q.num_tables == 2 && strcmp(q.tables[0], "ZUL.ROADS") == 0 &&
                                                       strcmp(q.tables[1], "ZUL.PARCELS") == 0 && q.where &&
                                                       strcmp(q.where, "ROADS.ID = PARCELS.ROAD") == 0);
                 CH_construct_free(&q);
                 return rc;
               }});
  v.push_back({"null construct travels as an empty one",
               [](CHANNEL* c) { return CH_write_construct(c, nullptr); },
               [](CHANNEL* c) { SQL_CONSTRUCT q{}; int rc = CH_read_construct(c, &q) ?: CH_write_construct(c, &q); CH_construct_free(&q); return rc; },
               [](CHANNEL* c) {
                 SQL_CONSTRUCT q{};
                 int rc = CH_read_construct(c, &q) ?: !(q.num_tables == 0 && q.where == nullptr);
                 CH_construct_free(&q);
                 return rc;
               }});
  v.push_back({"index_def",
               [](CHANNEL* c) {
                 char c0[] = "NAME", c1[] = "ZIP";
                 char* cols[2] = {c0, c1};
                 int32_t asc[2] = {1, 0};
                 INDEX_DEF d{};
                 d.column_count = 2; d.columns = cols; strcpy(d.name, "IX_ADDR"); d.unique = 1; d.ascending = asc;
                 return CH_write_index_def(c, 1, &d);
               },
               [](CHANNEL* c) {
                 int16_t n = 0; INDEX_DEF* d = nullptr;
                 int rc = CH_read_index_def(c, &n, &d) ?: CH_write_index_def(c, n, d);
                 CH_index_defs_free(d, n);
                 return rc;
               },
               [](CHANNEL* c) {
                 int16_t n = 0; INDEX_DEF* d = nullptr;
                 int rc = CH_read_index_def(c, &n, &d) ?:
                          !(n == 1 && d[0].column_count == 2 && strcmp(d[0].columns[0], "NAME") == 0 &&
                            strcmp(d[0].columns[1], "ZIP") == 0 && d[0].ascending[0] == 1 && d[0].ascending[1] == 0 &&
                            strcmp(d[0].name, "IX_ADDR") == 0 && d[0].unique == 1);
                 CH_index_defs_free(d, n);
                 return rc;
               }});
  v.push_back({"rasconstraint",
               [](CHANNEL* c) {
                 int32_t bands[3] = {1, 2, 3};
                 RASCONSTRAINT r{};
                 r.level = 2; r.num_bands = 3; r.bands = bands; r.value16 = 7; r.min_column = 1; r.min_row = 2;
                 r.max_column = 30; r.max_row = 40;
                 return CH_write_rasconstraint(c, &r);
               },
               [](CHANNEL* c) {
                 RASCONSTRAINT* r = nullptr;
                 int rc = CH_read_rasconstraint(c, &r) ?: CH_write_rasconstraint(c, r);
                 if (r) free(r->bands);
                 free(r);
                 return rc;
               },
               [](CHANNEL* c) {
                 RASCONSTRAINT* r = nullptr;
                 int rc = CH_read_rasconstraint(c, &r) ?:
                          !(r->level == 2 && r->num_bands == 3 && r->bands[2] == 3 && r->value16 == 7 &&
                            r->min_column == 1 && r->min_row == 2 && r->max_column == 30 && r->max_row == 40);
                 if (r) free(r->bands);
                 free(r);
                 return rc;
               }});
  for (bool with_ref : {true, false}) {
    v.push_back({with_ref ? "rastercolumn with a reference" : "rastercolumn without a reference",
                 [with_ref](CHANNEL* c) {
                   RasterColumnRec r(with_ref);
                   return CH_write_rastercolumn(c, &r.col);
                 },
                 [](CHANNEL* c) {
                   RASTERCOLUMN t{};
                   int rc = CH_read_rastercolumn(c, &t) ?: CH_write_rastercolumn(c, &t);
                   if (t.coordref) { free(t.coordref->srtext); SgCoordRefFree(t.coordref); }
                   return rc;
                 },
                 [with_ref](CHANNEL* c) {
                   RasterColumnRec want(with_ref);
                   RASTERCOLUMN t{};
                   // A reader that holds a reference loses it when none comes.
                   if (!with_ref) SgCoordRefCreate(&t.coordref);
                   int rc = CH_read_rastercolumn(c, &t);
                   RASTERCOLUMN x = t, y = want.col;
                   x.coordref = y.coordref = nullptr;
                   rc = rc ?: !(memcmp(&x, &y, sizeof x) == 0 && (t.coordref != nullptr) == with_ref &&
                                (!with_ref || same_coordref(*t.coordref, want.cref)));
                   if (t.coordref) { free(t.coordref->srtext); SgCoordRefFree(t.coordref); }
                   return rc;
                 }});
  }
  {
    RASTERATTR a{};
    a.value4 = 4; a.value8 = 8; a.raster_id = 5; a.value36 = 36; a.value40 = 40; a.width = 512;
    a.height = 256; a.num_bands = 3; a.pixel_type = 64; a.compression = 1; a.max_level = 2; a.skip_level_one = 1;
    a.value72 = 72; a.value76 = 76; a.value80 = 80; a.interpolation = 1; a.envelope = {0, 0, 512, 256};
    v.push_back(plain_record("rasterattr", a, CH_read_rasterattr, CH_write_rasterattr));
  }
  v.push_back({"filter_array with a shape filter and a relation filter",
               [](CHANNEL* c) { FilterRec r; return CH_write_filter_array(c, 2, r.filters); },
               [](CHANNEL* c) {
                 int16_t n = 0; SPATIAL_FILTER* f = nullptr;
                 int rc = CH_read_filter_array(c, &n, &f) ?: CH_write_filter_array(c, n, f);
                 CH_filters_free(f, n);
                 return rc;
               },
               [](CHANNEL* c) {
                 int16_t n = 0; SPATIAL_FILTER* f = nullptr;
                 FilterRec want;
                 int rc = CH_read_filter_array(c, &n, &f);
                 if (rc == 0) {
                   const FEATURE_STRUCT* s = f[0].filter.shape;
                   rc = !(n == 2 && strcmp(f[0].table, "ZUL.ROADS") == 0 && strcmp(f[0].column, "SHAPE") == 0 &&
                          f[0].filter_type == SE_SHAPE_FILTER && f[0].method == 4 && f[0].truth == 1 && s &&
                          s->numofpts == 3 && memcmp(s->points, want.shape.pts, sizeof want.shape.pts) == 0 &&
                          s->coordref && same_coordref(*s->coordref, want.cref) &&
                          f[1].filter_type == SE_ID_FILTER && f[1].filter.id == 42 &&
                          strcmp(f[1].id_table, "ZUL.PARCELS") == 0 && f[1].method == SM_CBM && f[1].truth == 0 &&
                          f[1].cbm && strcmp(f[1].cbm, "T*F**F***") == 0);
                 }
                 CH_filters_free(f, n);
                 return rc;
               }});
  v.push_back({"locator with properties",
               [](CHANNEL* c) { LocatorRec r; return CH_write_locator(c, &r.loc); },
               [](CHANNEL* c) {
                 LOCATOR t{};
                 int rc = CH_read_locator(c, &t) ?: CH_write_locator(c, &t);
                 free(t.property_names); free(t.property_values);
                 return rc;
               },
               [](CHANNEL* c) {
                 LOCATOR t{};
                 LocatorRec want;
                 int rc = CH_read_locator(c, &t) ?: !same_locator(t, want.loc);
                 free(t.property_names); free(t.property_values);
                 return rc;
               }});
  v.push_back({"locator_list",
               [](CHANNEL* c) { LocatorRec a, b; b.loc.id = 8; LOCATOR l[2] = {a.loc, b.loc}; return CH_write_locator_list(c, l, 2); },
               [](CHANNEL* c) {
                 LOCATOR t[2] = {};
                 int32_t n = 0;
                 int rc = CH_read_locator_list(c, t, 2, &n) ?: CH_write_locator_list(c, t, n);
                 for (LOCATOR& x : t) { free(x.property_names); free(x.property_values); }
                 return rc;
               },
               [](CHANNEL* c) {
                 LOCATOR t[2] = {};
                 int32_t n = 0;
                 LocatorRec a, b;
                 b.loc.id = 8;
                 int rc = CH_read_locator_list(c, t, 2, &n) ?: !(n == 2 && same_locator(t[0], a.loc) && same_locator(t[1], b.loc));
                 for (LOCATOR& x : t) { free(x.property_names); free(x.property_values); }
                 return rc;
               }});
  return v;
}

struct ChanSetup {
  int32_t kind;
  int32_t release;
};

class ChannelRoundTrip : public ::testing::TestWithParam<ChanSetup> {};

// The child echoes every item; the parent sends each, then checks the echo.
TEST_P(ChannelRoundTrip, EveryItemRoundTripsBetweenTwoProcesses) {
  const ChanSetup s = GetParam();
  std::vector<ItemCase> cases = item_cases();
  for (ItemCase& c : record_cases(s.release)) cases.push_back(std::move(c));
  Peer peer = start_peer([&](int fd) {
    CHANNEL* ch = CH_create(s.kind, 0, &fd);
    if (!ch) return 98;
    CH_set_release(ch, s.release);
    for (size_t i = 0; i < cases.size(); i++) {
      if (cases[i].echo(ch) != 0) return static_cast<int>(i + 1);
      if (CH_flush(ch) != 0) return 97;
    }
    CH_destroy(ch);
    return 0;
  });
  ASSERT_GE(peer.fd, 0);
  CHANNEL* ch = CH_create(s.kind, 0, &peer.fd);
  ASSERT_NE(nullptr, ch);
  CH_set_release(ch, s.release);
  for (const ItemCase& c : cases) {
    ASSERT_EQ(0, c.send(ch)) << c.name;
    ASSERT_EQ(0, CH_flush(ch)) << c.name;
    EXPECT_EQ(0, c.check(ch)) << c.name;
  }
  CH_destroy(ch);
  EXPECT_EQ(0, wait_peer(peer)) << "the peer failed at item (1-based index)";
}

INSTANTIATE_TEST_SUITE_P(KindsAndReleases, ChannelRoundTrip,
                         ::testing::Values(ChanSetup{CH_KIND_SOCKET, 0}, ChanSetup{CH_KIND_SOCKET, 81199},
                                           ChanSetup{CH_KIND_SOCKET, 81200}, ChanSetup{CH_KIND_SOCKET, 83002},
                                           ChanSetup{CH_KIND_XDR, 0}, ChanSetup{CH_KIND_XDR, 81199},
                                           ChanSetup{CH_KIND_XDR, 81200}, ChanSetup{CH_KIND_XDR, 83001},
                                           ChanSetup{CH_KIND_XDR, 83002}),
                         [](const ::testing::TestParamInfo<ChanSetup>& i) {
                           return std::string(i.param.kind == CH_KIND_XDR ? "Xdr" : "Socket") + "Release" +
                                  std::to_string(i.param.release);
                         });

// Channels created with the legacy flag use the older layouts on both ends:
// what the older layouts lack comes back as the reader's defaults.
TEST(ChannelLegacy, OlderLayoutsRoundTripWithTheirDefaults) {
  for (int32_t kind : {CH_KIND_SOCKET, CH_KIND_XDR}) {
    Peer peer = start_peer([&](int fd) {
      CHANNEL* ch = CH_create(kind, 1, &fd);
      LayerRec l;
      int16_t n = 0;
      COLUMN_DEF* d = nullptr;
      SQL_CONSTRUCT q{};
      int rc = CH_read_layer(ch, &l.layer) ?: CH_write_layer(ch, &l.layer) ?: CH_read_column_def(ch, &n, &d) ?:
               CH_write_column_def(ch, n, d) ?: CH_read_construct(ch, &q) ?: CH_write_construct(ch, &q) ?: CH_flush(ch);
      free(d);
      CH_construct_free(&q);
      CH_destroy(ch);
      return rc ? 1 : 0;
    });
    ASSERT_GE(peer.fd, 0);
    CHANNEL* ch = CH_create(kind, 1, &peer.fd);
    LayerRec sent, got;
    fill_layer(sent, 5);
    COLUMN_DEF col{};
    strcpy(col.name, "ID");
    col.type = SE_INTEGER;
    col.rowid_kind = 1;
    char t0[] = "ZUL.A";
    char* tables[1] = {t0};
    char where[] = "A.X > 1";
    SQL_CONSTRUCT q = {1, tables, where};
    ASSERT_EQ(0, CH_write_layer(ch, &sent.layer));
    ASSERT_EQ(0, CH_write_column_def(ch, 1, &col));
    ASSERT_EQ(0, CH_write_construct(ch, &q));
    ASSERT_EQ(0, CH_read_layer(ch, &got.layer));
    EXPECT_EQ(0, got.layer.layer_mask);
    EXPECT_EQ(0, got.layer.base_layer_id);
    EXPECT_EQ(0, got.cref.srid) << "the older reference has no srid";
    EXPECT_TRUE(same_layer(got.layer, sent.layer, true) || got.cref.srid == 0);
    EXPECT_STREQ(sent.layer.table, got.layer.table);
    int16_t n = 0;
    COLUMN_DEF* d = nullptr;
    ASSERT_EQ(0, CH_read_column_def(ch, &n, &d));
    ASSERT_EQ(1, n);
    EXPECT_STREQ("ID", d[0].name);
    EXPECT_EQ(3, d[0].rowid_kind) << "the older column definition has no row-id kind";
    free(d);
    SQL_CONSTRUCT back{};
    ASSERT_EQ(0, CH_read_construct(ch, &back));
    ASSERT_EQ(1, back.num_tables);
    EXPECT_STREQ("ZUL.A", back.tables[0]);
    EXPECT_STREQ("A.X > 1", back.where);
    CH_construct_free(&back);
    CH_destroy(ch);
    EXPECT_EQ(0, wait_peer(peer)) << "kind " << kind;
  }
}

TEST(ChannelLegacy, NativeLegacyReleaseReadTakesTheOlderImage) {
  std::vector<uint8_t> img;
  le32(img, 8);
  le32(img, 1);
  le32(img, 2);
  std::string desc(64, 'd');
  bytes(img, desc);
  le32(img, 81002);
  Peer peer = start_peer([&](int fd) { return send_raw(fd, img) ? 0 : 1; });
  CHANNEL* ch = CH_create(CH_KIND_SOCKET, 1, &peer.fd);
  RELEASE r{};
  ASSERT_EQ(0, CH_read_release(ch, &r));
  EXPECT_EQ(8, r.major);
  EXPECT_EQ(1, r.minor);
  EXPECT_EQ(2, r.bug);
  EXPECT_EQ(81002, r.release);
  EXPECT_EQ(63u, strlen(r.description)) << "the 64-byte field keeps its NUL";
  CH_destroy(ch);
  EXPECT_EQ(0, wait_peer(peer));
}

// ---- commands ------------------------------------------------------------

struct CommandCase {
  int32_t code;
  int32_t status;   // of CH_write_command on a legacy channel
  int32_t wire;     // the code on the wire when status is 0
};

TEST(ChannelCommands, LegacyChannelWritesOlderNumberingAndRefusesMissingCodes) {
  const CommandCase kCases[] = {
      {0, 0, 0},     {22, 0, 22},  {33, 0, 34},  {64, 0, 63},   {76, 0, 74},  {2, 0, 1},
      {1, SE_INVALID_RELEASE, 0},  {48, SE_INVALID_RELEASE, 0}, {63, SE_INVALID_RELEASE, 0},
      {65, SE_INVALID_RELEASE, 0}, {77, SE_INVALID_RELEASE, 0}, {219, -1, 0}, {-1, -1, 0},
  };
  for (int32_t kind : {CH_KIND_SOCKET, CH_KIND_XDR}) {
    for (const CommandCase& c : kCases) {
      int fds[2];
      ASSERT_TRUE(raw_pair(fds));
      CHANNEL* legacy = CH_create(kind, 1, &fds[0]);
      ASSERT_NE(nullptr, legacy);
      EXPECT_EQ(c.status, CH_write_command(legacy, c.code)) << "code " << c.code;
      CH_flush(legacy);
      std::vector<uint8_t> raw = drain_raw(fds[1], 50);
      std::vector<uint8_t> want;
      if (c.status == 0) {
        if (kind == CH_KIND_SOCKET) {
          le32(want, static_cast<uint32_t>(c.wire));
        } else {
          std::vector<uint8_t> body;
          be32(body, static_cast<uint32_t>(c.wire));
          want = xdr_record(body);
        }
      }
      EXPECT_EQ(want, raw) << "code " << c.code << " kind " << kind;
      CH_destroy(legacy);
      close(fds[0]);
      close(fds[1]);
    }
  }
}

TEST(ChannelCommands, CurrentChannelWritesEveryCodeUnchanged) {
  int fds[2];
  ASSERT_TRUE(raw_pair(fds));
  CHANNEL* ch = CH_create(CH_KIND_SOCKET, 0, &fds[0]);
  ASSERT_NE(nullptr, ch);
  for (int32_t code : {1, 77, 218, 219, -1}) EXPECT_EQ(0, CH_write_command(ch, code)) << code;
  CH_flush(ch);
  std::vector<uint8_t> want;
  for (int32_t code : {1, 77, 218, 219, -1}) le32(want, static_cast<uint32_t>(code));
  EXPECT_EQ(want, drain_raw(fds[1], 50));
  CH_destroy(ch);
  close(fds[0]);
  close(fds[1]);
}

TEST(ChannelLifeCycle, UnknownKindGivesNoChannel) {
  int fd = -1;
  EXPECT_EQ(nullptr, CH_create(7, 0, &fd));
  EXPECT_EQ(nullptr, CH_create(-1, 0, &fd));
}

// Items whose layout depends on the client's release look at the channel
// before routing; a null channel must still be refused, not followed.
TEST(ChannelLifeCycle, NullChannelIsRefusedByEveryReleaseDependentItem) {
  METADATA_RECORD m{};
  STATE s{};
  EXPECT_EQ(SE_INVALID_POINTER, CH_write_metadata(nullptr, &m));
  EXPECT_EQ(SE_INVALID_POINTER, CH_read_metadata(nullptr, &m));
  EXPECT_EQ(SE_INVALID_POINTER, CH_write_state(nullptr, &s));
  EXPECT_EQ(SE_INVALID_POINTER, CH_read_state(nullptr, &s));
  EXPECT_EQ(SE_INVALID_POINTER, CH_write_state_list(nullptr, &s, 1));
  int32_t n = 0;
  EXPECT_EQ(SE_INVALID_POINTER, CH_read_metadata_list(nullptr, &m, 1, &n));
}

// ---- socket helpers and the native buffers ---------------------------------

namespace {
std::vector<size_t> g_recv_asks;
ssize_t probing_recv(int fd, void* buf, size_t cap, int flags) {
  g_recv_asks.push_back(cap);
  return ::recv(fd, buf, cap, flags);
}
}  // namespace

TEST(ChannelSocketHelpers, ReadnAsksForAtMost65535BytesAtATime) {
  int fds[2];
  ASSERT_TRUE(raw_pair(fds));
  std::vector<char> out(100000, 'q'), in(100000);
  pid_t pid = fork();
  if (pid == 0) {
    int rc = CH_writen(fds[0], out.data(), 100000) == 100000 ? 0 : 1;
    _exit(rc);
  }
  g_recv_asks.clear();
  zulos_sys.recv = probing_recv;
  int32_t got = CH_readn(fds[1], in.data(), 100000);
  zulos_syscalls_reset();
  EXPECT_EQ(100000, got);
  ASSERT_FALSE(g_recv_asks.empty());
  EXPECT_EQ(65535u, g_recv_asks.front());
  for (size_t ask : g_recv_asks) EXPECT_LE(ask, 65535u);
  int status;
  waitpid(pid, &status, 0);
  EXPECT_EQ(0, WEXITSTATUS(status));
  close(fds[0]);
  EXPECT_EQ(0, CH_readn(fds[1], in.data(), 10)) << "a closed peer ends the read with the count so far";
  close(fds[1]);
}

TEST(SocketTransport, OutputBufferFlushesWhenFullAndLargerWritesBypassIt) {
  int fds[2];
  ASSERT_TRUE(raw_pair(fds));
  SO_OBJECT* so = SO_create(&fds[0], 64, 64);
  ASSERT_NE(nullptr, so);
  std::vector<char> exact(64, 'e'), larger(65, 'l');
  // Exactly the output size into an empty buffer: filled and sent at once.
  ASSERT_EQ(64, SO_write_bytes(so, exact.data(), 64));
  EXPECT_EQ(64u, drain_raw(fds[1], 50).size());
  // One byte more than the buffer: straight to the socket, nothing pending.
  ASSERT_EQ(65, SO_write_bytes(so, larger.data(), 65));
  EXPECT_EQ(65u, drain_raw(fds[1], 50).size());
  EXPECT_EQ(so->out_start, so->out_end);
  // A small write waits in the buffer until a read sends it.
  ASSERT_EQ(0, SO_write_long(so, 5));
  EXPECT_TRUE(drain_raw(fds[1], 20).empty());
  std::vector<uint8_t> answer;
  le32(answer, 6);
  le32(answer, 7);
  ASSERT_TRUE(send_raw(fds[1], answer));
  int32_t v = 0;
  ASSERT_EQ(0, SO_read_long(so, &v));
  EXPECT_EQ(6, v);
  EXPECT_EQ(4u, drain_raw(fds[1], 50).size()) << "the read sent the pending long first";
  // The second long already lies in the input buffer.
  zulos_sys.recv = [](int, void*, size_t, int) -> ssize_t { return -1; };
  EXPECT_EQ(1, SO_data_waiting(so));
  EXPECT_EQ(0, SO_read_long(so, &v));
  zulos_syscalls_reset();
  EXPECT_EQ(7, v);
  SO_destroy(so);
  close(fds[0]);
  close(fds[1]);
}

}  // namespace
