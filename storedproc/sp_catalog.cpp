// sp_catalog.cpp -- the catalogue procedures: single-row changes of the
// layers, table registry, modified marks, metadata, locators, raster columns
// and dbtune tables, a layer's coordinate-reference text, and the library's
// release.
//
// Most follow one course (sp_change): the required texts are checked, one
// section runs, success commits and answers 0, a failure is mapped with the
// procedure's no-row rule and does not commit. The exceptions say so where
// they are defined. Relies on the frame of sp_frame.h and the sections of
// sp_sections.h.
#include "sp_frame.h"

#include <string.h>

using namespace sp;

namespace {

// How a procedure answers a statement that found no row.
enum class NoRow {
  kSqlcode,  // the SQLCODE itself (100), no COMMIT
  kMissing,  // -20020, no COMMIT
  kSuccess,  // 0, with COMMIT
};

// Runs section with the inputs; success commits. Returns the message code.
int32_t sp_change(SpCall& c, int section, DL_HOSTVAR* in, int nin, NoRow rule) {
  c.run(DL_SQLA_EXECUTE, section, in, nin);
  if (c.ca.sqlcode == 0 || (rule == NoRow::kSuccess && c.no_row() && !c.no_privilege())) {
    c.commit_or_fail();
    return c.code;
  }
  c.fail(c.mapped(rule == NoRow::kMissing ? -20020 : c.ca.sqlcode));
  return c.code;
}

// Reads text parameter i into buf and keeps its NULL in ind. False when it
// does not fit (the call's code is set).
bool text_in(SpCall& c, int i, char* buf, size_t cap, int16_t* ind = nullptr) {
  if (!c.in_text(i, buf, cap)) return false;
  if (ind) *ind = c.in_ind(i);
  return true;
}

// The whole body of a procedure whose one input is the row's id (deletes,
// clearing marks): section runs on that id under rule.
int change_by_id(DL_SQLDA* da, struct sqlca* ca, int section, NoRow rule, bool msg_pair = true) {
  SpCall c(da, "I", msg_pair);
  if (!c.ok()) return c.finish(ca);
  int32_t id = c.in_int(0);
  DL_HOSTVAR in[] = {hv_int(&id)};
  sp_change(c, section, in, 1, rule);
  return c.finish(ca);
}

// The whole body of a rename (new table name, id): a blank name is -86.
int rename_by_id(DL_SQLDA* da, struct sqlca* ca, int section, NoRow rule) {
  SpCall c(da, "TI");
  if (!c.ok()) return c.finish(ca);
  char table[kName128];
  int32_t id = c.in_int(1);
  if (text_in(c, 0, table, sizeof table)) {
    if (sp_blank(table)) {
      c.fail(-86);
    } else {
      DL_HOSTVAR in[] = {hv_text(table, sizeof table), hv_int(&id)};
      sp_change(c, section, in, 2, rule);
    }
  }
  return c.finish(ca);
}

}  // namespace

// zul_release_proc(OUT release): the library's release, no statement.
SP_ENTRY int zul_release_proc(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "i", false);
  if (c.ok()) c.out_int(0, kRelease);
  return c.finish(ca);
}

SP_ENTRY int zul_insert_layer(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "ITTTTTIIDDDDITIIIIIDDD");
  if (!c.ok()) return c.finish(ca);
  int32_t layer_id = c.in_int(0), eflags = c.in_int(6), mask = c.in_int(7), cdate = c.in_int(12),
          array_size = c.in_int(14), stats_date = c.in_int(15), min_id = c.in_int(16), srid = c.in_int(17),
          base_id = c.in_int(18);
  int16_t array_ind = c.in_ind(14), stats_ind = c.in_ind(15), min_ind = c.in_ind(16);
  double minx = c.in_double(8), miny = c.in_double(9), maxx = c.in_double(10), maxy = c.in_double(11),
         g1 = c.in_double(19), g2 = c.in_double(20), g3 = c.in_double(21);
  char desc[kDesc65], db[kName32], owner[kName32], table[kName128], column[kName128], config[kName32];
  int16_t desc_ind = 0, config_ind = 0;
  if (!text_in(c, 1, desc, sizeof desc, &desc_ind) || !text_in(c, 2, db, sizeof db) ||
      !text_in(c, 3, owner, sizeof owner) || !text_in(c, 4, table, sizeof table) ||
      !text_in(c, 5, column, sizeof column) || !text_in(c, 13, config, sizeof config, &config_ind))
    return c.finish(ca);
  if (sp_blank(owner)) c.fail(-9);
  else if (sp_blank(table)) c.fail(-86);
  else if (sp_blank(column)) c.fail(-129);
  else {
    DL_HOSTVAR in[] = {hv_int(&layer_id), hv_text(desc, sizeof desc, &desc_ind), hv_text(db, sizeof db),
                       hv_text(owner, sizeof owner), hv_text(table, sizeof table),
                       hv_text(column, sizeof column), hv_int(&eflags), hv_int(&mask), hv_double(&minx),
                       hv_double(&miny), hv_double(&maxx), hv_double(&maxy), hv_int(&cdate),
                       hv_text(config, sizeof config, &config_ind), hv_int(&array_size, &array_ind),
                       hv_int(&stats_date, &stats_ind), hv_int(&min_id, &min_ind), hv_int(&srid),
                       hv_int(&base_id), hv_double(&g1), hv_double(&g2), hv_double(&g3)};
    sp_change(c, 2, in, 22, NoRow::kSqlcode);
  }
  return c.finish(ca);
}

SP_ENTRY int zul_delete_layer(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  return change_by_id(da, ca, 3, NoRow::kMissing);
}

SP_ENTRY int zul_update_layer(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "ITIIDDDDTIIIDDD");
  if (!c.ok()) return c.finish(ca);
  int32_t id = c.in_int(0), eflags = c.in_int(2), mask = c.in_int(3), array_size = c.in_int(9),
          stats_date = c.in_int(10), min_id = c.in_int(11);
  int16_t array_ind = c.in_ind(9), stats_ind = c.in_ind(10), min_ind = c.in_ind(11);
  double minx = c.in_double(4), miny = c.in_double(5), maxx = c.in_double(6), maxy = c.in_double(7),
         g1 = c.in_double(12), g2 = c.in_double(13), g3 = c.in_double(14);
  char desc[kDesc65], config[kName32];
  int16_t desc_ind = 0, config_ind = 0;
  if (text_in(c, 1, desc, sizeof desc, &desc_ind) && text_in(c, 8, config, sizeof config, &config_ind)) {
    DL_HOSTVAR in[] = {hv_text(desc, sizeof desc, &desc_ind), hv_int(&eflags), hv_int(&mask),
                       hv_double(&minx), hv_double(&miny), hv_double(&maxx), hv_double(&maxy),
                       hv_text(config, sizeof config, &config_ind), hv_int(&array_size, &array_ind),
                       hv_int(&stats_date, &stats_ind), hv_int(&min_id, &min_ind), hv_double(&g1),
                       hv_double(&g2), hv_double(&g3), hv_int(&id)};
    sp_change(c, 4, in, 15, NoRow::kMissing);
  }
  return c.finish(ca);
}

// zul_update_ly_ext: widens the stored extent side by side; never commits,
// the caller's transaction carries the change.
SP_ENTRY int zul_update_ly_ext(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "IDDDD");
  if (!c.ok()) return c.finish(ca);
  int32_t id = c.in_int(0);
  double nx0 = c.in_double(1), ny0 = c.in_double(2), nx1 = c.in_double(3), ny1 = c.in_double(4);
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  DL_HOSTVAR key[] = {hv_int(&id)};
  DL_HOSTVAR ext[] = {hv_double(&x0), hv_double(&y0), hv_double(&x1), hv_double(&y1)};
  c.run(DL_SQLA_EXECUTE, 5, key, 1, ext, 4);
  if (c.ca.sqlcode == 0) {
    if (nx0 < x0) x0 = nx0;
    if (ny0 < y0) y0 = ny0;
    if (nx1 > x1) x1 = nx1;
    if (ny1 > y1) y1 = ny1;
    DL_HOSTVAR in[] = {hv_double(&x0), hv_double(&y0), hv_double(&x1), hv_double(&y1), hv_int(&id)};
    c.run(DL_SQLA_EXECUTE, 6, in, 5);
  }
  if (c.ca.sqlcode != 0) c.fail(c.mapped(-20020));
  return c.finish(ca);
}

SP_ENTRY int zul_rename_layer(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  return rename_by_id(da, ca, 7, NoRow::kMissing);
}

// zul_update_srtext: a text the layer's reference already carries changes
// nothing and answers 0 without COMMIT.
SP_ENTRY int zul_update_srtext(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "IT");
  if (!c.ok()) return c.finish(ca);
  int32_t id = c.in_int(0);
  char text[kText2048];
  if (text_in(c, 1, text, sizeof text)) {
    if (sp_blank(text)) {
      c.fail(-143);
    } else {
      int32_t count = 0;
      int16_t count_ind = 0;
      DL_HOSTVAR in[] = {hv_text(text, sizeof text), hv_int(&id)};
      DL_HOSTVAR out[] = {hv_int(&count, &count_ind)};
      c.run(DL_SQLA_EXECUTE, 8, in, 2, out, 1);
      if (c.ca.sqlcode != 0) count = 0;
      if (count_ind < 0 || count < 1) sp_change(c, 9, in, 2, NoRow::kMissing);
    }
  }
  return c.finish(ca);
}

SP_ENTRY int zul_update_ly_srid(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "II");
  if (!c.ok()) return c.finish(ca);
  int32_t id = c.in_int(0), srid = c.in_int(1);
  DL_HOSTVAR in[] = {hv_int(&srid), hv_int(&id)};
  sp_change(c, 10, in, 2, NoRow::kMissing);
  return c.finish(ca);
}

SP_ENTRY int zul_delete_registr(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  return change_by_id(da, ca, 11, NoRow::kMissing);
}

SP_ENTRY int zul_insert_registr(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "ITTTTTIITIT");
  if (!c.ok()) return c.finish(ca);
  int32_t id = c.in_int(0), flags = c.in_int(6), date = c.in_int(7), min_id = c.in_int(9);
  int16_t min_ind = c.in_ind(9);
  char db[kName32], table[kName128], owner[kName32], rowid[kName32], desc[kDesc65], config[kName32],
      view[kName32];
  int16_t rowid_ind = 0, desc_ind = 0, config_ind = 0, view_ind = 0;
  if (text_in(c, 1, db, sizeof db) && text_in(c, 2, table, sizeof table) &&
      text_in(c, 3, owner, sizeof owner) && text_in(c, 4, rowid, sizeof rowid, &rowid_ind) &&
      text_in(c, 5, desc, sizeof desc, &desc_ind) && text_in(c, 8, config, sizeof config, &config_ind) &&
      text_in(c, 10, view, sizeof view, &view_ind)) {
    DL_HOSTVAR in[] = {hv_int(&id), hv_text(db, sizeof db), hv_text(table, sizeof table),
                       hv_text(owner, sizeof owner), hv_text(rowid, sizeof rowid, &rowid_ind),
                       hv_text(desc, sizeof desc, &desc_ind), hv_int(&flags), hv_int(&date),
                       hv_text(config, sizeof config, &config_ind), hv_int(&min_id, &min_ind),
                       hv_text(view, sizeof view, &view_ind)};
    sp_change(c, 12, in, 11, NoRow::kSqlcode);
  }
  return c.finish(ca);
}

SP_ENTRY int zul_update_registr(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "ITTITIT");
  if (!c.ok()) return c.finish(ca);
  int32_t id = c.in_int(0), flags = c.in_int(3), min_id = c.in_int(5);
  int16_t min_ind = c.in_ind(5);
  char rowid[kName32], desc[kDesc65], config[kName32], view[kName32];
  int16_t rowid_ind = 0, desc_ind = 0, config_ind = 0, view_ind = 0;
  if (text_in(c, 1, rowid, sizeof rowid, &rowid_ind) && text_in(c, 2, desc, sizeof desc, &desc_ind) &&
      text_in(c, 4, config, sizeof config, &config_ind) && text_in(c, 6, view, sizeof view, &view_ind)) {
    DL_HOSTVAR in[] = {hv_text(rowid, sizeof rowid, &rowid_ind), hv_text(desc, sizeof desc, &desc_ind),
                       hv_int(&flags), hv_text(config, sizeof config, &config_ind),
                       hv_int(&min_id, &min_ind), hv_text(view, sizeof view, &view_ind), hv_int(&id)};
    sp_change(c, 13, in, 7, NoRow::kSqlcode);
  }
  return c.finish(ca);
}

SP_ENTRY int zul_rename_registr(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  return rename_by_id(da, ca, 14, NoRow::kSqlcode);
}

// zul_clear_modified: a table without marks has nothing to clear, which is
// success; a failure leaves the caller's transaction to the caller.
SP_ENTRY int zul_clear_modified(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  return change_by_id(da, ca, 15, NoRow::kSuccess);
}

// zul_lock_sref: locks the spatial-reference tables until the caller ends
// its unit of work; no COMMIT.
SP_ENTRY int zul_lock_sref(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "");
  if (!c.ok()) return c.finish(ca);
  if (c.run(DL_SQLA_EXECUTE, 16) == 0) c.run(DL_SQLA_EXECUTE, 17);
  if (c.ca.sqlcode != 0) c.fail(c.mapped(c.ca.sqlcode));
  return c.finish(ca);
}

// zul_check_spid: 0 when the spatial reference exists, the positive 20020
// when it does not; no COMMIT.
SP_ENTRY int zul_check_spid(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "I");
  if (!c.ok()) return c.finish(ca);
  int32_t srid = c.in_int(0), found = 0;
  int16_t found_ind = 0;
  DL_HOSTVAR in[] = {hv_int(&srid)};
  DL_HOSTVAR out[] = {hv_int(&found, &found_ind)};
  c.run(DL_SQLA_EXECUTE, 18, in, 1, out, 1);
  if (c.ca.sqlcode == 0)
    c.fail(found_ind < 0 ? 20020 : 0);
  else
    c.fail(c.mapped(20020));
  return c.finish(ca);
}

SP_ENTRY int zul_insert_metadata(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "ITTTITTTT");
  if (!c.ok()) return c.finish(ca);
  int32_t id = c.in_int(0), type = c.in_int(4);
  char name[kName32], db[kName32], owner[kName32], cls[kName32], prop[kName32], value[kText255],
      desc[kDesc65];
  int16_t db_ind = 0, cls_ind = 0, prop_ind = 0, value_ind = 0, desc_ind = 0;
  if (text_in(c, 1, name, sizeof name) && text_in(c, 2, db, sizeof db, &db_ind) &&
      text_in(c, 3, owner, sizeof owner) && text_in(c, 5, cls, sizeof cls, &cls_ind) &&
      text_in(c, 6, prop, sizeof prop, &prop_ind) && text_in(c, 7, value, sizeof value, &value_ind) &&
      text_in(c, 8, desc, sizeof desc, &desc_ind)) {
    if (sp_blank(name)) {
      c.fail(-66);
    } else if (sp_blank(owner)) {
      c.fail(-9);
    } else {
      DL_HOSTVAR in[] = {hv_int(&id), hv_text(name, sizeof name), hv_text(db, sizeof db, &db_ind),
                         hv_text(owner, sizeof owner), hv_int(&type), hv_text(cls, sizeof cls, &cls_ind),
                         hv_text(prop, sizeof prop, &prop_ind), hv_text(value, sizeof value, &value_ind),
                         hv_text(desc, sizeof desc, &desc_ind)};
      sp_change(c, 19, in, 9, NoRow::kSqlcode);
    }
  }
  return c.finish(ca);
}

SP_ENTRY int zul_delete_metadata(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "IIIIIIIIII");
  if (!c.ok()) return c.finish(ca);
  int32_t ids[10];
  DL_HOSTVAR in[10];
  for (int i = 0; i < 10; ++i) {
    ids[i] = c.in_int(i);
    in[i] = hv_int(&ids[i]);
  }
  sp_change(c, 20, in, 10, NoRow::kSuccess);
  return c.finish(ca);
}

// zul_update_metadata: creation_date is accepted and not used.
SP_ENTRY int zul_update_metadata(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "ITTTTT");
  if (!c.ok()) return c.finish(ca);
  int32_t id = c.in_int(0);
  char cls[kName32], prop[kName32], value[kText255], desc[kDesc65];
  int16_t cls_ind = 0, prop_ind = 0, value_ind = 0, desc_ind = 0;
  if (text_in(c, 1, cls, sizeof cls, &cls_ind) && text_in(c, 2, prop, sizeof prop, &prop_ind) &&
      text_in(c, 3, value, sizeof value, &value_ind) && text_in(c, 4, desc, sizeof desc, &desc_ind)) {
    DL_HOSTVAR in[] = {hv_text(cls, sizeof cls, &cls_ind), hv_text(prop, sizeof prop, &prop_ind),
                       hv_text(value, sizeof value, &value_ind), hv_text(desc, sizeof desc, &desc_ind),
                       hv_int(&id)};
    sp_change(c, 21, in, 5, NoRow::kMissing);
  }
  return c.finish(ca);
}

SP_ENTRY int zul_insert_locator(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "ITTITT");
  if (!c.ok()) return c.finish(ca);
  int32_t id = c.in_int(0), type = c.in_int(3);
  char name[kName32], cat[kName32], desc[kDesc65], owner[kName32];
  if (text_in(c, 1, name, sizeof name) && text_in(c, 2, cat, sizeof cat) && text_in(c, 4, desc, sizeof desc) &&
      text_in(c, 5, owner, sizeof owner)) {
    if (sp_blank(name)) {
      c.fail(-66);
    } else if (sp_blank(owner)) {
      c.fail(-9);
    } else if (sp_blank(cat)) {
      c.fail(-66);
    } else {
      DL_HOSTVAR in[] = {hv_int(&id), hv_text(name, sizeof name), hv_text(owner, sizeof owner),
                         hv_text(cat, sizeof cat), hv_int(&type), hv_text(desc, sizeof desc)};
      c.run(DL_SQLA_EXECUTE, 22, in, 6);
      if (c.ca.sqlcode == 0) {
        c.commit_or_fail();
      } else if (c.no_privilege()) {
        c.fail(-20025);
      } else if (c.state_is("23505")) {
        c.fail(-20276, "Insert failed. A locator named '%s.%s' already exists", owner, name);
      } else {
        c.fail(c.ca.sqlcode);
      }
    }
  }
  return c.finish(ca);
}

SP_ENTRY int zul_delete_locator(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  return change_by_id(da, ca, 23, NoRow::kSuccess);
}

SP_ENTRY int zul_update_locator(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "ITTIT");
  if (!c.ok()) return c.finish(ca);
  int32_t id = c.in_int(0), type = c.in_int(3);
  char name[kName32], cat[kName32], desc[kDesc65];
  if (text_in(c, 1, name, sizeof name) && text_in(c, 2, cat, sizeof cat) && text_in(c, 4, desc, sizeof desc)) {
    if (sp_blank(name) || sp_blank(cat)) {
      c.fail(-66);
    } else {
      DL_HOSTVAR in[] = {hv_text(name, sizeof name), hv_text(cat, sizeof cat), hv_int(&type),
                         hv_text(desc, sizeof desc), hv_int(&id)};
      c.run(DL_SQLA_EXECUTE, 24, in, 5);
      if (c.ca.sqlcode == 0) {
        c.commit_or_fail();
      } else if (c.no_privilege()) {
        c.fail(-20025);
      } else if (c.state_is("23505")) {
        c.fail(-20276, "Update failed. A locator named '%s' already exists", name);
      } else {
        c.fail(c.mapped(-20020));
      }
    }
  }
  return c.finish(ca);
}

// The raster-column procedures have no message pair: the SQLCA is their
// only answer.
SP_ENTRY int zul_insert_raster(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "ITTTTTITIIII", false);
  if (!c.ok()) return c.finish(ca);
  int32_t id = c.in_int(0), cdate = c.in_int(6), min_id = c.in_int(8), base_id = c.in_int(9),
          mask = c.in_int(10), srid = c.in_int(11);
  int16_t min_ind = c.in_ind(8), srid_ind = c.in_ind(11);
  char desc[kDesc65], db[kName32], owner[kName32], table[kName128], column[kName128], config[kName32];
  int16_t desc_ind = 0, config_ind = 0;
  if (text_in(c, 1, desc, sizeof desc, &desc_ind) && text_in(c, 2, db, sizeof db) &&
      text_in(c, 3, owner, sizeof owner) && text_in(c, 4, table, sizeof table) &&
      text_in(c, 5, column, sizeof column) && text_in(c, 7, config, sizeof config, &config_ind)) {
    DL_HOSTVAR in[] = {hv_int(&id), hv_text(desc, sizeof desc, &desc_ind), hv_text(db, sizeof db),
                       hv_text(owner, sizeof owner), hv_text(table, sizeof table),
                       hv_text(column, sizeof column), hv_int(&cdate),
                       hv_text(config, sizeof config, &config_ind), hv_int(&min_id, &min_ind),
                       hv_int(&base_id), hv_int(&mask), hv_int(&srid, &srid_ind)};
    sp_change(c, 25, in, 12, NoRow::kSqlcode);
  } else {
    // Without a message pair a refused text must still fail the CALL.
    c.ca.sqlcode = kTooLong;
    memcpy(c.ca.sqlstate, "22001", 5);
  }
  return c.finish(ca);
}

SP_ENTRY int zul_delete_raster(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  return change_by_id(da, ca, 26, NoRow::kSuccess, false);
}

SP_ENTRY int zul_update_raster(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "ITTII", false);
  if (!c.ok()) return c.finish(ca);
  int32_t id = c.in_int(0), min_id = c.in_int(3), mask = c.in_int(4);
  int16_t min_ind = c.in_ind(3);
  char desc[kDesc65], config[kName32];
  int16_t desc_ind = 0, config_ind = 0;
  if (text_in(c, 1, desc, sizeof desc, &desc_ind) && text_in(c, 2, config, sizeof config, &config_ind)) {
    DL_HOSTVAR in[] = {hv_text(desc, sizeof desc, &desc_ind), hv_text(config, sizeof config, &config_ind),
                       hv_int(&min_id, &min_ind), hv_int(&mask), hv_int(&id)};
    sp_change(c, 27, in, 5, NoRow::kMissing);
  } else {
    c.ca.sqlcode = kTooLong;
    memcpy(c.ca.sqlstate, "22001", 5);
  }
  return c.finish(ca);
}

SP_ENTRY int zul_trunc_dbtune(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "");
  if (!c.ok()) return c.finish(ca);
  sp_change(c, 29, nullptr, 0, NoRow::kSuccess);
  return c.finish(ca);
}

SP_ENTRY int zul_insert_dbtune(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "TTT");
  if (!c.ok()) return c.finish(ca);
  char keyword[kName32], param[kName32], config[kText2048];
  int16_t config_ind = 0;
  if (text_in(c, 0, keyword, sizeof keyword) && text_in(c, 1, param, sizeof param) &&
      text_in(c, 2, config, sizeof config, &config_ind)) {
    if (sp_blank(keyword) || sp_blank(param)) {
      c.fail(-66);
    } else {
      DL_HOSTVAR in[] = {hv_text(keyword, sizeof keyword), hv_text(param, sizeof param),
                         hv_text(config, sizeof config, &config_ind)};
      sp_change(c, 30, in, 3, NoRow::kSqlcode);
    }
  }
  return c.finish(ca);
}
