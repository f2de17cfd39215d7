// test_client_wire.cpp -- the client library against a scripted peer that
// plays listener and server on one loopback socket: the connect request as
// the listener decodes it, the start-up exchange (with the client's release
// command checked byte for byte on the native transport), a refused login,
// command answers, an oversize text that keeps the channel in step, and a
// peer that goes away mid-answer.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <thread>

#include "zul83.h"
#include "zul_conn.h"
#include "zul_status.h"
#include "zul_xdr.h"

namespace {

struct SeenRequest {
  std::string database, user, password;
  int32_t transport = -1;
  int32_t release = -1;
  unsigned char release_cmd[8] = {};  // raw bytes of command 218 (native only)
  int32_t told_release = -1;
};

// One scripted peer: accepts one client, answers its connect request with
// `status` (0: start the session), then runs `session` on a server channel.
class FakePeer {
 public:
  FakePeer(int32_t transport, int32_t status, std::function<void(CHANNEL*)> session)
      : transport_(transport), status_(status), session_(std::move(session)) {
    listen_fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    EXPECT_EQ(0, bind(listen_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a));
    EXPECT_EQ(0, listen(listen_fd_, 1));
    getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = std::to_string(ntohs(a.sin_port));
    thread_ = std::thread([this] { run(); });
  }
  ~FakePeer() {
    if (thread_.joinable()) thread_.join();
    close(listen_fd_);
  }
  const char* service() const { return port_.c_str(); }
  void join() { thread_.join(); }
  SeenRequest seen;

 private:
  void run() {
    int fd = accept(listen_fd_, nullptr, nullptr);
    if (fd < 0) return;
    // A client that stops talking must not hold the peer (and the test) forever.
    timeval wait{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    char head[4];
    int32_t len = 0;
    if (CH_readn(fd, head, 4) == 4) {
      len = static_cast<int32_t>(ntohl(*reinterpret_cast<uint32_t*>(head)));
    }
    std::string body(len > 0 && len <= SES_REQUEST_MAX ? len : 0, '\0');
    if (body.empty() || CH_readn(fd, &body[0], len) != len) {
      close(fd);
      return;
    }
    req4io r{};
    XDR x;
    xdrmem_create(&x, &body[0], len, XDR_DECODE);
    bool ok = xdr_req4io(&x, &r) && xdr_getpos(&x) == static_cast<u_int>(len);
    xdr_destroy(&x);
    if (ok) {
      seen.database = r.text1 ? r.text1 : "";
      seen.user = r.text2 ? r.text2 : "";
      seen.password = r.text3 ? r.text3 : "";
      seen.transport = r.value1;
      seen.release = r.value2;
    }
    xdr_free(reinterpret_cast<xdrproc_t>(xdr_req4io), reinterpret_cast<char*>(&r));

    open_res answer{};
    answer.ids[0] = status_;
    answer.values[5] = status_;
    if (status_ != 0) {
      answer.values[6] = -30082;
      snprintf(answer.text1, sizeof answer.text1, "%s", "login refused");
      snprintf(answer.text2, sizeof answer.text2, "%s", "08004");
    } else {
      snprintf(answer.text1, sizeof answer.text1, "%s", "ZUL");
    }
    char out[4 + SES_ANSWER_MAX];
    xdrmem_create(&x, out + 4, SES_ANSWER_MAX, XDR_ENCODE);
    xdr_open_res(&x, &answer);
    uint32_t n = xdr_getpos(&x);
    xdr_destroy(&x);
    uint32_t wire = htonl(n);
    memcpy(out, &wire, 4);
    CH_writen(fd, out, static_cast<int32_t>(n + 4));
    if (status_ == 0) serve(fd);
    close(fd);
  }

  void serve(int fd) {
    CHANNEL* ch = CH_create(transport_, 0, &fd);
    RELEASE rel{};
    rel.major = 8;
    rel.minor = 3;
    rel.release = 83002;
    snprintf(rel.description, sizeof rel.description, "%s", "scripted peer");
    CH_write_release(ch, &rel);
    CH_write_long(ch, 1 << 20);
    CH_write_long(ch, 77);
    CH_flush(ch);
    int32_t code = -1;
    if (transport_ == CH_KIND_SOCKET) {
      // Read the client's release command raw, ahead of any channel read.
      CH_readn(fd, seen.release_cmd, 8);
      memcpy(&seen.told_release, seen.release_cmd + 4, 4);
    } else if (CH_read_command(ch, &code) == 0 && code == 218) {
      CH_read_long(ch, &seen.told_release);
    }
    CH_set_release(ch, 83002);
    if (session_) session_(ch);
    CH_flush(ch);
    CH_destroy(ch);
  }

  int listen_fd_ = -1;
  int32_t transport_;
  int32_t status_;
  std::function<void(CHANNEL*)> session_;
  std::string port_;
  std::thread thread_;
};

// Reads the next command and expects it.
void expect_command(CHANNEL* ch, int32_t want) {
  int32_t code = -1;
  ASSERT_EQ(0, CH_read_command(ch, &code));
  EXPECT_EQ(want, code);
}

SE_CONNECTION connect_to(const FakePeer& peer, int32_t transport, EXTENDED_ERROR* err, int32_t* rc) {
  SE_CONNECTION c = nullptr;
  *rc = SE_connection_create_transport("127.0.0.1", peer.service(), "GISDB", "alice", "secret", transport, err, &c);
  return c;
}

TEST(ClientWire, ConnectExchangeOnBothTransports) {
  for (int32_t transport : {SE_TRANSPORT_NATIVE, SE_TRANSPORT_XDR}) {
    SCOPED_TRACE(transport);
    FakePeer peer(transport, 0, [](CHANNEL* ch) { expect_command(ch, 23); });
    EXTENDED_ERROR err;
    int32_t rc = 0;
    SE_CONNECTION c = connect_to(peer, transport, &err, &rc);
    ASSERT_EQ(0, rc);
    ASSERT_NE(nullptr, c);
    RELEASE rel;
    int32_t blob = 0, s9 = 0;
    EXPECT_EQ(0, SE_connection_get_release(c, &rel));
    EXPECT_EQ(83002, rel.release);
    EXPECT_STREQ("scripted peer", rel.description);
    EXPECT_EQ(0, SE_connection_get_max_blob_size(c, &blob));
    EXPECT_EQ(1 << 20, blob);
    EXPECT_EQ(0, SE_connection_get_stream_setting9(c, &s9));
    EXPECT_EQ(77, s9);
    EXPECT_EQ(transport == SE_TRANSPORT_XDR ? 1 : 0, CH_is_xdr_type(SES_connection_get_chanlsys(c)));
    SE_connection_free(c);
    peer.join();
    EXPECT_EQ("GISDB", peer.seen.database);
    EXPECT_EQ("alice", peer.seen.user);
    EXPECT_EQ("secret", peer.seen.password);
    EXPECT_EQ(transport == SE_TRANSPORT_XDR ? 1 : 0, peer.seen.transport);
    EXPECT_EQ(83002, peer.seen.release);
    EXPECT_EQ(83002, peer.seen.told_release);
    if (transport == SE_TRANSPORT_NATIVE) {
      // Command 218 and release 83002 as 32-bit little-endian words.
      const unsigned char golden[8] = {0xDA, 0x00, 0x00, 0x00, 0x3A, 0x44, 0x01, 0x00};
      EXPECT_EQ(0, memcmp(golden, peer.seen.release_cmd, 8));
    }
  }
}

TEST(ClientWire, RefusedLoginGivesTheServersStatusAndError) {
  FakePeer peer(SE_TRANSPORT_XDR, SE_LOGIN_NOT_ALLOWED, nullptr);
  EXTENDED_ERROR err;
  int32_t rc = 0;
  SE_CONNECTION c = connect_to(peer, SE_TRANSPORT_XDR, &err, &rc);
  EXPECT_EQ(SE_LOGIN_NOT_ALLOWED, rc);
  EXPECT_EQ(nullptr, c);
  EXPECT_EQ(SE_LOGIN_NOT_ALLOWED, err.code);
  EXPECT_EQ(-30082, err.native);
  EXPECT_STREQ("login refused", err.msg);
  EXPECT_STREQ("08004", err.ext_msg);
}

TEST(ClientWire, CommandAnswers) {
  FakePeer peer(SE_TRANSPORT_XDR, 0, [](CHANNEL* ch) {
    expect_command(ch, 43);  // server time: no status word
    CH_write_long(ch, 1700000000);
    CH_flush(ch);
    expect_command(ch, 0);  // connection error: none
    CH_write_long(ch, 0);
    CH_flush(ch);
    expect_command(ch, 0);  // connection error: a DBMS error
    CH_write_long(ch, -51);
    CH_write_long(ch, -204);
    CH_write_string(ch, "no such table");
    CH_write_string(ch, "42704");
    CH_flush(ch);
    int32_t id = 0;
    expect_command(ch, 2);  // stream error of an unknown stream
    CH_read_long(ch, &id);
    EXPECT_EQ(9, id);
    CH_write_long(ch, SE_INVALID_STREAM);
    CH_flush(ch);
    expect_command(ch, 44);  // stream created: id and four settings
    for (int32_t v : {3, 100, 200, 300, 400}) CH_write_long(ch, v);
    CH_flush(ch);
    expect_command(ch, 44);  // stream limit reached: status only
    CH_write_long(ch, SE_MAX_STREAMS_EXCEEDED);
    CH_flush(ch);
    expect_command(ch, 46);  // close: id and reset flag
    int32_t reset = 0;
    CH_read_long(ch, &id);
    CH_read_long(ch, &reset);
    EXPECT_EQ(3, id);
    EXPECT_EQ(1, reset);
    CH_write_long(ch, 0);
    CH_flush(ch);
    expect_command(ch, 47);  // spec: ten longs, status
    for (int i = 0; i < 10; ++i) {
      int32_t v = -1;
      CH_read_long(ch, &v);
      EXPECT_EQ(i + 1, v);
    }
    CH_write_long(ch, -159);
    CH_flush(ch);
    expect_command(ch, 212);  // a user name longer than the caller's room
    CH_write_string(ch, "A_VERY_LONG_USER_NAME_THAT_DOES_NOT_FIT");
    CH_flush(ch);
    expect_command(ch, 213);  // the next answer still reads
    CH_write_string(ch, "ZUL");
    CH_flush(ch);
    expect_command(ch, 23);
  });
  EXTENDED_ERROR err;
  int32_t rc = 0;
  SE_CONNECTION c = connect_to(peer, SE_TRANSPORT_XDR, &err, &rc);
  ASSERT_EQ(0, rc);
  int32_t t = 0;
  EXPECT_EQ(0, SE_connection_get_server_time(c, &t));
  EXPECT_EQ(1700000000, t);
  EXPECT_EQ(0, SE_connection_get_ext_error(c, &err));
  EXPECT_EQ(0, err.code);
  EXPECT_EQ(0, SE_connection_get_ext_error(c, &err));
  EXPECT_EQ(-51, err.code);
  EXPECT_EQ(-204, err.native);
  EXPECT_STREQ("no such table", err.msg);
  EXPECT_STREQ("42704", err.ext_msg);
  EXPECT_EQ(SE_INVALID_STREAM, SE_stream_get_ext_error(c, 9, &err));
  SE_STREAM_INFO s;
  EXPECT_EQ(0, SE_stream_create(c, &s));
  EXPECT_EQ(3, s.id);
  EXPECT_EQ(400, s.settings[3]);
  EXPECT_EQ(SE_MAX_STREAMS_EXCEEDED, SE_stream_create(c, &s));
  EXPECT_EQ(0, SE_stream_close(c, 3, 1));
  const int32_t spec[SE_STREAM_SPEC_COUNT] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  EXPECT_EQ(-159, SE_connection_set_stream_spec(c, spec));
  char name[8];
  EXPECT_EQ(SE_INVALID_PARAM, SE_connection_get_user_name(c, name, sizeof name));
  EXPECT_EQ(0, SE_connection_get_admin_name(c, name, sizeof name));
  EXPECT_STREQ("ZUL", name);
  SE_connection_free(c);
}

TEST(ClientWire, PeerGoneMidAnswerBreaksTheConnection) {
  FakePeer peer(SE_TRANSPORT_XDR, 0, [](CHANNEL* ch) {
    expect_command(ch, 125);
    CH_write_long(ch, 0);  // status 0, then the peer leaves before the values
  });
  EXTENDED_ERROR err;
  int32_t rc = 0;
  SE_CONNECTION c = connect_to(peer, SE_TRANSPORT_XDR, &err, &rc);
  ASSERT_EQ(0, rc);
  int32_t id = 0, flags = 0;
  EXPECT_EQ(SE_NET_FAILURE, SE_connection_get_dbms_info(c, &id, &flags));
  // Broken: later calls answer at once without touching the socket.
  EXPECT_EQ(SE_NET_FAILURE, SE_connection_get_server_time(c, &id));
  SE_connection_free(c);
}

}  // namespace
