// orvant.cpp -- the listener (see orvant.h): the listener socket, the
// request loop, the start of one server process per client, and the clean-up
// of ended servers.
//
// Relies on the configuration reader, the shared segment, the subprocess
// monitor and the local pipes of the server library, the listener
// connection's framing (zul_conn.h) and the XDR record encoders.
//
// Divisions: the listener record; frames; server start; administrative
// commands; the request loop; open and close.
//
// Notes:
// 1. Requests are served one at a time on the calling thread; a client gets
//    ORVANT_CLIENT_WAIT_MS to send its request, a started server the start
//    wait for each pipe end and for each read of its report.
// 2. The subprocess code hands every start live server ends of its local
//    pipe pair; the listener connects them, passes the start parameters,
//    reads the report and then disconnects both ends.
// 3. The started server inherits the accepted client socket under its own
//    number, which travels as start parameter 26; nothing else of the
//    listener's reaches it. The socket loses the listener's receive wait
//    first: the server waits on its client as long as it likes.
// 4. The death callback runs on the monitor thread. It takes the lock-table
//    mutexes but never mutex 3, which the request thread holds during a
//    start, so the two cannot wait on each other.
#include "orvant.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "svr_services.h"
#include "zul_channel.h"
#include "zul_config.h"
#include "zul_conn.h"
#include "zul_local_io.h"
#include "zul_shared.h"
#include "zul_status.h"
#include "zul_subprograms.h"
#include "zul_xdr.h"
#include "zulos.h"

namespace {

const int ORVANT_CLIENT_WAIT_MS = 10000;
const int32_t ORVANT_CHANNEL_KIND = 1;      // socket accepted by the listener
const int32_t ORVANT_READ_ONLY_CODE = SE_NO_PERMISSIONS;

// ---- the listener record -------------------------------------------------------

struct Server {
  int32_t pid;
  int32_t start_time;      // seconds since 1970
  std::string user;        // as the server reported it
  std::string client;      // the client's own text
  std::string address;     // the client's IPv4 address
};

}  // namespace

struct ORVANT {
  std::string instance;
  std::string program;
  int32_t wait_ms = ORVANT_START_WAIT_MS;
  INSTANCE_CONFIGURATION config;
  SM_HANDLE* sm = nullptr;
  int listen_fd = -1;
  int32_t port = 0;
  int stop_pipe[2] = {-1, -1};     // orvant_stop writes, the loop polls
  bool stopping = false;
  std::mutex servers_lock;
  std::map<int32_t, Server> servers;   // running servers by pid
};

namespace {

ORVANT* g_listener = nullptr;   // the one listener of this process (death callback)

// A server ended: its locks and process record go (note 4).
void on_server_death(int32_t pid, int32_t exit_code) {
  ORVANT* l = g_listener;
  if (!l) return;
  if (l->sm) {
    SM_locks_delete_user(l->sm, pid);
    SM_state_locks_delete_user(l->sm, pid);
    SM_table_locks_delete_user(l->sm, pid);
    SM_object_locks_delete_user(l->sm, pid);
    SM_pinfo_delete(l->sm, pid);
  }
  std::lock_guard<std::mutex> lock(l->servers_lock);
  l->servers.erase(pid);
  if (exit_code != 0 && exit_code != SUBPROGRAMS_STILL_ACTIVE)
    fprintf(stderr, "orvant: server %d ended with code %d\n", pid, exit_code);
}

// ---- frames --------------------------------------------------------------------

bool write_frame(int fd, const char* body, int32_t len) {
  char head[4];
  XDR x;
  xdrmem_create(&x, head, sizeof head, XDR_ENCODE);
  bool ok = xdr_int(&x, &len);
  xdr_destroy(&x);
  if (!ok || CH_writen(fd, head, 4) != 4) return false;
  return len == 0 || CH_writen(fd, body, len) == len;
}

// The refusal: an answer of length 1.
void refuse(int fd) {
  char byte = 0;
  write_frame(fd, &byte, 1);
}

// Encodes a record into an answer frame and sends it.
template <typename Fn>
bool send_answer(int fd, Fn encode) {
  std::vector<char> body(ORVANT_ANSWER_MAX);
  XDR x;
  xdrmem_create(&x, body.data(), static_cast<u_int>(body.size()), XDR_ENCODE);
  bool ok = encode(&x);
  int32_t len = static_cast<int32_t>(xdr_getpos(&x));
  xdr_destroy(&x);
  return ok && write_frame(fd, body.data(), len);
}

bool send_open_res(int fd, open_res* answer) {
  return send_answer(fd, [answer](XDR* x) { return xdr_open_res(x, answer) != 0; });
}

// Reads one request frame: its length is checked before its body is read.
// 0; -1 when the client went away; SE_INVALID_PARAM for a frame that is too
// long or does not decode (the client gets the refusal).
int32_t read_request(int fd, req4io* request) {
  char head[4];
  if (CH_readn(fd, head, 4) != 4) return -1;
  int32_t len = 0;
  XDR x;
  xdrmem_create(&x, head, sizeof head, XDR_DECODE);
  bool ok = xdr_int(&x, &len);
  xdr_destroy(&x);
  if (!ok || len <= 0 || len > SES_REQUEST_MAX) return SE_INVALID_PARAM;
  char body[SES_REQUEST_MAX];
  if (CH_readn(fd, body, len) != len) return -1;
  xdrmem_create(&x, body, static_cast<u_int>(len), XDR_DECODE);
  ok = xdr_req4io(&x, request);
  // Every byte of the frame belongs to the record.
  ok = ok && xdr_getpos(&x) == static_cast<u_int>(len);
  xdr_destroy(&x);
  if (!ok) {
    xdr_free(reinterpret_cast<xdrproc_t>(xdr_req4io), reinterpret_cast<char*>(request));
    memset(request, 0, sizeof *request);
    return SE_INVALID_PARAM;
  }
  return 0;
}

void copy_text(char* field, size_t cap, const std::string& text) { snprintf(field, cap, "%s", text.c_str()); }

std::string or_default(const char* text, const char* fallback) {
  return text && *text ? std::string(text) : std::string(fallback);
}

// ---- server start --------------------------------------------------------------

// The start parameters in their order; the values are the configuration's.
bool send_start_params(int fd, const INSTANCE_CONFIGURATION& c, const std::string& password, int32_t transport,
                       const std::string& user_data, int32_t client_fd) {
  const SE_INSTANCE_CONFIG& k = c.config;
  auto L = [fd](int32_t v) { return LO_write_long(fd, v) == 0; };
  auto S = [fd](const std::string& t) { return LO_write_string(fd, t.c_str()) == 0; };
  auto H = [fd](int16_t v) { return LO_write_short(fd, v) == 0; };
  std::string second = k.log_path[0] ? k.log_path : SE_LOG_PATH_UNUSED;
  std::string tmp = k.tmp_path[0] ? k.tmp_path : "/tmp";
  return S(password) &&                                        // 1
         L(ORVANT_CHANNEL_KIND) && L(transport) &&             // 2, 3
         L(k.min_buf_size) && L(k.max_buf_size) && L(k.min_buf_objects) &&   // 4-6: stream buffer sizes
         L(k.timeout) &&                                       // 8
         S(k.home_path) && S(second) && S(tmp) &&              // 9-11
         L(k.max_blob_size) && L(k.blob_mem) && L(k.raster_buf_size) &&      // 12-14
         L(k.autocommit) && L(k.max_distinct) && L(k.max_layers) &&          // 15-17
         L(k.max_streams) && L(k.max_initial_feats) &&         // 18, 19
         L(k.shape_pts_buf_size) && L(k.attr_buf_size) && L(k.blob_buf_size) &&  // 20-22
         L(k.max_array_size) && L(k.stream_pool_size) &&       // 23, 24
         L(k.max_time_diff) && L(client_fd) &&                 // 25, 26: the inherited client socket
         S(user_data) && H(0) && H(static_cast<int16_t>(c.read_only ? 1 : 0)) &&   // 27-29
         L(ORVANT_READ_ONLY_CODE);                             // 30
}

void set_receive_wait(int fd, int ms) {
  struct timeval tv;
  tv.tv_sec = ms / 1000;
  tv.tv_usec = (ms % 1000) * 1000;
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

void fail_answer(open_res* a, int32_t status, int32_t native, const char* message, const char* extended) {
  a->ids[0] = status;
  a->values[5] = status;
  a->values[6] = native;
  snprintf(a->text1, sizeof a->text1, "%s", message ? message : "");
  snprintf(a->text2, sizeof a->text2, "%s", extended ? extended : "");
}

// Reads the started server's report into the answer. 0 when the server runs;
// -1 when no whole report came (*timed_out tells whether the server is
// still there but silent).
int32_t read_report(int fd, open_res* a, bool* timed_out) {
  int32_t status = 0;
  *timed_out = false;
  if (LO_read_long(fd, &status) != 0) {
    *timed_out = errno == EAGAIN || errno == EWOULDBLOCK;
    return -1;
  }
  if (status != 0) {
    int32_t native = 0;
    char message[SE_OPEN_RES_TEXT] = "";
    char extended[SE_OPEN_RES_TEXT] = "";
    if (status == SE_DB_IO_ERROR &&
        (LO_read_long(fd, &native) != 0 || LO_read_string(fd, message, sizeof message) != 0 ||
         LO_read_string(fd, extended, sizeof extended) != 0)) {
      fail_answer(a, status, 0, "server start-up failed", "");
      return status;
    }
    fail_answer(a, status, native, message, extended);
    return status;
  }
  int32_t port1 = 0, port2 = 0, pid = 0;
  char user[SE_OPEN_RES_TEXT];
  if (LO_read_long(fd, &port1) != 0 || LO_read_long(fd, &port2) != 0 || LO_read_long(fd, &pid) != 0 ||
      LO_read_string(fd, user, sizeof user) != 0) {
    *timed_out = errno == EAGAIN || errno == EWOULDBLOCK;
    return -1;
  }
  a->ids[0] = 0;
  a->ids[1] = port1;
  a->ids[2] = port2;
  a->value = pid;
  snprintf(a->text1, sizeof a->text1, "%s", user);
  return 0;
}

std::string peer_address(int fd) {
  sockaddr_in a;
  socklen_t n = sizeof a;
  char text[INET_ADDRSTRLEN] = "";
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&a), &n) == 0 && a.sin_family == AF_INET)
    inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
  return text;
}

void serve_connect(ORVANT* l, int client, const req4io& r) {
  open_res answer;
  memset(&answer, 0, sizeof answer);
  answer.values[0] = ORVANT_CHANNEL_KIND;
  answer.values[1] = r.value1;
  if (r.value1 != 0 && r.value1 != 1) {
    fail_answer(&answer, SE_INVALID_PARAM, 0, "unknown channel transport", "");
    send_open_res(client, &answer);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(l->servers_lock);
    if (static_cast<int32_t>(l->servers.size()) >= l->config.config.max_connections) {
      fail_answer(&answer, -1, 0, "server limit reached", "");
      send_open_res(client, &answer);
      return;
    }
  }
  std::string user = or_default(r.text2, "null=user");
  std::string args_text[5] = {
      l->instance.empty() ? std::string("null=instance") : l->instance,
      r.user.name1 ? r.user.name1 : "",
      r.text1 ? r.text1 : "",
      user,
      "0_" + l->instance,
  };
  const char* args[6] = {args_text[0].c_str(), args_text[1].c_str(), args_text[2].c_str(),
                         args_text[3].c_str(), args_text[4].c_str(), nullptr};

  // The server takes this mutex once after its report and only then talks
  // to its client: the answer goes first.
  bool locked = SM_shared_mutex_lock(l->sm) == 0;
  int in_pipe = -1, out_pipe = -1;
  set_receive_wait(client, 0);   // note 3
  int32_t pid = SubPrograms_StartProgramArgv(0, 0, l->program.c_str(), &in_pipe, &out_pipe, args, client);
  int32_t rc = -1;
  bool silent = false;   // started, but neither reporting nor ending
  if (pid <= 0) {
    fail_answer(&answer, -1, 0, "cannot start the server program", l->program.c_str());
  } else if (in_pipe < 0 || out_pipe < 0 || zulos_pipe_connect(out_pipe, l->wait_ms) != 0 ||
             zulos_pipe_connect(in_pipe, l->wait_ms) != 0) {
    fail_answer(&answer, -1, 0, "server did not open its pipes", "");
    silent = true;
  } else {
    set_receive_wait(in_pipe, l->wait_ms);
    if (!send_start_params(out_pipe, l->config, or_default(r.text3, "null=password"), r.value1,
                           or_default(r.user.name2, user.c_str()), client)) {
      fail_answer(&answer, -1, 0, "cannot pass the start parameters", "");
    } else {
      rc = read_report(in_pipe, &answer, &silent);
      if (rc == -1 && answer.ids[0] == 0) fail_answer(&answer, -1, 0, "server start-up failed", "");
    }
  }
  if (rc == 0) {
    Server s;
    s.pid = answer.value;
    s.start_time = static_cast<int32_t>(time(nullptr));
    s.user = answer.text1;
    s.client = r.user.name1 ? r.user.name1 : "";
    s.address = peer_address(client);
    std::lock_guard<std::mutex> lock(l->servers_lock);
    // The server reports its own pid; the started one is what ends.
    l->servers[pid] = s;
  } else if (pid > 0 && silent) {
    // A server that failed its start ends by itself; one that went silent
    // is ended here, so that it cannot talk to the client later.
    SubPrograms_TerminateProgram(pid);
  }
  // The pipes have served this start (note 2).
  if (out_pipe >= 0) LO_disconnect(out_pipe);
  if (in_pipe >= 0) LO_disconnect(in_pipe);
  send_open_res(client, &answer);
  if (locked) SM_shared_mutex_unlock(l->sm);
}

// ---- administrative commands ---------------------------------------------------

void serve_command(ORVANT* l, int client, int32_t command) {
  switch (command) {
    case ORVANT_CMD_PING:
      return;
    case ORVANT_CMD_SHUTDOWN:
      l->stopping = true;
      return;
    case ORVANT_CMD_CONFIG: {
      SE_INSTANCE_CONFIG c = l->config.config;
      send_answer(client, [&c](XDR* x) { return xdr_SE_INSTANCE_CONFIG(x, &c) != 0; });
      return;
    }
    case ORVANT_CMD_STATUS: {
      SE_INSTANCE_STATUS s;
      memset(&s, 0, sizeof s);
      s.release.major = 8;
      s.release.minor = 3;
      s.release.bug = 0;
      s.release.release = SES_RELEASE_NUMBER;
      snprintf(s.release.description, sizeof s.release.description, "orvant %s", SM_RELEASE_TEXT);
      {
        std::lock_guard<std::mutex> lock(l->servers_lock);
        s.value1 = static_cast<int32_t>(l->servers.size());
      }
      s.value2 = l->config.config.max_connections;
      send_answer(client, [&s](XDR* x) { return xdr_SE_INSTANCE_STATUS(x, &s) != 0; });
      return;
    }
    case ORVANT_CMD_USERS: {
      std::vector<SE_INSTANCE_USER> users;
      {
        std::lock_guard<std::mutex> lock(l->servers_lock);
        for (const auto& e : l->servers) {
          SE_INSTANCE_USER u;
          memset(&u, 0, sizeof u);
          u.value1 = e.second.pid;
          u.value2 = e.second.start_time;
          PROC_INFO* p = SM_pinfo_find(l->sm, e.second.pid);
          u.value3 = p ? p->counters[0] : 0;
          copy_text(u.name1, sizeof u.name1, e.second.user);
          copy_text(u.name2, sizeof u.name2, e.second.client);
          copy_text(u.name3, sizeof u.name3, e.second.address);
          users.push_back(u);
        }
      }
      send_answer(client, [&users](XDR* x) {
        int32_t n = static_cast<int32_t>(users.size());
        if (!xdr_int(x, &n)) return false;
        for (SE_INSTANCE_USER& u : users)
          if (!xdr_SE_INSTANCE_USER(x, &u)) return false;
        return true;
      });
      return;
    }
    default:
      refuse(client);
  }
}

// ---- the request loop ----------------------------------------------------------

void serve_client(ORVANT* l, int client) {
  set_receive_wait(client, ORVANT_CLIENT_WAIT_MS);
  req4io r;
  memset(&r, 0, sizeof r);
  int32_t rc = read_request(client, &r);
  if (rc == SE_INVALID_PARAM) {
    refuse(client);
    return;
  }
  if (rc != 0) return;
  if (r.id == -1) {
    int32_t command = 0;
    if (SES_get_admin_command(client, &command) == 0) serve_command(l, client, command);
  } else {
    serve_connect(l, client, r);
  }
  xdr_free(reinterpret_cast<xdrproc_t>(xdr_req4io), reinterpret_cast<char*>(&r));
}

}  // namespace

// ---- open and close ------------------------------------------------------------

int32_t orvant_open(const ORVANT_OPTIONS* options, ORVANT** out) {
  if (!out) return SE_INVALID_POINTER;
  *out = nullptr;
  if (g_listener) return -1;
  ORVANT_OPTIONS none = {};
  const ORVANT_OPTIONS& o = options ? *options : none;
  ORVANT* l = new ORVANT();
  const char* inst = o.instance && *o.instance ? o.instance : getenv("ZULINSTANCE");
  l->instance = inst && *inst ? inst : SES_DEFAULT_SERVICE;
  std::string service = o.service && *o.service ? o.service : l->instance;
  if (o.start_wait_ms > 0) l->wait_ms = o.start_wait_ms;

  memset(&l->config, 0, sizeof l->config);
  if (get_home_path(&l->config) != 0 || read_configuration(&l->config, o.quiet) != 0) {
    delete l;
    return -1;
  }
  l->program = o.server_program && *o.server_program ? o.server_program
                                                     : std::string(l->config.config.home_path) + "/bin/nuvok";

  struct servent entry;
  uint16_t port;
  if (SES_GetServByName(service.c_str(), "tcp", &entry, nullptr)) {
    port = static_cast<uint16_t>(entry.s_port);
  } else if (service == SES_DEFAULT_SERVICE) {
    port = htons(SES_DEFAULT_PORT);
  } else {
    delete l;
    return SES_SERVICE_NOT_FOUND;
  }

  const SE_INSTANCE_CONFIG& k = l->config.config;
  int32_t rc = SM_master_create(nullptr, l->instance.c_str(), nullptr, k.max_connections, k.max_locks,
                                k.max_state_locks, k.max_table_locks, k.max_layers, k.max_registrations,
                                k.max_raster_columns, k.max_object_locks, nullptr, &l->sm);
  if (rc != 0) {
    fprintf(stderr, "orvant: cannot create the shared memory of %s (%d)\n", l->instance.c_str(), rc);
    delete l;
    return rc;
  }

  l->listen_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  sockaddr_in addr;
  memset(&addr, 0, sizeof addr);
  addr.sin_family = AF_INET;
  addr.sin_port = port;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  socklen_t alen = sizeof addr;
  if (l->listen_fd < 0 || setsockopt(l->listen_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
      bind(l->listen_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(l->listen_fd, 16) != 0 ||
      getsockname(l->listen_fd, reinterpret_cast<sockaddr*>(&addr), &alen) != 0 ||
      pipe2(l->stop_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    fprintf(stderr, "orvant: cannot listen on %s: %s\n", service.c_str(), strerror(errno));
    if (l->listen_fd >= 0) ::close(l->listen_fd);
    SM_master_destroy(l->sm);
    delete l;
    return SE_NET_FAILURE;
  }
  l->port = ntohs(addr.sin_port);

  g_listener = l;
  rc = SubPrograms_Initialize(nullptr, l->instance.c_str(), on_server_death);
  if (rc != 0) {
    g_listener = nullptr;
    ::close(l->listen_fd);
    ::close(l->stop_pipe[0]);
    ::close(l->stop_pipe[1]);
    SM_master_destroy(l->sm);
    delete l;
    return rc;
  }
  *out = l;
  return 0;
}

int32_t orvant_port(const ORVANT* l) { return l ? l->port : 0; }

int32_t orvant_serve(ORVANT* l) {
  if (!l) return SE_INVALID_POINTER;
  while (!l->stopping) {
    pollfd p[2] = {{l->listen_fd, POLLIN, 0}, {l->stop_pipe[0], POLLIN, 0}};
    int n = ::poll(p, 2, -1);
    if (n < 0) {
      if (errno == EINTR) continue;
      fprintf(stderr, "orvant: poll: %s\n", strerror(errno));
      return -1;
    }
    if (p[1].revents) break;
    if (!(p[0].revents & POLLIN)) continue;
    int client = accept4(l->listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    serve_client(l, client);
    ::close(client);
  }
  return 0;
}

void orvant_stop(ORVANT* l) {
  if (!l || l->stop_pipe[1] < 0) return;
  char byte = 1;
  ssize_t n = write(l->stop_pipe[1], &byte, 1);
  (void)n;
}

void orvant_close(ORVANT* l) {
  if (!l) return;
  std::vector<int32_t> pids;
  {
    std::lock_guard<std::mutex> lock(l->servers_lock);
    for (const auto& e : l->servers) pids.push_back(e.first);
  }
  // Servers are asked to stop first; one that has not ended within the start
  // wait is ended by force.
  for (int32_t pid : pids) SubPrograms_StopProgram(pid);
  for (int32_t pid : pids) {
    for (int waited = 0; waited < l->wait_ms && SubPrograms_ProgramAlive(pid) == 1; waited += 20) usleep(20000);
    if (SubPrograms_ProgramAlive(pid) == 1) SubPrograms_TerminateProgram(pid);
  }
  // Reports the servers still listed; their records go in the callback.
  SubPrograms_End();
  g_listener = nullptr;
  ::close(l->listen_fd);
  ::close(l->stop_pipe[0]);
  ::close(l->stop_pipe[1]);
  SM_master_destroy(l->sm);
  delete l;
}
