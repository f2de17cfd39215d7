// os_registry.h -- the machine registry: a tree of named keys, each holding
// named, typed values, kept in one file under the instance home.
//
// Contract:
// - The store is the file "$ZULHOME/etc/registry" (mode 0600: it holds
//   passwords). Its directory is made when missing; without ZULHOME every
//   call fails with ZULOS_ERROR_FILE_NOT_FOUND.
// - Key paths are relative to the machine root and use '\\' (or '/') between
//   names; empty names between separators are skipped, so "A\\B" and
//   "A\\\\B\\" name one key. An empty path names the root. Names compare
//   without regard to ASCII case and keep the case they were created with,
//   as the Windows registry does. Subkeys are enumerated in that order.
// - Every change reads the whole store, applies itself and writes a new file
//   that replaces the old one by rename, all under an exclusive lock on
//   "registry.lock" beside it. Two processes or threads that change the store
//   at once therefore lose nothing, and a failed write leaves the previous
//   store in place. Reads take the lock shared.
// - A handle names a key by its path; each call looks the key up afresh, so
//   a key deleted under an open handle answers ZULOS_ERROR_KEY_DELETED.
// - The store is read as hostile: its size, every name, every value and the
//   nesting are bounded (limits below), and a store that breaks them answers
//   ZULOS_ERROR_REGISTRY_CORRUPT rather than a half-read tree.
// - Not reproduced: security descriptors, volatile keys, change
//   notification, remote registries, the other root keys.
//
// Results are 0 or one of the Windows error numbers below (positive).
#ifndef ZULOS_REGISTRY_H
#define ZULOS_REGISTRY_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Windows error numbers answered by the registry and the service table.
#define ZULOS_ERROR_FILE_NOT_FOUND      2     // no such key or value
#define ZULOS_ERROR_ACCESS_DENIED       5     // store not writable; key with subkeys
#define ZULOS_ERROR_NOT_ENOUGH_MEMORY   8
#define ZULOS_ERROR_INVALID_PARAMETER   87    // null or over-long name or data
#define ZULOS_ERROR_MORE_DATA           234   // buffer too small; the size is given back
#define ZULOS_ERROR_NO_MORE_ITEMS       259   // enumeration index past the end
#define ZULOS_ERROR_REGISTRY_CORRUPT    1015  // the store breaks its own format
#define ZULOS_ERROR_REGISTRY_IO_FAILED  1016  // reading or writing the store failed
#define ZULOS_ERROR_KEY_DELETED         1018  // the handle's key is gone

// Value types.
#define ZULOS_REG_SZ          1   // text, terminating zero included
#define ZULOS_REG_EXPAND_SZ   2   // text with %NAME% references, stored as given
#define ZULOS_REG_BINARY      3
#define ZULOS_REG_DWORD       4   // 32-bit little-endian number
#define ZULOS_REG_MULTI_SZ    7   // texts each ending in zero, then one more zero

// Limits of the store, checked on every change and on every read.
#define ZULOS_REG_NAME_MAX    255        // one key name, in bytes (as Windows)
#define ZULOS_REG_DEPTH_MAX   32         // key names in one path
#define ZULOS_REG_VALUE_NAME_MAX 1024    // value name, in bytes
#define ZULOS_REG_DATA_MAX    65536      // one value's data: keeps a value one read
#define ZULOS_REG_FILE_MAX    (16 << 20) // the whole store: bounds what a read allocates

typedef struct zulos_regkey zulos_regkey;

// Opens the key at path, creating it and any missing key above it; *out is
// a handle to close with zulos_reg_close. 0 or an error.
int zulos_reg_create_key(const char* path, zulos_regkey** out);

// Opens an existing key; ZULOS_ERROR_FILE_NOT_FOUND when there is none.
int zulos_reg_open_key(const char* path, zulos_regkey** out);

// Releases a handle (null is accepted).
void zulos_reg_close(zulos_regkey* key);

// Sets (creates or replaces) the value name of key. An empty name is the
// key's default value. 0 or an error.
int zulos_reg_set_value(zulos_regkey* key, const char* name, uint32_t type, const void* data, uint32_t len);

// One value of a batch change.
struct zulos_reg_value {
  const char* name;
  uint32_t type;
  const void* data;
  uint32_t len;
};

// Sets n values of key in one change: all of them or none.
int zulos_reg_set_values(zulos_regkey* key, const struct zulos_reg_value* values, int n);

// Reads the value name of key. type may be null. *len holds buf's capacity
// on entry and the value's length on return; when the value does not fit
// (or buf is null) the answer is ZULOS_ERROR_MORE_DATA with the length
// needed in *len and buf untouched.
int zulos_reg_query_value(zulos_regkey* key, const char* name, uint32_t* type, void* buf, uint32_t* len);

// Deletes the value name of key; ZULOS_ERROR_FILE_NOT_FOUND when absent.
int zulos_reg_delete_value(zulos_regkey* key, const char* name);

// Writes the name of the index-th subkey of key (from 0) into name (cap
// bytes); ZULOS_ERROR_NO_MORE_ITEMS past the last one, ZULOS_ERROR_MORE_DATA
// when the name does not fit.
int zulos_reg_enum_key(zulos_regkey* key, uint32_t index, char* name, size_t cap);

// Deletes the subkey sub of key (sub may be a path below key). Refused with
// ZULOS_ERROR_ACCESS_DENIED while it has subkeys, as Windows does; the root
// cannot be deleted (ZULOS_ERROR_INVALID_PARAMETER).
int zulos_reg_delete_key(zulos_regkey* key, const char* sub);

// Deletes sub of key with everything below it, in one change.
int zulos_reg_delete_tree(zulos_regkey* key, const char* sub);

// Writes the path of the store file into out (cap bytes); 0 or an error.
int zulos_reg_store_path(char* out, size_t cap);

#ifdef __cplusplus
}
#endif

#endif
