// db_stubs_tables.cpp -- the services of the catalogue and versioning
// modules that the system tables, the object names and the column
// description call, in the form they take until those modules are built.
//
// Nothing stands here any more: the base state and default version inserts
// (DB_states_def_insert, DB_versions_def_insert) live with the states and
// versions tables (db_states.cpp, db_versions.cpp).
