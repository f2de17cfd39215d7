// record_check.h -- checks of client records before they are stored: table
// registrations, versions, locators, and a layer's spatial-index grid sizes.
//
// Each check answers 0 when the record may be stored and the status that
// names the first fault otherwise; none changes the record.
#ifndef ZUL_RECORD_CHECK_H
#define ZUL_RECORD_CHECK_H

#include <stdint.h>

#include "geomkit.h"
#include "zul_layer.h"
#include "zul_registration.h"

#define SE_INVALID_GRID_SIZE      (-33)   // grid levels too small or badly spaced
#define SE_INVALID_ROWID_COLUMN   (-38)   // a row-id table without its column
#define SE_INVALID_VERSION_NAME   (-171)
#define SE_INVALID_STATEINFO      (-181)  // negative state id
#define SE_INVALID_LOCATOR_OWNER  (-273)
#define SE_INVALID_LOCATOR_NAME   (-274)
#define SE_INVALID_LOCATOR_TYPE   (-277)
#define SE_INVALID_GRID_PARAMS    (-317)  // parameters of a grid kind out of range
#define SE_INVALID_GRID_KIND      (-318)  // first grid size names no kind

// -65 null, -37 empty table name, -38 row-id flag (flags == 1) without a
// row-id column.
int32_t SES_verify_registration(const REGISTRATION* reg);
// -65 null, -171 empty name, -181 negative state id.
int32_t SES_verify_version(const VERSION* version);
// -65 null, -274 empty name, -273 empty owner, -277 type not 0, 1 or 2, -66
// a property without a name or a value (or a count the arrays cannot hold).
int32_t SES_verify_locator(const LOCATOR* locator);

// The kind of a layer's grid and its values. The first size decides: above
// 0, kind 1 with the three sizes as levels; otherwise its integer value must
// lie from -4 to 0 (else kind -5 and -318): -4 takes the second and third
// sizes as parameters, -3 the second, -2 to 0 none (unused values are 0).
// With check set the values are checked as well (-317, or the level rules of
// SES_verify_grid_levels). -65 for a null argument.
int32_t SES_verify_layer_grids(const LAYER* layer, int32_t* kind, double values[3], int32_t check);

// The level rules, in system units of cr (a default reference when null):
// level 1 at least 256; a non-zero level 2 at least 256 and 3 x level 1; a
// non-zero level 3 needs level 2 and is at least 256 and 3 x level 2. -33
// when a rule breaks or a level does not convert; -141 for a reference that
// cannot convert; a mapped geometry error when no default can be made.
int32_t SES_verify_grid_levels(const double grids[3], const COORDREF* cr);

#endif
