// fake_nuvok.cpp -- plays a server process towards the listener: checks its
// nine arguments, reads every start parameter from the pipe, reports back,
// and answers on the client socket it was given.
//
// The connect text (argument 3) chooses the part it plays:
//   "fail"    reports -51 with native code -911, "connect refused" and
//             "SQLSTATE=08004", and exits 3 (as a server whose instance open
//             failed);
//   "silent"  exits 5 without a report;
//   "lock"    as the default, and takes an area lock on layer 7 and a table
//             lock on table 3 before it reports;
//   other     attaches the instance's shared memory, adds its process
//             record, reports status 0, ports -1 and 0, its pid and the user
//             name, then takes and releases the general shared mutex once.
// On the client socket (start parameter 26) it then sends one frame (a
// native 4-byte length and the text) holding
// "wait=<ms>;fds=<d> ...;args=<1>|...|<8>;params=<n>=<v>;..." and waits until
// the client closes; wait is the socket's receive time-out as it came, fds
// the descriptors above 2 it had when it started.
#include <dirent.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "zul_local_io.h"
#include "zul_shared.h"
#include "zul_subprograms.h"

namespace {
enum Type { LONG, SHORT, STRING };
struct Param {
  int number;
  Type type;
};
// Start parameters in the order they travel; there is no parameter 7.
const Param kParams[] = {
    {1, STRING}, {2, LONG},   {3, LONG},   {4, LONG},   {5, LONG},   {6, LONG},   {8, LONG},
    {9, STRING}, {10, STRING}, {11, STRING}, {12, LONG}, {13, LONG}, {14, LONG}, {15, LONG},
    {16, LONG},  {17, LONG},  {18, LONG},  {19, LONG},  {20, LONG},  {21, LONG},  {22, LONG},
    {23, LONG},  {24, LONG},  {25, LONG},  {26, LONG},  {27, STRING}, {28, SHORT}, {29, SHORT},
    {30, LONG},
};

void on_stop() {}

// The descriptors above 2 open now, in rising order.
std::string open_descriptors() {
  std::vector<int> fds;
  DIR* d = opendir("/proc/self/fd");
  if (!d) return "?";
  int self = dirfd(d);
  while (struct dirent* e = readdir(d)) {
    int fd = atoi(e->d_name);
    if (e->d_name[0] != '.' && fd > 2 && fd != self) fds.push_back(fd);
  }
  closedir(d);
  std::sort(fds.begin(), fds.end());
  std::string text;
  for (int fd : fds) text += (text.empty() ? "" : " ") + std::to_string(fd);
  return text;
}
}  // namespace

int main(int argc, char** argv) {
  // What came from the listener, before anything of our own is opened.
  std::string inherited = open_descriptors();
  if (argc != 9) return 1;
  SubPrograms_OnStop(on_stop, argv[6]);
  LO_set_wait_ms(5000);
  int up = -1, down = -1;
  if (LO_open_client(argv[7], argv[8], &up, &down) != 0) return 2;
  std::string seen;
  int client = -1;
  for (const Param& p : kParams) {
    char text[1024];
    int32_t l = 0;
    int16_t s = 0;
    int32_t rc = p.type == LONG ? LO_read_long(down, &l)
               : p.type == SHORT ? LO_read_short(down, &s)
                                 : LO_read_string(down, text, sizeof text);
    if (rc != 0) {
      fprintf(stderr, "ERROR READING PARAM %d\n", p.number);
      return 2;
    }
    seen += std::to_string(p.number) + "=";
    seen += p.type == LONG ? std::to_string(l) : p.type == SHORT ? std::to_string(s) : std::string(text);
    seen += ";";
    if (p.number == 26) client = l;
  }
  std::string mode = argv[3];
  if (mode == "silent") return 5;
  if (mode == "fail") {
    if (LO_write_long(up, -51) || LO_write_long(up, -911) || LO_write_string(up, "connect refused") ||
        LO_write_string(up, "SQLSTATE=08004"))
      return 2;
    return 3;
  }
  SM_HANDLE* sm = nullptr;
  if (SM_server_open(nullptr, argv[1], nullptr, 0, nullptr, &sm) != 0 || SM_pinfo_add(sm, getpid()) != 0) {
    LO_write_long(up, -1);
    return 4;
  }
  if (mode == "lock") {
    SM_LOCK_ENVP area = {0, 0, 100, 100};
    if (SM_lock_add(sm, 7, SM_AREA_UPDATE_AREA, &area) != 0 || SM_table_lock_add(sm, 3, 2) != 0) {
      LO_write_long(up, -1);
      return 4;
    }
  }
  if (LO_write_long(up, 0) || LO_write_long(up, -1) || LO_write_long(up, 0) ||
      LO_write_long(up, static_cast<int32_t>(getpid())) || LO_write_string(up, argv[4]))
    return 2;
  LO_close(up);
  LO_close(down);
  // The listener answers the client first.
  SM_shared_mutex_lock(sm);
  SM_shared_mutex_unlock(sm);

  struct timeval wait = {0, 0};
  socklen_t wait_len = sizeof wait;
  if (getsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &wait, &wait_len) != 0) return 6;
  std::string text = "wait=" + std::to_string(wait.tv_sec * 1000 + wait.tv_usec / 1000) + ";fds=" + inherited + ";args=";
  for (int i = 1; i <= 8; ++i) text += std::string(argv[i]) + (i < 8 ? "|" : "");
  text += ";params=" + seen;
  int32_t len = static_cast<int32_t>(text.size());
  signal(SIGPIPE, SIG_IGN);
  if (write(client, &len, 4) != 4 || write(client, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
    return 6;
  char byte;
  while (read(client, &byte, 1) > 0) {
  }
  SM_server_close(sm);
  return 0;
}
