// dbgetid.cpp -- the DBMS identifier of this library.
#include "zul_dbms.h"

int32_t DB_dbms_get_id(void) { return SE_DBMS_ID_DB2; }
