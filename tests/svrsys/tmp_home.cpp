// tmp_home.cpp -- the throw-away instance home of the runtime-service tests.
#include "tmp_home.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

TmpHome::TmpHome() {
  char tmpl[] = "/tmp/zulhome.XXXXXX";
  if (mkdtemp(tmpl) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
  std::filesystem::create_directories(path_ + "/etc");
  const char* old = getenv("ZULHOME");
  had_home_ = old != nullptr;
  if (had_home_) old_home_ = old;
  setenv("ZULHOME", path_.c_str(), 1);
}

TmpHome::~TmpHome() {
  if (had_home_) {
    setenv("ZULHOME", old_home_.c_str(), 1);
  } else {
    unsetenv("ZULHOME");
  }
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void TmpHome::write(const std::string& rel, const std::string& text) const {
  std::filesystem::path p = std::filesystem::path(path_) / rel;
  std::filesystem::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << text;
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  const char* old = getenv(name);
  had_ = old != nullptr;
  if (had_) old_ = old;
  if (value != nullptr) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
}

ScopedEnv::~ScopedEnv() {
  if (had_) {
    setenv(name_.c_str(), old_.c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}
