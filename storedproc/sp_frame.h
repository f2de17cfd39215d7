// sp_frame.h -- what every procedure of the stored-procedure library shares:
// the call frame, parameter reading and writing, running one section, the
// status mapping and the five internal routines.
//
// Notes that hold for every procedure:
//  1. The database calls an entry with the parameter area (every declared
//     parameter in order, IN first, then OUT, the message pair last) and the
//     caller's SQLCA. The frame checks the area against the procedure's
//     signature before it reads anything: a count or a type that does not
//     match is answered with 42884/-440 in the caller's SQLCA and no
//     parameter is touched.
//  2. A text parameter is copied into a buffer of its column's size (the
//     size in the host-variable table: 33, 66, 129, 256, 2049, 27). A text
//     longer than its buffer after its trailing blanks are removed is
//     refused with message code -302 and no statement runs; nothing is ever
//     cut silently.
//  3. Every outcome travels in the message code and text; the text never
//     exceeds the parameter's declared length. The procedure's own SQLCA,
//     that of the last statement it ran, is copied to the caller's at the
//     end, so a statement that failed with a negative SQLCODE fails the
//     caller's CALL too. The entry's result is always 1.
//  4. Statements are the package's sections (sp_sections.h); client text
//     reaches SQL only as host variables, except the state list of
//     zul_delete_state, which is checked to hold only numbers first.
//  5. No state survives a call; the library keeps no writable shared data.
//
// Everything here has hidden visibility: the library exports only the
// procedures' entry points.
#ifndef ZUL_SP_FRAME_H
#define ZUL_SP_FRAME_H

#include "sql_esql.h"

#include <stddef.h>
#include <stdint.h>

#define SP_ENTRY extern "C" __attribute__((visibility("default")))

#pragma GCC visibility push(hidden)

namespace sp {

constexpr char kAdmin[] = "ZUL";             // the administrator (compared with case)
constexpr char kDefaultVersion[] = "DEFAULT";
constexpr int32_t kBaseState = 0;
constexpr int32_t kRelease = 13;
constexpr size_t kMsgCap = 1024;             // characters of the message text
constexpr int32_t kTooLong = -302;           // a text longer than its column

// Host-variable buffer sizes (one more than the text they hold).
constexpr size_t kName32 = 33, kDesc65 = 66, kName128 = 129, kText255 = 256, kText2048 = 2049,
                 kStamp26 = 27;

// Copies length characters of source into dest (cap bytes), NUL-terminated,
// without trailing blanks. Empty when dest is absent (nothing done), source
// is absent, the indicator is negative or length is below 1. Returns false
// when the text without its trailing blanks does not fit cap - 1 characters
// (dest is then empty).
bool sp_copy_string(char* dest, size_t cap, const char* source, int32_t length, const int16_t* ind);

// A host variable of the runtime.
DL_HOSTVAR hv_int(int32_t* v, int16_t* ind = nullptr);
DL_HOSTVAR hv_double(double* v);
DL_HOSTVAR hv_text(char* buf, size_t cap, int16_t* ind = nullptr);

// True when a required text is missing: empty or beginning with a blank.
inline bool sp_blank(const char* s) { return s[0] == 0 || s[0] == ' '; }

// One call of one procedure.
//
// sig lists the parameters before the message pair: 'I' IN INTEGER, 'D' IN
// DOUBLE, 'T' IN text (VARCHAR, CHAR or a datetime), 'i' OUT INTEGER, 't' OUT
// VARCHAR. With msg_pair the frame expects the OUT INTEGER message code and
// the OUT VARCHAR message after them.
class SpCall {
 public:
  SpCall(DL_SQLDA* da, const char* sig, bool msg_pair = true);

  bool ok() const { return valid_; }  // the area matched the signature
  int32_t code = 0;                   // message code
  char msg[kMsgCap + 1] = "";         // message text
  struct sqlca ca;                    // the SQLCA of the last statement run

  // Inputs (by parameter index).
  int32_t in_int(int i) const;
  double in_double(int i) const;
  int16_t in_ind(int i) const;  // the parameter's indicator, -1 without one
  // Reads text parameter i into buf (cap bytes). False, with code -302 and a
  // message, when it does not fit.
  bool in_text(int i, char* buf, size_t cap);

  // Outputs (by parameter index).
  void out_int(int i, int32_t v);
  void out_text(int i, const char* s);

  // Sets code and message (printf form; cut to the message size).
  void fail(int32_t c, const char* fmt = nullptr, ...) __attribute__((format(printf, 3, 4)));

  // Runs one statement of the package; the outcome is in ca. Returns its
  // SQLCODE.
  int32_t run(int call_type, int section, DL_HOSTVAR* in = nullptr, int nin = 0, DL_HOSTVAR* out = nullptr,
              int nout = 0, const char* text = nullptr);
  int32_t commit() { return run(DL_SQLA_COMMIT, 0); }
  // Commits; a failed COMMIT becomes the call's message code.
  void commit_or_fail() {
    if (commit() != 0) fail(mapped(ca.sqlcode));
  }
  int32_t rollback() { return run(DL_SQLA_ROLLBACK, 0); }

  // The status mapping of a failed statement: -20025 for no privilege, the
  // no-row result for SQLCODE 100 / "02000", else the SQLCODE.
  int32_t mapped(int32_t no_row) const;
  bool no_privilege() const;
  bool no_row() const;
  bool state_is(const char* s) const;

  // Writes the outputs: IN indicators -128, the message pair, the SQLCA to
  // the caller. Returns 1. An area that did not match gets 42884/-440.
  int finish(struct sqlca* caller);

 private:
  DL_SQLDA* da_;
  const char* sig_;
  bool pair_;
  bool valid_ = false;
  int nparams_ = 0;
};

// Locks table in share (mode 0) or exclusive mode, retrying a deadlock or
// time-out (-911) up to ten attempts. 0, or -1 with call's code and message.
int sp_lock_table(SpCall& call, const char* table, int mode);

// Checks that the caller may change state id. owner (33) and second
// (129) receive the state's owner and closing time. Result always 0; the
// verdict is in call.code and call.msg.
int sp_check_state_owner(SpCall& call, int32_t state_id, char* owner, char* second);

// Splits "[db.]owner.name" into owner (33) and name (256); without '.' the
// owner is the caller, read by section 45. False when a part does not fit
// (code -302 set) or the caller cannot be read (code set).
bool sp_split_version_name(SpCall& call, const char* qualified, char* owner, char* name);

// Checks that the caller may delete or rename version owner.name. flag
// becomes "t" or "f"; the verdict is in call.code and call.msg.
void sp_check_version_owner(SpCall& call, const char* name, const char* owner, char* flag);

}  // namespace sp

#pragma GCC visibility pop

#endif
