// tool_zulclient.cpp -- tbl2zul's zulclient.cpp compiled into the support library of the
// tbl2zul tests, so that the tests call the tool's own functions (one file
// per source, as the tool builds them).
#include "../../tools/tbl2zul/zulclient.cpp"
