// os_service.cpp -- the service table (see os_service.h): service records in
// the registry, programs started through the process layer, run state
// reported by the programs themselves.
//
// Relies on the registry store (os_registry.h) for every record, on the
// process layer (os_process.h) to start programs, and on the system-call
// table for kill, read, write and close.
//
// Notes:
// 1. A start writes START_PENDING (with no process) before the program is
//    started, then records the process. The program cannot report RUNNING
//    before START_PENDING is written, so a fast program's report is never
//    overwritten by the starter.
// 2. Each registry change is one locked read-modify-write of the store, so
//    the state written by the program and the process id written by the
//    starter never undo one another.
#include "os_service.h"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "os_process.h"
#include "os_syscalls.h"

namespace {

const char kStartFlag[] = "-zulservice";

bool name_ok(const char* name) {
  if (name == nullptr || *name == '\0' || strlen(name) > ZULOS_SERVICE_NAME_MAX) return false;
  return strchr(name, '\\') == nullptr && strchr(name, '/') == nullptr;
}

std::string service_key(const char* name) { return std::string(ZULOS_SERVICES_KEY "\\") + name; }

// An open registry key, closed when it goes out of scope.
class Key {
 public:
  ~Key() { zulos_reg_close(k_); }
  zulos_regkey** out() { return &k_; }
  zulos_regkey* get() const { return k_; }

 private:
  zulos_regkey* k_ = nullptr;
};

// Opens the key of a registered service.
int open_service(const char* name, Key* key) {
  if (!name_ok(name)) return ZULOS_ERROR_INVALID_NAME;
  int err = zulos_reg_open_key(service_key(name).c_str(), key->out());
  if (err == ZULOS_ERROR_FILE_NOT_FOUND) return ZULOS_ERROR_SERVICE_DOES_NOT_EXIST;
  if (err != 0) return err;
  uint32_t len = 0;
  err = zulos_reg_query_value(key->get(), "ImagePath", nullptr, nullptr, &len);
  if (err == ZULOS_ERROR_FILE_NOT_FOUND) return ZULOS_ERROR_SERVICE_DOES_NOT_EXIST;
  return err == ZULOS_ERROR_MORE_DATA ? 0 : err;
}

int read_dword(zulos_regkey* key, const char* name, uint32_t* out) {
  unsigned char b[4];
  uint32_t len = sizeof b;
  uint32_t type = 0;
  int err = zulos_reg_query_value(key, name, &type, b, &len);
  if (err != 0) return err;
  if (type != ZULOS_REG_DWORD || len != 4) return ZULOS_ERROR_REGISTRY_CORRUPT;
  *out = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
         static_cast<uint32_t>(b[3]) << 24;
  return 0;
}

void put_u32(unsigned char* b, uint32_t v) {
  b[0] = static_cast<unsigned char>(v);
  b[1] = static_cast<unsigned char>(v >> 8);
  b[2] = static_cast<unsigned char>(v >> 16);
  b[3] = static_cast<unsigned char>(v >> 24);
}

// A text value read whole (the text without its terminating zero).
int read_text(zulos_regkey* key, const char* name, std::string* out) {
  uint32_t len = 0;
  int err = zulos_reg_query_value(key, name, nullptr, nullptr, &len);
  if (err != ZULOS_ERROR_MORE_DATA) return err == 0 ? (out->clear(), 0) : err;
  std::vector<char> buf(len + 1u, '\0');
  err = zulos_reg_query_value(key, name, nullptr, buf.data(), &len);
  if (err != 0) return err;
  buf[len] = '\0';
  out->assign(buf.data());
  return 0;
}

int set_state(zulos_regkey* key, uint32_t state, uint32_t wait_hint, const int32_t* pid) {
  unsigned char s[4], w[4], p[4];
  put_u32(s, state);
  put_u32(w, wait_hint);
  zulos_reg_value v[3] = {{"ZulState", ZULOS_REG_DWORD, s, 4}, {"ZulWaitHint", ZULOS_REG_DWORD, w, 4}};
  int n = 2;
  if (pid) {
    put_u32(p, static_cast<uint32_t>(*pid));
    v[2] = {"ZulPid", ZULOS_REG_DWORD, p, 4};
    n = 3;
  }
  return zulos_reg_set_values(key, v, n);
}

int query_key(zulos_regkey* key, zulos_service_status* out) {
  uint32_t state = ZULOS_SERVICE_STOPPED, hint = 0, pid = 0;
  int err = read_dword(key, "ZulState", &state);
  if (err == ZULOS_ERROR_FILE_NOT_FOUND) state = ZULOS_SERVICE_STOPPED;
  else if (err != 0) return err;
  if (read_dword(key, "ZulWaitHint", &hint) != 0) hint = 0;
  if (read_dword(key, "ZulPid", &pid) != 0) pid = 0;
  // A program that ended without saying so is stopped.
  if (state != ZULOS_SERVICE_STOPPED && pid != 0 && !zulos_process_alive(static_cast<int>(pid)))
    state = ZULOS_SERVICE_STOPPED;
  out->state = state;
  out->wait_hint_ms = hint;
  out->pid = static_cast<int32_t>(pid);
  return 0;
}

// True when account names the caller's own identity (or none).
bool is_own_account(const std::string& domain, const std::string& user) {
  if (user.empty() || strcasecmp(user.c_str(), "LocalSystem") == 0) return true;
  if (!domain.empty() && domain != ".") return false;
  struct passwd pw, *res = nullptr;
  char buf[4096];
  if (getpwuid_r(geteuid(), &pw, buf, sizeof buf, &res) != 0 || res == nullptr) return false;
  return user == res->pw_name;
}

}  // namespace

int zulos_svc_manager_open(const char* machine) {
  if (machine != nullptr && *machine != '\0') {
    const char* m = machine;
    if (m[0] == '\\' && m[1] == '\\') m += 2;
    char host[256] = "";
    gethostname(host, sizeof host - 1);
    if (strcmp(m, ".") != 0 && strcasecmp(m, "localhost") != 0 && strcasecmp(m, host) != 0)
      return ZULOS_ERROR_RPC_SERVER_UNAVAILABLE;
  }
  Key key;
  return zulos_reg_create_key(ZULOS_SERVICES_KEY, key.out());
}

int zulos_svc_create(const char* name, const char* display_name, const char* program, const char* dependencies,
                     const char* account, const char* password) {
  if (!name_ok(name)) return ZULOS_ERROR_INVALID_NAME;
  if (program == nullptr || *program == '\0') return ZULOS_ERROR_INVALID_PARAMETER;
  {
    Key probe;
    int err = zulos_reg_open_key(service_key(name).c_str(), probe.out());
    if (err == 0) return ZULOS_ERROR_SERVICE_EXISTS;
    if (err != ZULOS_ERROR_FILE_NOT_FOUND) return err;
  }
  size_t deps_len = 1;
  if (dependencies != nullptr) {
    const char* p = dependencies;
    while (*p != '\0') {
      size_t n = strlen(p) + 1;
      p += n;
      if (static_cast<size_t>(p - dependencies) > ZULOS_REG_DATA_MAX) return ZULOS_ERROR_INVALID_PARAMETER;
    }
    deps_len = static_cast<size_t>(p - dependencies) + 1;
  }
  const char* disp = display_name ? display_name : name;
  const char* acct = account ? account : "LocalSystem";
  const char* pass = password ? password : "";
  if (strlen(disp) >= ZULOS_REG_DATA_MAX || strlen(program) >= ZULOS_REG_DATA_MAX ||
      strlen(acct) >= ZULOS_REG_DATA_MAX || strlen(pass) >= ZULOS_REG_DATA_MAX)
    return ZULOS_ERROR_INVALID_PARAMETER;
  unsigned char type[4], start[4], errctl[4], state[4];
  put_u32(type, 0x10);  // own process
  put_u32(start, 2);    // automatic
  put_u32(errctl, 1);   // normal
  put_u32(state, ZULOS_SERVICE_STOPPED);
  static const char kNoDeps[] = "";
  zulos_reg_value v[] = {
      {"Type", ZULOS_REG_DWORD, type, 4},
      {"Start", ZULOS_REG_DWORD, start, 4},
      {"ErrorControl", ZULOS_REG_DWORD, errctl, 4},
      {"ImagePath", ZULOS_REG_EXPAND_SZ, program, static_cast<uint32_t>(strlen(program) + 1)},
      {"DisplayName", ZULOS_REG_SZ, disp, static_cast<uint32_t>(strlen(disp) + 1)},
      {"ObjectName", ZULOS_REG_SZ, acct, static_cast<uint32_t>(strlen(acct) + 1)},
      {"ObjectPassword", ZULOS_REG_BINARY, pass, static_cast<uint32_t>(strlen(pass))},
      {"DependOnService", ZULOS_REG_MULTI_SZ, dependencies ? dependencies : kNoDeps,
       static_cast<uint32_t>(dependencies ? deps_len : 1)},
      {"ZulState", ZULOS_REG_DWORD, state, 4},
  };
  Key key;
  int err = zulos_reg_create_key(service_key(name).c_str(), key.out());
  if (err != 0) return err;
  err = zulos_reg_set_values(key.get(), v, static_cast<int>(sizeof v / sizeof v[0]));
  if (err != 0) {
    Key root;
    if (zulos_reg_open_key(ZULOS_SERVICES_KEY, root.out()) == 0) zulos_reg_delete_tree(root.get(), name);
  }
  return err;
}

int zulos_svc_open(const char* name) {
  Key key;
  return open_service(name, &key);
}

int zulos_svc_delete(const char* name) {
  Key key;
  int err = open_service(name, &key);
  if (err != 0) return err;
  Key root;
  err = zulos_reg_open_key(ZULOS_SERVICES_KEY, root.out());
  if (err != 0) return err;
  err = zulos_reg_delete_tree(root.get(), name);
  return err == ZULOS_ERROR_FILE_NOT_FOUND ? ZULOS_ERROR_SERVICE_DOES_NOT_EXIST : err;
}

int zulos_svc_account(const char* name, char* out, size_t cap) {
  if (out == nullptr || cap == 0) return ZULOS_ERROR_INVALID_PARAMETER;
  Key key;
  int err = open_service(name, &key);
  if (err != 0) return err;
  std::string acct;
  err = read_text(key.get(), "ObjectName", &acct);
  if (err != 0) return err;
  if (acct.size() >= cap) return ZULOS_ERROR_MORE_DATA;
  memcpy(out, acct.c_str(), acct.size() + 1);
  return 0;
}

int zulos_svc_query(const char* name, struct zulos_service_status* out) {
  if (out == nullptr) return ZULOS_ERROR_INVALID_PARAMETER;
  Key key;
  int err = open_service(name, &key);
  if (err != 0) return err;
  return query_key(key.get(), out);
}

int zulos_svc_start(const char* name, int argc, const char* const* argv) {
  if (argc < 0 || argc > ZULOS_SERVICE_ARGC_MAX || (argc > 0 && argv == nullptr))
    return ZULOS_ERROR_INVALID_PARAMETER;
  // The start arguments as they travel on the pipe: the count, then each
  // argument's length and bytes, all numbers 32-bit little-endian.
  std::string wire;
  unsigned char b[4];
  put_u32(b, static_cast<uint32_t>(argc));
  wire.append(reinterpret_cast<char*>(b), 4);
  for (int i = 0; i < argc; ++i) {
    if (argv[i] == nullptr) return ZULOS_ERROR_INVALID_PARAMETER;
    size_t n = strlen(argv[i]);
    if (wire.size() + 4 + n > ZULOS_SERVICE_ARGS_MAX) return ZULOS_ERROR_INVALID_PARAMETER;
    put_u32(b, static_cast<uint32_t>(n));
    wire.append(reinterpret_cast<char*>(b), 4);
    wire.append(argv[i], n);
  }

  Key key;
  int err = open_service(name, &key);
  if (err != 0) return err;
  zulos_service_status st;
  err = query_key(key.get(), &st);
  if (err != 0) return err;
  if (st.state != ZULOS_SERVICE_STOPPED) return ZULOS_ERROR_SERVICE_ALREADY_RUNNING;
  std::string program, account, password;
  if ((err = read_text(key.get(), "ImagePath", &program)) != 0) return err;
  if ((err = read_text(key.get(), "ObjectName", &account)) != 0 && err != ZULOS_ERROR_FILE_NOT_FOUND) return err;
  if ((err = read_text(key.get(), "ObjectPassword", &password)) != 0 && err != ZULOS_ERROR_FILE_NOT_FOUND)
    return err;

  int32_t none = 0;
  if ((err = set_state(key.get(), ZULOS_SERVICE_START_PENDING, 0, &none)) != 0) return err;

  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    set_state(key.get(), ZULOS_SERVICE_STOPPED, 0, &none);
    return ZULOS_ERROR_NOT_ENOUGH_MEMORY;
  }
  // The arguments fit in the pipe's buffer, so the write never waits for the reader.
  size_t done = 0;
  while (done < wire.size()) {
    ssize_t n = zulos_sys.write(fds[1], wire.data() + done, wire.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  zulos_sys.close(fds[1]);
  if (done != wire.size()) {
    zulos_sys.close(fds[0]);
    set_state(key.get(), ZULOS_SERVICE_STOPPED, 0, &none);
    return ZULOS_ERROR_SERVICE_REQUEST_TIMEOUT;
  }

  std::string fdtext = std::to_string(fds[0]);
  const char* args[] = {program.c_str(), kStartFlag, name, fdtext.c_str(), nullptr};
  zulos_spawn_spec spec = {program.c_str(), args, fds[0]};
  zulos_process proc;
  std::string domain, user = account;
  size_t cut = account.rfind('\\');
  if (cut != std::string::npos) {
    domain = account.substr(0, cut);
    user = account.substr(cut + 1);
  }
  int rc;
  if (is_own_account(domain, user)) {
    rc = zulos_spawn(&spec, &proc);
  } else {
    rc = zulos_spawn_as_user(domain.c_str(), user.c_str(), password.c_str(), &spec, &proc);
  }
  int spawn_errno = errno;
  zulos_sys.close(fds[0]);
  if (rc != 0) {
    set_state(key.get(), ZULOS_SERVICE_STOPPED, 0, &none);
    if (rc == ZULOS_LOGON_REFUSED || rc == ZULOS_LOGON_UNAVAILABLE) return ZULOS_ERROR_SERVICE_LOGON_FAILED;
    return spawn_errno == EACCES ? ZULOS_ERROR_ACCESS_DENIED : ZULOS_ERROR_FILE_NOT_FOUND;
  }
  unsigned char p[4];
  put_u32(p, static_cast<uint32_t>(proc.pid));
  err = zulos_reg_set_value(key.get(), "ZulPid", ZULOS_REG_DWORD, p, 4);
  // The program runs on its own; the record only held the starter's watch on it.
  zulos_process_close(&proc);
  return err;
}

int zulos_svc_stop(const char* name, struct zulos_service_status* out) {
  Key key;
  int err = open_service(name, &key);
  if (err != 0) return err;
  zulos_service_status st;
  err = query_key(key.get(), &st);
  if (err != 0) return err;
  if (st.state == ZULOS_SERVICE_STOPPED) {
    if (out) *out = st;
    return ZULOS_ERROR_SERVICE_NOT_ACTIVE;
  }
  if (st.pid <= 0 || zulos_sys.kill(st.pid, SIGTERM) != 0) return ZULOS_ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
  err = set_state(key.get(), ZULOS_SERVICE_STOP_PENDING, st.wait_hint_ms, nullptr);
  if (err != 0) return err;
  if (out) return query_key(key.get(), out);
  return 0;
}

int zulos_svc_program_attach(int argc, char** argv, struct zulos_svc_program* out) {
  if (out == nullptr) return ZULOS_ERROR_INVALID_PARAMETER;
  out->name[0] = '\0';
  out->argc = 0;
  out->argv = nullptr;
  if (argc < 4 || argv == nullptr || strcmp(argv[1], kStartFlag) != 0 || !name_ok(argv[2]))
    return ZULOS_ERROR_INVALID_PARAMETER;
  char* end = nullptr;
  errno = 0;
  long fd = strtol(argv[3], &end, 10);
  if (errno != 0 || end == argv[3] || *end != '\0' || fd < 0 || fd > 65535) return ZULOS_ERROR_INVALID_PARAMETER;
  // Read everything the starter wrote; it is bounded, so anything longer is hostile.
  std::string wire;
  char buf[4096];
  int err = 0;
  for (;;) {
    ssize_t n = zulos_sys.read(static_cast<int>(fd), buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      err = ZULOS_ERROR_INVALID_PARAMETER;
      break;
    }
    if (n == 0) break;
    if (wire.size() + static_cast<size_t>(n) > ZULOS_SERVICE_ARGS_MAX) {
      err = ZULOS_ERROR_INVALID_PARAMETER;
      break;
    }
    wire.append(buf, static_cast<size_t>(n));
  }
  zulos_sys.close(static_cast<int>(fd));
  if (err != 0) return err;
  auto get_u32 = [&](size_t at, uint32_t* v) {
    if (at + 4 > wire.size()) return false;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(wire.data()) + at;
    *v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
    return true;
  };
  uint32_t count = 0;
  if (!get_u32(0, &count) || count > ZULOS_SERVICE_ARGC_MAX) return ZULOS_ERROR_INVALID_PARAMETER;
  char** list = static_cast<char**>(calloc(count + 1u, sizeof(char*)));
  if (list == nullptr) return ZULOS_ERROR_NOT_ENOUGH_MEMORY;
  size_t at = 4;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t len = 0;
    if (!get_u32(at, &len) || len > wire.size() - at - 4) {
      err = ZULOS_ERROR_INVALID_PARAMETER;
      break;
    }
    at += 4;
    list[i] = static_cast<char*>(malloc(len + 1u));
    if (list[i] == nullptr) {
      err = ZULOS_ERROR_NOT_ENOUGH_MEMORY;
      break;
    }
    memcpy(list[i], wire.data() + at, len);
    list[i][len] = '\0';
    at += len;
  }
  if (err == 0 && at != wire.size()) err = ZULOS_ERROR_INVALID_PARAMETER;
  out->argv = list;
  out->argc = static_cast<int>(count);
  if (err != 0) {
    zulos_svc_program_free(out);
    return err;
  }
  memcpy(out->name, argv[2], strlen(argv[2]) + 1);
  return 0;
}

void zulos_svc_program_free(struct zulos_svc_program* p) {
  if (p == nullptr || p->argv == nullptr) return;
  for (int i = 0; i < p->argc; ++i) free(p->argv[i]);
  free(p->argv);
  p->argv = nullptr;
  p->argc = 0;
}

int zulos_svc_report(const char* name, uint32_t state, uint32_t wait_hint_ms) {
  Key key;
  int err = open_service(name, &key);
  if (err != 0) return err;
  int32_t pid = static_cast<int32_t>(getpid());
  return set_state(key.get(), state, wait_hint_ms, &pid);
}
