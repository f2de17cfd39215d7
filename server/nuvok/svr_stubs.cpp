// svr_stubs.cpp -- workers of the server program whose parts are not built
// yet: the registration cache and its look-ups, the feature-id range, the
// layer extent write, buffered inserts and the storage-parameter transfer.
//
// Each answers SE_NOT_BUILT_YET (with a line on standard error) except where
// start-up needs it to go on: the registration cache starts empty.
#include <stdio.h>

#include "svr_handle.h"
#include "zul_layer.h"
#include "zul_registration.h"
#include "zul_status.h"

namespace {
int32_t not_built(const char* what) {
  fprintf(stderr, "%s is not built yet.\n", what);
  return SE_NOT_BUILT_YET;
}
}  // namespace

// An empty cache: nothing is looked up in it until its part is built.
int32_t registration_cache_init(SERVER_HANDLE* h) {
  h->registrations = nullptr;
  return 0;
}

void registration_cache_free(SERVER_HANDLE* h) { h->registrations = nullptr; }

int32_t registration_lookup_by_name(void*, const char*, REGISTRATION*) {
  return not_built("registration_lookup_by_name");
}

int32_t registration_lookup_by_id(void*, int32_t, REGISTRATION*) { return not_built("registration_lookup_by_id"); }

int32_t layer_get_fid_range(void*, int32_t, int32_t) { return not_built("layer_get_fid_range"); }

void connection_cleanup(void*) {}

int32_t layer_update_extent(SERVER_HANDLE*, LAYER*) { return not_built("layer_update_extent"); }

int32_t svr_flush_buffered_inserts(SERVER_STREAM*) { return not_built("DB_stream_flush_buffered_inserts"); }

int32_t dbtune_import(SERVER_HANDLE*, const char*, char[3][32]) { return not_built("dbtune_import"); }

int32_t dbtune_export(SERVER_HANDLE*, const char*) { return not_built("dbtune_export"); }
