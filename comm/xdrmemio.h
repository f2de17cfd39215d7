// xdrmemio.h -- single values and features moved between a record and any
// XDR stream, typically one made by xdrmem_create over a memory block.
//
// Each operation sets the stream's direction itself (nothing else: no record
// boundary is touched) and answers 0 or -1. Writes take the value, reads a
// pointer. The record encoders are zul_xdr.h's.
#ifndef ZUL_COMM_XDRMEMIO_H
#define ZUL_COMM_XDRMEMIO_H

#include "zul_xdr.h"

int32_t XDRMEM_read_long(XDR* xdrs, int32_t* v);
int32_t XDRMEM_write_long(XDR* xdrs, int32_t v);
int32_t XDRMEM_read_ulong(XDR* xdrs, uint32_t* v);
int32_t XDRMEM_write_ulong(XDR* xdrs, uint32_t v);
int32_t XDRMEM_read_float(XDR* xdrs, float* v);
int32_t XDRMEM_write_float(XDR* xdrs, float v);
int32_t XDRMEM_read_lfloat(XDR* xdrs, double* v);
int32_t XDRMEM_write_lfloat(XDR* xdrs, double v);
int32_t XDRMEM_read_short(XDR* xdrs, int16_t* v);
int32_t XDRMEM_write_short(XDR* xdrs, int16_t v);
// An XDR string of at most XDRMEM_MAX_STRING characters; the reader takes
// the capacity of buf and refuses a longer text.
#define XDRMEM_MAX_STRING 4096
int32_t XDRMEM_read_string(XDR* xdrs, char* buf, u_int cap);
int32_t XDRMEM_write_string(XDR* xdrs, const char* text);
// The reader zeroes the record first.
int32_t XDRMEM_read_date(XDR* xdrs, SE_DATE* d);
int32_t XDRMEM_write_date(XDR* xdrs, SE_DATE* d);
// len raw bytes and zero padding to a multiple of 4.
int32_t XDRMEM_read_block(XDR* xdrs, void* buf, int32_t len);
int32_t XDRMEM_write_block(XDR* xdrs, const void* bytes, int32_t len);
// A FEATURE_STRUCT and its arrays in the stream's current direction, always
// into or from the feature's own arrays (its pointers are never replaced). A
// decoded point count must fit the feature's arrays (allocpts); Z values or
// measures the sender lacks are zeroed. On any failure the stream goes back
// to where the feature began, the feature is as it was, and -1 is returned.
int32_t XDRMEM_feature(FEATURE_STRUCT* f, XDR* xdrs);

#endif
