// sp_states.cpp -- the state procedures: create a child state, open and
// close a state, delete a list of states, trim a range, check that a range
// may be deleted, mark a table modified in a state, and the stubs.
//
// Rules of the state tree as these procedures keep it:
//  1. Every change of the tree first takes the exclusive lock on
//     zul.mvtables_modified (sp_lock_table), so changes of different
//     connections follow one another; the lock ends with the procedure's
//     COMMIT or ROLLBACK.
//  2. A state's lineage is a chain of state ids from the base state down;
//     zul.state_lineages holds one row per member. The first child of a
//     state continues the parent's lineage; a further child meets the
//     unique key (parent, lineage) and starts a lineage of its own, which
//     gets the parent's lineage up to the parent.
//  3. Removing a state removes its modified marks, its membership of every
//     lineage and its row; the base state 0 is never removed.
//  4. A procedure that fails leaves nothing half-done: it either changed
//     nothing or rolls back (zul_insert_state, zul_delete_state,
//     zul_trim_state); zul_flag_modified leaves a failure to the caller.
//
// Relies on sp_frame.h and the sections of sp_sections.h.
#include "sp_frame.h"

#include <stdio.h>
#include <string.h>
#include <strings.h>

using namespace sp;

namespace {

constexpr char kTreeLock[] = "zul.mvtables_modified";

// Ends a failed procedure with ROLLBACK, keeping the SQLCA of the failure
// for the caller.
void rollback_keep(SpCall& c) {
  struct sqlca failed = c.ca;
  c.rollback();
  c.ca = failed;
}

// The current user (section 58 or 45). False with the code set on failure.
bool current_user(SpCall& c, int section, char* user) {
  user[0] = 0;
  DL_HOSTVAR out[] = {hv_text(user, kName32)};
  c.run(DL_SQLA_EXECUTE, section, nullptr, 0, out, 1);
  if (c.ca.sqlcode == 0) return true;
  c.fail(c.mapped(c.ca.sqlcode));
  return false;
}

// A state list holds decimal ids separated by commas (blanks allowed).
bool valid_state_list(const char* s) {
  bool digit = false;
  for (const char* p = s; *p; ++p) {
    if (*p >= '0' && *p <= '9') digit = true;
    else if (*p != ',' && *p != '-' && *p != ' ') return false;
  }
  return digit;
}

}  // namespace

// zul_insert_state(parent, parent lineage, open_or_closed, OUT new id, OUT
// new lineage).
SP_ENTRY int zul_insert_state(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "IIIii");
  if (!c.ok()) return c.finish(ca);
  int32_t parent = c.in_int(0), parent_lineage = c.in_int(1), closed = c.in_int(2);
  int32_t new_id = 0, lineage = parent_lineage;
  if (sp_lock_table(c, kTreeLock, 1) == 0) {
    bool inserted = false;
    for (int attempt = 0; attempt < 10; ++attempt) {
      DL_HOSTVAR cand[] = {hv_int(&new_id)};
      if (c.run(DL_SQLA_EXECUTE, 36, nullptr, 0, cand, 1) != 0) break;
      DL_HOSTVAR in[] = {hv_int(&new_id), hv_int(&parent), hv_int(&lineage)};
      if (c.run(DL_SQLA_EXECUTE, closed == 2 ? 37 : 38, in, 3) == 0) {
        inserted = true;
        break;
      }
      if (c.ca.sqlcode != -803 && !c.state_is("23505")) break;
      // The parent already has a child on this lineage: start a new one.
      int32_t fresh = 0;
      DL_HOSTVAR out[] = {hv_int(&fresh)};
      if (c.run(DL_SQLA_EXECUTE, 39, nullptr, 0, out, 1) != 0) break;
      lineage = new_id > fresh ? new_id : fresh;
    }
    if (c.ca.sqlcode != 0) {
      c.fail(c.mapped(c.ca.sqlcode));
    } else if (!inserted) {
      // Ten candidates in a row were taken by other connections.
      c.fail(-803, "Unable to create a new state under state %d", parent);
    } else {
      if (lineage != parent_lineage) {
        DL_HOSTVAR in[] = {hv_int(&lineage), hv_int(&parent_lineage), hv_int(&parent)};
        c.run(DL_SQLA_EXECUTE, 40, in, 3);
        if (c.ca.sqlcode != 0 && !(c.no_row() && !c.no_privilege())) c.fail(c.mapped(c.ca.sqlcode));
      }
      if (c.code == 0) {
        DL_HOSTVAR in[] = {hv_int(&lineage), hv_int(&new_id)};
        if (c.run(DL_SQLA_EXECUTE, 41, in, 2) == 0) {
          c.commit_or_fail();
        } else {
          c.fail(c.mapped(c.ca.sqlcode));
        }
      }
    }
  }
  c.out_int(3, new_id);
  c.out_int(4, lineage);
  if (c.code < 0) rollback_keep(c);
  return c.finish(ca);
}

// zul_delete_state(list): every listed state must pass the owner check
// before any is deleted; state 0 is never deleted.
SP_ENTRY int zul_delete_state(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "T");
  if (!c.ok()) return c.finish(ca);
  char list[kText2048];
  if (!c.in_text(0, list, sizeof list)) return c.finish(ca);
  dl_sqlca_clear(&c.ca);
  // The list becomes part of a statement text, so it may hold nothing but
  // numbers.
  if (!valid_state_list(list)) {
    c.fail(-66, "Invalid state list");
    return c.finish(ca);
  }
  if (sp_lock_table(c, kTreeLock, 1) != 0) {
    rollback_keep(c);
    return c.finish(ca);
  }
  char text[sizeof list + 64];
  snprintf(text, sizeof text, "SELECT state_id FROM zul.states WHERE state_id IN (%s)", list);
  c.run(DL_SQLA_PREPARE, 32, nullptr, 0, nullptr, 0, text);
  if (c.ca.sqlcode == 0) c.run(DL_SQLA_OPEN, 32);
  if (c.ca.sqlcode != 0) {
    c.fail(c.mapped(c.ca.sqlcode));
    rollback_keep(c);
    return c.finish(ca);
  }
  int32_t id = 0;
  DL_HOSTVAR fetch[] = {hv_int(&id)};
  // First pass: permission on every state.
  for (;;) {
    c.run(DL_SQLA_FETCH, 32, nullptr, 0, fetch, 1);
    if (c.no_row() && !c.no_privilege()) break;
    if (c.ca.sqlcode != 0) {
      c.fail(c.mapped(c.ca.sqlcode));
      break;
    }
    char owner[kName32], second[kName128];
    sp_check_state_owner(c, id, owner, second);
    if (c.code != 0) break;
  }
  if (c.code == 0) {
    c.run(DL_SQLA_CLOSE, 32);
    c.run(DL_SQLA_OPEN, 32);
    if (c.ca.sqlcode != 0) c.fail(c.mapped(c.ca.sqlcode));
  }
  // Second pass: the deletion.
  while (c.code == 0) {
    c.run(DL_SQLA_FETCH, 32, nullptr, 0, fetch, 1);
    if (c.no_row() && !c.no_privilege()) break;
    if (c.ca.sqlcode != 0) {
      c.fail(c.mapped(c.ca.sqlcode));
      break;
    }
    if (id == kBaseState) continue;
    for (int section = 33; section <= 35; ++section) {
      DL_HOSTVAR in[] = {hv_int(&id)};
      c.run(DL_SQLA_EXECUTE, section, in, 1);
      if (c.ca.sqlcode != 0 && !(c.no_row() && !c.no_privilege())) {
        c.fail(c.mapped(c.ca.sqlcode));
        break;
      }
    }
  }
  if (c.code == 0) {
    c.run(DL_SQLA_CLOSE, 32);
    c.commit_or_fail();
  } else {
    rollback_keep(c);
  }
  return c.finish(ca);
}

SP_ENTRY int zul_open_state(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "I");
  if (!c.ok()) return c.finish(ca);
  int32_t id = c.in_int(0);
  char owner[kName32], second[kName128];
  sp_check_state_owner(c, id, owner, second);
  if (c.code == 0) {
    DL_HOSTVAR in[] = {hv_int(&id)};
    if (c.run(DL_SQLA_EXECUTE, 42, in, 1) == 0) {
      c.commit_or_fail();
    } else {
      c.fail(c.mapped(c.ca.sqlcode));
    }
  }
  return c.finish(ca);
}

// zul_close_state(state, OUT closing time): the time stored by the update,
// 26 characters.
SP_ENTRY int zul_close_state(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "It");
  if (!c.ok()) return c.finish(ca);
  int32_t id = c.in_int(0);
  char closing[kStamp26] = "";
  char owner[kName32], second[kName128];
  sp_check_state_owner(c, id, owner, second);
  if (c.code == 0) {
    DL_HOSTVAR in[] = {hv_int(&id)};
    DL_HOSTVAR out[] = {hv_text(closing, sizeof closing)};
    if (c.run(DL_SQLA_EXECUTE, 43, in, 1) == 0 && c.run(DL_SQLA_EXECUTE, 44, in, 1, out, 1) == 0) {
      c.commit_or_fail();
    } else {
      c.fail(c.mapped(c.ca.sqlcode));
    }
  }
  char shown[kStamp26];
  snprintf(shown, sizeof shown, "%-26s", c.code == 0 ? closing : "");
  c.out_text(1, shown);
  return c.finish(ca);
}

// zul_trim_state(low, high): the high state takes the place of the states
// from the low one down. With low 0 it becomes part of the base state.
SP_ENTRY int zul_trim_state(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "II");
  if (!c.ok()) return c.finish(ca);
  int32_t low = c.in_int(0), high = c.in_int(1), zero = 0;
  char owner[kName32], second[kName128];
  if (sp_lock_table(c, kTreeLock, 1) == 0) sp_check_state_owner(c, high, owner, second);
  if (c.code == 0) {
    struct Step {
      int section;
      int32_t* vars[4];
      int n;
    };
    const Step to_base[] = {{61, {&high}, 1},
                            {62, {&high}, 1},
                            {63, {&zero}, 1},
                            {64, {&zero, &zero, &zero, &high}, 4},
                            {65, {&zero, &zero}, 2},
                            {66, {&zero, &high}, 2},
                            {67, {&zero, &high}, 2}};
    const Step above[] = {{68, {&high, &high, &high}, 3}};
    const Step* steps = low == kBaseState ? to_base : above;
    int nsteps = low == kBaseState ? 7 : 1;
    for (int i = 0; i < nsteps && c.code == 0; ++i) {
      DL_HOSTVAR in[4];
      for (int k = 0; k < steps[i].n; ++k) in[k] = hv_int(steps[i].vars[k]);
      c.run(DL_SQLA_EXECUTE, steps[i].section, in, steps[i].n);
      if (c.ca.sqlcode == 0 || (c.no_row() && !c.no_privilege()) || c.state_is("23502")) continue;
      c.fail(c.mapped(c.ca.sqlcode));
    }
    if (c.code == 0) {
      c.commit_or_fail();
    }
  }
  if (c.code < 0) rollback_keep(c);
  return c.finish(ca);
}

// zul_range_del_ok(start, end): read-only check that the states from start
// down to end form one chain the caller owns and no version uses.
SP_ENTRY int zul_range_del_ok(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "II");
  if (!c.ok()) return c.finish(ca);
  int32_t start = c.in_int(0), end = c.in_int(1);
  char user[kName32];
  if (!current_user(c, 58, user)) return c.finish(ca);
  // The base state is its own parent; the walk must not take it again.
  static const char kWalk[] =
      " WITH STC (state_id, parent_state_id, owner) AS  ( SELECT ROOT.state_id, ROOT.parent_state_id,"
      " ROOT.owner    FROM zul.states ROOT    WHERE  ROOT.state_id = ?     UNION ALL    SELECT"
      " CHILD.state_id, CHILD.parent_state_id, CHILD.owner    FROM STC PARENT, zul.states CHILD    WHERE"
      " PARENT.state_id = CHILD.parent_state_id AND CHILD.state_id <> CHILD.parent_state_id   )   SELECT"
      " state_id, parent_state_id, owner    FROM STC    ORDER BY parent_state_id";
  static const char kVersion[] = "SELECT v.name FROM zul.versions v WHERE v.state_id = ?";
  int32_t key = start;
  DL_HOSTVAR start_in[] = {hv_int(&key)};
  if (c.run(DL_SQLA_PREPARE, 59, nullptr, 0, nullptr, 0, kWalk) == 0 &&
      c.run(DL_SQLA_PREPARE, 60, nullptr, 0, nullptr, 0, kVersion) == 0)
    c.run(DL_SQLA_OPEN, 59, start_in, 1);
  if (c.ca.sqlcode != 0) {
    c.fail(c.mapped(c.ca.sqlcode));
    return c.finish(ca);
  }
  int32_t id = 0, parent = 0, prev_parent = -1;
  char owner[kName32] = "";
  int16_t owner_ind = 0;
  bool any = false, end_seen = false, last_was_end = false;
  DL_HOSTVAR row[] = {hv_int(&id), hv_int(&parent), hv_text(owner, sizeof owner, &owner_ind)};
  for (;;) {
    c.run(DL_SQLA_FETCH, 59, nullptr, 0, row, 3);
    if (c.no_row() && !c.no_privilege()) break;
    if (c.ca.sqlcode != 0) {
      c.fail(c.mapped(c.ca.sqlcode));
      break;
    }
    if (owner_ind < 0) owner[0] = 0;
    if ((any && parent == prev_parent) || end_seen) {
      c.fail(-20175, "End State may not have children");
      break;
    }
    any = true;
    prev_parent = parent;
    if (id == end) end_seen = true;
    last_was_end = id == end;
    if (strcasecmp(user, kAdmin) != 0 && strcasecmp(user, owner) != 0) {
      c.fail(-20025, "Not owner of state %d", id);
      break;
    }
    // A version on the state forbids the deletion; a lookup that cannot
    // run forbids it too.
    char vname[kText255] = "";
    int16_t vind = 0;
    int32_t vkey = id;
    DL_HOSTVAR vin[] = {hv_int(&vkey)};
    DL_HOSTVAR vout[] = {hv_text(vname, sizeof vname, &vind)};
    if (c.run(DL_SQLA_OPEN, 60, vin, 1) != 0) {
      c.fail(c.mapped(c.ca.sqlcode));
      break;
    }
    c.run(DL_SQLA_FETCH, 60, nullptr, 0, vout, 1);
    bool used = c.ca.sqlcode == 0 && vind >= 0;
    bool failed = c.ca.sqlcode != 0 && !c.no_row();
    int32_t fetch_code = c.mapped(c.ca.sqlcode);
    c.run(DL_SQLA_CLOSE, 60);
    if (used) {
      c.fail(-20179, "State %d is used by version %s", id, vname);
      break;
    }
    if (failed) {
      c.fail(fetch_code);
      break;
    }
  }
  if (c.code == 0 && (!any || !last_was_end)) c.fail(-20179, "Start or End state is missing");
  if (c.code != 0) {
    struct sqlca failed = c.ca;
    c.run(DL_SQLA_CLOSE, 59);
    c.ca = failed;
  } else {
    c.run(DL_SQLA_CLOSE, 59);
  }
  return c.finish(ca);
}

// zul_flag_modified(table, state): marks the table modified in the state
// (once); a failure leaves the caller's transaction alone.
SP_ENTRY int zul_flag_modified(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "II");
  if (!c.ok()) return c.finish(ca);
  int32_t table = c.in_int(0), state = c.in_int(1);
  DL_HOSTVAR in[] = {hv_int(&state), hv_int(&table)};
  c.run(DL_SQLA_EXECUTE, 47, in, 2);
  if (c.ca.sqlcode == 0 || (c.no_row() && !c.no_privilege())) {
    c.commit_or_fail();
  } else {
    c.fail(c.mapped(c.ca.sqlcode));
  }
  return c.finish(ca);
}

SP_ENTRY int zul_state_user_rw(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "I");
  if (!c.ok()) return c.finish(ca);
  char owner[kName32], second[kName128];
  sp_check_state_owner(c, c.in_int(0), owner, second);
  return c.finish(ca);
}

// Stubs: registered, called by no part of the system.
SP_ENTRY int zul_current_state(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "i");
  if (c.ok()) c.out_int(0, kBaseState);
  return c.finish(ca);
}

SP_ENTRY int zul_set_base_state(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "");
  return c.finish(ca);
}

SP_ENTRY int zul_in_lineage(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  SpCall c(da, "I");
  return c.finish(ca);
}

// One body under two names: zul_v_is_writable(state) and
// zul_set_current_v(version name); each takes one IN parameter.
SP_ENTRY int zul_v_is_writable(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  bool text = da && da->sqld == 3 && ((da->sqlvar[0].sqltype & ~1) != DL_SQL_TYP_INTEGER);
  SpCall c(da, text ? "T" : "I");
  return c.finish(ca);
}

SP_ENTRY int zul_set_current_v(void*, void*, DL_SQLDA* da, struct sqlca* ca)
    __attribute__((alias("zul_v_is_writable")));
