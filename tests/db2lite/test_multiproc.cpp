// test_multiproc.cpp -- one database shared by several processes: a cursor
// held across its own COMMIT while another process commits writes, the
// lock time-out between processes, and committed data surviving the kill
// of a writing process.
#include "dl_conn.h"
#include "dl_engine.h"
#include "dl_test_support.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

using namespace dltest;

namespace {

// A dl_peer process driven line by line.
class Peer {
 public:
  Peer() {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      close(in[1]);
      close(out[0]);
      execl(ZUL_BIN_DIR "/db2lite_dl_peer", "db2lite_dl_peer", (char*)nullptr);
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    to_ = fdopen(in[1], "w");
    from_ = fdopen(out[0], "r");
  }
  ~Peer() {
    if (to_) fclose(to_);
    if (from_) fclose(from_);
    if (pid_ > 0) {
      int st;
      waitpid(pid_, &st, 0);
    }
  }
  // Sends one command; returns its answer line ("<rc> <state> <native> <value>").
  std::string ask(const std::string& cmd) {
    fprintf(to_, "%s\n", cmd.c_str());
    fflush(to_);
    char buf[512];
    if (!fgets(buf, sizeof buf, from_)) return "gone";
    std::string s = buf;
    if (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
  }
  void kill9() {
    ::kill(pid_, SIGKILL);
    int st;
    waitpid(pid_, &st, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  FILE* to_ = nullptr;
  FILE* from_ = nullptr;
};

class MultiProc : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(create_database("SHARED"), "");
    Conn k("SHARED");
    ASSERT_EQ(k.rc, SQL_SUCCESS);
    ASSERT_EQ(exec(k.dbc, "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY)"), SQL_SUCCESS);
    for (int i = 1; i <= 20; ++i)
      ASSERT_EQ(exec(k.dbc, "INSERT INTO T VALUES (" + std::to_string(i) + ")"), SQL_SUCCESS);
    ASSERT_EQ(commit(k.dbc), SQL_SUCCESS);
  }
  DataDir dir_;
};

TEST_F(MultiProc, HeldCursorDoesNotBlockTheNextWriteAfterOthersCommit) {
  // Without and with a change of its own before the cursor opened.
  for (bool own_change : {false, true}) {
    SCOPED_TRACE(own_change ? "cursor opened after an own change" : "cursor opened clean");
    Peer a;
    ASSERT_EQ(a.ask("connect SHARED ZUL zulpw"), "0 - 0 -");
    if (own_change) {
      ASSERT_EQ(a.ask("exec INSERT INTO T VALUES (100)"), "0 - 0 -");
    }
    ASSERT_EQ(a.ask("open SELECT ID FROM T ORDER BY ID"), "0 - 0 -");
    ASSERT_EQ(a.ask("fetch"), "0 - 0 1");
    ASSERT_EQ(a.ask("commit"), "0 - 0 -");
    // The other process commits writes while the cursor stays open.
    Conn b("SHARED");
    ASSERT_EQ(exec(b.dbc, "INSERT INTO T VALUES (200)"), SQL_SUCCESS);
    ASSERT_EQ(commit(b.dbc), SQL_SUCCESS);
    // The first process's next write succeeds, and its cursor goes on.
    EXPECT_EQ(a.ask("exec INSERT INTO T VALUES (300)"), "0 - 0 -");
    EXPECT_EQ(a.ask("fetch"), "0 - 0 2");
    EXPECT_EQ(a.ask("commit"), "0 - 0 -");
    EXPECT_EQ(a.ask("fetch"), "0 - 0 3");
    EXPECT_EQ(scalar(b.dbc, "SELECT COUNT(*) FROM T WHERE ID >= 200"), 2);
    ASSERT_EQ(exec(b.dbc, "DELETE FROM T WHERE ID >= 100"), SQL_SUCCESS);
    ASSERT_EQ(commit(b.dbc), SQL_SUCCESS);
    a.ask("quit");
  }
}

TEST_F(MultiProc, WriterPastTheBusyTimeOutGets911AndLosesItsUnitOfWork) {
  Peer holder;
  ASSERT_EQ(holder.ask("connect SHARED ZUL zulpw"), "0 - 0 -");
  ASSERT_EQ(holder.ask("exec UPDATE T SET ID = ID + 1000 WHERE ID = 20"), "0 - 0 -");
  Peer waiter;
  ASSERT_EQ(waiter.ask("connect SHARED ZUL zulpw"), "0 - 0 -");
  ASSERT_EQ(waiter.ask("busy 300"), "0 - 0 -");
  ASSERT_EQ(waiter.ask("open SELECT ID FROM T ORDER BY ID"), "0 - 0 -");
  ASSERT_EQ(waiter.ask("fetch"), "0 - 0 1");
  EXPECT_EQ(waiter.ask("exec INSERT INTO T VALUES (500)"), "-1 40001 -911 -");
  // The unit of work was rolled back: its cursor is closed.
  EXPECT_EQ(waiter.ask("fetch"), "-1 24000 -99999 -");
  ASSERT_EQ(holder.ask("commit"), "0 - 0 -");
  EXPECT_EQ(waiter.ask("exec INSERT INTO T VALUES (500)"), "0 - 0 -");
  EXPECT_EQ(waiter.ask("commit"), "0 - 0 -");
  Conn k("SHARED");
  EXPECT_EQ(scalar(k.dbc, "SELECT COUNT(*) FROM T WHERE ID IN (500, 1020)"), 2);
}

TEST_F(MultiProc, CommittedDataSurvivesTheKillOfTheWriter) {
  Peer w;
  ASSERT_EQ(w.ask("connect SHARED ZUL zulpw"), "0 - 0 -");
  for (int i = 21; i <= 120; ++i)
    ASSERT_EQ(w.ask("exec INSERT INTO T VALUES (" + std::to_string(i) + ")"), "0 - 0 -");
  ASSERT_EQ(w.ask("commit"), "0 - 0 -");
  for (int i = 121; i <= 170; ++i)
    ASSERT_EQ(w.ask("exec INSERT INTO T VALUES (" + std::to_string(i) + ")"), "0 - 0 -");
  w.kill9();
  // The database opens cleanly, holds exactly the committed rows and takes
  // writes at once: the dead writer's lock went with it.
  Conn k("SHARED");
  ASSERT_EQ(k.rc, SQL_SUCCESS);
  EXPECT_EQ(scalar(k.dbc, "SELECT COUNT(*) FROM T"), 120);
  EXPECT_EQ(scalar(k.dbc, "SELECT MAX(ID) FROM T"), 120);
  EXPECT_EQ(exec(k.dbc, "INSERT INTO T VALUES (121)"), SQL_SUCCESS);
  EXPECT_EQ(commit(k.dbc), SQL_SUCCESS);
  std::string path;
  ASSERT_TRUE(dl::dl_database_path("SHARED", &path));
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  // The engine's collations and functions, which the schema names.
  dl::DlSession session;
  session.user = session.schema = "ZUL";
  session.database = "SHARED";
  dl::DlDiag d;
  EXPECT_EQ(dl::dl_connection_setup(db, &session, &d), 0) << d.text;
  sqlite3_stmt* st = nullptr;
  std::string check = "(not run)";
  if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK &&
      sqlite3_step(st) == SQLITE_ROW)
    check = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
  else
    check = sqlite3_errmsg(db);
  sqlite3_finalize(st);
  EXPECT_EQ(check, "ok");
  sqlite3_close(db);
}

// Identity values follow one another whichever process takes them, and a
// value taken by a process killed before its COMMIT is not given again.
TEST_F(MultiProc, IdentityValuesFollowOneAnotherAcrossProcesses) {
  Conn k("SHARED");
  ASSERT_EQ(exec(k.dbc, "CREATE TABLE G (ID INTEGER NOT NULL GENERATED BY DEFAULT AS IDENTITY (START WITH 0, "
                        "INCREMENT BY 1, CACHE 25), V INTEGER NOT NULL)"), SQL_SUCCESS);
  ASSERT_EQ(commit(k.dbc), SQL_SUCCESS);
  Peer a;
  ASSERT_EQ(a.ask("connect SHARED ZUL zulpw"), "0 - 0 -");
  ASSERT_EQ(exec(k.dbc, "INSERT INTO G (V) VALUES (1)"), SQL_SUCCESS);
  ASSERT_EQ(commit(k.dbc), SQL_SUCCESS);
  ASSERT_EQ(a.ask("exec INSERT INTO G (V) VALUES (2)"), "0 - 0 -");
  ASSERT_EQ(a.ask("commit"), "0 - 0 -");
  ASSERT_EQ(exec(k.dbc, "INSERT INTO G (V) VALUES (3)"), SQL_SUCCESS);
  ASSERT_EQ(commit(k.dbc), SQL_SUCCESS);
  ASSERT_EQ(a.ask("exec INSERT INTO G (V) VALUES (4)"), "0 - 0 -");
  a.kill9();
  ASSERT_EQ(exec(k.dbc, "INSERT INTO G (V) VALUES (5)"), SQL_SUCCESS);
  ASSERT_EQ(commit(k.dbc), SQL_SUCCESS);
  const long long want[][2] = {{1, 0}, {2, 1}, {3, 2}, {5, 4}};
  for (const auto& w : want)
    EXPECT_EQ(scalar(k.dbc, "SELECT ID FROM G WHERE V = " + std::to_string(w[0])), w[1]) << "V = " << w[0];
  EXPECT_EQ(scalar(k.dbc, "SELECT COUNT(*) FROM G"), 4);
}

}  // namespace
