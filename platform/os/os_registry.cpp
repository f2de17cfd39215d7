// os_registry.cpp -- the registry store (see os_registry.h): a key tree read
// from and written to one file under the instance home.
//
// Relies on the system-call table for open, read, write, fsync, rename and
// unlink, so tests can make the store's I/O fail at a chosen call.
//
// Notes:
// 1. The store file is text, one record a line, all names and data in hex so
//    that no byte of a name or value needs escaping:
//      "zulreg 1"                          first line
//      "K <hex path>"                      a key (names joined by '\')
//      "V <type> <hex name> <hex data>"    a value of the last key line
//    A "K" line makes the keys above it too, so the order of keys is free.
// 2. A change holds the exclusive lock from before it reads the store until
//    after the rename, so no other change can slip between the read and the
//    write. The new file is written beside the old one, synced, then renamed
//    over it: a reader sees either the old store or the new one.
// 3. A missing store is an empty tree with only the root.
#include "os_registry.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "os_syscalls.h"

struct zulos_regkey {
  std::vector<std::string> path;  // names from the root
};

namespace {

struct CaseLess {
  bool operator()(const std::string& a, const std::string& b) const { return strcasecmp(a.c_str(), b.c_str()) < 0; }
};

struct RegValue {
  uint32_t type = 0;
  std::string data;
};

struct RegKey {
  std::map<std::string, std::unique_ptr<RegKey>, CaseLess> sub;
  std::map<std::string, RegValue, CaseLess> values;
};

// ---- paths and names ------------------------------------------------------

// Splits a key path into its names; false when a name or the depth breaks a
// limit.
bool split_path(const char* path, std::vector<std::string>* out) {
  out->clear();
  if (path == nullptr) return true;
  std::string cur;
  for (const char* p = path;; ++p) {
    if (*p == '\\' || *p == '/' || *p == '\0') {
      if (!cur.empty()) {
        if (cur.size() > ZULOS_REG_NAME_MAX || out->size() >= ZULOS_REG_DEPTH_MAX) return false;
        out->push_back(cur);
        cur.clear();
      }
      if (*p == '\0') break;
    } else {
      cur.push_back(*p);
    }
  }
  return true;
}

RegKey* find_key(RegKey* root, const std::vector<std::string>& path) {
  RegKey* k = root;
  for (const std::string& name : path) {
    auto it = k->sub.find(name);
    if (it == k->sub.end()) return nullptr;
    k = it->second.get();
  }
  return k;
}

RegKey* make_key(RegKey* root, const std::vector<std::string>& path, bool* made) {
  RegKey* k = root;
  for (const std::string& name : path) {
    auto it = k->sub.find(name);
    if (it == k->sub.end()) {
      it = k->sub.emplace(name, std::make_unique<RegKey>()).first;
      if (made) *made = true;
    }
    k = it->second.get();
  }
  return k;
}

// ---- the store file ----------------------------------------------------------

int store_dir(std::string* dir) {
  const char* home = getenv("ZULHOME");
  if (home == nullptr || *home == '\0') return ZULOS_ERROR_FILE_NOT_FOUND;
  *dir = std::string(home) + "/etc";
  if (dir->size() > 3800) return ZULOS_ERROR_INVALID_PARAMETER;
  return 0;
}

int errno_to_error(int err) {
  if (err == EACCES || err == EPERM || err == EROFS) return ZULOS_ERROR_ACCESS_DENIED;
  if (err == ENOENT || err == ENOTDIR) return ZULOS_ERROR_FILE_NOT_FOUND;
  if (err == ENOMEM) return ZULOS_ERROR_NOT_ENOUGH_MEMORY;
  return ZULOS_ERROR_REGISTRY_IO_FAILED;
}

// The lock of the store, held for the life of the object.
class StoreLock {
 public:
  StoreLock(const std::string& dir, bool exclusive) {
    struct stat st;
    if (stat(dir.c_str(), &st) != 0) {
      if (errno != ENOENT || mkdir(dir.c_str(), 0700) != 0) {
        if (errno != EEXIST) {
          err_ = errno_to_error(errno);
          return;
        }
      }
    }
    std::string path = dir + "/registry.lock";
    fd_ = zulos_sys.open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) {
      err_ = errno_to_error(errno);
      return;
    }
    int rc;
    do {
      rc = flock(fd_, exclusive ? LOCK_EX : LOCK_SH);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) err_ = errno_to_error(errno);
  }
  ~StoreLock() {
    if (fd_ >= 0) zulos_sys.close(fd_);  // closing drops the lock
  }
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;
  int error() const { return err_; }

 private:
  int fd_ = -1;
  int err_ = 0;
};

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool unhex(const char* p, size_t len, size_t max, std::string* out) {
  if (len % 2 != 0 || len / 2 > max) return false;
  out->assign(len / 2, '\0');
  for (size_t i = 0; i < len; i += 2) {
    int hi = hex_digit(p[i]);
    int lo = hex_digit(p[i + 1]);
    if (hi < 0 || lo < 0) return false;
    (*out)[i / 2] = static_cast<char>(hi * 16 + lo);
  }
  return true;
}

void put_hex(std::string* out, const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  for (unsigned char c : bytes) {
    out->push_back(kDigits[c >> 4]);
    out->push_back(kDigits[c & 15]);
  }
}

// Parses the store text into root; false when the text breaks the format or
// a limit.
bool parse_store(const std::string& text, RegKey* root) {
  static const char kHead[] = "zulreg 1\n";
  if (text.compare(0, sizeof kHead - 1, kHead) != 0) return false;
  size_t pos = sizeof kHead - 1;
  RegKey* cur = root;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) return false;  // a cut-off last line
    const char* line = text.data() + pos;
    size_t len = end - pos;
    pos = end + 1;
    if (len >= 2 && line[0] == 'K' && line[1] == ' ') {
      std::string path;
      if (!unhex(line + 2, len - 2, (ZULOS_REG_NAME_MAX + 1) * ZULOS_REG_DEPTH_MAX, &path)) return false;
      if (path.find('\0') != std::string::npos) return false;
      std::vector<std::string> names;
      if (!split_path(path.c_str(), &names)) return false;
      cur = make_key(root, names, nullptr);
    } else if (len >= 2 && line[0] == 'V' && line[1] == ' ') {
      const char* p = line + 2;
      const char* stop = line + len;
      const char* sp1 = static_cast<const char*>(memchr(p, ' ', static_cast<size_t>(stop - p)));
      if (sp1 == nullptr || sp1 == p || sp1 - p > 10) return false;
      uint64_t type = 0;
      for (const char* q = p; q < sp1; ++q) {
        if (*q < '0' || *q > '9') return false;
        type = type * 10 + static_cast<uint64_t>(*q - '0');
      }
      if (type > UINT32_MAX) return false;
      const char* nm = sp1 + 1;
      const char* sp2 = static_cast<const char*>(memchr(nm, ' ', static_cast<size_t>(stop - nm)));
      if (sp2 == nullptr) return false;
      std::string name, data;
      if (!unhex(nm, static_cast<size_t>(sp2 - nm), ZULOS_REG_VALUE_NAME_MAX, &name)) return false;
      if (name.find('\0') != std::string::npos) return false;
      if (!unhex(sp2 + 1, static_cast<size_t>(stop - sp2 - 1), ZULOS_REG_DATA_MAX, &data)) return false;
      RegValue& v = cur->values[name];
      v.type = static_cast<uint32_t>(type);
      v.data.swap(data);
    } else {
      return false;
    }
  }
  return true;
}

void write_key(std::string* out, const std::string& path, const RegKey& k) {
  out->append("K ");
  put_hex(out, path);
  out->push_back('\n');
  for (const auto& v : k.values) {
    out->append("V ");
    out->append(std::to_string(v.second.type));
    out->push_back(' ');
    put_hex(out, v.first);
    out->push_back(' ');
    put_hex(out, v.second.data);
    out->push_back('\n');
  }
  for (const auto& s : k.sub) write_key(out, path.empty() ? s.first : path + "\\" + s.first, *s.second);
}

// Reads the store into root (the caller holds the lock).
int load_store(const std::string& dir, RegKey* root) {
  std::string path = dir + "/registry";
  int fd = zulos_sys.open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return errno == ENOENT ? 0 : errno_to_error(errno);
  std::string text;
  char buf[65536];
  int err = 0;
  for (;;) {
    ssize_t n = zulos_sys.read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno_to_error(errno);
      break;
    }
    if (n == 0) break;
    if (text.size() + static_cast<size_t>(n) > ZULOS_REG_FILE_MAX) {
      err = ZULOS_ERROR_REGISTRY_CORRUPT;
      break;
    }
    text.append(buf, static_cast<size_t>(n));
  }
  zulos_sys.close(fd);
  if (err != 0) return err;
  if (text.empty()) return 0;
  if (!parse_store(text, root)) return ZULOS_ERROR_REGISTRY_CORRUPT;
  return 0;
}

// Writes root as the new store (the caller holds the exclusive lock).
int save_store(const std::string& dir, const RegKey& root) {
  std::string text = "zulreg 1\n";
  write_key(&text, "", root);
  if (text.size() > ZULOS_REG_FILE_MAX) return ZULOS_ERROR_REGISTRY_IO_FAILED;
  std::string path = dir + "/registry";
  std::string tmp = path + ".new";  // one writer at a time: the lock is held
  int fd = zulos_sys.open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return errno_to_error(errno);
  fchmod(fd, 0600);
  size_t done = 0;
  int err = 0;
  while (done < text.size()) {
    ssize_t n = zulos_sys.write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno_to_error(errno);
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (err == 0 && zulos_sys.fsync(fd) != 0) err = errno_to_error(errno);
  if (zulos_sys.close(fd) != 0 && err == 0) err = errno_to_error(errno);
  if (err == 0 && zulos_sys.rename(tmp.c_str(), path.c_str()) != 0) err = errno_to_error(errno);
  if (err != 0) zulos_sys.unlink(tmp.c_str());
  return err;
}

// Runs fn on the loaded tree under the lock; when fn asks for it (by setting
// *dirty) the tree is written back before the lock is dropped.
template <typename Fn>
int with_store(bool exclusive, Fn fn) {
  std::string dir;
  int err = store_dir(&dir);
  if (err != 0) return err;
  try {
    StoreLock lock(dir, exclusive);
    if (lock.error() != 0) return lock.error();
    RegKey root;
    err = load_store(dir, &root);
    if (err != 0) return err;
    bool dirty = false;
    err = fn(&root, &dirty);
    if (err == 0 && dirty && exclusive) err = save_store(dir, root);
    return err;
  } catch (const std::bad_alloc&) {
    return ZULOS_ERROR_NOT_ENOUGH_MEMORY;
  }
}

int open_handle(const char* path, bool create, zulos_regkey** out) {
  if (out == nullptr) return ZULOS_ERROR_INVALID_PARAMETER;
  *out = nullptr;
  std::vector<std::string> names;
  try {
    if (!split_path(path, &names)) return ZULOS_ERROR_INVALID_PARAMETER;
  } catch (const std::bad_alloc&) {
    return ZULOS_ERROR_NOT_ENOUGH_MEMORY;
  }
  int err = with_store(create, [&](RegKey* root, bool* dirty) {
    if (create) {
      make_key(root, names, dirty);
      return 0;
    }
    return find_key(root, names) ? 0 : ZULOS_ERROR_FILE_NOT_FOUND;
  });
  if (err != 0) return err;
  zulos_regkey* k = new (std::nothrow) zulos_regkey;
  if (k == nullptr) return ZULOS_ERROR_NOT_ENOUGH_MEMORY;
  k->path.swap(names);
  *out = k;
  return 0;
}

bool value_name_ok(const char* name) { return name == nullptr || strlen(name) <= ZULOS_REG_VALUE_NAME_MAX; }

}  // namespace

int zulos_reg_create_key(const char* path, zulos_regkey** out) { return open_handle(path, true, out); }

int zulos_reg_open_key(const char* path, zulos_regkey** out) { return open_handle(path, false, out); }

void zulos_reg_close(zulos_regkey* key) { delete key; }

int zulos_reg_set_values(zulos_regkey* key, const struct zulos_reg_value* values, int n) {
  if (key == nullptr || n < 0 || (n > 0 && values == nullptr)) return ZULOS_ERROR_INVALID_PARAMETER;
  for (int i = 0; i < n; ++i) {
    if (!value_name_ok(values[i].name) || values[i].len > ZULOS_REG_DATA_MAX ||
        (values[i].len > 0 && values[i].data == nullptr))
      return ZULOS_ERROR_INVALID_PARAMETER;
  }
  return with_store(true, [&](RegKey* root, bool* dirty) {
    RegKey* k = find_key(root, key->path);
    if (k == nullptr) return ZULOS_ERROR_KEY_DELETED;
    for (int i = 0; i < n; ++i) {
      RegValue& v = k->values[values[i].name ? values[i].name : ""];
      v.type = values[i].type;
      v.data.assign(static_cast<const char*>(values[i].data), values[i].len);
    }
    *dirty = true;
    return 0;
  });
}

int zulos_reg_set_value(zulos_regkey* key, const char* name, uint32_t type, const void* data, uint32_t len) {
  struct zulos_reg_value v = {name, type, data, len};
  return zulos_reg_set_values(key, &v, 1);
}

int zulos_reg_query_value(zulos_regkey* key, const char* name, uint32_t* type, void* buf, uint32_t* len) {
  if (key == nullptr || len == nullptr || !value_name_ok(name)) return ZULOS_ERROR_INVALID_PARAMETER;
  return with_store(false, [&](RegKey* root, bool*) {
    RegKey* k = find_key(root, key->path);
    if (k == nullptr) return ZULOS_ERROR_KEY_DELETED;
    auto it = k->values.find(name ? name : "");
    if (it == k->values.end()) return ZULOS_ERROR_FILE_NOT_FOUND;
    const std::string& d = it->second.data;
    if (type) *type = it->second.type;
    if (buf == nullptr || d.size() > *len) {
      *len = static_cast<uint32_t>(d.size());
      return ZULOS_ERROR_MORE_DATA;
    }
    memcpy(buf, d.data(), d.size());
    *len = static_cast<uint32_t>(d.size());
    return 0;
  });
}

int zulos_reg_delete_value(zulos_regkey* key, const char* name) {
  if (key == nullptr || !value_name_ok(name)) return ZULOS_ERROR_INVALID_PARAMETER;
  return with_store(true, [&](RegKey* root, bool* dirty) {
    RegKey* k = find_key(root, key->path);
    if (k == nullptr) return ZULOS_ERROR_KEY_DELETED;
    if (k->values.erase(name ? name : "") == 0) return ZULOS_ERROR_FILE_NOT_FOUND;
    *dirty = true;
    return 0;
  });
}

int zulos_reg_enum_key(zulos_regkey* key, uint32_t index, char* name, size_t cap) {
  if (key == nullptr || name == nullptr || cap == 0) return ZULOS_ERROR_INVALID_PARAMETER;
  return with_store(false, [&](RegKey* root, bool*) {
    RegKey* k = find_key(root, key->path);
    if (k == nullptr) return ZULOS_ERROR_KEY_DELETED;
    if (index >= k->sub.size()) return ZULOS_ERROR_NO_MORE_ITEMS;
    auto it = k->sub.begin();
    std::advance(it, index);
    if (it->first.size() >= cap) return ZULOS_ERROR_MORE_DATA;
    memcpy(name, it->first.c_str(), it->first.size() + 1);
    return 0;
  });
}

namespace {

int delete_below(zulos_regkey* key, const char* sub, bool tree) {
  if (key == nullptr) return ZULOS_ERROR_INVALID_PARAMETER;
  std::vector<std::string> rel;
  try {
    if (!split_path(sub, &rel)) return ZULOS_ERROR_INVALID_PARAMETER;
  } catch (const std::bad_alloc&) {
    return ZULOS_ERROR_NOT_ENOUGH_MEMORY;
  }
  if (key->path.size() + rel.size() == 0) return ZULOS_ERROR_INVALID_PARAMETER;  // the root stays
  return with_store(true, [&](RegKey* root, bool* dirty) {
    std::vector<std::string> full = key->path;
    full.insert(full.end(), rel.begin(), rel.end());
    std::string last = full.back();
    full.pop_back();
    RegKey* parent = find_key(root, full);
    if (parent == nullptr) return rel.empty() ? ZULOS_ERROR_KEY_DELETED : ZULOS_ERROR_FILE_NOT_FOUND;
    auto it = parent->sub.find(last);
    if (it == parent->sub.end()) return rel.empty() ? ZULOS_ERROR_KEY_DELETED : ZULOS_ERROR_FILE_NOT_FOUND;
    if (!tree && !it->second->sub.empty()) return ZULOS_ERROR_ACCESS_DENIED;
    parent->sub.erase(it);
    *dirty = true;
    return 0;
  });
}

}  // namespace

int zulos_reg_delete_key(zulos_regkey* key, const char* sub) { return delete_below(key, sub, false); }

int zulos_reg_delete_tree(zulos_regkey* key, const char* sub) { return delete_below(key, sub, true); }

int zulos_reg_store_path(char* out, size_t cap) {
  if (out == nullptr || cap == 0) return ZULOS_ERROR_INVALID_PARAMETER;
  std::string dir;
  int err = store_dir(&dir);
  if (err != 0) return err;
  std::string path = dir + "/registry";
  if (path.size() >= cap) return ZULOS_ERROR_MORE_DATA;
  memcpy(out, path.c_str(), path.size() + 1);
  return 0;
}
