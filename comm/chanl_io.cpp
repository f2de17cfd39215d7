// chanl_io.cpp -- the channel: one set of CH_ calls over the transports.
//
// A CHANNEL owns its transport and remembers the client's release, which
// chooses the record layouts. Each CH_ function routes by the channel's kind
// and fails for a kind it does not know. A read that fills a buffer takes the
// buffer's capacity; a longer item is drained and the read fails (see the
// numbered notes in zul_channel.h).
//
// Relies on the socket transport (sock_io), the XDR transport (xdr_io), the
// intercept traces (intercept_io) and the command tables (zul_commands.h).
// The coordinated-memory (cmem_io) and shared-memory (shm_io) transports
// frame items as the socket does and are reached through the socket arm's
// calls (CH_MEM_ARM). Divisions:
//   1. socket helpers
//   2. life cycle
//   3. commands
//   4. items
#include "zul_channel.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "intercept_io.h"
#include "cmem_io.h"
#include "shm_io.h"
#include "sock_io.h"
#include "xdr_io.h"
#include "zul_commands.h"
#include "zulos.h"

namespace {

constexpr int32_t kMaxRecv = 65535;

const char* kind_line(int32_t kind) {
  switch (kind) {
    case CH_KIND_SOCKET: return "\tCommunication type SOCKET";
    case CH_KIND_XDR: return "\tCommunication type XDR";
    case CH_KIND_CMEM: return "\tCommunication type COORDINATED MEMORY";
    default: return "\tCommunication type SHARED MEMORY";
  }
}

bool chunked_fids(const CHANNEL* ch) { return ch->client_release > CH_RELEASE_CHUNKED_FIDS; }

}  // namespace

// Kinds 2 and 3 run the socket arm's call: inside their arm `ch` names a
// view of the channel whose socket_io is the memory link (none until linked
// or attached), so the call resolves to the memory transport's overload.
#define CH_MEM_ARM(ch, so_call)               \
  zul::memchan::ChannelView ch_view_(ch);     \
  auto* ch = &ch_view_;                       \
  return ch->socket_io ? (so_call) : -1

// Routes one item by kind. Kinds without a transport here answer -1.
#define CH_ROUTE(ch, so_call, xdr_call)                                   \
  do {                                                                    \
    if (!(ch)) return SE_INVALID_POINTER;                                 \
    switch ((ch)->kind) {                                                 \
      case CH_KIND_SOCKET: return (ch)->socket_io ? (so_call) : -1;       \
      case CH_KIND_XDR: return (ch)->xdr_io ? (xdr_call) : -1;            \
      case CH_KIND_CMEM:                                                  \
      case CH_KIND_SHMEM: { CH_MEM_ARM(ch, so_call); }                    \
      default: return -1;                                                 \
    }                                                                     \
  } while (0)

// ---- 1. socket helpers -------------------------------------------------------

int32_t CH_readn(int sock, void* buf, int32_t n) {
  char* p = static_cast<char*>(buf);
  int32_t got = 0;
  while (got < n) {
    int32_t ask = n - got > kMaxRecv ? kMaxRecv : n - got;
    ssize_t r = zulos_socket_recv(sock, p + got, static_cast<size_t>(ask));
    if (r < 0) return -1;
    if (r == 0) break;
    got += static_cast<int32_t>(r);
  }
  return got;
}

int32_t CH_writen(int sock, const void* data, int32_t n) {
  const char* p = static_cast<const char*>(data);
  int32_t sent = 0;
  while (sent < n) {
    ssize_t r = zulos_socket_send(sock, p + sent, static_cast<size_t>(n - sent));
    if (r < 0) return -1;
    if (r == 0) break;
    sent += static_cast<int32_t>(r);
  }
  return sent;
}

// ---- 2. life cycle -------------------------------------------------------------

CHANNEL* CH_create(int32_t kind, int32_t legacy, const int* sock) {
  if (kind < CH_KIND_SOCKET || kind > CH_KIND_SHMEM) return nullptr;
  if (!sock && kind <= CH_KIND_XDR) return nullptr;
  CHANNEL* ch = static_cast<CHANNEL*>(calloc(1, sizeof(CHANNEL)));
  if (!ch) return nullptr;
  ch->kind = kind;
  if (kind == CH_KIND_SOCKET)
    ch->socket_io = SO_create(sock, CH_SOCKET_OUT_SIZE, CH_SOCKET_IN_SIZE);
  else if (kind == CH_KIND_XDR)
    ch->xdr_io = XDR_create(sock, CH_SOCKET_OUT_SIZE, CH_SOCKET_IN_SIZE);
  else if (kind == CH_KIND_CMEM)
    ch->cmem = cmem_object_new();
  if (!ch->socket_io && !ch->xdr_io && !ch->cmem && kind != CH_KIND_SHMEM) {
    free(ch);
    return nullptr;
  }
  ch->legacy = legacy;
  ch->client_release = 0;
  if (intercept_open(&ch->trace, &ch->trace_flags, ch->trace_path, sizeof ch->trace_path,
                     ch->trace_time_format) != 0) {
    printf("ERROR OPENING INTERCEPT FILE %s. ABORT INTERCEPTION !\n", ch->trace_path);
    fflush(stdout);
    ch->trace = nullptr;
    ch->trace_flags = 0;
  }
  if (ch->trace) {
    fprintf(ch->trace, "Additional Information:\n%s\n", kind_line(kind));
    fprintf(ch->trace, "--------------------------------------------------------------------------\n \n");
    intercept_done(ch);
  }
  return ch;
}

void CH_destroy(CHANNEL* ch) {
  if (!ch) return;
  if (ch->kind == CH_KIND_SOCKET) SO_destroy(ch->socket_io);
  if (ch->kind == CH_KIND_XDR) XDR_destroy(ch->xdr_io, 1);
  if (ch->kind == CH_KIND_CMEM) cmem_object_free(ch->cmem);
  if (ch->kind == CH_KIND_SHMEM) shm_chanl_destroy(ch->shm_io);
  intercept_close(&ch->trace);
  free(ch);
}

int32_t CH_flush(CHANNEL* ch) {
  if (!ch) return -1;
  switch (ch->kind) {
    case CH_KIND_SOCKET: return SO_flush(ch->socket_io);
    case CH_KIND_XDR: return XDR_flush(ch->xdr_io);
    case CH_KIND_CMEM:
    case CH_KIND_SHMEM: return 0;
    default: return -1;
  }
}

int32_t CH_data_waiting(CHANNEL* ch) {
  CH_ROUTE(ch, SO_data_waiting(ch->socket_io), XDR_data_waiting(ch->xdr_io));
}

CHANNEL* CH_set_release(CHANNEL* ch, int32_t release) {
  if (ch) ch->client_release = release;
  return ch;
}

int32_t CH_out_of_step(const CHANNEL* ch) {
  if (!ch) return 1;
  switch (ch->kind) {
    case CH_KIND_SOCKET: return ch->socket_io ? ch->socket_io->out_of_step : 1;
    case CH_KIND_XDR: return XDR_out_of_step(ch->xdr_io);
    case CH_KIND_CMEM:
    case CH_KIND_SHMEM: {
      zul::memchan::ChannelView view(ch);
      return view.socket_io ? SO_out_of_step(view.socket_io) : 1;
    }
    default: return 1;
  }
}

// ---- 3. commands ---------------------------------------------------------------

int32_t CH_read_command(CHANNEL* ch, int32_t* code) {
  if (!ch || !code) return SE_INVALID_POINTER;
  int32_t rc;
  switch (ch->kind) {
    case CH_KIND_SOCKET: rc = SO_read_long(ch->socket_io, code); break;
    case CH_KIND_XDR: rc = XDR_read_long(ch->xdr_io, code); break;
    case CH_KIND_CMEM:
    case CH_KIND_SHMEM: rc = [&]() -> int32_t { CH_MEM_ARM(ch, SO_read_long(ch->socket_io, code)); }(); break;
    default: return -1;
  }
  if (rc == 0 && (ch->trace_flags & (CH_TRACE_READ | CH_TRACE_COMMAND))) intercept_command(ch, *code, 'R');
  return rc;
}

int32_t CH_write_command(CHANNEL* ch, int32_t code) {
  if (!ch) return SE_INVALID_POINTER;
  if (ch->trace_flags & (CH_TRACE_WRITE | CH_TRACE_COMMAND)) intercept_command(ch, code, 'W');
  if (ch->kind < CH_KIND_SOCKET || ch->kind > CH_KIND_SHMEM) return -1;
  int32_t wire = code;
  if (ch->legacy) {
    if (code < 0 || code >= SE_COMMAND_COUNT) {
      fprintf(stderr, "CH_write_command: unrecognized command code %d!\n", code);
      return -1;
    }
    wire = CH_legacy_command_code(code);
    if (wire == -1) return SE_INVALID_RELEASE;
  }
  CH_ROUTE(ch, SO_write_long(ch->socket_io, wire), XDR_write_long(ch->xdr_io, wire));
}

// ---- 4. items -------------------------------------------------------------------

// A write: traced first, whatever the outcome.
#define CH_WRITE(ch, trace_call, so_call, xdr_call) \
  do {                                              \
    if (!(ch)) return SE_INVALID_POINTER;           \
    trace_call;                                     \
    CH_ROUTE(ch, so_call, xdr_call);                \
  } while (0)

// A read: traced only when it succeeded.
#define CH_READ(ch, trace_call, so_call, xdr_call)                   \
  do {                                                               \
    if (!(ch)) return SE_INVALID_POINTER;                            \
    int32_t rc_;                                                     \
    switch ((ch)->kind) {                                            \
      case CH_KIND_SOCKET: rc_ = (ch)->socket_io ? (so_call) : -1; break; \
      case CH_KIND_XDR: rc_ = (ch)->xdr_io ? (xdr_call) : -1; break; \
      case CH_KIND_CMEM:                                             \
      case CH_KIND_SHMEM: rc_ = [&]() -> int32_t { CH_MEM_ARM(ch, so_call); }(); break; \
      default: return -1;                                            \
    }                                                                \
    if (rc_ == 0) trace_call;                                        \
    return rc_;                                                      \
  } while (0)

int32_t CH_write_long(CHANNEL* ch, int32_t v) {
  CH_WRITE(ch, intercept_long(ch, v, 'W'), SO_write_long(ch->socket_io, v), XDR_write_long(ch->xdr_io, v));
}
int32_t CH_read_long(CHANNEL* ch, int32_t* v) {
  CH_READ(ch, intercept_long(ch, *v, 'R'), SO_read_long(ch->socket_io, v), XDR_read_long(ch->xdr_io, v));
}
int32_t CH_write_ulong(CHANNEL* ch, uint32_t v) {
  CH_WRITE(ch, intercept_ulong(ch, v, 'W'), SO_write_ulong(ch->socket_io, v), XDR_write_ulong(ch->xdr_io, v));
}
int32_t CH_read_ulong(CHANNEL* ch, uint32_t* v) {
  CH_READ(ch, intercept_ulong(ch, *v, 'R'), SO_read_ulong(ch->socket_io, v), XDR_read_ulong(ch->xdr_io, v));
}
int32_t CH_write_float(CHANNEL* ch, float v) {
  CH_WRITE(ch, intercept_float(ch, v, 'W'), SO_write_float(ch->socket_io, v), XDR_write_float(ch->xdr_io, v));
}
int32_t CH_read_float(CHANNEL* ch, float* v) {
  CH_READ(ch, intercept_float(ch, *v, 'R'), SO_read_float(ch->socket_io, v), XDR_read_float(ch->xdr_io, v));
}
int32_t CH_write_short(CHANNEL* ch, int16_t v) {
  CH_WRITE(ch, intercept_short(ch, v, 'W'), SO_write_short(ch->socket_io, v), XDR_write_short(ch->xdr_io, v));
}
int32_t CH_read_short(CHANNEL* ch, int16_t* v) {
  CH_READ(ch, intercept_short(ch, *v, 'R'), SO_read_short(ch->socket_io, v), XDR_read_short(ch->xdr_io, v));
}
int32_t CH_write_lfloat(CHANNEL* ch, double v) {
  CH_WRITE(ch, intercept_lfloat(ch, v, 'W'), SO_write_lfloat(ch->socket_io, v), XDR_write_lfloat(ch->xdr_io, v));
}
int32_t CH_read_lfloat(CHANNEL* ch, double* v) {
  CH_READ(ch, intercept_lfloat(ch, *v, 'R'), SO_read_lfloat(ch->socket_io, v), XDR_read_lfloat(ch->xdr_io, v));
}

int32_t CH_write_lfloat_array(CHANNEL* ch, int32_t count, const double* values) {
  CH_WRITE(ch, intercept_lfloat_array(ch, count, values, 'W'),
           SO_write_lfloat_array(ch->socket_io, count, values),
           XDR_write_lfloat_array(ch->xdr_io, count, values));
}
int32_t CH_read_lfloat_array(CHANNEL* ch, int32_t count, double* values) {
  CH_READ(ch, intercept_lfloat_array(ch, count, values, 'R'),
          SO_read_lfloat_array(ch->socket_io, count, values),
          XDR_read_lfloat_array(ch->xdr_io, count, values));
}

int32_t CH_write_short_array(CHANNEL* ch, int16_t count, const int16_t* values) {
  CH_WRITE(ch, intercept_short_array(ch, count, values, 'W'),
           SO_write_short_array(ch->socket_io, count, values),
           XDR_write_short_array(ch->xdr_io, count, values));
}
int32_t CH_read_short_array(CHANNEL* ch, int16_t* count, int16_t* values, int32_t cap) {
  if (!count) return SE_INVALID_POINTER;
  CH_READ(ch, intercept_short_array(ch, *count, values, 'R'),
          SO_read_short_array(ch->socket_io, count, values, cap),
          XDR_read_short_array(ch->xdr_io, count, values, cap));
}

int32_t CH_write_fid_array(CHANNEL* ch, int32_t count, const int32_t* ids) {
  CH_WRITE(ch, intercept_fid_array(ch, count, ids, 'W'),
           SO_write_fid_array(ch->socket_io, count, ids),
           XDR_write_fid_array(ch->xdr_io, count, ids, chunked_fids(ch)));
}
int32_t CH_read_fid_array(CHANNEL* ch, int32_t count, int32_t* ids) {
  CH_READ(ch, intercept_fid_array(ch, count, ids, 'R'),
          SO_read_fid_array(ch->socket_io, count, ids),
          XDR_read_fid_array(ch->xdr_io, count, ids, chunked_fids(ch)));
}

int32_t CH_write_string(CHANNEL* ch, const char* text) {
  CH_WRITE(ch, intercept_string(ch, text, 'W'), SO_write_string(ch->socket_io, text),
           XDR_write_string(ch->xdr_io, text));
}
int32_t CH_read_string(CHANNEL* ch, char* buf, int32_t cap) {
  CH_READ(ch, intercept_string(ch, buf, 'R'), SO_read_string(ch->socket_io, buf, cap),
          XDR_read_string(ch->xdr_io, buf, cap));
}

int32_t CH_write_dynamic_string(CHANNEL* ch, const char* text) {
  CH_WRITE(ch, intercept_dynamic_string(ch, text, 'W'), SO_write_dynamic_string(ch->socket_io, text),
           XDR_write_dynamic_string(ch->xdr_io, text));
}
int32_t CH_read_dynamic_string(CHANNEL* ch, char** text) {
  if (!text) return SE_INVALID_POINTER;
  CH_READ(ch, intercept_dynamic_string(ch, *text, 'R'), SO_read_dynamic_string(ch->socket_io, text),
          XDR_read_dynamic_string(ch->xdr_io, text));
}

int32_t CH_write_date(CHANNEL* ch, const SE_DATE* date) {
  if (!date) return SE_INVALID_POINTER;
  CH_WRITE(ch, intercept_date(ch, date, 'W'), SO_write_date(ch->socket_io, date),
           XDR_write_date(ch->xdr_io, date));
}
int32_t CH_read_date(CHANNEL* ch, SE_DATE* date) {
  if (!date) return SE_INVALID_POINTER;
  CH_READ(ch, intercept_date(ch, date, 'R'), SO_read_date(ch->socket_io, date),
          XDR_read_date(ch->xdr_io, date));
}

int32_t CH_write_block(CHANNEL* ch, const void* data, int32_t len) {
  CH_WRITE(ch, intercept_block(ch, data, len, 'W'), SO_write_block(ch->socket_io, data, len),
           XDR_write_block(ch->xdr_io, data, len));
}
int32_t CH_read_block(CHANNEL* ch, void* buf, int32_t len) {
  CH_READ(ch, intercept_block(ch, buf, len, 'R'), SO_read_block(ch->socket_io, buf, len),
          XDR_read_block(ch->xdr_io, buf, len));
}

int32_t CH_write_blob_seg(CHANNEL* ch, const void* data, int32_t len, int32_t last) {
  CH_WRITE(ch, intercept_blob_seg(ch, data, len, last, 'W'),
           SO_write_blob_seg(ch->socket_io, data, len, last),
           XDR_write_blob_seg(ch->xdr_io, data, len, last));
}
int32_t CH_read_blob_seg(CHANNEL* ch, void* buf, int32_t cap, int32_t* len, int32_t* last) {
  if (!len || !last) return SE_INVALID_POINTER;
  CH_READ(ch, intercept_blob_seg(ch, buf, *len, *last, 'R'),
          SO_read_blob_seg(ch->socket_io, buf, cap, len, last),
          XDR_read_blob_seg(ch->xdr_io, buf, cap, len, last));
}

int32_t CH_write_blob_end(CHANNEL* ch, int32_t total_len, int32_t flag) {
  CH_WRITE(ch, intercept_blob_end(ch, total_len, flag, 'W'), 0,
           XDR_write_blob_end(ch->xdr_io, total_len, flag));
}
int32_t CH_read_blob_end(CHANNEL* ch, int32_t total_len, int32_t flag) {
  CH_READ(ch, intercept_blob_end(ch, total_len, flag, 'R'), 0,
          XDR_read_blob_end(ch->xdr_io, total_len, flag));
}

// ---- 5. records ---------------------------------------------------------------------

#include "zullist.h"

namespace {

// A record entry of the trace: the heading (count filled in where the
// heading has one) and the body that the printer writes.
template <class Body>
void trace_record(const CHANNEL* ch, char dir, const char* heading, int32_t count, Body body) {
  if (!intercept_traces(ch, dir)) return;
  char prefix[48], line[128];
  snprintf(line, sizeof line, heading, static_cast<int>(count));
  fprintf(ch->trace, "%s %s\n", intercept_prefix(ch, dir, prefix, sizeof prefix), line);
  body(ch->trace);
  intercept_done(ch);
}

// A null channel reads as an old client; the item then refuses it.
bool current_layouts(const CHANNEL* ch) { return ch && ch->client_release > CH_RELEASE_CURRENT_LAYOUTS; }

}  // namespace

#define CH_RECORD_DEF(item, T, heading, print)                                                  \
  int32_t CH_write_##item(CHANNEL* ch, const T* rec) {                                          \
    if (!rec) return SE_INVALID_POINTER;                                                        \
    CH_WRITE(ch, trace_record(ch, 'W', heading, 1, [&](FILE* f) { print(f, rec); }),            \
             SO_write_##item(ch->socket_io, rec), XDR_write_##item(ch->xdr_io, rec));          \
  }                                                                                             \
  int32_t CH_read_##item(CHANNEL* ch, T* rec) {                                                 \
    if (!rec) return SE_INVALID_POINTER;                                                        \
    CH_READ(ch, trace_record(ch, 'R', heading, 1, [&](FILE* f) { print(f, rec); }),             \
            SO_read_##item(ch->socket_io, rec), XDR_read_##item(ch->xdr_io, rec));             \
  }
#define CH_LIST_DEF(item, T, heading, print)                                                    \
  int32_t CH_write_##item##_list(CHANNEL* ch, const T* list, int32_t count) {                   \
    CH_WRITE(ch, trace_record(ch, 'W', heading, count, [&](FILE* f) { print(f, list, count); }), \
             SO_write_##item##_list(ch->socket_io, list, count),                               \
             XDR_write_##item##_list(ch->xdr_io, list, count));                                \
  }                                                                                             \
  int32_t CH_read_##item##_list(CHANNEL* ch, T* list, int32_t cap, int32_t* count) {            \
    if (!count) return SE_INVALID_POINTER;                                                      \
    CH_READ(ch, trace_record(ch, 'R', heading, *count, [&](FILE* f) { print(f, list, *count); }), \
            SO_read_##item##_list(ch->socket_io, list, cap, count),                            \
            XDR_read_##item##_list(ch->xdr_io, list, cap, count));                             \
  }

#define P1(fn) [](FILE* f, const auto* r) { fn(f, r, "\t"); }
#define PN(fn) [](FILE* f, const auto* r) { fn(f, r, 1, "\t"); }
#define PL(fn) [](FILE* f, const auto* r, int32_t n) { fn(f, r, n, "\t"); }

namespace {
void print_pt3d(FILE* f, const POINT3D* p) {
  fprintf(f, "\tX:\t%ld\n\tY:\t%ld\n\tZ:\t%ld\n", static_cast<long>(p->x), static_cast<long>(p->y),
          static_cast<long>(p->z));
}
// The printers of whole envelopes take the coordinate form; the integer
// envelope of the channel is shown through it.
void print_envp(FILE* f, const ENVELOPE* e) {
  SE_ENVELOPE d = {static_cast<double>(e->minx), static_cast<double>(e->miny), static_cast<double>(e->maxx),
                   static_cast<double>(e->maxy)};
  SE_list_envelope(f, &d, 0, "\t");
}
}  // namespace

CH_RECORD_DEF(envp, ENVELOPE, "Envelope:", print_envp)
CH_RECORD_DEF(pt3d, POINT3D, "Point3D:", print_pt3d)
CH_RECORD_DEF(se_layer_stats, LAYER_STATS, "Layer Stats:", P1(SE_list_layer_stats))
CH_RECORD_DEF(rasterattr, RASTERATTR, "RasterAttr:", P1(SE_list_rasterattr))
CH_RECORD_DEF(se_si_stats, S_INDEX_STATS, "Spatial Index Statistics:", P1(SE_list_si_stats))
CH_RECORD_DEF(registration, REGISTRATION, "Registration:", PN(SE_list_registration))
CH_RECORD_DEF(version, VERSION, "Version:", PN(SE_list_version))
CH_RECORD_DEF(logfile, LOGFILE, "Logfile:", PN(SE_list_logfile))
CH_RECORD_DEF(spatialref, SE_SPATIALREF, "SpatialRef:", PN(SE_list_spatialref))
CH_RECORD_DEF(object_lock, SE_OBJECT_LOCK, "Object Locks:  [%d]", PN(SE_list_object_locks))
CH_RECORD_DEF(rasterband, RASTERBAND, "Raster Band:", PN(SE_list_rasterband))
CH_RECORD_DEF(raster, RASTER, "Raster:", P1(SE_list_raster))
CH_RECORD_DEF(rastercolumn, RASTERCOLUMN, "Raster Column:", PN(SE_list_rastercolumn))
CH_LIST_DEF(registration, REGISTRATION, "Regist_List:  [%d]", PL(SE_list_registration))
CH_LIST_DEF(version, VERSION, "VersionList:  [%d]", PL(SE_list_version))
CH_LIST_DEF(logfile, LOGFILE, "Logfile_List:  [%d]", PL(SE_list_logfile))
CH_LIST_DEF(spatialref, SE_SPATIALREF, "SpatialRef_List:  [%d]", PL(SE_list_spatialref))
CH_LIST_DEF(object_lock, SE_OBJECT_LOCK, "Object Locks:  [%d]", PL(SE_list_object_locks))
CH_LIST_DEF(se_layer_locks, SE_LAYER_LOCKS, "Layer Locks:  [%d]", PL(SE_list_layer_locks))
CH_LIST_DEF(se_table_lock, SE_TABLE_LOCK, "Table Locks:  [%d]", PL(SE_list_table_locks))
CH_LIST_DEF(se_version_lock, SE_VERSION_LOCK, "Version Locks:  [%d]", PL(SE_list_version_locks))
CH_LIST_DEF(rasterband, RASTERBAND, "Raster Band List:  [%d]", PL(SE_list_rasterband))
CH_LIST_DEF(rastercolumn, RASTERCOLUMN, "Raster Column List:  [%d]", PL(SE_list_rastercolumn))

int32_t CH_write_layer(CHANNEL* ch, const LAYER* l) {
  if (!l) return SE_INVALID_POINTER;
  CH_WRITE(ch, trace_record(ch, 'W', "Layer:", 1, [&](FILE* f) { SE_list_layer(f, l, 1, 0, "\t"); }),
           SO_write_layer(ch->socket_io, l, ch->legacy), XDR_write_layer(ch->xdr_io, l, ch->legacy));
}
int32_t CH_read_layer(CHANNEL* ch, LAYER* l) {
  if (!l) return SE_INVALID_POINTER;
  CH_READ(ch, trace_record(ch, 'R', "Layer:", 1, [&](FILE* f) { SE_list_layer(f, l, 1, 0, "\t"); }),
          SO_read_layer(ch->socket_io, l, ch->legacy), XDR_read_layer(ch->xdr_io, l, ch->legacy));
}
int32_t CH_write_layer_list(CHANNEL* ch, const LAYER* list, int32_t count) {
  CH_WRITE(ch, trace_record(ch, 'W', "Layer List:   [%d]", count, [&](FILE* f) { SE_list_layer(f, list, count, 0, "\t"); }),
           SO_write_layer_list(ch->socket_io, list, count, ch->legacy),
           XDR_write_layer_list(ch->xdr_io, list, count, ch->legacy));
}
int32_t CH_read_layer_list(CHANNEL* ch, LAYER* list, int32_t cap, int32_t* count) {
  if (!count) return SE_INVALID_POINTER;
  CH_READ(ch, trace_record(ch, 'R', "Layer List:   [%d]", *count, [&](FILE* f) { SE_list_layer(f, list, *count, 0, "\t"); }),
          SO_read_layer_list(ch->socket_io, list, cap, count, ch->legacy),
          XDR_read_layer_list(ch->xdr_io, list, cap, count, ch->legacy));
}
int32_t CH_write_coordref(CHANNEL* ch, const COORDREF* c) {
  if (!c) return SE_INVALID_POINTER;
  CH_WRITE(ch, trace_record(ch, 'W', "CoordRef:", 1, [&](FILE* f) { SE_list_coordref(f, c, "\t"); }),
           SO_write_coordref(ch->socket_io, c, ch->legacy), XDR_write_coordref(ch->xdr_io, c, ch->legacy));
}
int32_t CH_read_coordref(CHANNEL* ch, COORDREF* c) {
  if (!c) return SE_INVALID_POINTER;
  CH_READ(ch, trace_record(ch, 'R', "CoordRef:", 1, [&](FILE* f) { SE_list_coordref(f, c, "\t"); }),
          SO_read_coordref(ch->socket_io, c, ch->legacy), XDR_read_coordref(ch->xdr_io, c, ch->legacy));
}
// The release is written in one layout; the native read follows the legacy
// flag, the XDR read has one layout.
int32_t CH_write_release(CHANNEL* ch, const RELEASE* r) {
  if (!r) return SE_INVALID_POINTER;
  CH_WRITE(ch, trace_record(ch, 'W', "Release:", 1, [&](FILE* f) { SE_list_release(f, r, "\t"); }),
           SO_write_release(ch->socket_io, r), XDR_write_release(ch->xdr_io, r));
}
int32_t CH_read_release(CHANNEL* ch, RELEASE* r) {
  if (!r) return SE_INVALID_POINTER;
  CH_READ(ch, trace_record(ch, 'R', "Release:", 1, [&](FILE* f) { SE_list_release(f, r, "\t"); }),
          SO_read_release(ch->socket_io, r, ch->legacy), XDR_read_release(ch->xdr_io, r));
}
int32_t CH_write_metadata(CHANNEL* ch, const METADATA_RECORD* r) {
  if (!r) return SE_INVALID_POINTER;
  int32_t older = !current_layouts(ch);
  CH_WRITE(ch, trace_record(ch, 'W', "Metadata Record:", 1, [&](FILE* f) { SE_list_metadata(f, r, 1, "\t"); }),
           SO_write_metadata(ch->socket_io, r, older), XDR_write_metadata(ch->xdr_io, r, older));
}
int32_t CH_read_metadata(CHANNEL* ch, METADATA_RECORD* r) {
  if (!r) return SE_INVALID_POINTER;
  int32_t older = !current_layouts(ch);
  CH_READ(ch, trace_record(ch, 'R', "Metadata Record:", 1, [&](FILE* f) { SE_list_metadata(f, r, 1, "\t"); }),
          SO_read_metadata(ch->socket_io, r, older), XDR_read_metadata(ch->xdr_io, r, older));
}
int32_t CH_write_metadata_list(CHANNEL* ch, const METADATA_RECORD* list, int32_t count) {
  int32_t older = ch ? !current_layouts(ch) : 0;
  CH_WRITE(ch, trace_record(ch, 'W', "Metadata Record List:  [%d]", count, [&](FILE* f) { SE_list_metadata(f, list, count, "\t"); }),
           SO_write_metadata_list(ch->socket_io, list, count, older),
           XDR_write_metadata_list(ch->xdr_io, list, count, older));
}
int32_t CH_read_metadata_list(CHANNEL* ch, METADATA_RECORD* list, int32_t cap, int32_t* count) {
  if (!count) return SE_INVALID_POINTER;
  int32_t older = ch ? !current_layouts(ch) : 0;
  CH_READ(ch, trace_record(ch, 'R', "Metadata Record List:  [%d]", *count, [&](FILE* f) { SE_list_metadata(f, list, *count, "\t"); }),
          SO_read_metadata_list(ch->socket_io, list, cap, count, older),
          XDR_read_metadata_list(ch->xdr_io, list, cap, count, older));
}
int32_t CH_write_column_def(CHANNEL* ch, int16_t count, const COLUMN_DEF* defs) {
  CH_WRITE(ch, trace_record(ch, 'W', "Col_Defines:  [%d]", count, [&](FILE* f) { SE_list_column_defs(f, defs, count, "\t"); }),
           SO_write_column_def(ch->socket_io, count, defs, ch->legacy),
           XDR_write_column_def(ch->xdr_io, count, defs, ch->legacy));
}
int32_t CH_read_column_def(CHANNEL* ch, int16_t* count, COLUMN_DEF** defs) {
  if (!count || !defs) return SE_INVALID_POINTER;
  CH_READ(ch, trace_record(ch, 'R', "Col_Defines:  [%d]", *count, [&](FILE* f) { SE_list_column_defs(f, *defs, *count, "\t"); }),
          SO_read_column_def(ch->socket_io, count, defs, ch->legacy),
          XDR_read_column_def(ch->xdr_io, count, defs, ch->legacy));
}
int32_t CH_write_input_desc(CHANNEL* ch, int16_t count, const INPUT_DESC* descs) {
  CH_WRITE(ch, trace_record(ch, 'W', "Col_Defines:  [%d]", count, [&](FILE* f) { SE_list_input_desc(f, descs, count, "\t"); }),
           SO_write_input_desc(ch->socket_io, count, descs), XDR_write_input_desc(ch->xdr_io, count, descs));
}
int32_t CH_read_input_desc(CHANNEL* ch, int16_t* count, INPUT_DESC** descs) {
  if (!count || !descs) return SE_INVALID_POINTER;
  CH_READ(ch, trace_record(ch, 'R', "Col_Defines:  [%d]", *count, [&](FILE* f) { SE_list_input_desc(f, *descs, *count, "\t"); }),
          SO_read_input_desc(ch->socket_io, count, descs), XDR_read_input_desc(ch->xdr_io, count, descs));
}

int32_t CH_write_state(CHANNEL* ch, const STATE* s) {
  if (!s) return SE_INVALID_POINTER;
  int32_t older = !current_layouts(ch);
  CH_WRITE(ch, trace_record(ch, 'W', "State:", 1, [&](FILE* f) { SE_list_state_list(f, s, 1, "\t"); }),
           SO_write_state(ch->socket_io, s, older), XDR_write_state(ch->xdr_io, s, older));
}
int32_t CH_read_state(CHANNEL* ch, STATE* s) {
  if (!s) return SE_INVALID_POINTER;
  int32_t older = !current_layouts(ch);
  CH_READ(ch, trace_record(ch, 'R', "State:", 1, [&](FILE* f) { SE_list_state_list(f, s, 1, "\t"); }),
          SO_read_state(ch->socket_io, s, older), XDR_read_state(ch->xdr_io, s, older));
}
int32_t CH_write_state_list(CHANNEL* ch, const STATE* list, int32_t count) {
  int32_t older = ch ? !current_layouts(ch) : 0;
  CH_WRITE(ch, trace_record(ch, 'W', "StateList:  [%d]", count, [&](FILE* f) { SE_list_state_list(f, list, count, "\t"); }),
           SO_write_state_list(ch->socket_io, list, count, older),
           XDR_write_state_list(ch->xdr_io, list, count, older));
}
int32_t CH_read_state_list(CHANNEL* ch, STATE* list, int32_t cap, int32_t* count) {
  if (!count) return SE_INVALID_POINTER;
  int32_t older = ch ? !current_layouts(ch) : 0;
  CH_READ(ch, trace_record(ch, 'R', "StateList:  [%d]", *count, [&](FILE* f) { SE_list_state_list(f, list, *count, "\t"); }),
          SO_read_state_list(ch->socket_io, list, cap, count, older),
          XDR_read_state_list(ch->xdr_io, list, cap, count, older));
}
// A single locator's entry has the list's heading with a count of 1.
int32_t CH_write_locator(CHANNEL* ch, const LOCATOR* l) {
  if (!l) return SE_INVALID_POINTER;
  CH_WRITE(ch, trace_record(ch, 'W', "Locator  Record List:  [%d]", 1, [&](FILE* f) { SE_list_locator(f, l, 1, "\t"); }),
           SO_write_locator(ch->socket_io, l), XDR_write_locator(ch->xdr_io, l));
}
int32_t CH_read_locator(CHANNEL* ch, LOCATOR* l) {
  if (!l) return SE_INVALID_POINTER;
  CH_READ(ch, trace_record(ch, 'R', "Locator  Record List:  [%d]", 1, [&](FILE* f) { SE_list_locator(f, l, 1, "\t"); }),
          SO_read_locator(ch->socket_io, l), XDR_read_locator(ch->xdr_io, l));
}
int32_t CH_write_locator_list(CHANNEL* ch, const LOCATOR* list, int32_t count) {
  CH_WRITE(ch, trace_record(ch, 'W', "Locator  Record List:  [%d]", count, [&](FILE* f) { SE_list_locator(f, list, count, "\t"); }),
           SO_write_locator_list(ch->socket_io, list, count), XDR_write_locator_list(ch->xdr_io, list, count));
}
int32_t CH_read_locator_list(CHANNEL* ch, LOCATOR* list, int32_t cap, int32_t* count) {
  if (!count) return SE_INVALID_POINTER;
  CH_READ(ch, trace_record(ch, 'R', "Locator  Record List:  [%d]", *count, [&](FILE* f) { SE_list_locator(f, list, *count, "\t"); }),
          SO_read_locator_list(ch->socket_io, list, cap, count), XDR_read_locator_list(ch->xdr_io, list, cap, count));
}

int32_t CH_writef(CHANNEL* ch, const FEATURE_STRUCT* f) {
  if (!f) return SE_INVALID_POINTER;
  CH_WRITE(ch, trace_record(ch, 'W', "Feature:", 1, [&](FILE* o) { SE_list_shape(o, f, "\t"); }),
           SO_writef(ch->socket_io, f), XDR_writef(ch->xdr_io, f));
}
int32_t CH_readf(CHANNEL* ch, FEATURE_STRUCT* f, int32_t allocate) {
  if (!f) return SE_INVALID_POINTER;
  CH_READ(ch, trace_record(ch, 'R', "Feature:", 1, [&](FILE* o) { SE_list_shape(o, f, "\t"); }),
          SO_readf(ch->socket_io, f, allocate), XDR_readf(ch->xdr_io, f, allocate));
}
int32_t CH_write_compressed_feature(CHANNEL* ch, const FEATURE_STRUCT* f) {
  if (!f) return SE_INVALID_POINTER;
  CH_WRITE(ch, trace_record(ch, 'W', "Compress_feat:", 1, [&](FILE* o) { SE_list_feature(o, f, "\t"); }),
           SO_write_compressed_feature(ch->socket_io, f), XDR_write_compressed_feature(ch->xdr_io, f));
}
int32_t CH_read_compressed_feature(CHANNEL* ch, FEATURE_STRUCT* f) {
  if (!f) return SE_INVALID_POINTER;
  CH_READ(ch, trace_record(ch, 'R', "Compress_feat:", 1, [&](FILE* o) { SE_list_feature(o, f, "\t"); }),
          SO_read_compressed_feature(ch->socket_io, f), XDR_read_compressed_feature(ch->xdr_io, f));
}
// The construct's layout choice applies to the XDR form only.
int32_t CH_write_construct(CHANNEL* ch, const SQL_CONSTRUCT* c) {
  CH_WRITE(ch, trace_record(ch, 'W', "SQL Construct:", 1, [&](FILE* o) { SE_list_sql_construct(o, c, "\t"); }),
           SO_write_construct(ch->socket_io, c), XDR_write_construct(ch->xdr_io, c, ch->legacy));
}
int32_t CH_read_construct(CHANNEL* ch, SQL_CONSTRUCT* c) {
  if (!c) return SE_INVALID_POINTER;
  CH_READ(ch, trace_record(ch, 'R', "SQL Construct:", 1, [&](FILE* o) { SE_list_sql_construct(o, c, "\t"); }),
          SO_read_construct(ch->socket_io, c), XDR_read_construct(ch->xdr_io, c, ch->legacy));
}
int32_t CH_write_index_def(CHANNEL* ch, int16_t count, const INDEX_DEF* defs) {
  CH_WRITE(ch, trace_record(ch, 'W', "INDEX_Defines:  [%d]", count, [&](FILE* o) { SE_list_index_def(o, defs, count, "\t"); }),
           SO_write_index_def(ch->socket_io, count, defs), XDR_write_index_def(ch->xdr_io, count, defs));
}
int32_t CH_read_index_def(CHANNEL* ch, int16_t* count, INDEX_DEF** defs) {
  if (!count || !defs) return SE_INVALID_POINTER;
  CH_READ(ch, trace_record(ch, 'R', "INDEX_Defines:  [%d]", *count, [&](FILE* o) { SE_list_index_def(o, *defs, *count, "\t"); }),
          SO_read_index_def(ch->socket_io, count, defs), XDR_read_index_def(ch->xdr_io, count, defs));
}
int32_t CH_write_rasconstraint(CHANNEL* ch, const RASCONSTRAINT* c) {
  if (!c) return SE_INVALID_POINTER;
  CH_WRITE(ch, trace_record(ch, 'W', "Raster Constraint:", 1, [&](FILE* o) { SE_list_rasconstraint(o, c, "\t"); }),
           SO_write_rasconstraint(ch->socket_io, c), XDR_write_rasconstraint(ch->xdr_io, c));
}
int32_t CH_read_rasconstraint(CHANNEL* ch, RASCONSTRAINT** c) {
  if (!c) return SE_INVALID_POINTER;
  CH_READ(ch, trace_record(ch, 'R', "Raster Constraint:", 1, [&](FILE* o) { SE_list_rasconstraint(o, *c, "\t"); }),
          SO_read_rasconstraint(ch->socket_io, c), XDR_read_rasconstraint(ch->xdr_io, c));
}

int32_t CH_write_filter_array(CHANNEL* ch, int16_t count, const SPATIAL_FILTER* filters) {
  CH_WRITE(ch, trace_record(ch, 'W', "Filter Array: [%d]", count, [&](FILE* o) { SE_list_filters(o, filters, count, "\t"); }),
           SO_write_filter_array(ch->socket_io, count, filters, ch->legacy),
           XDR_write_filter_array(ch->xdr_io, count, filters, ch->legacy));
}
int32_t CH_read_filter_array(CHANNEL* ch, int16_t* count, SPATIAL_FILTER** filters) {
  if (!count || !filters) return SE_INVALID_POINTER;
  CH_READ(ch, trace_record(ch, 'R', "Filter Array: [%d]", *count, [&](FILE* o) { SE_list_filters(o, *filters, *count, "\t"); }),
          SO_read_filter_array(ch->socket_io, count, filters, ch->legacy),
          XDR_read_filter_array(ch->xdr_io, count, filters, ch->legacy));
}
