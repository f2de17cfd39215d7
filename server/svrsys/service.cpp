// service.cpp -- the listener's service: creation, deletion, start, stop and
// status through the service manager, the events they log, and the transfer
// form of the password handed to a starting service (see zul_service.h).
//
// Relies on the service table and the event log of the OS layer
// (os_service.h, os_eventlog.h) and on the event-log source keys of
// ms_registry.cpp. Service-manager failures answer the system's error number
// (positive); the few negative codes are those zul_service.h names.
#include "zul_service.h"

#include <stdio.h>
#include <string.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "zul_status.h"
#include "zulos.h"

namespace {

// Polling a starting service: a tenth of its wait hint, within these bounds.
constexpr uint32_t kPollMinMs = 1000;
constexpr uint32_t kPollMaxMs = 10000;

// Event sources registered by this process, one per name, kept for its life.
std::mutex g_sources_lock;
std::vector<std::pair<std::string, zulos_event_source*>>* g_sources = nullptr;

zulos_event_source* source_for(const char* name) {
  std::lock_guard<std::mutex> guard(g_sources_lock);
  if (g_sources == nullptr) g_sources = new std::vector<std::pair<std::string, zulos_event_source*>>;
  for (auto& s : *g_sources)
    if (s.first == name) return s.second;
  zulos_event_source* src = zulos_eventlog_register(name);
  if (src != nullptr) g_sources->emplace_back(name, src);
  return src;
}

void log_info(int32_t id, const char* service) {
  SES_LogEvent(SES_EVENTLOG_INFORMATION_TYPE, id, service, service, nullptr, nullptr);
}

const char* state_name(uint32_t state) {
  switch (state) {
    case ZULOS_SERVICE_STOPPED: return "SERVICE_STOPPED";
    case ZULOS_SERVICE_START_PENDING: return "SERVICE_START_PENDING";
    case ZULOS_SERVICE_STOP_PENDING: return "SERVICE_STOP_PENDING";
    case ZULOS_SERVICE_RUNNING: return "SERVICE_RUNNING";
    case ZULOS_SERVICE_CONTINUE_PENDING: return "SERVICE_CONTINUE_PENDING";
    case ZULOS_SERVICE_PAUSED: return "SERVICE_PAUSED";
    default: return nullptr;
  }
}

// The key mixed into the transfer form of a password.
constexpr unsigned char kMix[16] = {0x5a, 0x17, 0xc3, 0x88, 0x2e, 0x91, 0x4d, 0xf0,
                                    0x63, 0xb8, 0x0c, 0x7e, 0xd5, 0x39, 0xa2, 0x46};
constexpr char kScramblePrefix[] = "Z83";

}  // namespace

int32_t SES_LogEvent(int32_t type, int32_t event_id, const char* source, const char* text1, const char* text2,
                     const char* text3) {
  if (source == nullptr) return 0;
  zulos_event_source* src = source_for(source);
  if (src == nullptr) return 0;
  const char* texts[3];
  int n = 0;
  for (const char* t : {text1, text2, text3})
    if (t != nullptr) texts[n++] = t;
  return zulos_eventlog_report(src, static_cast<uint16_t>(type), static_cast<uint32_t>(event_id), n, texts);
}

int32_t SES_CreateService(const char* service, const char* display_name, const char* program,
                          const char* dependencies, const char* account, const char* password) {
  int err = zulos_svc_manager_open(nullptr);
  if (err != 0) {
    fprintf(stderr, "error opening SCManager. You must have administrator\n");
    fprintf(stderr, "privileges to perform this operation\n");
    return err;
  }
  std::string acct;
  if (account != nullptr && *account != '\0') {
    if (strchr(account, '\\') == nullptr) acct = ".\\";
    acct += account;
  }
  err = zulos_svc_create(service, display_name, program, dependencies, acct.empty() ? nullptr : acct.c_str(),
                         password);
  if (err != 0) return err;
  int32_t rc = SES_RegisterEventLog(service, program);
  if (rc != 0) return rc;
  log_info(SES_EVENT_SERVICE_CREATED, service);
  return 0;
}

int32_t SES_DeleteService(const char* service) {
  int err = zulos_svc_manager_open(nullptr);
  if (err == 0) err = zulos_svc_delete(service);
  if (err != 0) {
    log_info(SES_EVENT_SERVICE_DELETE_FAILED, service);
    fprintf(stderr, "error opening SCManager\n");
    return err;
  }
  log_info(SES_EVENT_SERVICE_DELETED, service);
  SES_UnRegisterEventLog(service);
  return 0;
}

int32_t SES_QueryServiceStatus(const char* service, char* text) {
  if (text == nullptr) return -1;
  zulos_service_status st;
  if (zulos_svc_manager_open(nullptr) != 0 || zulos_svc_query(service, &st) != 0) return -1;
  const char* name = state_name(st.state);
  if (name != nullptr) memcpy(text, name, strlen(name) + 1);
  return 0;
}

int32_t SES_start_service(const char* machine, const char* service, const char* data, const char* password) {
  char scrambled[3 + 2 * 1024 + 1];
  if (SES_password_scramble(password ? password : "", scrambled, sizeof scrambled) != 0)
    return ZULOS_ERROR_INVALID_PARAMETER;
  const char* args[2] = {(data != nullptr && *data != '\0') ? data : "#", scrambled};

  int err = zulos_svc_manager_open(machine);
  if (err != 0) return err;
  zulos_service_status st;
  if ((err = zulos_svc_query(service, &st)) != 0) return err;
  if (st.state == ZULOS_SERVICE_RUNNING) return SE_SERVICE_ALREADY_RUNNING;
  if ((err = zulos_svc_start(service, 2, args)) != 0) return err;
  if ((err = zulos_svc_query(service, &st)) != 0) return err;
  while (st.state == ZULOS_SERVICE_START_PENDING) {
    uint32_t wait = st.wait_hint_ms / 10;
    if (wait < kPollMinMs) wait = kPollMinMs;
    if (wait > kPollMaxMs) wait = kPollMaxMs;
    zulos_sleep_ms(wait);
    if ((err = zulos_svc_query(service, &st)) != 0) return err;
  }
  if (st.state != ZULOS_SERVICE_RUNNING) {
    fprintf(stderr, "%s service failed during initialization.\n", service);
    fprintf(stderr, "Please check event log or error log files.\n");
    return -1;
  }
  log_info(SES_EVENT_SERVICE_STARTED, service);
  return 0;
}

int32_t SES_stop_service(const char* service) {
  if (service == nullptr || *service == '\0') return SE_INVALID_POINTER;
  int err = zulos_svc_manager_open(nullptr);
  if (err != 0) return err;
  zulos_service_status st;
  if ((err = zulos_svc_query(service, &st)) != 0) return err;
  if (st.state == ZULOS_SERVICE_STOPPED) {
    fprintf(stderr, "ZUL service %s is already stopped\n", service);
    return -1;
  }
  err = zulos_svc_stop(service, &st);
  if (err != 0) {
    fprintf(stderr, "Couldn't stop %s service(%d)\n", service, err);
    return -1;
  }
  log_info(SES_EVENT_SERVICE_STOP_REQUESTED, service);
  return 0;
}

int32_t SES_password_scramble(const char* password, char* out, size_t cap) {
  if (password == nullptr || out == nullptr) return -1;
  size_t len = strlen(password);
  if (cap < sizeof kScramblePrefix || (cap - sizeof kScramblePrefix) / 2 < len) return -1;
  static const char kDigits[] = "0123456789abcdef";
  memcpy(out, kScramblePrefix, sizeof kScramblePrefix - 1);
  char* p = out + sizeof kScramblePrefix - 1;
  for (size_t i = 0; i < len; ++i) {
    unsigned char c = static_cast<unsigned char>(password[i]) ^ kMix[i % 16] ^ static_cast<unsigned char>(i * 31);
    *p++ = kDigits[c >> 4];
    *p++ = kDigits[c & 15];
  }
  *p = '\0';
  return 0;
}

int32_t SES_password_unscramble(const char* scrambled, char* out, size_t cap) {
  if (scrambled == nullptr || out == nullptr || cap == 0) return -1;
  if (strncmp(scrambled, kScramblePrefix, sizeof kScramblePrefix - 1) != 0) return -1;
  const char* hex = scrambled + sizeof kScramblePrefix - 1;
  size_t hlen = strlen(hex);
  if (hlen % 2 != 0 || hlen / 2 >= cap) return -1;
  auto digit = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  for (size_t i = 0; i < hlen / 2; ++i) {
    int hi = digit(hex[2 * i]);
    int lo = digit(hex[2 * i + 1]);
    if (hi < 0 || lo < 0) return -1;
    unsigned char c = static_cast<unsigned char>(hi * 16 + lo) ^ kMix[i % 16] ^ static_cast<unsigned char>(i * 31);
    // A zero byte would end the password early; it is not in form.
    if (c == 0) return -1;
    out[i] = static_cast<char>(c);
  }
  out[hlen / 2] = '\0';
  return 0;
}
