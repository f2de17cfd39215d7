// ch_nuvok_params.cpp -- plays a server process's side of the listener link:
// opens the client ends of the two pipes (argv[1] to the listener, argv[2]
// from it), reads the start parameters in their order, and reports back.
//
// When parameter 9 (the home directory) is "fail", it reports the failure
// -51 with native code -911, the message "home refused" and, as extended
// message, every parameter it read; otherwise status 0, ports 1 and 2, its
// process id and the user name "zul". Exit code 0 when the exchange worked,
// 2 when a parameter could not be read (as the server does).
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "zul_local_io.h"

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
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 1;
  LO_set_wait_ms(5000);
  int to_listener = -1, from_listener = -1;
  if (LO_open_client(argv[1], argv[2], &to_listener, &from_listener) != 0) return 2;
  std::string seen, home;
  for (const Param& p : kParams) {
    char text[1024];
    int32_t l = 0;
    int16_t s = 0;
    int32_t rc = p.type == LONG ? LO_read_long(from_listener, &l)
               : p.type == SHORT ? LO_read_short(from_listener, &s)
                                 : LO_read_string(from_listener, text, sizeof text);
    if (rc != 0) {
      fprintf(stderr, "ERROR READING PARAM %d\n", p.number);
      return 2;
    }
    seen += std::to_string(p.number) + "=";
    seen += p.type == LONG ? std::to_string(l) : p.type == SHORT ? std::to_string(s) : std::string(text);
    seen += ";";
    if (p.number == 9) home = text;
  }
  if (home == "fail") {
    if (LO_write_long(to_listener, -51) || LO_write_long(to_listener, -911) ||
        LO_write_string(to_listener, "home refused") || LO_write_string(to_listener, seen.c_str()))
      return 2;
  } else {
    if (LO_write_long(to_listener, 0) || LO_write_long(to_listener, 5151) || LO_write_long(to_listener, 0) ||
        LO_write_long(to_listener, static_cast<int32_t>(getpid())) || LO_write_string(to_listener, "zul"))
      return 2;
  }
  LO_close(to_listener);
  LO_close(from_listener);
  return 0;
}
