// db_state_str.cpp -- SQL texts that restrict rows to states: the lineage
// of a state (with "?" markers or numbers), the part of one state's path
// that is not on another's, a lineage from an ancestor up, and a list of
// state ids, inline when short and kept in a temporary log file when long.
//
// Texts are malloc'd; the caller frees them (DB_state_list_string_free for
// lists). Each append group ends with a newline when ZULPRETTYSQL is set.
// Relies on the log files (zul_db_logfile.h) and the varLONG codec.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <initializer_list>
#include <string>

#include "../comm/comp_ftr.h"
#include "db_version_private.h"
#include "svr_services.h"
#include "zul_db_logfile.h"

using namespace dbv;

namespace {

// Ids below this many are written inline; -1 until ZULTHRESHOLD is read.
std::atomic<int32_t> g_threshold{-1};
constexpr int32_t kMinThreshold = 150;

int32_t threshold() {
  int32_t t = g_threshold.load();
  if (t != -1) return t;
  const char* env = getenv("ZULTHRESHOLD");
  long value = 0;
  if (env != nullptr && *env != '\0') {
    char* end = nullptr;
    value = strtol(env, &end, 10);
    if (*end != '\0' || value < 0) value = 0;
    if (value >= 1000) value = 999;
  }
  int32_t expected = -1;
  g_threshold.compare_exchange_strong(expected, (int32_t)value);
  return g_threshold.load();
}

// Joins append groups, each followed by a newline when ZULPRETTYSQL is set.
std::string groups(std::initializer_list<std::string> parts) {
  bool pretty = getenv("ZULPRETTYSQL") != nullptr;
  std::string out;
  for (const std::string& p : parts) {
    out += p;
    if (pretty) out += '\n';
  }
  return out;
}

// Hands text to the caller as a malloc'd copy: 0 or -12.
int32_t give(const std::string& text, char** out) {
  char* p = static_cast<char*>(malloc(text.size() + 1));
  if (p == nullptr) return SE_OUT_OF_DBMS_MEM;
  memcpy(p, text.c_str(), text.size() + 1);
  *out = p;
  return 0;
}

std::string num(int32_t v) { return std::to_string(v); }

}  // namespace

// ---- lineage data -----------------------------------------------------------------------

int32_t db_state_lineage_ids(const STATE* state, int32_t** ids, int32_t* count) {
  *ids = nullptr;
  *count = 0;
  int32_t n = state->lineage_length;
  if (n <= 0 || state->lineage == nullptr) return n < 0 ? SE_INVALID_PARAM : 0;
  const unsigned char* p = state->lineage;
  int32_t size = 0;
  // the leading size is at most 5 bytes; the data then holds size bytes
  p = SES_decode_varLONG_bounded(p, p + 5, &size);
  if (p == nullptr || size < n || size > n * 5) return SE_INVALID_PARAM;
  const unsigned char* end = p + size;
  int32_t* out = static_cast<int32_t*>(malloc(sizeof(int32_t) * (size_t)n));
  if (out == nullptr) return SE_OUT_OF_DBMS_MEM;
  for (int32_t i = 0; i < n; ++i) {
    p = SES_decode_varLONG_bounded(p, end, &out[i]);
    if (p == nullptr) {
      free(out);
      return SE_INVALID_PARAM;
    }
  }
  *ids = out;
  *count = n;
  return 0;
}

int32_t db_state_lineage_pack(const int32_t* ids, int32_t count, uint8_t** data) {
  int32_t size = count > 0 ? SES_size_varLONG_array(ids, count) : 0;
  uint8_t* out = static_cast<uint8_t*>(malloc((size_t)size + 5));
  if (out == nullptr) return SE_OUT_OF_DBMS_MEM;
  unsigned char* p = SES_encode_varLONG(size, out);
  for (int32_t i = 0; i < count; ++i) p = SES_encode_varLONG(ids[i], p);
  *data = out;
  return 0;
}

// ---- the texts ----------------------------------------------------------------------------

int32_t DB_state_lineage_string(DB_INSTANCE* instance, const STATE* state, void* list_fn,
                                int32_t unused1, char** text, int32_t markers, int32_t unused2,
                                int32_t type) {
  (void)list_fn;
  (void)unused1;
  (void)unused2;
  if (instance == nullptr || state == nullptr || text == nullptr) return SE_INVALID_POINTER;
  std::string n = num(state->lineage_name), s = num(state->id);
  std::string sql = groups({"SELECT  l.lineage_id ", "FROM ZUL.state_lineages l ",
                            markers ? "WHERE l.lineage_name = ? AND "
                                    : "WHERE l.lineage_name = " + n + " AND ",
                            markers ? "l.lineage_id <= ?" : "l.lineage_id <= " + s});
  if (type == 2) {
    Storage* st = storage(instance);
    if (st == nullptr) return SE_OUT_OF_DBMS_MEM;
    std::string lc = groups({markers ? std::string(" SL.lineage_name = ? AND SL.lineage_id <= ? ")
                                     : " SL.lineage_name = " + n + " AND SL.lineage_id <= " + s + " "});
    int32_t status = give(sql, text);
    if (status != 0) return status;
    st->lc_text = lc;
    st->lc_set = true;
    st->lc_lineage = state->lineage_name;
    st->lc_state = state->id;
    return 0;
  }
  return give(sql, text);
}

DB_LINEAGE_CONDITION db_state_lineage_condition(DB_INSTANCE* instance) {
  DB_LINEAGE_CONDITION c = {nullptr, 0, 0};
  if (instance == nullptr || instance->state_list == nullptr) return c;
  Storage* st = static_cast<Storage*>(instance->state_list);
  if (!st->lc_set) return c;
  c.text = st->lc_text.c_str();
  c.lineage_name = st->lc_lineage;
  c.state_id = st->lc_state;
  return c;
}

int32_t DB_state_sublineage_string(DB_INSTANCE* instance, const STATE* a, const STATE* b,
                                   void* list_fn, int32_t unused1, void* unused2, char** text,
                                   int32_t unused3, int32_t slot) {
  (void)instance;
  (void)list_fn;
  (void)unused1;
  (void)unused2;
  (void)unused3;
  (void)slot;
  if (a == nullptr || b == nullptr || text == nullptr) return SE_INVALID_POINTER;
  int32_t *la = nullptr, *lb = nullptr, na = 0, nb = 0;
  int32_t status = db_state_lineage_ids(a, &la, &na);
  if (status == 0) status = db_state_lineage_ids(b, &lb, &nb);
  if (status != 0) {
    free(la);
    free(lb);
    return status;
  }
  auto b_at = [&](int32_t i) { return i < nb ? lb[i] : i == nb ? b->id : -1; };
  int32_t shared = 0;  // no first id in common cannot happen while every path starts at 0
  bool differs = false;
  for (int32_t i = 0; i < na && !differs; ++i) {
    if (la[i] == b_at(i)) shared = la[i];
    else differs = true;
  }
  bool on_b_path = !differs && a->id == b_at(na);
  free(la);
  free(lb);
  if (on_b_path) {
    *text = nullptr;
    return 0;
  }
  return give(groups({"SELECT  l.lineage_id ", "FROM ZUL.state_lineages l ",
                      "WHERE l.lineage_name = " + num(a->lineage_name) + " AND ",
                      "l.lineage_id <= " + num(a->id) + " AND ", "l.lineage_id > " + num(shared)}),
              text);
}

int32_t DB_state_partial_lineage_string(DB_INSTANCE* instance, const STATE* state,
                                        int32_t ancestor, void* list_fn, char** text) {
  (void)instance;
  (void)list_fn;
  if (state == nullptr || text == nullptr) return SE_INVALID_POINTER;
  *text = nullptr;
  int32_t* ids = nullptr;
  int32_t n = 0;
  int32_t status = db_state_lineage_ids(state, &ids, &n);
  if (status != 0) return status;
  bool found = false;
  for (int32_t i = 0; i < n; ++i) found = found || ids[i] == ancestor;
  free(ids);
  if (!found) return SE_STATE_NOT_ON_LINEAGE;
  return give(groups({"SELECT l.lineage_id ", "FROM ZUL.state_lineages l ",
                      "WHERE l.lineage_name = " + num(state->lineage_name) + " AND ",
                      "l.lineage_id <= " + num(state->id) + " AND ",
                      "l.lineage_id >= " + num(ancestor)}),
              text);
}

int32_t DB_state_list_string(DB_INSTANCE* instance, const int32_t* ids, int32_t count,
                             DB_STATE_LIST_FORMATTER formatter, char** text) {
  if (instance == nullptr || text == nullptr || formatter == nullptr) return SE_INVALID_POINTER;
  if (count < 0 || (count > 0 && ids == nullptr)) return SE_INVALID_PARAM;
  int32_t limit = threshold();
  if (count < limit || count < kMinThreshold) return formatter(ids, count, text);

  Storage* st = storage(instance);
  if (st == nullptr) return SE_OUT_OF_DBMS_MEM;
  if (st->list_log_exists) {
    int32_t status = DB_log_delete(instance, st->list_log.name);
    if (status != 0) return status;
    st->list_log_exists = false;
  }
  LOGFILE& log = st->list_log;
  memset(&log, 0, sizeof log);
  memcpy(log.tag, "LoG", 4);
  int32_t status = DB_log_make_name(instance, log.name);
  if (status != 0) return status;
  // The ids go with the log file when it is deleted; without that they
  // would stay in the data table for good and the old text would still
  // select them.
  log.flags = SE_LOG_TARGET_TABLE | SE_LOG_DELETE_DATA;
  db_log_reg_id(log) = -1;
  log.registration.id = -1;
  copy_field(log.registration.rowid_column, sizeof log.registration.rowid_column, "ZUL_STATE_ID");
  int32_t fdes = 0;
  status = DB_log_open(instance, &log, SE_LOG_OPEN_NEW, &fdes);
  if (status != 0) return status;
  status = DB_log_add_id_list(instance, fdes, ids, count);
  int32_t closed = DB_log_close(instance, fdes);
  if (status == 0) status = closed;
  if (status != 0) {
    DB_log_delete(instance, log.name);
    return status;
  }
  st->list_log_exists = true;
  std::string user = instance->current_user;
  return give(groups({"SELECT DISTINCT zul_row_id ", "FROM " + user + ".ZUL_LOGFILE_DATA ",
                      "WHERE " + user + ".ZUL_LOGFILE_DATA.logfile_data_id = " + num(log.data_id)}),
              text);
}

int32_t DB_state_list_string_free(DB_INSTANCE* instance, char* text) {
  free(text);
  if (instance == nullptr || instance->state_list == nullptr) return 0;
  Storage* st = static_cast<Storage*>(instance->state_list);
  if (!st->list_log_exists) return 0;
  int32_t status = DB_log_delete(instance, st->list_log.name);
  if (status != 0) return status;
  st->list_log_exists = false;
  return 0;
}
