// test_client_library.cpp -- the client library against a real listener and
// real servers: connect on both transports, the start-up records, server
// time, the connection's error and error text, the stream table, shutdown,
// a refused login, and the listener's own status and configuration.
#include <gtest/gtest.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "e2e_instance.h"
#include "zul83.h"
#include "zul_status.h"

using namespace e2e;

namespace {

class ClientLibrary : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ("", instance_.error()); }

  SE_CONNECTION open(int32_t transport, const char* user = kAdminUser, const char* password = kAdminPw,
                     int32_t* rc_out = nullptr, EXTENDED_ERROR* err_out = nullptr) {
    EXTENDED_ERROR err;
    SE_CONNECTION c = nullptr;
    int32_t rc = SE_connection_create_transport(kHost, instance_.service().c_str(), "ZUL", user, password,
                                                transport, &err, &c);
    if (rc_out != nullptr) *rc_out = rc;
    if (err_out != nullptr) *err_out = err;
    return c;
  }

  bool wait_servers(int32_t want) {
    for (int waited = 0; waited < 20000; waited += 50) {
      if (instance_.servers_running() == want) return true;
      usleep(50000);
    }
    return false;
  }

  Instance instance_;
};

TEST_F(ClientLibrary, ConnectionAndStreamCommandsOnBothTransports) {
  for (int32_t transport : {SE_TRANSPORT_NATIVE, SE_TRANSPORT_XDR}) {
    SCOPED_TRACE(transport);
    int32_t rc = 0;
    EXTENDED_ERROR err;
    SE_CONNECTION c = open(transport, kAdminUser, kAdminPw, &rc, &err);
    ASSERT_EQ(0, rc) << err.msg << " " << err.ext_msg;
    ASSERT_NE(nullptr, c);

    RELEASE first, again;
    ASSERT_EQ(0, SE_connection_get_release(c, &first));
    EXPECT_EQ(83002, first.release);
    EXPECT_EQ(8, first.major);
    ASSERT_EQ(0, SE_connection_get_server_release(c, &again));
    EXPECT_EQ(first.release, again.release);
    EXPECT_STREQ(first.description, again.description);

    int32_t now = 0;
    ASSERT_EQ(0, SE_connection_get_server_time(c, &now));
    EXPECT_LE(labs(static_cast<long>(now) - static_cast<long>(time(nullptr))), 60);

    ASSERT_EQ(0, SE_connection_get_ext_error(c, &err));
    EXPECT_EQ(0, err.code);
    // No language part in the connect text: the server loaded no message file.
    char text[SE_ERROR_TEXT_LEN];
    EXPECT_EQ(-1011, SE_connection_get_error_string(c, SE_INVALID_PARAM, text, sizeof text));

    char user[SE_USER_NAME_LEN];
    ASSERT_EQ(0, SE_connection_get_user_name(c, user, sizeof user));
    EXPECT_STREQ("ZUL", user);

    // Ids count up and are never reused; an unknown id leaves the others.
    SE_STREAM_INFO s1, s2, s3;
    ASSERT_EQ(0, SE_stream_create(c, &s1));
    ASSERT_EQ(0, SE_stream_create(c, &s2));
    EXPECT_EQ(s1.id + 1, s2.id);
    EXPECT_EQ(0, SE_stream_free(c, s1.id));
    EXPECT_EQ(SE_INVALID_STREAM, SE_stream_free(c, s1.id));
    EXPECT_EQ(SE_INVALID_STREAM, SE_stream_get_ext_error(c, s1.id, &err));
    EXPECT_EQ(0, SE_stream_close(c, s2.id, 1));
    ASSERT_EQ(0, SE_stream_create(c, &s3));
    EXPECT_EQ(s2.id + 1, s3.id);
    EXPECT_EQ(0, SE_stream_get_ext_error(c, s2.id, &err));
    EXPECT_EQ(0, err.code);

    // The stream specification: all zero keeps every setting but 9.
    int32_t spec[SE_STREAM_SPEC_COUNT], after[SE_STREAM_SPEC_COUNT];
    ASSERT_EQ(0, SE_connection_get_stream_spec(c, spec));
    EXPECT_EQ(spec[0], s3.settings[0]);
    const int32_t zeros[SE_STREAM_SPEC_COUNT] = {};
    EXPECT_EQ(0, SE_connection_set_stream_spec(c, zeros));
    ASSERT_EQ(0, SE_connection_get_stream_spec(c, after));
    for (int i = 0; i < SE_STREAM_SPEC_COUNT; ++i) EXPECT_EQ(i == 8 ? 0 : spec[i], after[i]) << i;
    int32_t bad[SE_STREAM_SPEC_COUNT];
    memcpy(bad, spec, sizeof bad);
    bad[1] = bad[0] - 1;
    EXPECT_EQ(SE_INVALID_PARAM, SE_connection_set_stream_spec(c, bad));

    // Shutdown ends the server.
    SE_connection_free(c);
    EXPECT_TRUE(wait_servers(0));
  }
}

TEST_F(ClientLibrary, RefusedLoginGivesLoginNotAllowed) {
  int32_t rc = 0;
  EXTENDED_ERROR err;
  SE_CONNECTION c = open(SE_TRANSPORT_XDR, kUser, "wrong-password", &rc, &err);
  EXPECT_EQ(SE_LOGIN_NOT_ALLOWED, rc) << err.msg;
  EXPECT_EQ(SE_LOGIN_NOT_ALLOWED, err.code);
  EXPECT_EQ(nullptr, c);
  // The instance still serves the next client.
  c = open(SE_TRANSPORT_XDR, kUser, kUserPw, &rc, &err);
  EXPECT_EQ(0, rc) << err.msg << " " << err.ext_msg;
  SE_connection_free(c);
}

TEST_F(ClientLibrary, ListenerStatusAndConfiguration) {
  SE_INSTANCE_STATUS status;
  ASSERT_EQ(0, SE_instance_status(kHost, instance_.service().c_str(), &status));
  EXPECT_EQ(83002, status.release.release);
  SE_INSTANCE_CONFIG config;
  ASSERT_EQ(0, SE_instance_configuration(kHost, instance_.service().c_str(), &config));
  EXPECT_GT(config.max_connections, 0);
  EXPECT_STREQ(instance_.home().c_str(), config.home_path);
}

}  // namespace
