// record_check.cpp -- checks of registrations, versions, locators and grid
// sizes (see record_check.h).
//
// Relies on geomkit to convert grid levels to system units.
#include "record_check.h"

#include <math.h>

#include "svr_services.h"
#include "zul_status.h"

int32_t SES_verify_registration(const REGISTRATION* reg) {
  if (!reg) return SE_INVALID_POINTER;
  if (reg->table[0] == '\0') return SE_TABLE_NOEXIST;
  if (reg->flags == SE_REG_HAS_ROWID && reg->rowid_column[0] == '\0') return SE_INVALID_ROWID_COLUMN;
  return 0;
}

int32_t SES_verify_version(const VERSION* version) {
  if (!version) return SE_INVALID_POINTER;
  if (version->name[0] == '\0') return SE_INVALID_VERSION_NAME;
  if (version->state_id < 0) return SE_INVALID_STATEINFO;
  return 0;
}

int32_t SES_verify_locator(const LOCATOR* locator) {
  if (!locator) return SE_INVALID_POINTER;
  if (locator->name[0] == '\0') return SE_INVALID_LOCATOR_NAME;
  if (locator->owner[0] == '\0') return SE_INVALID_LOCATOR_OWNER;
  if (locator->type < 0 || locator->type > 2) return SE_INVALID_LOCATOR_TYPE;
  if (locator->property_count < 0) return SE_INVALID_PARAM;
  if (locator->property_count > 0 && (!locator->property_names || !locator->property_values))
    return SE_INVALID_PARAM;
  for (int32_t i = 0; i < locator->property_count; i++) {
    const char* name = locator->property_names[i];
    if (!name || name[0] == '\0' || !locator->property_values[i]) return SE_INVALID_PARAM;
  }
  return 0;
}

int32_t SES_verify_layer_grids(const LAYER* layer, int32_t* kind, double values[3], int32_t check) {
  if (!layer || !kind || !values) return SE_INVALID_POINTER;
  const double* g = layer->grid_size;
  values[0] = values[1] = values[2] = 0;
  if (g[0] > 0) {
    *kind = 1;
    values[0] = g[0];
    values[1] = g[1];
    values[2] = g[2];
    return check ? SES_verify_grid_levels(g, layer->coordref) : 0;
  }
  // A value too far out to be an integer names no kind either.
  if (!(g[0] > -5)) {
    *kind = -5;
    return SE_INVALID_GRID_KIND;
  }
  int32_t k = (int32_t)g[0];
  *kind = k;
  switch (k) {
    case -4:
      values[0] = g[1];
      values[1] = g[2];
      if (check && (g[1] < 0 || g[2] < 0)) return SE_INVALID_GRID_PARAMS;
      return 0;
    case -3:
      values[0] = g[1];
      if (check && g[1] < 0) return SE_INVALID_GRID_PARAMS;
      return 0;
    case 0:
      if (check && (g[1] != 0 || g[2] != 0)) return SE_INVALID_GRID_PARAMS;
      return 0;
    default:   // -2 and -1
      return 0;
  }
}

namespace {

// One level in system units; false when it does not convert.
bool to_system(double level, const COORDREF* cr, int64_t* out) {
  int32_t sys = 0;
  if (SgsValueToSystem(level, 0.0, cr->xyunits, cr->xycround, cr->xyhalfsu, &sys)) return false;
  *out = sys;
  return true;
}

}  // namespace

int32_t SES_verify_grid_levels(const double grids[3], const COORDREF* cr) {
  if (!grids) return SE_INVALID_POINTER;
  COORDREF* own = nullptr;
  if (!cr) {
    int32_t rc = SgCoordRefCreate(&own);
    if (rc) return SES_map_shape_error_to_zul(rc);
    cr = own;
  }
  int32_t rc = 0;
  int64_t lv[3] = {0, 0, 0};
  if (!SgsCoordRefIsActive(cr)) {
    rc = SES_map_shape_error_to_zul(SG_COORDREF_NOT_ACTIVE);
  } else {
    for (int i = 0; i < 3 && !rc; i++)
      if (grids[i] != 0 && !to_system(grids[i], cr, &lv[i])) rc = SE_INVALID_GRID_SIZE;
    if (!rc) {
      if (lv[0] < 256) rc = SE_INVALID_GRID_SIZE;
      else if (lv[1] != 0 && (lv[1] < 256 || lv[1] < 3 * lv[0])) rc = SE_INVALID_GRID_SIZE;
      else if (lv[2] != 0 && (lv[1] == 0 || lv[2] < 256 || lv[2] < 3 * lv[1])) rc = SE_INVALID_GRID_SIZE;
    }
  }
  SgCoordRefFree(own);
  return rc;
}
