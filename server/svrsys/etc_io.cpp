// etc_io.cpp -- the side files of an instance home: "dbinit.zul", whose
// lines set and unset environment variables before the process connects to
// the database, and "services.zul", which names the listener's service.
//
// Both files are read line by line, at most SE_CONFIG_LINE_LEN characters a
// line. Lines that begin with "#" or "/*", and empty lines, are skipped; a
// longer line is skipped whole rather than applied cut short. A line is
// read as words separated by blanks, so a value cannot hold a blank.
// Relies on the OS layer for files and the environment.
#include <stdio.h>
#include <string.h>

#include "svr_services.h"
#include "zul_config.h"
#include "zul_status.h"
#include "zulos.h"

namespace {

constexpr char kDbinitFile[] = "dbinit.zul";
constexpr char kServicesFile[] = "services.zul";

// A side file open for reading, closed when it goes out of scope.
struct SideFile {
  FILE* f = nullptr;
  char path[4096] = "";
  ~SideFile() {
    if (f != nullptr) fclose(f);
  }
  // Opens "<home>/etc/<name>"; false when the path does not fit or the
  // file cannot be opened.
  bool open(const char* home, const char* name) {
    if (home == nullptr || home[0] == '\0' || strlen(home) >= sizeof path) return false;
    strcpy(path, home);
    if (SES_pathcat_n(path, sizeof path, "etc") == nullptr) return false;
    if (SES_pathcat_n(path, sizeof path, name) == nullptr) return false;
    f = zulos_fopen(path, "r");
    return f != nullptr;
  }
  // The next data line into line (SE_CONFIG_LINE_LEN + 1 bytes); false at
  // the end of the file.
  bool next_data_line(char* line) {
    int cut = 0;
    ssize_t len;
    while ((len = zulos_read_line(f, line, SE_CONFIG_LINE_LEN + 1, &cut)) >= 0) {
      if (cut || len == 0 || line[0] == '#' || strncmp(line, "/*", 2) == 0) continue;
      return true;
    }
    return false;
  }
};

// Splits the next word off *p (blanks and tabs separate words); null when
// none is left. The word is terminated in place.
char* next_word(char** p) {
  char* s = *p;
  while (*s == ' ' || *s == '\t') ++s;
  if (*s == '\0') return nullptr;
  char* word = s;
  while (*s != '\0' && *s != ' ' && *s != '\t') ++s;
  if (*s != '\0') *s++ = '\0';
  *p = s;
  return word;
}

}  // namespace

int32_t Etc_dbinit_set(const char* home, int32_t echo) {
  SideFile file;
  if (!file.open(home, kDbinitFile)) return -1;
  bool show = echo != 0 || zulos_env_get("ZULDBECHO") != nullptr;
  if (show) fprintf(stderr, "\nReading %s:\n\n", file.path);

  int32_t applied = 0;
  char line[SE_CONFIG_LINE_LEN + 1];
  char words[SE_CONFIG_LINE_LEN + 1];
  while (file.next_data_line(line)) {
    memcpy(words, line, sizeof words);
    char* p = words;
    const char* verb = next_word(&p);
    const char* arg = next_word(&p);
    if (verb == nullptr || arg == nullptr) continue;
    if (strcmp(verb, "set") == 0) {
      if (zulos_env_put(arg) != 0) continue;  // a failed assignment is neither counted nor shown
      ++applied;
    } else if (strcmp(verb, "unset") == 0) {
      if (zulos_env_unset(arg) != 0) continue;
    } else {
      continue;
    }
    if (show) fprintf(stderr, "%s\n", line);
  }
  if (show) fprintf(stderr, "\n");
  return applied;
}

int32_t Etc_service_get(const char* home, char* service) {
  if (service == nullptr) return -1;
  SideFile file;
  if (!file.open(home, kServicesFile)) return -1;
  char line[SE_CONFIG_LINE_LEN + 1];
  while (file.next_data_line(line)) {
    char* p = line;
    const char* word = next_word(&p);
    if (word == nullptr) continue;  // a line of blanks holds no name
    if (strlen(word) >= SES_SERVICE_NAME_LEN) return -1;
    strcpy(service, word);
    return SE_SUCCESS;
  }
  return -1;
}
