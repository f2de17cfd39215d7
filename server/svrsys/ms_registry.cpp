// ms_registry.cpp -- the registry settings of instances: values of an
// instance's key under the product key, the list of registered instances,
// and the event-log source keys (see zul_service.h).
//
// Relies on the registry of the OS layer (os_registry.h). Every failure is
// printed to standard error with the registry's error number and answers -1.
// Service names are single key names: a name holding a key separator would
// reach keys outside its own, so it is refused as the registry refuses an
// invalid name.
#include "zul_service.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "zul_status.h"
#include "zulos.h"

namespace {

// An open registry key, closed when it goes out of scope.
class RegKey {
 public:
  ~RegKey() { zulos_reg_close(k_); }
  zulos_regkey** out() { return &k_; }
  zulos_regkey* get() const { return k_; }

 private:
  zulos_regkey* k_ = nullptr;
};

std::string product_key() {
  char buf[256];
  snprintf(buf, sizeof buf, SES_PRODUCT_KEY_FMT, SES_PRODUCT_KEY_BASE, SES_PRODUCT_KEY_DBMS);
  return buf;
}

bool has_separator(const char* name) { return strchr(name, '\\') != nullptr || strchr(name, '/') != nullptr; }

// The key path of a service (the product key for none); false for a name
// that is not a single key name.
bool instance_key(const char* service, std::string* path) {
  *path = product_key();
  if (service == nullptr || *service == '\0') return true;
  if (has_separator(service) || strlen(service) > ZULOS_REG_NAME_MAX) return false;
  *path += "\\";
  *path += service;
  return true;
}

bool eventlog_key(const char* service, std::string* path) {
  if (has_separator(service) || strlen(service) > ZULOS_REG_NAME_MAX) return false;
  char buf[512];
  snprintf(buf, sizeof buf, SES_EVENTLOG_KEY_FMT, service);
  *path = buf;
  return true;
}

// Reads a value whole and gives it as a text: up to its first zero byte, so
// texts stored with their zero and binary data without one read alike.
// 0 or a registry error; ZULOS_ERROR_MORE_DATA when it needs more than cap
// bytes with its zero.
int read_value_text(zulos_regkey* key, const char* name, char* out, size_t cap) {
  char first[SES_KEY_VALUE_LEN];
  uint32_t len = sizeof first;
  std::vector<char> big;
  const char* data = first;
  int err = zulos_reg_query_value(key, name, nullptr, first, &len);
  if (err == ZULOS_ERROR_MORE_DATA) {
    // Longer than the first buffer: a second read with the size it asked for.
    big.resize(len);
    err = zulos_reg_query_value(key, name, nullptr, big.data(), &len);
    data = big.data();
  }
  if (err != 0) return err;
  const void* zero = memchr(data, '\0', len);
  size_t n = zero ? static_cast<size_t>(static_cast<const char*>(zero) - data) : len;
  if (n >= cap) return ZULOS_ERROR_MORE_DATA;
  memcpy(out, data, n);
  out[n] = '\0';
  return 0;
}

// Fills one list record from the instance's key; absent values stay empty.
int fill_record(const std::string& name, SES_SERVICE_LIST* rec) {
  std::string path;
  if (!instance_key(name.c_str(), &path) || name.size() >= sizeof rec->service) return ZULOS_ERROR_INVALID_PARAMETER;
  RegKey key;
  int err = zulos_reg_open_key(path.c_str(), key.out());
  if (err != 0) {
    fprintf(stderr, "Error opening %s key (%d)\n", path.c_str(), err);
    return err;
  }
  memcpy(rec->service, name.c_str(), name.size() + 1);
  struct Field {
    const char* value;
    char* out;
    size_t cap;
  } fields[] = {
      {SES_VALUE_DESCRIPTION, rec->description, sizeof rec->description},
      {SES_VALUE_HOME, rec->home, sizeof rec->home},
      {SES_VALUE_NLS_LANG, rec->nls_lang, sizeof rec->nls_lang},
  };
  for (const Field& f : fields) {
    err = read_value_text(key.get(), f.value, f.out, f.cap);
    if (err == ZULOS_ERROR_FILE_NOT_FOUND) continue;
    if (err != 0) {
      fprintf(stderr, "Error reading %s key (%d)\n", f.value, err);
      return err;
    }
  }
  return 0;
}

}  // namespace

int32_t SES_RegisterKey(const char* service, const char* value_name, const char* text) {
  std::string path;
  if (!instance_key(service, &path)) {
    fprintf(stderr, "Error opening/creating %s key (%d)\n", service, ZULOS_ERROR_INVALID_NAME);
    return -1;
  }
  RegKey key;
  int err = zulos_reg_create_key(path.c_str(), key.out());
  if (err != 0) {
    fprintf(stderr, "Error opening/creating %s key (%d)\n", path.c_str(), err);
    return -1;
  }
  if (value_name == nullptr || text == nullptr) {
    err = ZULOS_ERROR_INVALID_PARAMETER;
  } else if (strcmp(value_name, SES_VALUE_DBA_PASSWORD) == 0) {
    err = zulos_reg_set_value(key.get(), value_name, ZULOS_REG_BINARY, text, static_cast<uint32_t>(strlen(text)));
  } else {
    size_t len = strlen(text) + 1;
    err = len > ZULOS_REG_DATA_MAX
              ? ZULOS_ERROR_INVALID_PARAMETER
              : zulos_reg_set_value(key.get(), value_name, ZULOS_REG_SZ, text, static_cast<uint32_t>(len));
  }
  if (err != 0) {
    fprintf(stderr, "Error setting %s key (%d)\n", value_name ? value_name : "(null)", err);
    return -1;
  }
  return 0;
}

int32_t SES_UnRegisterKey(const char* service, const char* value_name) {
  std::string path;
  RegKey key;
  int err = instance_key(service, &path) ? zulos_reg_open_key(path.c_str(), key.out()) : ZULOS_ERROR_INVALID_NAME;
  if (err != 0) {
    fprintf(stderr, "Error opening/deleting %s key (%d)\n", path.c_str(), err);
    return -1;
  }
  err = value_name ? zulos_reg_delete_value(key.get(), value_name) : ZULOS_ERROR_INVALID_PARAMETER;
  if (err != 0) {
    fprintf(stderr, "Error Deleting  %s key (%d)\n", value_name ? value_name : "(null)", err);
    return -1;
  }
  return 0;
}

int32_t SES_GetKeyValue(const char* service, const char* value_name, char* text) {
  if (text == nullptr) return -1;
  text[0] = '\0';
  std::string path;
  RegKey key;
  int err = instance_key(service, &path) ? zulos_reg_open_key(path.c_str(), key.out()) : ZULOS_ERROR_INVALID_NAME;
  if (err != 0) {
    fprintf(stderr, "Error opening %s key (%d)\n", path.c_str(), err);
    return -1;
  }
  if (value_name == nullptr) return -1;
  err = read_value_text(key.get(), value_name, text, SES_KEY_VALUE_LEN);
  if (err != 0) {
    text[0] = '\0';
    return -1;
  }
  return 0;
}

int32_t SES_DeleteInstanceKey(const char* service) {
  RegKey product;
  if (zulos_reg_open_key(product_key().c_str(), product.out()) != 0) {
    fprintf(stderr, "Error opening instance key\n");
    return -1;
  }
  if (service == nullptr || *service == '\0') {
    fprintf(stderr, "Invalid Key name\n");
    return -1;
  }
  std::string path;
  RegKey key;
  if (!instance_key(service, &path) || zulos_reg_open_key(path.c_str(), key.out()) != 0) {
    fprintf(stderr, "Error opening %s key\n", service);
    return -1;
  }
  // Depth first: while the key has a subkey, descend into its first one;
  // a key without subkeys is deleted and the walk starts over from the top.
  for (;;) {
    std::string rel;
    char name[ZULOS_REG_NAME_MAX + 1];
    for (int depth = 0; depth <= ZULOS_REG_DEPTH_MAX; ++depth) {
      RegKey at;
      std::string at_path = rel.empty() ? path : path + "\\" + rel;
      if (zulos_reg_open_key(at_path.c_str(), at.out()) != 0) return -1;
      if (zulos_reg_enum_key(at.get(), 0, name, sizeof name) != 0) break;
      rel = rel.empty() ? std::string(name) : rel + "\\" + name;
    }
    if (rel.empty()) break;
    if (zulos_reg_delete_key(key.get(), rel.c_str()) != 0) return -1;
  }
  if (zulos_reg_delete_key(product.get(), service) != 0) return -1;
  return 0;
}

int32_t SES_RegisterService(const char* service, const char* description, const char* home,
                            const char* dba_password, const char*, const char*, const char* sid) {
  struct Item {
    const char* value;
    const char* text;
  } items[] = {
      {SES_VALUE_DESCRIPTION, description},
      {SES_VALUE_HOME, home},
      {SES_VALUE_DBA_PASSWORD, dba_password},
      {SES_VALUE_SID, sid},
  };
  for (const Item& it : items) {
    if (&it == &items[3] && (sid == nullptr || *sid == '\0')) continue;  // the SID only when given
    int32_t rc = SES_RegisterKey(service, it.value, it.text);
    if (rc != 0) {
      fprintf(stderr, "Error registering service '%s'\n", it.value);
      return rc;
    }
  }
  return 0;
}

int32_t SES_ListService(const char* service, int32_t* count, SES_SERVICE_LIST** records) {
  if (count == nullptr || records == nullptr) return -1;
  *count = 0;
  *records = nullptr;
  std::vector<std::string> names;
  try {
    if (service != nullptr && *service != '\0') {
      names.emplace_back(service);
    } else {
      std::string path = product_key();
      RegKey key;
      int err = zulos_reg_open_key(path.c_str(), key.out());
      if (err != 0) {
        fprintf(stderr, "Error opening %s key (%d)\n", path.c_str(), err);
        return -1;
      }
      char name[ZULOS_REG_NAME_MAX + 1];
      for (uint32_t i = 0;; ++i) {
        err = zulos_reg_enum_key(key.get(), i, name, sizeof name);
        if (err == ZULOS_ERROR_NO_MORE_ITEMS) break;
        if (err != 0) {
          fprintf(stderr, "Error opening %s key (%d)\n", path.c_str(), err);
          return -1;
        }
        names.emplace_back(name);
      }
    }
  } catch (const std::bad_alloc&) {
    return -1;
  }
  if (names.empty()) return 0;
  SES_SERVICE_LIST* list = static_cast<SES_SERVICE_LIST*>(calloc(names.size(), sizeof(SES_SERVICE_LIST)));
  if (list == nullptr) return -1;
  for (size_t i = 0; i < names.size(); ++i) {
    if (fill_record(names[i], &list[i]) != 0) {
      free(list);
      return -1;
    }
  }
  *count = static_cast<int32_t>(names.size());
  *records = list;
  return 0;
}

int32_t SES_RegisterEventLog(const char* service, const char* message_file) {
  if (service == nullptr || *service == '\0' || message_file == nullptr) return SE_INVALID_POINTER;
  std::string path;
  RegKey key;
  int err = eventlog_key(service, &path) ? zulos_reg_create_key(path.c_str(), key.out()) : ZULOS_ERROR_INVALID_NAME;
  if (err != 0) {
    fprintf(stderr, "Error opening/creating %s key (%d)\n", path.empty() ? service : path.c_str(), err);
    return -1;
  }
  const unsigned char types[4] = {7, 0, 0, 0};  // error, warning and information
  err = zulos_reg_set_value(key.get(), "TypesSupported", ZULOS_REG_DWORD, types, 4);
  if (err != 0) {
    fprintf(stderr, "Error setting TypesSupported value (%d)\n", err);
    return -1;
  }
  size_t len = strlen(message_file) + 1;
  err = len > ZULOS_REG_DATA_MAX ? ZULOS_ERROR_INVALID_PARAMETER
                                 : zulos_reg_set_value(key.get(), "EventMessageFile", ZULOS_REG_EXPAND_SZ,
                                                       message_file, static_cast<uint32_t>(len));
  if (err != 0) {
    fprintf(stderr, "Error setting EventMessageFile value (%d)\n", err);
    return -1;
  }
  return 0;
}

int32_t SES_UnRegisterEventLog(const char* service) {
  if (service == nullptr || *service == '\0') return SE_INVALID_POINTER;
  std::string path;
  RegKey key;
  if (!eventlog_key(service, &path) || zulos_reg_open_key(path.c_str(), key.out()) != 0) {
    fprintf(stderr, "Error opening eventlog key\n");
    return -1;
  }
  return zulos_reg_delete_tree(key.get(), "") == 0 ? 0 : -1;
}
