// dl_conn.h -- where db2lite keeps a database, for the parts of db2lite that
// create or open database files outside the CLI (the administration tool,
// tests).
//
// A database NAME (1 to 8 letters, digits or _@#$, folded to upper case) is
// the SQLite file "<NAME>.db" in the data directory: $DB2LITE_DATA, else
// $ZULHOME/data.
#ifndef DL_CONN_H
#define DL_CONN_H

#include <string>

namespace dl {

// Fills path with the file of the database name; false when the name is not
// a valid database name or no data directory is set.
bool dl_database_path(const std::string& name, std::string* path);

}  // namespace dl

#endif
