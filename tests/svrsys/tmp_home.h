// tmp_home.h -- a throw-away instance home for the tests of the runtime
// services: a fresh directory with an etc/ below it, named by ZULHOME for the
// life of the object, removed with everything in it afterwards.
#ifndef TESTS_SVRSYS_TMP_HOME_H
#define TESTS_SVRSYS_TMP_HOME_H

#include <string>

class TmpHome {
 public:
  TmpHome();
  ~TmpHome();
  TmpHome(const TmpHome&) = delete;
  TmpHome& operator=(const TmpHome&) = delete;

  const std::string& path() const { return path_; }

  // Writes text to the file at rel (below the home), making its directories.
  void write(const std::string& rel, const std::string& text) const;

 private:
  std::string path_;
  std::string old_home_;
  bool had_home_ = false;
};

// Sets an environment variable for the life of the object, then restores it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);  // value null: unset
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::string old_;
  bool had_ = false;
};

#endif
