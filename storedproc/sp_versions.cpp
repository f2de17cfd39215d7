// sp_versions.cpp -- the version procedures: insert (with a free name found
// by a counter), delete, update, rename, and the compare-and-set move of a
// version to another state.
//
// A version is named by owner and name; the qualified form "[db.]owner.name"
// is split by sp_split_version_name. "DEFAULT" (any case of letters) can be
// neither deleted nor renamed. No procedure here commits after a failure.
// Relies on sp_frame.h and the sections of sp_sections.h.
#include "sp_frame.h"

#include <stdio.h>
#include <string.h>
#include <strings.h>

using namespace sp;

namespace {

// A generated name never grows beyond the versions table's name column.
constexpr size_t kVersionNameColumn = 64;

// Sections 51 and 53: the version exists and the given owner is the caller
// or the administrator. False with the code and message set.
bool owner_may_change(SpCall& c, int section, char* owner, char* name) {
  int32_t status = 0;
  int16_t status_ind = 0;
  char user[kName32] = "";
  DL_HOSTVAR in[] = {hv_text(owner, kName32), hv_text(name, kText255)};
  DL_HOSTVAR out[] = {hv_int(&status, &status_ind), hv_text(user, sizeof user)};
  c.run(DL_SQLA_EXECUTE, section, in, 2, out, 2);
  if (c.ca.sqlcode != 0 || status_ind < 0) {
    if (c.no_privilege())
      c.fail(-20025, "No SELECT permission on zul.versions");
    else if (c.ca.sqlcode == 0 || c.no_row())
      c.fail(-20126, "Version not found");
    else
      c.fail(c.ca.sqlcode, "Unexpected error happen, Failed to Update version");
    return false;
  }
  if (strcasecmp(owner, user) != 0 && strcasecmp(owner, kAdmin) != 0) {
    c.fail(-20025, "Not the owner of version");
    return false;
  }
  return true;
}

// The outcome of a failed version update (sections 52, 54, 55).
void update_failed(SpCall& c, const char* owner, const char* new_name) {
  if (c.no_privilege())
    c.fail(-20025, "No UPDATE permission on zul.versions");
  else if (new_name && c.state_is("23505"))
    c.fail(-20126, "A version named '%s.%s' already exists", owner, new_name);
  else if (c.no_row())
    c.fail(-20126, "Version not found");
  else
    c.fail(c.ca.sqlcode, "Unexpected error happened, Failed to Update version");
}

}  // namespace

// How many numbered names zul_insert_version tries before it gives up.
constexpr int kMaxVersionNameTries = 1000;

// zul_insert_version(name, status, id, state, description, parent name,
// parent owner, parent id, name rule, OUT name used).
SP_ENTRY int zul_insert_version(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "TIIITTTIIt");
  if (!c.ok()) return c.finish(ca);
  int32_t status = c.in_int(1), id = c.in_int(2), state = c.in_int(3), parent_id = c.in_int(7),
          rule = c.in_int(8);
  int16_t parent_id_ind = c.in_ind(7);
  char base[kText255], name[kText255] = "", desc[kDesc65], pname[kName128], powner[kName32];
  int16_t desc_ind = c.in_ind(4), pname_ind = c.in_ind(5), powner_ind = c.in_ind(6);
  if (c.in_text(0, base, sizeof base) && c.in_text(4, desc, sizeof desc) &&
      c.in_text(5, pname, sizeof pname) && c.in_text(6, powner, sizeof powner)) {
    if (sp_blank(base)) {
      c.fail(-171, "Invalid version name");
    } else {
      snprintf(name, sizeof name, "%s", base);
      for (int counter = 0;;) {
        DL_HOSTVAR in[] = {hv_text(name, sizeof name),           hv_int(&id),
                           hv_int(&status),                      hv_int(&state),
                           hv_text(desc, sizeof desc, &desc_ind), hv_text(pname, sizeof pname, &pname_ind),
                           hv_text(powner, sizeof powner, &powner_ind), hv_int(&parent_id, &parent_id_ind)};
        c.run(DL_SQLA_EXECUTE, 48, in, 8);
        if (c.ca.sqlcode == 0) {
          c.commit_or_fail();
          break;
        }
        if (c.no_privilege()) {
          c.fail(-20025, "No INSERT permission");
          break;
        }
        if (!c.state_is("23505")) {
          c.fail(c.ca.sqlcode, "Version insert failed");
          break;
        }
        if (rule == 2) {
          c.fail(-20177, "Version %s already exists", name);
          break;
        }
        // A clash that is not on the name (the version id, say) would make
        // every new name clash too, so the search for a free name is bounded.
        if (++counter > kMaxVersionNameTries) {
          c.fail(-20171, "Unable to generate a version name");
          break;
        }
        char candidate[kText255 + 16];
        snprintf(candidate, sizeof candidate, "%s%d", base, counter);
        if (strlen(candidate) > kVersionNameColumn) {
          c.fail(-20171, "Unable to generate a version name");
          break;
        }
        memcpy(name, candidate, strlen(candidate) + 1);
      }
    }
  }
  c.out_text(9, name);
  return c.finish(ca);
}

// zul_delete_version(qualified name): not "DEFAULT", not another user's,
// not a version with children.
SP_ENTRY int zul_delete_version(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "T");
  if (!c.ok()) return c.finish(ca);
  char qualified[kName128], owner[kName32], name[kText255], flag[2];
  if (!c.in_text(0, qualified, sizeof qualified) || !sp_split_version_name(c, qualified, owner, name))
    return c.finish(ca);
  sp_check_version_owner(c, name, owner, flag);
  if (strcmp(flag, "t") != 0) return c.finish(ca);
  int32_t children = 0;
  DL_HOSTVAR in[] = {hv_text(name, sizeof name), hv_text(owner, sizeof owner)};
  DL_HOSTVAR out[] = {hv_int(&children)};
  c.run(DL_SQLA_EXECUTE, 49, in, 2, out, 1);
  if (c.ca.sqlcode != 0) {
    if (c.no_privilege())
      c.fail(-20025, "Not owner of the version");
    else
      c.fail(c.ca.sqlcode);
  } else if (children >= 1) {
    c.fail(-20175, "Version can not be deleted as it has children");
  } else if (c.run(DL_SQLA_EXECUTE, 50, in, 2) == 0) {
    c.commit_or_fail();
  } else {
    c.fail(c.mapped(-20020));
  }
  return c.finish(ca);
}

// zul_update_version: only status and description change; the other
// inputs are accepted and not used.
SP_ENTRY int zul_update_version(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "TTIITTTTII");
  if (!c.ok()) return c.finish(ca);
  int32_t status = c.in_int(2);
  char name[kText255], owner[kName32], desc[kDesc65];
  int16_t desc_ind = c.in_ind(4);
  if (c.in_text(0, name, sizeof name) && c.in_text(1, owner, sizeof owner) &&
      c.in_text(4, desc, sizeof desc)) {
    if (sp_blank(name)) {
      c.fail(-171);
    } else if (owner[0] == 0) {
      c.fail(-9);
    } else if (owner_may_change(c, 51, owner, name)) {
      DL_HOSTVAR in[] = {hv_int(&status), hv_text(desc, sizeof desc, &desc_ind), hv_text(owner, kName32),
                         hv_text(name, kText255)};
      if (c.run(DL_SQLA_EXECUTE, 52, in, 4) == 0) {
        c.commit_or_fail();
      } else {
        update_failed(c, owner, nullptr);
      }
    }
  }
  return c.finish(ca);
}

// zul_rename_version(owner, name, new name): the version and the parent
// name of its children change together.
SP_ENTRY int zul_rename_version(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "TTT");
  if (!c.ok()) return c.finish(ca);
  char owner[kName32], name[kText255], new_name[kName128], flag[2];
  if (c.in_text(0, owner, sizeof owner) && c.in_text(1, name, sizeof name) &&
      c.in_text(2, new_name, sizeof new_name)) {
    if (sp_blank(name) || sp_blank(new_name)) {
      c.fail(-171);
    } else if (owner[0] == 0) {
      c.fail(-9);
    } else {
      sp_check_version_owner(c, name, owner, flag);
      if (strcmp(flag, "t") == 0 && owner_may_change(c, 53, owner, name)) {
        DL_HOSTVAR in[] = {hv_text(new_name, sizeof new_name), hv_text(name, sizeof name),
                           hv_text(owner, sizeof owner)};
        if (c.run(DL_SQLA_EXECUTE, 54, in, 3) != 0) {
          update_failed(c, owner, new_name);
        } else {
          // A version without children leaves section 55 nothing to change.
          c.run(DL_SQLA_EXECUTE, 55, in, 3);
          if (c.ca.sqlcode != 0 && !(c.no_row() && !c.no_privilege())) {
            update_failed(c, owner, new_name);
          } else {
            c.commit_or_fail();
          }
        }
      }
    }
  }
  return c.finish(ca);
}

// zul_change_v_state(qualified name, old state, new state): moves the
// version only while it is still in the old state.
SP_ENTRY int zul_change_v_state(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "TII");
  if (!c.ok()) return c.finish(ca);
  int32_t old_state = c.in_int(1), new_state = c.in_int(2);
  char qualified[kName128], owner[kName32], name[kText255];
  if (!c.in_text(0, qualified, sizeof qualified)) return c.finish(ca);
  if (sp_blank(qualified)) {
    c.fail(-20171);
    return c.finish(ca);
  }
  if (!sp_split_version_name(c, qualified, owner, name)) return c.finish(ca);
  DL_HOSTVAR in[] = {hv_int(&new_state), hv_text(owner, sizeof owner), hv_text(name, sizeof name),
                     hv_int(&old_state)};
  c.run(DL_SQLA_EXECUTE, 56, in, 4);
  if (c.ca.sqlcode == 0) {
    c.commit_or_fail();
  } else if (c.no_privilege()) {
    c.fail(-20025, "No UPDATE permission on zul.versions");
  } else if (!c.no_row()) {
    c.fail(c.ca.sqlcode, "Unexpected error happened, Failed to Update version");
  } else {
    // Nothing moved: tell a missing version from one that has moved on.
    int32_t state = 0;
    int16_t state_ind = 0;
    char user[kName32] = "";
    DL_HOSTVAR key[] = {hv_text(owner, sizeof owner), hv_text(name, sizeof name)};
    DL_HOSTVAR out[] = {hv_int(&state, &state_ind), hv_text(user, sizeof user)};
    c.run(DL_SQLA_EXECUTE, 57, key, 2, out, 2);
    if (c.no_privilege())
      c.fail(-20025, "No SELECT permission on zul.versions");
    else if ((c.ca.sqlcode == 0 && state_ind < 0) || c.no_row())
      c.fail(-20126, "Version not found");
    else if (c.ca.sqlcode != 0)
      c.fail(c.ca.sqlcode, "Unexpected error happend, Failed to Update version");
    else
      c.fail(-20174, "Version %s is no longer state %d", name, old_state);
  }
  return c.finish(ca);
}
