// projkit.h -- the projection library: coordinate-system objects.
//
// What it promises
//   - A coordinate-system object is made from a coordinate-system text (WKT,
//     or any form PROJ understands as a coordinate reference system) by
//     pe_coordsys_from_string and deleted by pe_coordsys_del. PROJ reads the
//     text; nothing here reprojects coordinates.
//   - The library remembers every object it has made and not yet deleted, so
//     pe_coordsys_p can tell a live object from a stale or foreign pointer,
//     and deleting the same object twice is harmless. A shape's coordinate
//     reference (COORDREF.coordsys in geomkit.h) may be copied whole by its
//     users; the copies then point at one object, and only the first delete
//     frees it.
//   - All functions are safe to call from several threads.
//
// What it does not do
//   - It does not understand the false origin or units of a coordinate
//     reference; those are geomkit's.
#ifndef PROJKIT_H
#define PROJKIT_H

#include <stdint.h>

typedef struct pe_coordsys_rec* PE_COORDSYS;

#define PE_SRTEXT_CAP 4096   // longest coordinate-system text accepted, bytes

#ifdef __cplusplus
extern "C" {
#endif

// Makes a coordinate-system object from a text. Null when the text is null,
// empty, longer than PE_SRTEXT_CAP, not a coordinate reference system, or
// memory fails. Delete with pe_coordsys_del.
PE_COORDSYS pe_coordsys_from_string(const char* text);

// The coordinate-system object that obj (the projection object held by a
// coordinate reference) is, or null when obj is null or not a live object of
// this library.
PE_COORDSYS pe_coordsys_p(const void* obj);

// Deletes a coordinate-system object. Null, stale and foreign pointers are
// ignored.
void pe_coordsys_del(PE_COORDSYS cs);

// Non-zero when both objects are live and describe the same coordinate
// system (names and parameters, ignoring metadata such as identifiers).
int32_t pe_coordsys_eq(PE_COORDSYS a, PE_COORDSYS b);

// The text the object was made from (owned by the object), or null for a
// dead object.
const char* pe_coordsys_text(PE_COORDSYS cs);

#ifdef __cplusplus
}
#endif

#endif
