// The dispatch table: one row per code in code order, each name spelled as
// the channel's command-name table spells it, every row with a handler, and
// the rows of the built commands pointing at their own handlers.
#include <gtest/gtest.h>

#include "../../server/nuvok/svr_entrypts.h"

TEST(DispatchTable, EveryCodeHasItsRowAndName) {
  for (int32_t code = 0; code < SE_COMMAND_COUNT; ++code) {
    const SVR_COMMAND& row = svr_commands[code];
    EXPECT_EQ(code, row.code) << "row " << code;
    ASSERT_NE(nullptr, row.name) << code;
    EXPECT_STREQ(CH_command_name(code), row.name) << "code " << code;
    EXPECT_NE(nullptr, row.handler) << row.name;
  }
}

TEST(DispatchTable, BuiltCommandsAndRowFacts) {
  struct Case {
    int32_t code;
    SV_HANDLER handler;
    uint32_t flags;
  };
  const Case cases[] = {
      {0, SV_get_connection_error, 0},
      {2, SV_getstream_error, CMD_STREAM | CMD_KEEP_ERROR},
      {23, SV_shutdown, 0},
      {44, SV_create_stream, CMD_STREAM},
      {45, SV_delete_stream, CMD_STREAM | CMD_KEEP_ERROR},
      {46, SV_close_stream, CMD_STREAM | CMD_KEEP_ERROR},
      {48, SV_get_stream_spec, 0},
      {53, SV_not_built_yet, 0},
      {59, SV_not_built_yet, CMD_READ_ONLY_SELF},
      {68, SV_not_built_yet, CMD_STREAM | CMD_KEEP_ERROR | CMD_READ_ONLY_SELF},
      {218, SV_tell_server_client_release, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.handler, svr_commands[c.code].handler) << svr_commands[c.code].name;
    EXPECT_EQ(c.flags, svr_commands[c.code].flags) << svr_commands[c.code].name;
  }
}
