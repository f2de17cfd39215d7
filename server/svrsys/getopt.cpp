// getopt.cpp -- the command-line option parser of the listener and of the
// table conversion tool (see zul_getopt.h for how its rules differ from the
// C library's).
//
// The parser walks the words from zul::optind, and the letters of a cluster
// ("-hv") one call at a time. Its messages go to standard output. It is kept
// in namespace zul so that no program linking this library finds it in
// place of the C library's getopt.
#include <stdio.h>
#include <string.h>

#include "zul_getopt.h"

namespace zul {

char* optarg = nullptr;
int optind = 1;

namespace {

int g_pos = 0;           // position in argv[optind]; 0 before its '-'
int g_last_group = -1;   // group of the previous letter of the cluster

// Moves to the next word, then over it as well when it is a value: a word
// that does not begin with '-', or "-" followed by a digit (a negative
// number).
void leave_word(int argc, char* const argv[]) {
  ++optind;
  g_pos = 0;
  g_last_group = -1;
  if (optind < argc) {
    const char* next = argv[optind];
    if (next[0] != '-' || (next[1] >= '0' && next[1] <= '9')) ++optind;
  }
}

// Moves to the next word without looking at it.
void skip_word() {
  ++optind;
  g_pos = 0;
  g_last_group = -1;
}

}  // namespace

void getopt_reset(void) {
  optarg = nullptr;
  optind = 1;
  g_pos = 0;
  g_last_group = -1;
}

int getopt(int argc, char* const argv[], const char* options) {
  if (argv == nullptr || options == nullptr || optind < 1 || optind >= argc) return -1;
  const char* word = argv[optind];
  optarg = optind + 1 < argc ? argv[optind + 1] : nullptr;

  if (g_pos == 0) {
    if (word[0] != '-') {
      printf("illegal option -- %s \n\n", word);
      skip_word();
      return '?';
    }
    g_pos = 1;
  }

  int letter = static_cast<unsigned char>(word[g_pos]);
  const char* entry = letter != '\0' && letter != ':' ? strchr(options, letter) : nullptr;
  if (entry == nullptr) {
    if (letter == '\0') {
      printf("illegal option -- %s \n\n", word);
    } else {
      printf("illegal option -- %c \n\n", letter);
    }
    skip_word();
    return '?';
  }

  bool takes_value = entry[1] == ':';
  if (takes_value && optind + 1 >= argc) {
    printf("%s:option requires an argument -- %c \n", argc > 0 && argv[0] != nullptr ? argv[0] : "", letter);
    skip_word();
    return '?';
  }
  if (!takes_value) optarg = nullptr;

  int group = 0;
  for (const char* p = options; p < entry; ++p) group += *p == ':';
  if (g_pos > 1 && group != g_last_group) return -1;
  g_last_group = group;

  if (word[g_pos + 1] != '\0') {
    ++g_pos;
  } else {
    leave_word(argc, argv);
  }
  return letter;
}

}  // namespace zul
