// zul_dbms.h -- what the DB2 access layer tells the rest of the system about
// the DBMS it runs on: its identifier and the build texts of this library.
//
// These answers are fixed; they need no open instance and make no DB2 call.
#ifndef ZUL_DBMS_H
#define ZUL_DBMS_H

#include <stddef.h>
#include <stdint.h>

#define SE_DBMS_ID_DB2          8     // DBMS identifier of DB2

// Capacities of the three texts of DB_dbms_get_rev, terminating NUL included.
#define SE_DBMS_NAME_LEN        32
#define SE_DBMS_BUILD_DATE_LEN  32
#define SE_DBMS_BUILD_TEXT_LEN  32

// The DBMS identifier of this library: 8, DB2. The code-page catalogue and
// other per-DBMS choices key on it.
int32_t DB_dbms_get_id(void);

// The DBMS name ("DB2"), the build date, and the build text (" Build "
// followed by the revision number of this library). Each out buffer must hold
// the SE_DBMS_*_LEN bytes above; a null out pointer is skipped.
void DB_dbms_get_rev(char* dbms_name, char* build_date, char* build_text);

#endif
