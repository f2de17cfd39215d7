// test_client_helpers.cpp -- what the client library does without a server:
// instance strings, environment look-ups, error texts from the message file
// and a listener that is not there.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "zul83.h"
#include "zul_conn.h"
#include "zul_status.h"

namespace {

TEST(ClientHelpers, InstanceStrings) {
  struct Case {
    const char* text;
    int32_t rc;
    const char* instance;
    const char* server;
    const char* dbms;
    int32_t kind;
    int32_t env_count;
  };
  const std::string long_name(64, 'x');
  const std::string too_long = long_name + "@host";
  const Case cases[] = {
      {"norq_zul", 0, "norq_zul", "", "", 0, 0},
      {"5151@gis1", 0, "5151", "gis1", "", 0, 0},
      {"SQLSERVER:inst@host;ZULUSER=bob;ZULPASSWORD=a=b;", 0, "inst", "host", "SQLSERVER", 1, 2},
      {"", SE_INVALID_PARAM},                  // no instance
      {"@host", SE_INVALID_PARAM},             // no instance
      {":inst", SE_INVALID_PARAM},             // empty DBMS word
      {"inst;NOVALUE", SE_INVALID_PARAM},      // entry without "="
      {"inst;=x", SE_INVALID_PARAM},           // entry without a name
      {too_long.c_str(), SE_INVALID_PARAM},    // instance longer than its field
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    SE_URL_PARTS p;
    ASSERT_EQ(c.rc, SES_parse_url_string(c.text, &p));
    if (c.rc != 0) {
      EXPECT_EQ(nullptr, p.env);
      continue;
    }
    EXPECT_STREQ(c.instance, p.instance);
    EXPECT_STREQ(c.server, p.server);
    EXPECT_STREQ(c.dbms, p.dbms);
    EXPECT_EQ(c.kind, p.kind);
    ASSERT_EQ(c.env_count, p.env_count);
    if (c.env_count == 2) {
      char out[8];
      EXPECT_EQ(0, SES_copy_env_var_from_list(p.env_count, p.env, "ZULPASSWORD", out, sizeof out));
      EXPECT_STREQ("a=b", out);
      EXPECT_EQ(-1, SES_copy_env_var_from_list(p.env_count, p.env, "ZULUSE", out, sizeof out));
      EXPECT_EQ(-1, SES_copy_env_var_from_list(p.env_count, p.env, "ZULUSER", out, 3));  // "bob" needs 4
    }
    SES_free_url_parts(&p);
  }
}

TEST(ClientHelpers, Environment) {
  setenv("ZUL_CLIENT_TEST_VAR", "value", 1);
  char out[6];
  EXPECT_STREQ("value", SES_getenv("ZUL_CLIENT_TEST_VAR"));
  EXPECT_EQ(0, SES_copy_env_var("ZUL_CLIENT_TEST_VAR", out, sizeof out));
  EXPECT_EQ(-1, SES_copy_env_var("ZUL_CLIENT_TEST_VAR", out, 5));
  unsetenv("ZUL_CLIENT_TEST_VAR");
  EXPECT_EQ(nullptr, SES_getenv("ZUL_CLIENT_TEST_VAR"));
  EXPECT_EQ(-1, SES_copy_env_var("ZUL_CLIENT_TEST_VAR", out, sizeof out));
  EXPECT_EQ(0, CH_is_xdr_type(nullptr));
}

TEST(ClientHelpers, ErrorStringsFromTheMessageFile) {
  setenv("ZULHOME", ZUL_SOURCE_DIR "/etc/zulhome", 1);
  char text[SE_ERROR_TEXT_LEN];
  // Every code the conversion tool relies on has a text of its own.
  for (int32_t code : {0, -4, -9, -25, -37, -51, -62, -66}) {
    SCOPED_TRACE(code);
    ASSERT_EQ(0, SE_error_get_string(code, text, sizeof text));
    EXPECT_GT(strlen(text), 0u);
    EXPECT_STRNE("undefined error", text);
    EXPECT_EQ(nullptr, strchr(text, '\n'));
  }
  for (int32_t code : {1, -87, -999, -5000}) {
    ASSERT_EQ(0, SE_error_get_string(code, text, sizeof text));
    EXPECT_STREQ("undefined error", text);
  }
  EXPECT_EQ(SE_INVALID_PARAM, SE_error_get_string(-51, text, 3));
  EXPECT_EQ(SE_INVALID_POINTER, SE_error_get_string(-51, nullptr, 10));
}

TEST(ClientHelpers, LayerSpatialIndex) {
  struct Case {
    double grids[3];
    int32_t kind;
  };
  const Case cases[] = {{{100, 300, 0}, 1}, {{0, 0, 0}, -1}, {{-5, 10, 0}, -1}};
  for (const Case& c : cases) {
    LAYER layer;
    memset(&layer, 0, sizeof layer);
    memcpy(layer.grid_size, c.grids, sizeof c.grids);
    int32_t kind = 0;
    double grids[3] = {9, 9, 9};
    ASSERT_EQ(0, SES_layerinfo_get_spatial_index(&layer, &kind, grids, 0));
    EXPECT_EQ(c.kind, kind);
    EXPECT_EQ(c.kind == 1 ? c.grids[1] : 0.0, grids[1]);
    ASSERT_EQ(0, SES_layerinfo_get_spatial_index_type(&layer, &kind));
    EXPECT_EQ(c.kind, kind);
  }
}

TEST(ClientHelpers, NoListenerMeansNoConnection) {
  setenv("ZULATTEMPTS", "1", 1);
  EXTENDED_ERROR err;
  SE_CONNECTION c = reinterpret_cast<SE_CONNECTION>(1);
  // Port 1 on the loopback: nothing listens there.
  int32_t rc = SE_connection_create("127.0.0.1", "1", "DB", "u", "p", &err, &c);
  EXPECT_EQ(SES_CONNECT_REFUSED, rc);
  EXPECT_EQ(rc, err.code);
  EXPECT_EQ(nullptr, c);
  SE_INSTANCE_STATUS st;
  EXPECT_EQ(SES_CONNECT_REFUSED, SE_instance_status("127.0.0.1", "1", &st));
  EXPECT_EQ(SE_INVALID_PARAM,
            SE_connection_create_transport("127.0.0.1", "1", "DB", "u", "p", 7, &err, &c));
}

}  // namespace
