// cmd_names.cpp -- the name of every command code, and the map to the older
// numbering that legacy channels speak.
//
// Both tables are built from ZUL_COMMAND_LIST (zul_commands.h); nothing here
// reads from the wire, so the only check needed is the range of the code.
#include "zul_commands.h"

namespace {

constexpr const char* kNames[] = {
#define ZUL_CMD_NAME(code, name) #name,
  ZUL_COMMAND_LIST(ZUL_CMD_NAME)
#undef ZUL_CMD_NAME
  "EndOfCommands_",
};
static_assert(sizeof(kNames) / sizeof(kNames[0]) == SE_COMMAND_COUNT + 1,
              "one name per command code and the end marker");

// The older numbering lacks codes 20 and 33 and ends its commands at 74, so
// whole ranges of current codes shift by -1, 0, +1 or -2.
constexpr int32_t legacy_code(int32_t code) {
  if (code == 0) return 0;
  if (code >= 2 && code <= 20) return code - 1;
  if (code >= 21 && code <= 32) return code;
  if (code >= 33 && code <= 47) return code + 1;
  if (code >= 49 && code <= 62) return code;
  if (code == 64) return 63;
  if (code >= 66 && code <= 76) return code - 2;
  if (code == CMD_EndOfCommands_) return 75;
  return -1;
}

}  // namespace

const char* CH_command_name(int32_t code) {
  if (code < 0 || code > SE_COMMAND_COUNT) return nullptr;
  return kNames[code];
}

int32_t CH_legacy_command_code(int32_t code) {
  if (code < 0 || code > SE_COMMAND_COUNT) return -1;
  return legacy_code(code);
}
