// os_env.cpp -- the process environment (see os_env.h).
#include "os_env.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <string>

const char* zulos_env_get(const char* name) {
  if (name == nullptr || name[0] == '\0') return nullptr;
  return getenv(name);
}

int zulos_env_set(const char* name, const char* value) {
  if (name == nullptr || name[0] == '\0' || strchr(name, '=') != nullptr || value == nullptr) {
    errno = EINVAL;
    return -1;
  }
  return setenv(name, value, 1);
}

int zulos_env_unset(const char* name) {
  if (name == nullptr || name[0] == '\0' || strchr(name, '=') != nullptr) {
    errno = EINVAL;
    return -1;
  }
  return unsetenv(name);
}

int zulos_env_put(const char* assignment) {
  const char* eq = assignment != nullptr ? strchr(assignment, '=') : nullptr;
  if (eq == nullptr || eq == assignment) {
    errno = EINVAL;
    return -1;
  }
  std::string name(assignment, static_cast<size_t>(eq - assignment));
  if (eq[1] == '\0') return unsetenv(name.c_str());
  return setenv(name.c_str(), eq + 1, 1);
}
