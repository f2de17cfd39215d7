// zul_config.h -- the instance configuration: the record the listener fills
// from the instance's "orvant.defs" file, and the path helpers around it.
//
// read_configuration fills an INSTANCE_CONFIGURATION: an SE_INSTANCE_CONFIG
// (the part that travels to clients over the listener connection, in XDR
// only) followed by the read-only flag. Its table limits size the shared
// instance table. Only the listener calls these functions.
#ifndef ZUL_CONFIG_H
#define ZUL_CONFIG_H

#include <stddef.h>
#include <stdint.h>

#define SE_CONFIG_PATH_LEN   512    // each of the three paths, terminating NUL included
#define SE_CONFIG_FILE       "orvant.defs"
#define SE_CONFIG_LINE_LEN   1024   // longest line of the file that is read whole
#define SE_LOG_PATH_UNUSED   "UNUSED"

// The instance configuration as the listener sends it (1668 bytes).
struct SE_INSTANCE_CONFIG {
  int32_t max_connections;        // CONNECTIONS: server processes at once          wire 4
  int32_t max_locks;              // LOCKS: area locks                              wire 4
  int32_t max_state_locks;        // STATELOCKS                                     wire 4
  int32_t max_table_locks;        // MAXTABLELOCKS                                  wire 4
  int32_t max_object_locks;       // OBJECTLOCKS                                    wire 4
  int32_t max_layers;             // LAYERS                                         wire 4
  int32_t max_registrations;      // REGISTRATIONS                                  wire 4
  int32_t max_raster_columns;     // RASTERCOLUMNS                                  wire 4
  int32_t timeout;                // TIMEOUT                                        wire 4
  int32_t min_buf_size;           // MINBUFSIZE: stream buffer, bytes               wire 4
  int32_t max_buf_size;           // MAXBUFSIZE: stream buffer, bytes               wire 4
  int32_t min_buf_objects;        // MINBUFOBJECTS (older key MAXBUFCOUNT)          wire 4
  int32_t max_blob_size;          // MAXBLOBSIZE, bytes                             wire 4
  int32_t blob_mem;               // BLOBMEM (may be negative)                      wire 4
  int32_t autocommit;             // AUTOCOMMIT: rows between commits, 0 never      wire 4
  int32_t max_initial_feats;      // MAXINITIALFEATS (may be negative)              wire 4
  int32_t max_distinct;           // MAXDISTINCT                                    wire 4
  int32_t max_streams;            // MAXSTREAMS: streams per connection             wire 4
  int32_t stream_pool_size;       // STREAMPOOLSIZE                                 wire 4
  int32_t shape_pts_buf_size;     // SHAPEPTSBUFSIZE, bytes                         wire 4
  int32_t attr_buf_size;          // ATTRBUFSIZE, bytes                             wire 4
  int32_t blob_buf_size;          // BLOBBUFSIZE, bytes                             wire 4
  int32_t raster_buf_size;        // RASTERBUFSIZE, bytes                           wire 4
  int32_t max_array_size;         // MAXARRAYSIZE: rows per block fetch             wire 4
  int32_t max_array_bytes;        // MAXARRAYBYTES: block-fetch buffers, bytes      wire 4
  int32_t max_time_diff;          // MAXTIMEDIFF (may be negative)                  wire 4
  int32_t value_104;              // left alone by the configuration reader         wire 4
  char    home_path[SE_CONFIG_PATH_LEN]; // home directory                           wire 512
  char    log_path[SE_CONFIG_PATH_LEN];  // log path, "UNUSED"                       wire 512
  char    tmp_path[SE_CONFIG_PATH_LEN];  // temporary directory                      wire 512
  int32_t dbms_kind;              // DBMS kind, set by the listener                 wire 4 (1st)
  int32_t value_1648;             // set by the listener                            wire 4 (3rd)
  int32_t value_1652;             // set by the listener                            wire 4 (2nd)
  int32_t state_caching;          // STATECACHING flag                              wire 4
  int32_t tcp_keepalive;          // TCPKEEPALIVE flag                              wire 4
  int32_t flag_1664;              // set by the listener                            wire 4
};
static_assert(sizeof(SE_INSTANCE_CONFIG) == 1668, "SE_INSTANCE_CONFIG size");
static_assert(offsetof(SE_INSTANCE_CONFIG, value_104) == 104, "SE_INSTANCE_CONFIG.value_104 offset");
static_assert(offsetof(SE_INSTANCE_CONFIG, home_path) == 108, "SE_INSTANCE_CONFIG.home_path offset");
static_assert(offsetof(SE_INSTANCE_CONFIG, log_path) == 620, "SE_INSTANCE_CONFIG.log_path offset");
static_assert(offsetof(SE_INSTANCE_CONFIG, tmp_path) == 1132, "SE_INSTANCE_CONFIG.tmp_path offset");
static_assert(offsetof(SE_INSTANCE_CONFIG, dbms_kind) == 1644, "SE_INSTANCE_CONFIG.dbms_kind offset");
static_assert(offsetof(SE_INSTANCE_CONFIG, state_caching) == 1656, "SE_INSTANCE_CONFIG.state_caching offset");
static_assert(offsetof(SE_INSTANCE_CONFIG, flag_1664) == 1664, "SE_INSTANCE_CONFIG.flag_1664 offset");

// The listener's whole configuration record.
struct INSTANCE_CONFIGURATION {
  SE_INSTANCE_CONFIG config;      // the part that clients see
  int32_t            read_only;   // READONLY flag: refuse every state change
};

// Fills the record from "<home>/etc/orvant.defs": defaults first, then the
// file's keyword lines; a warning on standard error for each key that no line
// set (unless quiet). The home path must be in the record or in ZULHOME.
// Returns 0; -1 when no home directory is known, or (unless quiet) when
// MAXARRAYBYTES is below SHAPEPTSBUFSIZE plus ATTRBUFSIZE. A missing file is
// not an error: the defaults stand.
int32_t read_configuration(INSTANCE_CONFIGURATION* record, int32_t quiet);

// Copies ZULHOME into the home path; -1 (and an empty path) when it is not
// set or does not fit.
int32_t get_home_path(INSTANCE_CONFIGURATION* record);

// Sets the log path to "UNUSED"; 0.
int32_t get_log_path(INSTANCE_CONFIGURATION* record);

// Copies ZULTMP into the temporary path; without it uses "/tmp" and warns.
// 0.
int32_t get_tmp_path(INSTANCE_CONFIGURATION* record);

// Removes one trailing separator from path in place, then checks that it
// names an existing directory the process may read and write. 0; the errno
// of the failed look-up when it does not exist (printed with perror unless
// quiet); -2 when it is not a directory or access is refused (with a line on
// standard error unless quiet).
int32_t validate_path(char* path, int32_t quiet);
int32_t validate_read_only_path(char* path, int32_t quiet);

#endif
