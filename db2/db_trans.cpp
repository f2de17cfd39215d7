// db_trans.cpp -- when work becomes durable: the default regime, the user
// transaction with its periodic commit, and the compress mode.
//
// Notes:
//   1. The connection runs with autocommit off. In the default regime every
//      server operation ends its own unit of work: the start and commit
//      operations commit at once.
//   2. While a user transaction is open (user_trans 1) the default start and
//      commit do nothing; only the user commit or rollback ends the work,
//      apart from the periodic commit every autocommit_interval counted
//      operations, DB_trans_release_requests and DDL that commits itself.
//   3. A user transaction is marked open only once the commit that starts it
//      has succeeded: a start that failed leaves the default regime in
//      force, so that later work is not held back for a transaction the
//      client was told did not start.
//   4. The user commit and rollback clear the mark before they try: after a
//      failed user commit the instance is back in the default regime.
//
//   default --DB_trans_user_start (commit ok)--> user
//   user --DB_trans_user_commit / DB_trans_user_rollback--> default
// Relies on dbsql_io.cpp for commit, rollback and DDL execution.
#include "dbsql_io.h"

namespace {

int32_t commit_unless_user(DB_INSTANCE* instance) {
  if (instance->user_trans) return 0;
  return db_commit_ddlsql(instance);
}

}  // namespace

int32_t DB_trans_def_start(DB_INSTANCE* instance) { return commit_unless_user(instance); }
int32_t DB_trans_defwr_start(DB_INSTANCE* instance) { return commit_unless_user(instance); }
int32_t DB_trans_updt_start(DB_INSTANCE* instance) { return commit_unless_user(instance); }
int32_t DB_trans_updt_commit(DB_INSTANCE* instance) { return commit_unless_user(instance); }

int32_t DB_trans_def_commit(DB_INSTANCE* instance) {
  instance->xerr.code = 0;
  return commit_unless_user(instance);
}

int32_t DB_trans_updt_rollback(DB_INSTANCE* instance) {
  if (instance->user_trans || !instance->trans_capable) return 0;
  return db_rollback_ddlsql(instance);
}

int32_t DB_trans_user_start(DB_INSTANCE* instance) {
  int32_t status = 0;
  if (!instance->user_trans) {
    status = db_commit_ddlsql(instance);
    if (status != 0) return status;
  }
  instance->user_trans = 1;
  instance->autocommit_counter = 0;
  return 0;
}

int32_t DB_trans_user_commit(DB_INSTANCE* instance) {
  instance->user_trans = 0;
  int32_t status = db_commit_ddlsql(instance);
  instance->autocommit_counter = 0;
  return status;
}

int32_t DB_trans_user_rollback(DB_INSTANCE* instance) {
  instance->user_trans = 0;
  int32_t status = DB_trans_updt_rollback(instance);
  instance->autocommit_counter = 0;
  return status;
}

int32_t DB_trans_set_autocommit(DB_INSTANCE* instance, int32_t interval) {
  SQLSetConnectAttr(instance->hdbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0);
  instance->autocommit_interval = interval;
  return 0;
}

int32_t DB_trans_auto_commit_control(DB_INSTANCE* instance) {
  if (!instance->user_trans) return db_commit_ddlsql(instance);
  if (instance->autocommit_interval <= 0) return 0;
  instance->autocommit_counter++;
  if (instance->autocommit_counter < instance->autocommit_interval) return 0;
  instance->autocommit_counter = 0;
  return db_commit_ddlsql(instance);
}

int32_t DB_trans_release_requests(DB_INSTANCE* instance) { return db_commit_ddlsql(instance); }

int32_t DB_trans_set_compress_mode(DB_INSTANCE* instance, int32_t mode) {
  if (mode != 0) return 0;
  int32_t status = db_execute_ddlsql(
      instance,
      "DELETE FROM zul.state_lineages WHERE  lineage_name NOT IN (SELECT  s.lineage_name FROM   "
      "zul.states s)",
      0, DB_MODE_EXEC_COMMIT);
  // A delete that found nothing still began a unit of work: end it, or the
  // connection would keep the database's write lock.
  if (status == SE_DB_NO_DATA) return db_commit_ddlsql(instance);
  return status == 1 ? 0 : status;
}

int32_t db_trans_user_is_open(DB_INSTANCE* instance) { return instance->user_trans; }
