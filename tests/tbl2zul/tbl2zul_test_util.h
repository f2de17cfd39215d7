// tbl2zul_test_util.h -- small helpers of the tbl2zul tests: a scratch
// directory, whole-file reads and writes, and hand-built dBASE files.
#ifndef TBL2ZUL_TEST_UTIL_H
#define TBL2ZUL_TEST_UTIL_H

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

struct ScratchDir {
  std::string path;
  ScratchDir() {
    char tmpl[] = "/tmp/tbl2zul_test_XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~ScratchDir() { std::string cmd = "rm -rf '" + path + "'"; (void)!system(cmd.c_str()); }
  std::string file(const std::string& name) const { return path + "/" + name; }
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

inline std::string ReadFile(const std::string& path) {
  std::string out;
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  fclose(f);
  return out;
}

struct DbfField {
  const char* name;
  char type;
  int width;      // low byte goes to the descriptor, high byte to decimals for non-numeric
  int decimals;
};

// A dBASE file as bytes: header, descriptors, terminator, records (each
// given without its flag byte; a leading '*' in flags marks it deleted),
// end mark. nrec_override replaces the record count in the header.
inline std::string DbfBytes(const std::vector<DbfField>& fields, const std::vector<std::string>& records,
                            const std::string& flags = "", long nrec_override = -1) {
  int reclen = 1;
  for (const DbfField& f : fields) reclen += f.width;
  int hlen = 32 + 32 * static_cast<int>(fields.size()) + 1;
  std::string b(32, '\0');
  b[0] = 0x03;
  b[1] = 124; b[2] = 1; b[3] = 1;
  uint32_t n = nrec_override >= 0 ? static_cast<uint32_t>(nrec_override) : static_cast<uint32_t>(records.size());
  for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<char>((n >> (8 * i)) & 0xff);
  b[8] = static_cast<char>(hlen & 0xff); b[9] = static_cast<char>(hlen >> 8);
  b[10] = static_cast<char>(reclen & 0xff); b[11] = static_cast<char>(reclen >> 8);
  for (const DbfField& f : fields) {
    std::string d(32, '\0');
    memcpy(&d[0], f.name, strlen(f.name));
    d[11] = f.type;
    d[16] = static_cast<char>(f.width & 0xff);
    d[17] = static_cast<char>(f.type == 'N' || f.type == 'F' ? f.decimals : (f.width >> 8));
    b += d;
  }
  b += '\x0D';
  for (size_t i = 0; i < records.size(); ++i) {
    b += i < flags.size() && flags[i] == '*' ? '*' : ' ';
    b += records[i];
  }
  b += '\x1A';
  return b;
}

#endif
