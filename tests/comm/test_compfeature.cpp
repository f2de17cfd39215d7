// test_compfeature.cpp -- varLONG, the compressed feature and annotations.
#include <gtest/gtest.h>

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "comp_ftr.h"
#include "zul_status.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A feature of n points (x = 100 i + k, y = -50 i) with Z and measures when asked.
void make_feature(FEATURE_STRUCT* f, int16_t entity, int32_t n, bool z, bool m) {
  memset(f, 0, sizeof *f);
  ASSERT_EQ(SgsShapeAllocate(f, n, z, m), 0);
  f->entity = entity;
  f->fid = 77;
  for (int32_t i = 0; i < n; i++) {
    f->points[i] = {100 * i + 3, -50 * i + 1000};
    if (z) f->z[i] = 7 * i - 20;
    if (m) f->m[i] = 1000000 - 3 * i;
  }
}

// A fresh feature holding a copy of f's compressed bytes, ready to unpack.
void receive(const FEATURE_STRUCT& f, FEATURE_STRUCT* r, bool with_extras) {
  memset(r, 0, sizeof *r);
  int32_t size = SES_get_compressed_buffer_size(&f);
  ASSERT_GT(size, 0);
  r->buffer = (unsigned char*)malloc((size_t)size);
  memcpy(r->buffer, f.buffer, (size_t)size);
  r->buffer_cap = size;
  r->numofpts = f.numofpts;
  if (with_extras) {
    ASSERT_EQ(SES_anno_create(&r->anno), 0);
    r->cad = (CAD_DATA*)calloc(1, sizeof(CAD_DATA));
  }
}

FEATURE_STRUCT* shape_of(int32_t n, bool z) {
  FEATURE_STRUCT* s = nullptr;
  EXPECT_EQ(SgShapeCreate(nullptr, &s), 0);
  EXPECT_EQ(SgsShapeAllocate(s, n, z, 0), 0);
  s->entity = n > 1 ? SG_LINE_SHAPE : SG_POINT_SHAPE;
  for (int32_t i = 0; i < n; i++) {
    s->points[i] = {10 * i, 20 * i + 5};
    if (z) s->z[i] = -i;
  }
  return s;
}

}  // namespace

TEST(VarLong, SizesAndBytes) {
  const struct { int32_t v; Bytes bytes; } kCases[] = {
      {0, {0x00}},           {-1, {0x41}},          {63, {0x3F}},         {-63, {0x7F}},
      {64, {0x80, 0x01}},    {8191, {0xBF, 0x7F}},  {8192, {0x80, 0x80, 0x01}},
      {1048575, {0xBF, 0xFF, 0x7F}},             {1048576, {0x80, 0x80, 0x80, 0x01}},
      {134217727, {0xBF, 0xFF, 0xFF, 0x7F}},     {134217728, {0x80, 0x80, 0x80, 0x80, 0x01}},
      {INT_MAX, {0xBF, 0xFF, 0xFF, 0xFF, 0x0F}}, {INT_MIN, {0xC0, 0x80, 0x80, 0x80, 0x10}},
  };
  for (const auto& c : kCases) {
    unsigned char out[8] = {0};
    unsigned char* end = SES_encode_varLONG(c.v, out);
    EXPECT_EQ(Bytes(out, end), c.bytes) << c.v;
    EXPECT_EQ(SES_size_varLONG_array(&c.v, 1), (int32_t)c.bytes.size()) << c.v;
    int32_t back = 12345;
    EXPECT_EQ(SES_decode_varLONG(out, &back), end) << c.v;
    EXPECT_EQ(back, c.v);
  }
  // Hostile forms: running past the end, a sixth byte, a value beyond 32 bits.
  const Bytes kBad[] = {{0x80}, {0x80, 0x80, 0x80, 0x80, 0x80, 0x01}, {0xBF, 0xFF, 0xFF, 0xFF, 0x1F}};
  for (const Bytes& b : kBad) {
    int32_t v;
    EXPECT_EQ(SES_decode_varLONG_bounded(b.data(), b.data() + b.size(), &v), nullptr);
  }
}

TEST(CompressedFeature, OnePointGivesTheTenBytesOfTheFormat) {
  FEATURE_STRUCT f;
  make_feature(&f, SG_POINT_SHAPE, 1, false, false);
  f.points[0] = {5, -3};
  ASSERT_EQ(SES_comp_feature_alloc(&f, 1, 0, 0), 0);
  ASSERT_EQ(SES_feature_compress(&f, 0), 0);
  EXPECT_EQ(SES_get_compressed_buffer_size(&f), 10);
  EXPECT_EQ(Bytes(f.buffer, f.buffer + 10), (Bytes{0x02, 0, 0, 0, 0, 0x00, 0x00, 0, 0x05, 0x43}));
  SES_comp_feature_free(&f);
}

// Compressing used to rewrite the feature's own points as differences, so a
// second compression produced differences of differences.
TEST(CompressedFeature, CompressingTwiceGivesTheSameBytesAndKeepsThePoints) {
  FEATURE_STRUCT f;
  make_feature(&f, SG_LINE_SHAPE, 5, true, true);
  const int32_t flags = SE_FEATURE_HAS_Z | SE_FEATURE_HAS_M;
  ASSERT_EQ(SES_feature_compress(&f, flags), 0);
  int32_t size = SES_get_compressed_buffer_size(&f);
  Bytes first(f.buffer, f.buffer + size);
  ASSERT_EQ(SES_feature_compress(&f, flags), 0);
  EXPECT_EQ(Bytes(f.buffer, f.buffer + SES_get_compressed_buffer_size(&f)), first);
  EXPECT_EQ(f.points[4].x, 403);
  EXPECT_EQ(f.m[4], 1000000 - 12);
  SES_comp_feature_free(&f);
}

TEST(CompressedFeature, EveryShapeKindRoundTripsWithZMeasuresAnnotationAndCad) {
  const struct { const char* name; int16_t entity; int32_t n; } kKinds[] = {
      {"nil", SG_NIL_SHAPE, 0},          {"point", SG_POINT_SHAPE, 1},
      {"multi point", SG_MULTI_POINT_SHAPE, 3}, {"line", SG_LINE_SHAPE, 4},
      {"simple line", SG_SIMPLE_LINE_SHAPE, 2}, {"area", SG_AREA_SHAPE, 5},
      {"multi line", SG_MULTI_LINE_SHAPE, 7},   {"multi area", SG_MULTI_AREA_SHAPE, 11},
  };
  const int32_t flags = SE_FEATURE_HAS_Z | SE_FEATURE_HAS_M | SE_FEATURE_HAS_ANNO | SE_FEATURE_HAS_CAD;
  for (const auto& k : kKinds) {
    SCOPED_TRACE(k.name);
    FEATURE_STRUCT f;
    make_feature(&f, k.entity, k.n, true, true);
    ASSERT_EQ(SES_anno_create(&f.anno), 0);
    f.anno->props[0] = -9;
    f.anno->fprops[3] = 2.75;
    strcpy(f.anno->text, "label");   // the text travels beside the buffer, not in it
    ASSERT_EQ(SES_anno_alignment_alloc(&f.anno->alignment), 0);
    f.anno->alignment->value2 = 44;
    f.anno->alignment->table2[19] = -3;
    f.anno->alignment->value4 = 0.125;
    f.anno->leader = shape_of(3, true);
    f.anno->placement = shape_of(1, false);
    f.cad = (CAD_DATA*)calloc(1, sizeof(CAD_DATA));
    f.cad->data = (uint8_t*)malloc(5);
    memcpy(f.cad->data, "\x01\x02\x00\xFF\x10", 5);
    f.cad->length = f.cad->capacity = 5;
    ASSERT_EQ(SES_comp_feature_alloc(&f, k.n, flags, 0), 0);
    ASSERT_EQ(SES_feature_compress(&f, flags), 0);
    EXPECT_EQ(SES_comp_feature_has_3D(&f), 1);
    EXPECT_EQ(SES_comp_feature_has_anno(&f), 1);
    EXPECT_EQ(SES_comp_feature_has_cad(&f), 1);

    FEATURE_STRUCT r;
    receive(f, &r, true);
    ASSERT_EQ(SES_feature_uncompress(0, &r), 0);
    for (int32_t i = 0; i < k.n; i++) {
      EXPECT_EQ(r.points[i].x, f.points[i].x) << i;
      EXPECT_EQ(r.points[i].y, f.points[i].y) << i;
      EXPECT_EQ(r.z[i], f.z[i]) << i;
      EXPECT_EQ(r.m[i], f.m[i]) << i;
    }
    EXPECT_EQ(r.anno->props[0], -9);
    EXPECT_EQ(r.anno->props[2], 7);
    EXPECT_EQ(r.anno->fprops[3], 2.75);
    ASSERT_NE(r.anno->alignment, nullptr);
    EXPECT_EQ(memcmp(r.anno->alignment, f.anno->alignment, sizeof(ANNO_ALIGNMENT)), 0);
    ASSERT_NE(r.anno->leader, nullptr);
    EXPECT_EQ(r.anno->leader->numofpts, 3);
    EXPECT_EQ(r.anno->leader->points[2].y, 45);
    EXPECT_EQ(r.anno->leader->z[2], -2);
    ASSERT_NE(r.anno->placement, nullptr);
    EXPECT_EQ(r.anno->placement->points[0].y, 5);
    EXPECT_EQ(r.cad->length, 5);
    EXPECT_EQ(memcmp(r.cad->data, f.cad->data, 5), 0);

    int32_t start = 0, len = 0;
    ASSERT_EQ(SES_get_compressed_anno_cad(&f, &start, &len), 0);
    EXPECT_GT(start, SE_COMP_HEADER - 1);
    EXPECT_EQ(start + len, SES_get_compressed_buffer_size(&f));
    SES_comp_feature_free(&f);
    SES_comp_feature_free(&r);
  }
}

TEST(CompressedFeature, MissingZAndMeasuresAreFilledIn) {
  FEATURE_STRUCT f;
  make_feature(&f, SG_LINE_SHAPE, 3, false, false);
  ASSERT_EQ(SES_feature_compress(&f, SE_FEATURE_HAS_Z | SE_FEATURE_HAS_M), 0);
  FEATURE_STRUCT r;
  receive(f, &r, false);
  ASSERT_EQ(SgsShapeAllocate(&r, 3, 1, 1), 0);
  for (int i = 0; i < 3; i++) r.z[i] = r.m[i] = 55;
  ASSERT_EQ(SES_feature_uncompress(1, &r), 0);
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(r.z[i], 0);
    EXPECT_EQ(r.m[i], -1);
  }
  EXPECT_EQ(r.points[2].x, 203);
  SES_comp_feature_free(&f);
  SES_comp_feature_free(&r);
}

TEST(CompressedFeature, DifferencesBeyond32BitsAreRefused) {
  FEATURE_STRUCT f;
  make_feature(&f, SG_LINE_SHAPE, 2, false, true);
  f.points[0] = {-2000000000, 0};
  f.points[1] = {2000000000, 0};
  EXPECT_EQ(SES_feature_compress(&f, 0), SE_COMP_FEATURE_OVERFLOW);
  f.points[0].x = 0;
  f.m[0] = INT_MIN;
  f.m[1] = INT_MAX;
  EXPECT_EQ(SES_feature_compress(&f, 0), 0);   // measures not asked for
  EXPECT_EQ(SES_feature_compress(&f, SE_FEATURE_HAS_M), SE_COMP_FEATURE_OVERFLOW);
  SES_comp_feature_free(&f);
}

// Decompression used to believe every length and count in the buffer.
TEST(CompressedFeature, TruncatedAndCorruptBuffersAreRefused) {
  const int32_t flags = SE_FEATURE_HAS_Z | SE_FEATURE_HAS_M | SE_FEATURE_HAS_ANNO | SE_FEATURE_HAS_CAD;
  FEATURE_STRUCT f;
  make_feature(&f, SG_LINE_SHAPE, 6, true, true);
  ASSERT_EQ(SES_anno_create(&f.anno), 0);
  ASSERT_EQ(SES_anno_alignment_alloc(&f.anno->alignment), 0);
  f.anno->leader = shape_of(4, true);
  f.cad = (CAD_DATA*)calloc(1, sizeof(CAD_DATA));
  f.cad->data = (uint8_t*)calloc(1, 9);
  f.cad->length = f.cad->capacity = 9;
  ASSERT_EQ(SES_feature_compress(&f, flags), 0);
  const int32_t size = SES_get_compressed_buffer_size(&f);
  const Bytes good(f.buffer, f.buffer + size);

  struct Case {
    const char* name;
    void (*spoil)(Bytes& b, int32_t* npts);
  };
  const Case kCases[] = {
      {"point count beyond the body", [](Bytes&, int32_t* n) { *n = 1000; }},
      {"point count beyond any limit", [](Bytes&, int32_t* n) { *n = INT_MAX; }},
      {"negative point count", [](Bytes&, int32_t* n) { *n = -4; }},
      {"length beyond the buffer", [](Bytes& b, int32_t*) { b[0] = 0xFF; b[1] = 0x7F; }},
      {"length field never ends", [](Bytes& b, int32_t*) { memset(b.data(), 0xFF, 5); }},
      {"unknown content flags", [](Bytes& b, int32_t*) { b[5] = 0x3F; }},
      {"alignment flag neither 0 nor 1", [](Bytes& b, int32_t*) {
         // The annotation section starts after 6 points of x, y, z, m.
         size_t p = 8;
         for (int i = 0; i < 24; i++) {
           int32_t v;
           p = SES_decode_varLONG_bounded(b.data() + p, b.data() + b.size(), &v) - b.data();
         }
         for (int i = 0; i < 3; i++) {
           int32_t v;
           p = SES_decode_varLONG_bounded(b.data() + p, b.data() + b.size(), &v) - b.data();
         }
         b[p] = 0x02;
       }},
      {"CAD length beyond the buffer", [](Bytes& b, int32_t*) { b[b.size() - 10] = 0x3F; }},
      {"every body byte a continuation", [](Bytes& b, int32_t*) { memset(b.data() + 8, 0x80, b.size() - 8); }},
  };
  for (const Case& c : kCases) {
    Bytes b = good;
    int32_t n = 6;
    c.spoil(b, &n);
    FEATURE_STRUCT r{};
    r.buffer = (unsigned char*)malloc(b.size());
    memcpy(r.buffer, b.data(), b.size());
    r.buffer_cap = (int32_t)b.size();
    r.numofpts = n;
    ASSERT_EQ(SES_anno_create(&r.anno), 0);
    r.cad = (CAD_DATA*)calloc(1, sizeof(CAD_DATA));
    EXPECT_NE(SES_feature_uncompress(0, &r), 0) << c.name;
    SES_comp_feature_free(&r);
  }
  // Every truncation of a good buffer, with the header left claiming the whole.
  for (int32_t cut = 0; cut < size; cut++) {
    FEATURE_STRUCT r{};
    r.buffer = (unsigned char*)malloc(cut ? (size_t)cut : 1);
    memcpy(r.buffer, good.data(), (size_t)cut);
    r.buffer_cap = cut;
    r.numofpts = 6;
    ASSERT_EQ(SES_anno_create(&r.anno), 0);
    r.cad = (CAD_DATA*)calloc(1, sizeof(CAD_DATA));
    EXPECT_NE(SES_feature_uncompress(0, &r), 0) << "cut at " << cut;
    int32_t start, len;
    SES_get_compressed_anno_cad(&r, &start, &len);
    SES_comp_feature_free(&r);
  }
  SES_comp_feature_free(&f);
}

TEST(CompressedFeature, AllocationSizes) {
  FEATURE_STRUCT f{};
  ASSERT_EQ(SES_comp_feature_alloc(&f, 10, SE_FEATURE_HAS_Z | SE_FEATURE_HAS_M, 1), 0);
  EXPECT_EQ(f.buffer_cap, 60 * 20);   // (10 + 50) points at 15 + 5 bytes
  EXPECT_NE(f.z, nullptr);
  EXPECT_EQ(SES_comp_feature_alloc(&f, -1, 0, 0), SE_INVALID_PARAM);
  ASSERT_EQ(SES_comp_feature_alloc_by_size(&f, SE_FEATURE_HAS_M, 5000), 0);
  EXPECT_EQ(f.buffer_cap, 5750);
  SES_comp_feature_free(&f);
  EXPECT_EQ(f.buffer, nullptr);
  EXPECT_EQ(f.numofpts, 0);
}

TEST(Annotation, TagGuardsEveryOperation) {
  ANNOTATION* a = nullptr;
  ASSERT_EQ(SES_anno_create(&a), 0);
  EXPECT_EQ(SES_anno_info_ok(a), 0);
  EXPECT_EQ(a->props[2], 7);
  EXPECT_EQ(SES_anno_size(a), 320);
  FEATURE_STRUCT* leader = shape_of(2, false);
  ASSERT_EQ(SES_anno_set_leader(a, leader), 0);
  EXPECT_EQ(SES_anno_size(a), 320 + 8 * a->leader->allocpts + 544);
  EXPECT_EQ(SES_anno_set_placement(a, nullptr), -134);

  ANNOTATION* copy = nullptr;
  ASSERT_EQ(SES_anno_create(&copy), 0);
  ASSERT_EQ(SES_anno_copy(a, copy), 0);
  ASSERT_NE(copy->leader, nullptr);
  EXPECT_EQ(copy->leader->points[1].x, 10);

  FEATURE_STRUCT nil{};
  ASSERT_EQ(SES_anno_set_leader(a, &nil), 0);   // a nil shape removes the leader
  EXPECT_EQ(a->leader, nullptr);

  memcpy(a->tag, "aNo", 4);
  EXPECT_EQ(SES_anno_info_ok(a), -71);
  EXPECT_EQ(SES_anno_size(a), 0);
  EXPECT_EQ(SES_anno_set_leader(a, leader), -71);
  memcpy(a->tag, "AnO", 4);
  SES_anno_free(a);
  SES_anno_free(copy);
  SgShapeFree(leader);
}
