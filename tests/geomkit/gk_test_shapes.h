// gk_test_shapes.h -- small fixtures for the geomkit tests: a shape built
// from a literal list of points (separators written as PART and RING), freed
// with the test.
#ifndef GK_TEST_SHAPES_H
#define GK_TEST_SHAPES_H

#include <string.h>

#include <initializer_list>
#include <vector>

#include "geomkit.h"

namespace gktest {

constexpr POINT PART = {SG_PART_SEP, SG_PART_SEP};
constexpr POINT RING = {SG_PART_SEP, SG_RING_SEP};

// A shape on a caller-owned FEATURE_STRUCT, as the server's records hold
// them; SgShapeFree releases its arrays.
struct Shape {
  FEATURE_STRUCT f;
  Shape(int32_t entity, std::initializer_list<POINT> pts) : Shape(entity, std::vector<POINT>(pts)) {}
  Shape(int32_t entity, const std::vector<POINT>& pts) {
    memset(&f, 0, sizeof f);
    SgsShapeInit(nullptr, &f);
    f.entity = static_cast<int16_t>(entity);
    if (!pts.empty()) {
      SgsShapeAllocate(&f, static_cast<int32_t>(pts.size()), 0, 0);
      memcpy(f.points, pts.data(), pts.size() * sizeof(POINT));
    }
    SgsNvelop(&f, nullptr);
  }
  Shape(const Shape&) = delete;
  Shape& operator=(const Shape&) = delete;
  ~Shape() { SgShapeFree(&f); }
};

// The closed ring of a rectangle.
inline std::vector<POINT> box(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  return {{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}, {x0, y0}};
}

inline std::vector<POINT> join(std::initializer_list<std::vector<POINT>> runs, POINT sep) {
  std::vector<POINT> out;
  for (const auto& r : runs) {
    if (!out.empty()) out.push_back(sep);
    out.insert(out.end(), r.begin(), r.end());
  }
  return out;
}

}  // namespace gktest

#endif
