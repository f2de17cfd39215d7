// test_commands.cpp -- command codes, their names, and the older numbering.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "zul_commands.h"

TEST(CommandNames, EveryCodeHasItsOwnName) {
  std::set<std::string> seen;
  for (int32_t code = 0; code < SE_COMMAND_COUNT; code++) {
    const char* name = CH_command_name(code);
    ASSERT_NE(name, nullptr) << code;
    EXPECT_GT(strlen(name), 0u) << code;
    EXPECT_TRUE(seen.insert(name).second) << "duplicate name " << name;
  }
  EXPECT_STREQ(CH_command_name(219), "EndOfCommands_");
  EXPECT_EQ(CH_command_name(-1), nullptr);
  EXPECT_EQ(CH_command_name(220), nullptr);
}

TEST(CommandNames, CodesNameTheRightCommands) {
  const struct { int32_t code; const char* name; } kCases[] = {
      {0, "GetConnectionError"},     {2, "GetstreamError"},        {23, "Shutdown"},
      {44, "CreateStream"},          {52, "NextBuffer"},           {53, "QueryLayer"},
      {54, "ExecuteSpatialQuery"},   {55, "SetSpatialConstraints"}, {99, "VersionAlter"},
      {100, "VersionChangeState"},   {166, "UpdateSdoDimTable"},   {212, "GetDbUserName"},
      {218, "TellServerClientRelease"},
  };
  for (const auto& c : kCases) EXPECT_STREQ(CH_command_name(c.code), c.name) << c.code;
  EXPECT_EQ(CMD_Shutdown, 23);
  EXPECT_EQ(CMD_TellServerClientRelease, 218);
}

TEST(LegacyCommandMap, RangesShiftAndGapsRefuse) {
  const struct { int32_t code; int32_t older; } kCases[] = {
      {0, 0},   {1, -1},  {2, 1},   {20, 19}, {21, 21}, {22, 22}, {32, 32}, {33, 34},
      {47, 48}, {48, -1}, {49, 49}, {62, 62}, {63, -1}, {64, 63}, {65, -1}, {66, 64},
      {76, 74}, {77, -1}, {218, -1}, {219, 75}, {-1, -1}, {220, -1},
  };
  for (const auto& c : kCases) EXPECT_EQ(CH_legacy_command_code(c.code), c.older) << c.code;
}
