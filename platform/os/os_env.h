// os_env.h -- the process environment.
//
// Assignments are copied into the environment (setenv), never put there by
// pointer, so a caller's buffer may be freed or reused at once. As the
// Windows call does, an assignment with an empty value ("NAME=") removes the
// name. The environment is process-wide and unguarded: change it only while
// no other thread reads it (at start-up).
//
// Every function returns -1 on failure with errno set, unless stated.
#ifndef ZULOS_ENV_H
#define ZULOS_ENV_H

#ifdef __cplusplus
extern "C" {
#endif

// The value of name, or null when it is not set.
const char* zulos_env_get(const char* name);

// Sets name to value (replacing it); 0. A name that is empty or holds '='
// fails with EINVAL.
int zulos_env_set(const char* name, const char* value);

// Removes name; 0 (also when it was not set).
int zulos_env_unset(const char* name);

// Applies "NAME=VALUE": sets NAME, or removes it when VALUE is empty; 0. A
// text without '=' or with an empty name fails with EINVAL.
int zulos_env_put(const char* assignment);

#ifdef __cplusplus
}
#endif

#endif
