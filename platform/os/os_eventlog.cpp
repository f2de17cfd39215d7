// os_eventlog.cpp -- the application event log on syslog (see os_eventlog.h).
#include "os_eventlog.h"

#include <string.h>
#include <syslog.h>

#include <atomic>
#include <new>
#include <string>

struct zulos_event_source {
  char name[ZULOS_EVENT_SOURCE_MAX + 1];
};

namespace {

std::atomic<zulos_eventlog_observer_fn> g_observer{nullptr};

int priority_of(uint16_t type) {
  switch (type) {
    case ZULOS_EVENTLOG_ERROR_TYPE: return LOG_ERR;
    case ZULOS_EVENTLOG_WARNING_TYPE: return LOG_WARNING;
    default: return LOG_INFO;
  }
}

// Appends text to line, masking bytes outside printable ASCII, without
// letting line grow past its bound.
void append_masked(std::string* line, const char* text) {
  for (const char* p = text; *p != '\0' && line->size() < ZULOS_EVENT_LINE_MAX; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    line->push_back(c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?');
  }
}

}  // namespace

zulos_event_source* zulos_eventlog_register(const char* source) {
  if (source == nullptr || *source == '\0' || strlen(source) > ZULOS_EVENT_SOURCE_MAX) return nullptr;
  zulos_event_source* s = new (std::nothrow) zulos_event_source;
  if (s == nullptr) return nullptr;
  memcpy(s->name, source, strlen(source) + 1);
  return s;
}

int zulos_eventlog_report(zulos_event_source* src, uint16_t type, uint32_t id, int n, const char* const* strings) {
  if (src == nullptr || n < 0 || (n > 0 && strings == nullptr)) return 0;
  zulos_eventlog_observer_fn fn = g_observer.load();
  if (fn) fn(src->name, type, id, n, strings);
  try {
    std::string line;
    append_masked(&line, src->name);
    line += ": event " + std::to_string(id) + ":";
    bool first = true;
    for (int i = 0; i < n; ++i) {
      if (strings[i] == nullptr) continue;
      line += first ? " " : " | ";
      first = false;
      append_masked(&line, strings[i]);
    }
    syslog(LOG_USER | priority_of(type), "%s", line.c_str());
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return 1;
}

void zulos_eventlog_deregister(zulos_event_source* src) { delete src; }

void zulos_eventlog_set_observer(zulos_eventlog_observer_fn fn) { g_observer.store(fn); }
