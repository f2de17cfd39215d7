// zul_xdr.h -- the XDR form of every record that travels on the channel.
//
// Each encoder is one routine for both directions in the manner of ONC RPC
// filters: it encodes or decodes by the stream's operation, and answers 1
// when every field was moved, 0 at the first failure (the later fields are
// left untouched). 32-bit fields go through xdr_int and xdr_u_int on int32_t
// and uint32_t, 16-bit fields as 4-byte integers.
//
// Character fields: a field of N bytes travels as an XDR string of at most N
// characters, but holds at most N - 1 and its NUL. An encoder sends the text
// up to its NUL (never past the field); a decoder refuses a longer text
// (answers 0) and never writes past the field.
//
// Encoders without a name of the protocol's own (the legacy and older
// layouts, metadata, raster records, column definitions) carry a suffix or
// a plain record name and are used by the XDR transport.
#ifndef ZUL_COMM_ZUL_XDR_H
#define ZUL_COMM_ZUL_XDR_H

#include <rpc/types.h>
#include <rpc/xdr.h>
#include <stdint.h>

#include "native_io.h"
#include "zul_config.h"
#include "zul_layer.h"
#include "zul_locks.h"
#include "zul_logfile.h"
#include "zul_raster.h"
#include "zul_registration.h"
#include "zul_release.h"

// ---- building blocks -------------------------------------------------------
// A character field of width bytes (see above).
bool_t xdr_char_field(XDR* xdrs, char* field, u_int width);
bool_t xdr_int16(XDR* xdrs, int16_t* v);        // a 16-bit field as a 4-byte integer
bool_t xdr_id_type(XDR* xdrs, int32_t* id);
// One character as a 4-byte integer: encodes the sign-extended character,
// decodes an integer and keeps its low byte.
bool_t xdr_const_char(XDR* xdrs, char* c);

// ---- geometry ----------------------------------------------------------------
bool_t xdr_POINT(XDR* xdrs, POINT* p);
bool_t xdr_ENVELOPE(XDR* xdrs, ENVELOPE* e);
bool_t xdr_SE_ENVELOPE(XDR* xdrs, SE_ENVELOPE* e);
bool_t xdr_POINT3D(XDR* xdrs, POINT3D* p);
// The pointer fields travel as 32-bit words: 0 for null, 1 otherwise (the
// point pointer as a value, the Z, measure and reference pointers as flags).
// A decoder never stores a received word as a pointer: the record keeps its
// own pointers, and xdr_FEATURE_STRUCT_present reports the peer's words as
// NIO_FEATURE_HAS_* bits (native_io.h).
bool_t xdr_FEATURE_STRUCT(XDR* xdrs, FEATURE_STRUCT* f);
bool_t xdr_FEATURE_STRUCT_present(XDR* xdrs, FEATURE_STRUCT* f, int32_t* present);
// Fixed vectors of count elements, no count on the wire; the caller sizes
// the arrays (count is checked against SG_MAX_POINTS). The Z and measure
// routine works on a scratch array (decoded values are dropped) when given
// none.
bool_t xdr_FEATURE_XYPTS(XDR* xdrs, POINT* points, int32_t count);
bool_t xdr_FEATURE_ZPTS(XDR* xdrs, int32_t* values, int32_t count);
bool_t xdr_FEATURE_MVALS(XDR* xdrs, int32_t* values, int32_t count);
// Thirteen doubles in group order, the text (4-byte length, then at most
// length + 1 characters; a decoder replaces the text, or keeps it for length
// 0), then the srid; the legacy form has no srid (its decoder sets 0).

bool_t xdr_COORDREF(XDR* xdrs, COORDREF* c);
bool_t xdr_COORDREF_legacy(XDR* xdrs, COORDREF* c);

// ---- layers and queries ---------------------------------------------------------
// The layer fields (not its COORDREF, which the transport sends after it);
// the legacy form stops before layer mask and base layer id (decoded as 0).
bool_t xdr_LAYER(XDR* xdrs, LAYER* l);
bool_t xdr_LAYER_legacy(XDR* xdrs, LAYER* l);
bool_t xdr_LAYER_STATS(XDR* xdrs, LAYER_STATS* s);
bool_t xdr_SE_GRID_STATS(XDR* xdrs, SE_GRID_STATS* g);
bool_t xdr_S_INDEX_STATS(XDR* xdrs, S_INDEX_STATS* s);
// Ends with the whole COORDREF of the spatial reference; decoding needs the
// record to have one.
bool_t xdr_SE_SPATIALREF(XDR* xdrs, SE_SPATIALREF* s);
bool_t xdr_RELEASE(XDR* xdrs, RELEASE* r);
bool_t xdr_SE_DATE(XDR* xdrs, SE_DATE* d);
// One column definition; the legacy form sends the name as 32 characters
// (xdr_const_char each) and no row-id kind (decoded as 3).
bool_t xdr_COLUMN_DEF(XDR* xdrs, COLUMN_DEF* c);
bool_t xdr_COLUMN_DEF_legacy(XDR* xdrs, COLUMN_DEF* c);
bool_t xdr_INPUT_DESC(XDR* xdrs, INPUT_DESC* d);

// ---- registry -----------------------------------------------------------------------
bool_t xdr_REGISTRATION(XDR* xdrs, REGISTRATION* r);
bool_t xdr_STATE(XDR* xdrs, STATE* s);
bool_t xdr_STATE_older(XDR* xdrs, STATE* s);      // no lineage name; decoded as the state id
bool_t xdr_VERSION(XDR* xdrs, VERSION* v);
bool_t xdr_LOGFILE(XDR* xdrs, LOGFILE* l);
bool_t xdr_METADATA_RECORD(XDR* xdrs, METADATA_RECORD* r);
bool_t xdr_METADATA_RECORD_older(XDR* xdrs, METADATA_RECORD* r);   // no object database

// ---- locks and the listener ----------------------------------------------------------
bool_t xdr_SE_LAYER_LOCKS(XDR* xdrs, SE_LAYER_LOCKS* l);
bool_t xdr_SE_TABLE_LOCK(XDR* xdrs, SE_TABLE_LOCK* l);
bool_t xdr_SE_VERSION_LOCK(XDR* xdrs, SE_VERSION_LOCK* l);
bool_t xdr_SE_OBJECT_LOCK(XDR* xdrs, SE_OBJECT_LOCK* l);
bool_t xdr_SE_INSTANCE_CONFIG(XDR* xdrs, SE_INSTANCE_CONFIG* c);
bool_t xdr_SE_INSTANCE_STATUS(XDR* xdrs, SE_INSTANCE_STATUS* s);
bool_t xdr_SE_INSTANCE_USER(XDR* xdrs, SE_INSTANCE_USER* u);
bool_t xdr_SE_INSTANCE_STATS(XDR* xdrs, SE_INSTANCE_STATS* s);
bool_t xdr_SE_INSTANCE_LOCK(XDR* xdrs, SE_INSTANCE_LOCK* l);
bool_t xdr_SE_INSTANCE_TABLE_LOCK(XDR* xdrs, SE_INSTANCE_TABLE_LOCK* l);
bool_t xdr_SE_INSTANCE_VERSION_LOCK(XDR* xdrs, SE_INSTANCE_VERSION_LOCK* l);
// Texts of at most 256 characters; a decoder allocates those it lacks (free
// them with xdr_free or free()).
bool_t xdr_client_user_info(XDR* xdrs, client_user_info* u);
bool_t xdr_req4io(XDR* xdrs, req4io* r);
bool_t xdr_open_res(XDR* xdrs, open_res* r);
bool_t xdr_open_res_old(XDR* xdrs, open_res_old* r);

// ---- rasters ---------------------------------------------------------------------------
// The column's database name is sent as a counted block of all 32 bytes of
// its field and read as a text of at most 31 characters (the field keeps its
// NUL). The COORDREF presence flag and reference are the transport's.
bool_t xdr_RASTERCOLUMN(XDR* xdrs, RASTERCOLUMN* r);
// Decoding clears the two local values and the update mask.
bool_t xdr_RASTERBAND(XDR* xdrs, RASTERBAND* b);
bool_t xdr_RASTER(XDR* xdrs, RASTER* r);
// Read by the server only; the encoding direction serves the client side
// and the tests.
bool_t xdr_RASTERATTR(XDR* xdrs, RASTERATTR* a);

#endif
