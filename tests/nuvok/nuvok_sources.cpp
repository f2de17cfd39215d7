// nuvok_sources.cpp -- the server program's parts other than its entry
// point, compiled into the tests of label nuvok so that they can reach the
// dispatch table and the stream settings directly.
#include "../../server/nuvok/svr_comm.cpp"
#include "../../server/nuvok/svr_connection.cpp"
#include "../../server/nuvok/svr_entrypts.cpp"
#include "../../server/nuvok/svr_funcs.cpp"
#include "../../server/nuvok/svr_stream.cpp"
#include "../../server/nuvok/svr_stubs.cpp"
