// oldsp.cpp -- a procedure library of an older release: its
// zul_release_proc answers 12, one below the oldest release the server
// accepts. Tests install it in place of the real library.
#include <stdint.h>
#include <string.h>

#include "sqlca.h"
#include "sqlda.h"

extern "C" int zul_release_proc(void*, void*, DL_SQLDA* da, struct sqlca* ca) {
  memset(ca, 0, sizeof *ca);
  memcpy(ca->sqlstate, "00000", 5);
  if (da == nullptr || da->sqld != 1) {
    ca->sqlcode = -440;
    return 0;
  }
  *static_cast<int32_t*>(da->sqlvar[0].sqldata) = 12;
  *da->sqlvar[0].sqlind = 0;
  return 0;
}
