// The instance configuration file: values, defaults, the warning texts, the
// buffer fix-ups, the array-size check, and the path helpers.
#include <errno.h>
#include <gtest/gtest.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "tmp_home.h"
#include "zul_config.h"

namespace {

struct Loaded {
  int32_t status;
  INSTANCE_CONFIGURATION rec;
  std::string err;
};

// Reads text as the home's orvant.defs.
Loaded load(const TmpHome& home, const std::string& text, int32_t quiet) {
  home.write("etc/orvant.defs", text);
  Loaded out;
  memset(&out.rec, 0, sizeof out.rec);
  testing::internal::CaptureStderr();
  out.status = read_configuration(&out.rec, quiet);
  out.err = testing::internal::GetCapturedStderr();
  return out;
}

TEST(ReadConfiguration, EveryKeyWithBadValuesAndUnknownKeys) {
  TmpHome home;
  ScopedEnv tmp("ZULTMP", "/tmp/zt");
  Loaded got = load(home,
                    "# instance configuration\n"
                    "CONNECTIONS 48\n"
                    "LOCKS 2000\n"
                    "STATELOCKS 500          # must not also set LOCKS\n"
                    "MAXTABLELOCKS 0         # zero is refused\n"
                    "OBJECTLOCKS abc         # no number\n"
                    "LAYERS 800 # note\n"
                    "REGISTRATIONS 600\n"
                    "RASTERCOLUMNS 99999999999\n"
                    "TIMEOUT 30\n"
                    "MINBUFSIZE 2048\n"
                    "MAXBUFSIZE 8000\n"
                    "MAXBUFCOUNT 250\n"
                    "TEMP /var/tmp/zul\n"
                    "LOGS /some/where\n"
                    "MAXBLOBSIZE 2000000\n"
                    "BLOBMEM -5\n"
                    "AUTOCOMMIT 0\n"
                    "MAXINITIALFEATS -20\n"
                    "MAXDISTINCT -5\n"
                    "MAXSTREAMS 40\n"
                    "STREAMPOOLSIZE 4\n"
                    "SHAPEPTSBUFSIZE 300000\n"
                    "ATTRBUFSIZE 60000\n"
                    "BLOBBUFSIZE 20000\n"
                    "RASTERBUFSIZE 204800\n"
                    "MAXARRAYSIZE 200\n"
                    "MAXARRAYBYTES 400000\n"
                    "MAXTIMEDIFF -5\n"
                    "STATECACHING off\n"
                    "TCPKEEPALIVE Yes\n"
                    "READONLY true\n"
                    "FROBNICATE 12\n"
                    "LOCKSMITH 3\n",
                    0);
  EXPECT_EQ(0, got.status);
  EXPECT_EQ(got.err,
            "WARNING: Parameter \"MAXTABLELOCKS\" not found in defaults file!\n"
            "WARNING: Setting MAXTABLELOCKS to \"10000\"\n"
            "WARNING: Parameter \"OBJECTLOCKS\" not found in defaults file!\n"
            "WARNING: Setting OBJECTLOCKS to \"10000\"\n"
            "WARNING: Parameter \"RASTERCOLUMNS\" not found in defaults file!\n"
            "WARNING: Setting RASTERCOLUMNS to \"500\"\n"
            "WARNING: Parameter \"MINBUFOBJECTS\" not found in defaults file!\n"
            "WARNING: taking value 250 from obsolete parameter \"MAXBUFCOUNT\"\n"
            "WARNING: LAYERS (800) is larger than REGISTRATIONS (600)!\n"
            "WARNING: Every layer requires a registration number!\n");
  const SE_INSTANCE_CONFIG& c = got.rec.config;
  const int32_t values[] = {c.max_connections,   c.max_locks,         c.max_state_locks,   c.max_table_locks,
                            c.max_object_locks,  c.max_layers,        c.max_registrations, c.max_raster_columns,
                            c.timeout,           c.min_buf_size,      c.max_buf_size,      c.min_buf_objects,
                            c.max_blob_size,     c.blob_mem,          c.autocommit,        c.max_initial_feats,
                            c.max_distinct,      c.max_streams,       c.stream_pool_size,  c.shape_pts_buf_size,
                            c.attr_buf_size,     c.blob_buf_size,     c.raster_buf_size,   c.max_array_size,
                            c.max_array_bytes,   c.max_time_diff,     c.state_caching,     c.tcp_keepalive,
                            got.rec.read_only};
  const int32_t want[] = {48,      2000, 500,    10000,  10000,  800,    600,   500,    30,   4096,
                          8000,    250,  2000000, -5,    0,      -20,    5,     40,     4,    300000,
                          60000,   20000, 204800, 200,   400000, -5,     0,     1,      1};
  ASSERT_EQ(sizeof values, sizeof want);
  for (size_t i = 0; i < sizeof want / sizeof want[0]; ++i) EXPECT_EQ(want[i], values[i]) << "setting " << i;
  EXPECT_STREQ("/var/tmp/zul", c.tmp_path);
  EXPECT_STREQ("UNUSED", c.log_path);
  EXPECT_EQ(home.path(), c.home_path);
}

TEST(ReadConfiguration, FileWithoutSettingsWarnsForEveryKeyInOrder) {
  TmpHome home;
  ScopedEnv tmp("ZULTMP", "/tmp/zt");
  Loaded got = load(home, "# nothing set\n\n", 0);
  EXPECT_EQ(0, got.status);
  std::string want;
  auto warn = [&](const char* key, const std::string& value) {
    want += std::string("WARNING: Parameter \"") + key + "\" not found in defaults file!\n";
    want += std::string("WARNING: Setting ") + key + " to \"" + value + "\"\n";
  };
  warn("TEMP", "/tmp/zt");
  warn("LOCKS", "10000");
  warn("STATELOCKS", "10000");
  warn("MAXTABLELOCKS", "10000");
  warn("OBJECTLOCKS", "10000");
  warn("LAYERS", "500");
  warn("REGISTRATIONS", "1000");
  warn("RASTERCOLUMNS", "500");
  warn("ATTRBUFSIZE", "50000");
  warn("RASTERBUFSIZE", "102400");
  warn("MAXARRAYSIZE", "100");
  warn("CONNECTIONS", "64");
  warn("MINBUFSIZE", "16384");
  warn("MAXBUFSIZE", "32768");
  warn("MINBUFOBJECTS", "200");
  warn("MAXBLOBSIZE", "1000000");
  warn("BLOBMEM", "1000000");
  warn("AUTOCOMMIT", "1000");
  warn("MAXINITIALFEATS", "10000");
  warn("MAXDISTINCT", "512");
  warn("MAXSTREAMS", "25");
  warn("STREAMPOOLSIZE", "3");
  warn("MAXARRAYBYTES", "550000");
  warn("STATECACHING", "TRUE");
  warn("TCPKEEPALIVE", "FALSE");
  warn("READONLY", "FALSE");
  warn("MAXTIMEDIFF", "-1");
  EXPECT_EQ(want, got.err);
  EXPECT_EQ(10, got.rec.config.timeout);
  EXPECT_EQ(400000, got.rec.config.shape_pts_buf_size);
  EXPECT_EQ(30000, got.rec.config.blob_buf_size);
}

struct LineCase {
  const char* name;
  const char* text;
  std::function<int32_t(const INSTANCE_CONFIGURATION&)> field;
  int32_t want;
};

TEST(ReadConfiguration, SingleLines) {
  using R = const INSTANCE_CONFIGURATION&;
  const std::string long_line = "LAYERS 7" + std::string(1100, ' ') + "8\n";
  const LineCase cases[] = {
      {"small MAXBUFSIZE becomes 12288 and swaps: min", "MAXBUFSIZE 2048\n", [](R r) { return r.config.min_buf_size; }, 12288},
      {"small MAXBUFSIZE becomes 12288 and swaps: max", "MAXBUFSIZE 2048\n", [](R r) { return r.config.max_buf_size; }, 16384},
      {"AUTOCOMMIT 0 is taken", "AUTOCOMMIT 0\n", [](R r) { return r.config.autocommit; }, 0},
      {"LAYERS 0 is refused", "LAYERS 0\n", [](R r) { return r.config.max_layers; }, 500},
      {"MAXTIMEDIFF keeps its sign", "MAXTIMEDIFF -5\n", [](R r) { return r.config.max_time_diff; }, -5},
      {"MAXDISTINCT skips the sign", "MAXDISTINCT -5\n", [](R r) { return r.config.max_distinct; }, 5},
      {"BLOBMEM keeps its sign", "BLOBMEM -7\n", [](R r) { return r.config.blob_mem; }, -7},
      {"STATECACHING off", "STATECACHING off\n", [](R r) { return r.config.state_caching; }, 0},
      {"READONLY Yes", "READONLY Yes\n", [](R r) { return r.read_only; }, 1},
      {"TCPKEEPALIVE without a word", "TCPKEEPALIVE\n", [](R r) { return r.config.tcp_keepalive; }, 0},
      {"comment after the value", "LAYERS 800 # note\n", [](R r) { return r.config.max_layers; }, 800},
      {"STATELOCKS leaves LOCKS alone", "STATELOCKS 500\n", [](R r) { return r.config.max_locks; }, 10000},
      {"STATELOCKS itself", "STATELOCKS 500\n", [](R r) { return r.config.max_state_locks; }, 500},
      {"OBJECTLOCKS leaves LOCKS alone", "OBJECTLOCKS 7\n", [](R r) { return r.config.max_locks; }, 10000},
      {"leading blanks", "   TIMEOUT 30\n", [](R r) { return r.config.timeout; }, 30},
      {"Windows line end", "TIMEOUT 31\r\n", [](R r) { return r.config.timeout; }, 31},
      {"later line overrides", "LAYERS 5\nLAYERS 7\n", [](R r) { return r.config.max_layers; }, 7},
      {"obsolete MAXBUFCOUNT", "MAXBUFCOUNT 300\n", [](R r) { return r.config.min_buf_objects; }, 300},
      {"overflowing number is refused", "RASTERCOLUMNS 4294967296\n", [](R r) { return r.config.max_raster_columns; }, 500},
      {"over-long line is skipped", long_line.c_str(), [](R r) { return r.config.max_layers; }, 500},
      {"key inside a word is no key", "MAXLAYERS 9\n", [](R r) { return r.config.max_layers; }, 500},
      {"the untouched settings keep their defaults", "LAYERS 9\n", [](R r) { return r.config.max_array_bytes; }, 550000},
  };
  TmpHome home;
  for (const LineCase& c : cases) {
    Loaded got = load(home, c.text, 1);
    EXPECT_EQ(0, got.status) << c.name;
    EXPECT_EQ(c.want, c.field(got.rec)) << c.name;
    EXPECT_EQ("", got.err) << c.name;
  }
}

// The template home of the repository sets every key to its default.
TEST(ReadConfiguration, ShippedFileSetsEveryKeyWithoutWarnings) {
  ScopedEnv home("ZULHOME", ZUL_SOURCE_DIR "/etc/zulhome");
  INSTANCE_CONFIGURATION rec;
  memset(&rec, 0, sizeof rec);
  testing::internal::CaptureStderr();
  EXPECT_EQ(0, read_configuration(&rec, 0));
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
  EXPECT_EQ(64, rec.config.max_connections);
  EXPECT_EQ(550000, rec.config.max_array_bytes);
  EXPECT_EQ(-1, rec.config.max_time_diff);
  EXPECT_EQ(1, rec.config.state_caching);
  EXPECT_EQ(0, rec.read_only);
  EXPECT_STREQ("/tmp", rec.config.tmp_path);
}

TEST(ReadConfiguration, TempAndLogsLines) {
  TmpHome home;
  Loaded got = load(home, "TEMP /var/tmp/x extra\nLOGS /var/log/zul\n", 1);
  EXPECT_STREQ("/var/tmp/x", got.rec.config.tmp_path);
  EXPECT_STREQ("UNUSED", got.rec.config.log_path);
}

TEST(ReadConfiguration, TempDirectoryComesFromTheEnvironmentInOrder) {
  TmpHome home;
  ScopedEnv a("ZULTMP", nullptr), b("TEMP", "/from/temp"), c("TMP", "/from/tmp");
  EXPECT_STREQ("/from/temp", load(home, "", 1).rec.config.tmp_path);
  ScopedEnv d("TEMP", nullptr);
  EXPECT_STREQ("/from/tmp", load(home, "", 1).rec.config.tmp_path);
  ScopedEnv e("TMP", nullptr);
  EXPECT_STREQ("/tmp", load(home, "", 1).rec.config.tmp_path);
}

TEST(ReadConfiguration, ArrayBuffersLargerThanTheLimitFail) {
  TmpHome home;
  const char* text = "MAXARRAYBYTES 1000\n";
  Loaded got = load(home, text, 0);
  EXPECT_EQ(-1, got.status);
  EXPECT_NE(std::string::npos, got.err.find("\nERROR: Invalid array buffer sizes.\n"
                                            "\t Array buffer sizes (450000) exceed MAXARRAYBYTES(1000).\n"));
  Loaded quiet = load(home, text, 1);
  EXPECT_EQ(0, quiet.status);
  EXPECT_EQ("", quiet.err);
}

TEST(ReadConfiguration, MissingFileGivesDefaultsAndThreeLines) {
  TmpHome home;
  INSTANCE_CONFIGURATION rec;
  memset(&rec, 0, sizeof rec);
  testing::internal::CaptureStderr();
  EXPECT_EQ(0, read_configuration(&rec, 0));
  std::string err = testing::internal::GetCapturedStderr();
  std::string path = home.path() + "/etc/orvant.defs";
  EXPECT_EQ("OPEN: No such file or directory\nWarning: Couldn't open " + path + " file.\nUsing default values.\n", err);
  EXPECT_EQ(10000, rec.config.max_locks);
  EXPECT_EQ(1, rec.config.state_caching);
}

TEST(ReadConfiguration, HomeFromTheRecordBeforeTheEnvironment) {
  TmpHome home;
  TmpHome other;  // now ZULHOME
  home.write("etc/orvant.defs", "LAYERS 42\n");
  INSTANCE_CONFIGURATION rec;
  memset(&rec, 0, sizeof rec);
  strcpy(rec.config.home_path, home.path().c_str());
  EXPECT_EQ(0, read_configuration(&rec, 1));
  EXPECT_EQ(42, rec.config.max_layers);
}

TEST(ReadConfiguration, NoHomeIsTheOnlyHardFailure) {
  ScopedEnv unset("ZULHOME", nullptr);
  INSTANCE_CONFIGURATION rec;
  memset(&rec, 0, sizeof rec);
  EXPECT_EQ(-1, read_configuration(&rec, 0));
  EXPECT_STREQ("", rec.config.home_path);
}

TEST(PathHelpers, HomeLogAndTemp) {
  INSTANCE_CONFIGURATION rec;
  memset(&rec, 0, sizeof rec);
  {
    ScopedEnv h("ZULHOME", "/opt/zul");
    EXPECT_EQ(0, get_home_path(&rec));
    EXPECT_STREQ("/opt/zul", rec.config.home_path);
  }
  {
    ScopedEnv h("ZULHOME", nullptr);
    EXPECT_EQ(-1, get_home_path(&rec));
    EXPECT_STREQ("", rec.config.home_path);
  }
  EXPECT_EQ(0, get_log_path(&rec));
  EXPECT_STREQ("UNUSED", rec.config.log_path);
  {
    ScopedEnv t("ZULTMP", "/var/zt");
    EXPECT_EQ(0, get_tmp_path(&rec));
    EXPECT_STREQ("/var/zt", rec.config.tmp_path);
  }
  ScopedEnv t("ZULTMP", nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(0, get_tmp_path(&rec));
  EXPECT_EQ("WARNING: ZULTMP: Setting temp directory to  /tmp\n", testing::internal::GetCapturedStderr());
  EXPECT_STREQ("/tmp", rec.config.tmp_path);
}

TEST(ValidatePath, DirectoriesFilesAndMissingPaths) {
  TmpHome home;
  home.write("plain.txt", "x");
  std::string dir = home.path() + "/etc/";
  char buf[512];
  strcpy(buf, dir.c_str());
  EXPECT_EQ(0, validate_path(buf, 1));
  EXPECT_EQ(home.path() + "/etc", buf) << "one trailing separator is removed in place";

  std::string file = home.path() + "/plain.txt";
  strcpy(buf, file.c_str());
  testing::internal::CaptureStderr();
  EXPECT_EQ(-2, validate_path(buf, 0));
  EXPECT_EQ(file + ", NOT A DIRECTORY!\n", testing::internal::GetCapturedStderr());

  std::string missing = home.path() + "/nowhere";
  strcpy(buf, missing.c_str());
  testing::internal::CaptureStderr();
  EXPECT_EQ(ENOENT, validate_read_only_path(buf, 0));
  EXPECT_EQ(missing + ": No such file or directory\n", testing::internal::GetCapturedStderr());

  strcpy(buf, "/");
  EXPECT_EQ(geteuid() == 0 ? 0 : -2, validate_path(buf, 1)) << "the root keeps its separator";
  EXPECT_STREQ("/", buf);
}

// A directory the process may read but not write. Root passes every access
// test, so as root the check runs in a child that has become "nobody".
TEST(ValidatePath, InsufficientAccess) {
  TmpHome home;
  std::string dir = home.path() + "/locked";
  ASSERT_EQ(0, mkdir(dir.c_str(), 0755));
  ASSERT_EQ(0, chmod(home.path().c_str(), 0755));
  if (geteuid() != 0) {
    ASSERT_EQ(0, chmod(dir.c_str(), 0555));
    char buf[512];
    strcpy(buf, dir.c_str());
    testing::internal::CaptureStderr();
    EXPECT_EQ(-2, validate_path(buf, 0));
    EXPECT_EQ("Insufficient access to " + dir + "\n", testing::internal::GetCapturedStderr());
    chmod(dir.c_str(), 0755);
    return;
  }
  fflush(nullptr);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
    char buf[512];
    strcpy(buf, dir.c_str());
    _exit(validate_path(buf, 1) == -2 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(pid, waitpid(pid, &status, 0));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(0, WEXITSTATUS(status));
}

}  // namespace
