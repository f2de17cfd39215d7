// name_check.cpp -- the check of names that become database objects: length
// by kind and a closed set of characters.
#include <string.h>

#include "svr_services.h"

namespace {

constexpr size_t kTableNameMax = 32;  // kind 1: longest table name
constexpr size_t kOtherNameMax = 14;  // other kinds

bool plain_name_char(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

}  // namespace

int32_t SES_name_check(const char* name, int32_t kind) {
  if (name == nullptr || name[0] == '\0') return -1;
  size_t max = kind == SES_NAME_KIND_TABLE ? kTableNameMax : kOtherNameMax;
  size_t len = strnlen(name, max + 1);
  if (len > max) return -1;
  for (size_t i = 0; i < len; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (plain_name_char(c)) continue;
    if (kind == SES_NAME_KIND_TABLE && c >= 0x80) continue;
    return -1;
  }
  return 0;
}
