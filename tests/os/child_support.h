// child_support.h -- what the os tests share to drive the helper child
// (os_proc_child): its path, per-run object names, and a start that waits
// until the child has set up what it was asked to hold. Header-only, since
// the child's path comes from the tests' own compile definitions.
#ifndef ZUL_TESTS_OS_CHILD_SUPPORT_H
#define ZUL_TESTS_OS_CHILD_SUPPORT_H

#include "zulos.h"

#include <string.h>
#include <unistd.h>

#include <string>

inline const std::string kChild = std::string(ZUL_BIN_DIR) + "/os_proc_child";

// what + "_" + this process's id, so that concurrent test runs never share a
// named object.
inline std::string unique(const char* what) { return std::string(what) + "_" + std::to_string(getpid()); }

// Starts os_proc_child <mode> <name> with its standard output on a pipe and
// waits for its "ready" line. True when the child started and said ready.
// The test's own standard output is restored before the line is read.
inline bool start_ready(const char* mode, const std::string& name, zulos_process* p) {
  int out[2];
  if (pipe(out) != 0) return false;
  int saved = dup(1);
  dup2(out[1], 1);
  const char* argv[] = {kChild.c_str(), mode, name.c_str(), nullptr};
  zulos_spawn_spec spec = {kChild.c_str(), argv, -1};
  int rc = zulos_spawn(&spec, p);
  dup2(saved, 1);
  close(saved);
  close(out[1]);
  char buf[16] = {0};
  bool ok = rc == 0 && read(out[0], buf, 6) == 6 && strncmp(buf, "ready", 5) == 0;
  close(out[0]);
  return ok;
}

#endif
