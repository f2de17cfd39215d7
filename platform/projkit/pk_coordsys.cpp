// pk_coordsys.cpp -- coordinate-system objects on PROJ.
//
// One PROJ context serves the whole process, behind one mutex: PROJ objects
// belong to the context that made them, and projkit's calls are few and
// short. The set of live objects is kept under the same mutex; it is what
// lets pe_coordsys_p answer for any pointer and pe_coordsys_del ignore one
// it does not know.
#include <proj.h>
#include <string.h>

#include <mutex>
#include <new>
#include <string>
#include <unordered_set>

#include "projkit.h"

struct pe_coordsys_rec {
  PJ* pj;            // the coordinate reference system
  std::string text;  // the text it was made from
};

namespace {

std::mutex g_mutex;

struct State {
  PJ_CONTEXT* ctx = nullptr;
  std::unordered_set<const pe_coordsys_rec*> live;
};

// Made on first use and never torn down: objects may be deleted from static
// destructors of other libraries.
State& state() {
  static State* s = new State();
  if (!s->ctx) {
    s->ctx = proj_context_create();
    if (s->ctx) proj_log_level(s->ctx, PJ_LOG_NONE);
  }
  return *s;
}

}  // namespace

extern "C" {

PE_COORDSYS pe_coordsys_from_string(const char* text) {
  if (!text || text[0] == '\0') return nullptr;
  size_t len = strnlen(text, PE_SRTEXT_CAP + 1);
  if (len > PE_SRTEXT_CAP) return nullptr;
  std::lock_guard<std::mutex> g(g_mutex);
  State& st = state();
  if (!st.ctx) return nullptr;
  pe_coordsys_rec* cs = nullptr;
  try {
    cs = new pe_coordsys_rec{nullptr, std::string(text, len)};
    cs->pj = proj_create(st.ctx, cs->text.c_str());
    if (!cs->pj || !proj_is_crs(cs->pj)) {
      if (cs->pj) proj_destroy(cs->pj);
      delete cs;
      return nullptr;
    }
    st.live.insert(cs);
  } catch (const std::bad_alloc&) {
    if (cs) {
      if (cs->pj) proj_destroy(cs->pj);
      delete cs;
    }
    return nullptr;
  }
  return cs;
}

PE_COORDSYS pe_coordsys_p(const void* obj) {
  if (!obj) return nullptr;
  std::lock_guard<std::mutex> g(g_mutex);
  State& st = state();
  auto it = st.live.find(static_cast<const pe_coordsys_rec*>(obj));
  return it == st.live.end() ? nullptr : const_cast<pe_coordsys_rec*>(*it);
}

void pe_coordsys_del(PE_COORDSYS cs) {
  if (!cs) return;
  std::lock_guard<std::mutex> g(g_mutex);
  State& st = state();
  if (st.live.erase(cs) == 0) return;
  proj_destroy(cs->pj);
  delete cs;
}

int32_t pe_coordsys_eq(PE_COORDSYS a, PE_COORDSYS b) {
  if (!a || !b) return 0;
  std::lock_guard<std::mutex> g(g_mutex);
  State& st = state();
  if (!st.live.count(a) || !st.live.count(b)) return 0;
  if (a == b) return 1;
  return proj_is_equivalent_to(a->pj, b->pj, PJ_COMP_EQUIVALENT) ? 1 : 0;
}

const char* pe_coordsys_text(PE_COORDSYS cs) {
  if (!cs) return nullptr;
  std::lock_guard<std::mutex> g(g_mutex);
  return state().live.count(cs) ? cs->text.c_str() : nullptr;
}

}  // extern "C"
