// zul_getopt.h -- the command-line option parser of the listener and of the
// table conversion tool.
//
// It lives in namespace zul so that it never stands in for the C library's
// getopt in a program that links this library. The parser keeps its state
// in zul::optind and a few private variables; zul::getopt_reset starts a
// new parse.
//
// Its rules differ from the C library's: a value is always the next word
// (never the rest of the word), a word that does not begin with "-" is an
// error rather than the end of the options, the word after a letter that
// takes no value is skipped when it does not begin with "-", and a cluster
// of letters ends the options when it changes "group" (the number of ':'
// before the letter in the option string).
#ifndef ZUL_GETOPT_H
#define ZUL_GETOPT_H

namespace zul {

extern char* optarg;   // value of the last option, or null
extern int optind;     // index of the word being parsed, from 1

// Returns the next option letter, '?' after printing an error to standard
// output, or -1 when the options end.
int getopt(int argc, char* const argv[], const char* options);

// Starts a new parse at word 1.
void getopt_reset(void);

}  // namespace zul

#endif
