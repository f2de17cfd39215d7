// cl_helpers.cpp -- the client library's helpers: error texts from the
// message file, instance strings, environment look-ups, the banner, and the
// small channel and shape hooks the server process calls.
//
// Relies on the message-file loader (zul_msgfile.h) and the OS layer's
// environment calls (zulos.h).
#include "zul83.h"

#include <stdlib.h>
#include <string.h>

#include <mutex>

#include "svr_services.h"
#include "zul_msgfile.h"
#include "zul_status.h"
#include "zulos.h"

namespace {

const char kUndefined[] = "undefined error";

// The message file, loaded once on first use and kept for the process.
std::once_flag g_messages_once;
MESSAGE_FILE g_messages;
int32_t g_messages_rc = SE_MSG_FILE_ERROR;

// Copies src into out (capacity cap); -66 when it does not fit.
int32_t copy_bounded(char* out, size_t cap, const char* src, size_t len) {
  if (len >= cap) return SE_INVALID_PARAM;
  memcpy(out, src, len);
  out[len] = '\0';
  return 0;
}

// The text of one message: its first line and the lines that continue it
// ('+' or a blank at the start), joined by single blanks.
int32_t message_text(const char* start, const char* end, char* text, size_t cap) {
  size_t n = 0;
  const char* p = start;
  while (p < end && *p != '\0') {
    const char* nl = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
    const char* line_end = nl != nullptr ? nl : end;
    size_t len = static_cast<size_t>(line_end - p);
    if (n + len + 1 >= cap) return SE_INVALID_PARAM;
    memcpy(text + n, p, len);
    n += len;
    if (nl == nullptr || nl + 1 >= end || (nl[1] != '+' && nl[1] != ' ')) break;
    text[n++] = ' ';
    p = nl + 2;  // past the continuation mark
    while (p < end && *p == ' ') ++p;
  }
  while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\r')) --n;
  text[n] = '\0';
  return 0;
}

}  // namespace

int32_t SE_error_get_string(int32_t code, char* text, int32_t cap) {
  if (text == nullptr || cap <= 0) return SE_INVALID_POINTER;
  text[0] = '\0';
  std::call_once(g_messages_once, [] { g_messages_rc = read_message("english", "1252", &g_messages); });
  size_t room = static_cast<size_t>(cap);
  if (g_messages_rc != 0) {
    copy_bounded(text, room, kUndefined, sizeof kUndefined - 1);
    return g_messages_rc;
  }
  char** index = nullptr;
  int32_t i = -1;
  int32_t count = 0;
  if (code <= 0 && code > -1000) {
    index = g_messages.error_index;
    i = -code;
    count = g_messages.error_count;
  } else if (code <= -1000 && code > -2000) {
    index = g_messages.warning_index;
    i = -code - 1000;
    count = g_messages.warning_count;
  }
  if (index == nullptr || i >= count) return copy_bounded(text, room, kUndefined, sizeof kUndefined - 1);
  return message_text(index[i], index[i + 1], text, room);
}

// ---- instance strings ----------------------------------------------------------------

void SES_free_url_parts(SE_URL_PARTS* parts) {
  if (parts == nullptr) return;
  for (int32_t i = 0; parts->env != nullptr && i < parts->env_count; ++i) free(parts->env[i]);
  free(parts->env);
  parts->env = nullptr;
  parts->env_count = 0;
}

int32_t SES_parse_url_string(const char* text, SE_URL_PARTS* parts) {
  if (text == nullptr || parts == nullptr) return SE_INVALID_POINTER;
  memset(parts, 0, sizeof *parts);
  const char* semi = strchr(text, ';');
  size_t head_len = semi != nullptr ? static_cast<size_t>(semi - text) : strlen(text);

  // Head: [DBMS ":"] instance ["@" server].
  const char* head = text;
  const char* colon = static_cast<const char*>(memchr(head, ':', head_len));
  if (colon != nullptr) {
    if (copy_bounded(parts->dbms, sizeof parts->dbms, head, static_cast<size_t>(colon - head)) != 0 ||
        parts->dbms[0] == '\0')
      return SE_INVALID_PARAM;
    head_len -= static_cast<size_t>(colon + 1 - head);
    head = colon + 1;
    parts->kind = 1;
  }
  const char* at = static_cast<const char*>(memchr(head, '@', head_len));
  size_t inst_len = at != nullptr ? static_cast<size_t>(at - head) : head_len;
  if (inst_len == 0 || copy_bounded(parts->instance, sizeof parts->instance, head, inst_len) != 0)
    return SE_INVALID_PARAM;
  if (at != nullptr &&
      copy_bounded(parts->server, sizeof parts->server, at + 1, head_len - inst_len - 1) != 0)
    return SE_INVALID_PARAM;

  // Entries: ";" NAME "=" value, each up to the next ";".
  int32_t rc = 0;
  for (const char* p = semi; p != nullptr && rc == 0;) {
    const char* start = p + 1;
    const char* next = strchr(start, ';');
    size_t len = next != nullptr ? static_cast<size_t>(next - start) : strlen(start);
    p = next;
    if (len == 0) continue;  // empty entry, as in a trailing ';'
    const char* eq = static_cast<const char*>(memchr(start, '=', len));
    if (eq == nullptr || eq == start || parts->env_count >= SE_URL_MAX_ENV || len > 4096) {
      rc = SE_INVALID_PARAM;
      break;
    }
    if (parts->env == nullptr) {
      parts->env = static_cast<char**>(calloc(SE_URL_MAX_ENV, sizeof(char*)));
      if (parts->env == nullptr) rc = SE_OUT_OF_MEMORY;
    }
    char* entry = rc == 0 ? static_cast<char*>(malloc(len + 1)) : nullptr;
    if (entry == nullptr) {
      rc = SE_OUT_OF_MEMORY;
      break;
    }
    memcpy(entry, start, len);
    entry[len] = '\0';
    parts->env[parts->env_count++] = entry;
  }
  if (rc != 0) SES_free_url_parts(parts);
  return rc;
}

// ---- environment -----------------------------------------------------------------------

const char* SES_getenv(const char* name) {
  if (name == nullptr || name[0] == '\0') return nullptr;
  return zulos_env_get(name);
}

int32_t SES_copy_env_var(const char* name, char* out, size_t cap) {
  const char* v = SES_getenv(name);
  if (v == nullptr || out == nullptr) return -1;
  return copy_bounded(out, cap, v, strlen(v)) == 0 ? 0 : -1;
}

int32_t SES_copy_env_var_from_list(int32_t count, char** list, const char* name, char* out, size_t cap) {
  if (list == nullptr || name == nullptr || out == nullptr) return -1;
  size_t n = strlen(name);
  for (int32_t i = 0; i < count; ++i) {
    if (list[i] != nullptr && strncmp(list[i], name, n) == 0 && list[i][n] == '=') {
      const char* v = list[i] + n + 1;
      return copy_bounded(out, cap, v, strlen(v)) == 0 ? 0 : -1;
    }
  }
  return -1;
}

void SES_print_banner(FILE* out, const char* release, const char* title) {
  if (out == nullptr) return;
  fprintf(out, "\n  %s  --  release %s\n\n", title != nullptr ? title : "", release != nullptr ? release : "");
}

// ---- channel hooks -------------------------------------------------------------------

int32_t CH_is_xdr_type(const CHANNEL* ch) { return ch != nullptr && ch->kind == CH_KIND_XDR ? 1 : 0; }

int32_t SES_map_shape_error_to_client(int32_t code) { return SES_map_shape_error_to_zul(code); }

int32_t SES_layerinfo_get_spatial_index(const LAYER* layer, int32_t* kind, double grids[3], int32_t reserved) {
  if (layer == nullptr || kind == nullptr) return SE_INVALID_POINTER;
  bool grid = layer->grid_size[0] > 0.0;
  *kind = grid ? 1 : -1;
  if (grids != nullptr)
    for (int i = 0; i < 3; ++i) grids[i] = grid ? layer->grid_size[i] : 0.0;
  return 0;
}

int32_t SES_layerinfo_get_spatial_index_type(const LAYER* layer, int32_t* kind) {
  return SES_layerinfo_get_spatial_index(layer, kind, nullptr, 0);
}
