// A fresh instance made ready by zul-install: on a new home and database it
// installs the system tables, the stored procedures and the dbtune table; a
// second run changes nothing; a refused password or a missing home stops it
// with a clear message; and a real listener started on that home serves a
// raw-socket client.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "e2e_instance.h"
#include "orvant.h"
#include "zul_channel.h"
#include "zul_db.h"
#include "zul_release.h"
#include "zul_xdr.h"

using namespace e2e;

namespace {

const char* const kPw = "installpw";

bool wait_until(const std::function<bool()>& done) {
  for (int waited = 0; waited < 20000; waited += 20) {
    if (done()) return true;
    usleep(20000);
  }
  return done();
}

struct Outcome {
  int status = -1;   // exit status
  std::string out;   // standard output and error together
};

// Runs a shell command line with the given environment prefix.
Outcome run(const std::string& cmd) {
  Outcome r;
  FILE* p = popen((cmd + " 2>&1").c_str(), "r");
  if (p == nullptr) return r;
  char buf[512];
  while (fgets(buf, sizeof buf, p) != nullptr) r.out += buf;
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

// A home made as scripts/serve makes it: the template, run/ and data/, the
// database ZUL with its administrator and the spatial catalogue.
class FreshHome : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/zul_install_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    home_ = tmpl;
    std::filesystem::copy(std::string(ZUL_SOURCE_DIR) + "/etc/zulhome", home_,
                          std::filesystem::copy_options::recursive);
    std::filesystem::create_directories(home_ + "/run");
    std::filesystem::create_directories(home_ + "/data");
    setenv("ZULHOME", home_.c_str(), 1);
    unsetenv("DB2LITE_DATA");
    unsetenv("ZUL_DATABASE");
    std::string admin = std::string(ZUL_BIN_DIR) + "/db2lite-admin";
    Outcome c = run("echo " + std::string(kPw) + " | " + admin + " create ZUL -");
    ASSERT_EQ(0, c.status) << c.out;
    c = run(admin + " enable-spatial ZUL");
    ASSERT_EQ(0, c.status) << c.out;
  }
  void TearDown() override {
    if (pid_ > 0) {
      int sock = -1;
      if (SES_connect_to_iomgr(kHost, service_.c_str(), &sock) == 0) {
        SES_iomgr_command(sock, ORVANT_CMD_SHUTDOWN);
        close(sock);
      }
      int st = 0;
      if (!wait_until([&] { return waitpid(pid_, &st, WNOHANG) == pid_; })) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &st, 0);
      }
    }
    std::error_code ec;
    std::filesystem::remove_all(home_, ec);
  }

  Outcome install(const std::string& env = std::string("ZUL_ADMIN_PASSWORD=") + kPw) {
    return run(env + " " + ZUL_BIN_DIR + "/zul-install");
  }

  // One number from the database, read as the administrator.
  long long scalar(const std::string& sql) {
    DB_INSTANCE* in = nullptr;
    long long v = -1;
    if (DB_instance_open_as_dba(kPw, nullptr, &in) == 0) {
      SQLHSTMT s = SQL_NULL_HSTMT;
      SQLINTEGER n = 0;
      SQLLEN ind = 0;
      if (SQLAllocHandle(SQL_HANDLE_STMT, in->hdbc, &s) == SQL_SUCCESS &&
          SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS) == SQL_SUCCESS &&
          SQLBindCol(s, 1, SQL_C_LONG, &n, 0, &ind) == SQL_SUCCESS && SQLFetch(s) == SQL_SUCCESS)
        v = n;
      if (s != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, s);
    }
    DB_instance_close(in);
    return v;
  }

  // Starts the listener on the home; true when it answers.
  bool start_listener() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    close(s);
    service_ = "port:" + std::to_string(ntohs(a.sin_port));
    std::string orvant = std::string(ZUL_BIN_DIR) + "/orvant";
    std::string nuvok = std::string(ZUL_BIN_DIR) + "/nuvok";
    std::string instance = "inst" + std::to_string(getpid());
    pid_ = fork();
    if (pid_ == 0) {
      execl(orvant.c_str(), "orvant", "-i", instance.c_str(), "-s", service_.c_str(), "-p", nuvok.c_str(), "-q",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    return pid_ > 0 && wait_until([this] { return SES_ping_iomgr(kHost, service_.c_str()) == 0; });
  }

  std::string home_, service_;
  int pid_ = -1;
};

const char* kZulTables = "SELECT COUNT(*) FROM SYSCAT.TABLES WHERE TABSCHEMA = 'ZUL'";
const char* kZulProcs = "SELECT COUNT(*) FROM SYSCAT.PROCEDURES WHERE PROCSCHEMA = 'ZUL'";

TEST_F(FreshHome, InstallsEverythingOnceAndASecondRunChangesNothing) {
  EXPECT_EQ(0, scalar(kZulProcs));
  Outcome first = install();
  ASSERT_EQ(0, first.status) << first.out;
  for (const char* line : {"libzulsrvsp.so: copied", "zulsrvsp.bnd: copied", "VERSION table created...",
                           "LOCATORS table created...", "stored procedures: installed (45)",
                           "dbtune table: created with the built-in rows", "instance ready: "})
    EXPECT_NE(std::string::npos, first.out.find(line)) << line << "\n" << first.out;

  const char* kTables[] = {"VERSION", "LAYERS", "RASTER_COLUMNS", "TABLE_REGISTRY", "STATES", "VERSIONS",
                           "MVTABLES_MODIFIED", "METADATA", "STATE_LINEAGES", "LOCATORS", "DBTUNE"};
  for (const char* t : kTables)
    EXPECT_EQ(1, scalar(std::string("SELECT COUNT(*) FROM SYSCAT.TABLES WHERE TABSCHEMA = 'ZUL' AND TABNAME = '") +
                        t + "'"))
        << t;
  for (const char* p : {"ZUL_RELEASE_PROC", "ZUL_INSERT_DBTUNE", "ZUL_TRIM_STATE"})
    EXPECT_EQ(1, scalar(std::string(kZulProcs) + " AND PROCNAME = '" + p + "'")) << p;
  EXPECT_EQ(45, scalar(kZulProcs));
  long long tables = scalar(kZulTables);
  long long dbtune_rows = scalar("SELECT COUNT(*) FROM ZUL.DBTUNE");
  EXPECT_EQ(119, dbtune_rows);
  EXPECT_TRUE(std::filesystem::exists(home_ + "/lib/libzulsrvsp.so"));

  Outcome second = install();
  ASSERT_EQ(0, second.status) << second.out;
  EXPECT_EQ("libzulsrvsp.so: present\nzulsrvsp.bnd: present\nsystem tables: ready\n"
            "stored procedures: present (45, library release checked)\ndbtune table: present\n"
            "instance ready: " + home_ + "\n",
            second.out);
  EXPECT_EQ(tables, scalar(kZulTables));
  EXPECT_EQ(45, scalar(kZulProcs));
  EXPECT_EQ(dbtune_rows, scalar("SELECT COUNT(*) FROM ZUL.DBTUNE"));
}

TEST_F(FreshHome, RefusedOrMissingInputStopsWithAClearMessageAndInstallsNothing) {
  struct Case { const char* name; std::string cmd; int status; const char* message; };
  const std::string bin = std::string(ZUL_BIN_DIR) + "/zul-install";
  const Case kCases[] = {
      {"wrong password", "ZUL_ADMIN_PASSWORD=wrong " + bin, 3, "refused the administrator ZUL's password"},
      {"password on standard input, wrong", "echo nope | ZUL_ADMIN_PASSWORD= " + bin, 3,
       "refused the administrator ZUL's password"},
      {"no password at all", "ZUL_ADMIN_PASSWORD= " + bin + " </dev/null", 2, "no password"},
      {"no home", "ZULHOME=" + home_ + "/none ZUL_ADMIN_PASSWORD=x " + bin, 2, "ZULHOME must name"},
  };
  for (const Case& c : kCases) {
    Outcome r = run(c.cmd);
    EXPECT_EQ(c.status, r.status) << c.name << "\n" << r.out;
    EXPECT_NE(std::string::npos, r.out.find(c.message)) << c.name << "\n" << r.out;
  }
  EXPECT_EQ(0, scalar(kZulProcs));
  // the password from standard input is taken as well
  Outcome piped = run(std::string("echo ") + kPw + " | ZUL_ADMIN_PASSWORD= " + bin);
  EXPECT_EQ(0, piped.status) << piped.out;
  EXPECT_EQ(45, scalar(kZulProcs));
}

TEST_F(FreshHome, ListenerOnTheInstalledHomeServesARawClient) {
  Outcome r = install();
  ASSERT_EQ(0, r.status) << r.out;
  ASSERT_TRUE(start_listener());

  int fd = -1;
  ASSERT_EQ(0, SES_connect_to_iomgr(kHost, service_.c_str(), &fd));
  req4io q;
  memset(&q, 0, sizeof q);
  std::string db = "ZUL", user = kAdminUser, pw = kPw, client = "install-test", data;
  q.text1 = &db[0];
  q.text2 = &user[0];
  q.text3 = &pw[0];
  q.user.name1 = &client[0];
  q.user.name2 = &data[0];
  q.value2 = SE_RELEASE_NUMBER;
  ASSERT_EQ(0, SES_send_xdr_request(fd, &q));
  open_res answer;
  memset(&answer, 0, sizeof answer);
  ASSERT_EQ(0, SES_retrieve_xdr_result(fd, &answer));
  ASSERT_EQ(0, answer.ids[0]) << answer.text1 << " " << answer.text2;
  unsigned char release[SE_RELEASE_IMAGE];
  int32_t blob = 0, setting9 = 0;
  ASSERT_TRUE(recv_bytes(fd, release, sizeof release));
  ASSERT_TRUE(recv_long(fd, &blob));
  ASSERT_TRUE(recv_long(fd, &setting9));

  // GetServerTime, then Shutdown: the server ends the connection
  int32_t before = static_cast<int32_t>(time(nullptr)), server_time = 0;
  ASSERT_TRUE(send_long(fd, 43));
  ASSERT_TRUE(recv_long(fd, &server_time));
  EXPECT_LE(before - 5, server_time);
  EXPECT_GE(static_cast<int32_t>(time(nullptr)) + 5, server_time);
  ASSERT_TRUE(send_long(fd, 23));
  EXPECT_TRUE(peer_closed(fd));
  close(fd);
}

}  // namespace
