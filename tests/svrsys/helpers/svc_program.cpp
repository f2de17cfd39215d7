// svc_program.cpp -- a service program for the service tests.
//
// Started by the service table, it reads its start arguments, writes them to
// "$ZULHOME/<service>.args" (the data text, then the password restored from
// its transfer form, one a line) and then behaves as the data text asks:
//   "die"   ends with status 3 before it reports anything;
//   "slow"  reports START_PENDING with a 3 s wait hint, takes 1.5 s, then runs;
//   other   reports RUNNING at once.
// Running, it waits for the stop control (SIGTERM), reports STOP_PENDING and
// STOPPED, and ends.
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "zul_service.h"
#include "zulos.h"

int main(int argc, char** argv) {
  sigset_t term;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  sigprocmask(SIG_BLOCK, &term, nullptr);

  zulos_svc_program p;
  if (zulos_svc_program_attach(argc, argv, &p) != 0) return 2;
  std::string mode = p.argc > 0 ? p.argv[0] : "";
  char password[1100] = "<bad form>";
  if (p.argc > 1 && SES_password_unscramble(p.argv[1], password, sizeof password) != 0)
    snprintf(password, sizeof password, "<bad form>");
  const char* home = getenv("ZULHOME");
  if (home != nullptr) {
    std::string path = std::string(home) + "/" + p.name + ".args";
    if (FILE* f = fopen(path.c_str(), "w")) {
      fprintf(f, "%s\n%s\n", mode.c_str(), password);
      fclose(f);
    }
  }
  if (mode == "die") {
    zulos_svc_program_free(&p);
    return 3;
  }
  if (mode == "slow") {
    zulos_svc_report(p.name, ZULOS_SERVICE_START_PENDING, 3000);
    zulos_sleep_ms(1500);
  }
  zulos_svc_report(p.name, ZULOS_SERVICE_RUNNING, 0);
  int sig = 0;
  sigwait(&term, &sig);
  zulos_svc_report(p.name, ZULOS_SERVICE_STOP_PENDING, 1000);
  zulos_svc_report(p.name, ZULOS_SERVICE_STOPPED, 0);
  zulos_svc_program_free(&p);
  return 0;
}
