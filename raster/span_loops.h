// The span family's one loop and its per-pixel operations, written once over
// a lane type: Scalar draws one pixel per step (the plain routines), Sse2 four
// and, in span_fillers_avx2.cpp, Avx2 eight. Each routine is SpanLoop<Lanes,
// Op>; a wider variant is another instantiation of the same code.
//
// Every lane type gives the same pixels: a texel's channel times a level is
// (channel * level) >> 8, exactly MulTable's entry, and a saturating sum is
// AddTable's. Interpolants wrap like 32-bit registers, so pixel i of a step
// takes start + i * delta however wide the step is. Wider steps read the
// texels of pixels that fail the depth test too; only the writes are masked.
//
// Everything here has internal linkage: each file including this header gets
// its own copy compiled for its own instruction set.
#pragma once
#include <emmintrin.h>

#include <cstdint>
#include <type_traits>

#include "raster/raster.h"
#include "raster/row_walk.h"

namespace {

// How a routine treats the depth buffer.
enum class Depth { kNone, kTest, kTestWrite };

inline int32_t Wrap(int64_t a) { return static_cast<int32_t>(static_cast<uint32_t>(a)); }

inline int32_t Step(int32_t a, int32_t d) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(d));
}

// The addressing constants of the current texture, loaded once per span.
struct Addressing {
  const uint32_t* texels;
  int32_t uShift;
  int32_t uMask;
  int32_t vShift;
  int32_t vMask;
  const uint32_t* shadowStamps;  // see RasterStateRecord
  uint32_t shadowLimit;
};

inline int32_t TexelIndex(const Addressing& a, int32_t u, int32_t v) {
  return ((u >> a.uShift) & a.uMask) + ((v >> a.vShift) & a.vMask);
}

inline uint32_t FetchOne(const Addressing& a, int32_t u, int32_t v) {
  return a.texels[TexelIndex(a, u, v)];
}

// The texel at i, black if shadowed by then. The stamps may be being
// written on another thread: read them as relaxed atomics.
inline uint32_t LitTexel(const Addressing& a, int32_t i) {
  return __atomic_load_n(a.shadowStamps + i, __ATOMIC_RELAXED) <= a.shadowLimit ? 0u : a.texels[i];
}

inline uint32_t FetchOneLit(const Addressing& a, int32_t u, int32_t v) {
  return LitTexel(a, TexelIndex(a, u, v));
}

// The multiplier bytes of a light level: its integer part, 0..255 wrapped.
inline uint32_t LevelByte(int32_t level) { return static_cast<uint32_t>(level >> 16) & 0xFF; }

// ---- One pixel per step.
struct Scalar {
  static constexpr int kWidth = 1;
  using Pixels = uint32_t;
  using Ints = int32_t;
  using Tail = Scalar;  // the pixels left after the whole steps

  static Ints Start(int32_t a, int32_t) { return a; }
  static Ints Advance(Ints a, int32_t d) { return Step(a, d); }
  static Pixels Fetch(const Addressing& a, Ints u, Ints v) { return FetchOne(a, u, v); }
  static Pixels FetchLit(const Addressing& a, Ints u, Ints v) { return FetchOneLit(a, u, v); }
  static Pixels Load(const uint32_t* p) { return *p; }
  static Ints LoadDepth(const int32_t* p) { return *p; }
  // All-ones where the depth test passes.
  static Pixels Passes(Ints z, Ints stored) { return z >= stored ? ~0u : 0u; }
  static bool None(Pixels pass) { return pass == 0; }
  static bool All(Pixels pass) { return pass != 0; }
  static void Store(uint32_t* p, Pixels v) { *p = v; }
  static void StoreDepth(int32_t* p, Ints z) { *p = z; }
  static void StoreWhere(uint32_t* p, Pixels v, Pixels) { *p = v; }
  static void StoreDepthWhere(int32_t* p, Ints z, Pixels) { *p = z; }

  // Multiplier bytes for blue, green, red in bytes 0, 1, 2; byte 3 zero.
  static Pixels Levels(Ints r, Ints g, Ints b) {
    return (LevelByte(r) << 16) | (LevelByte(g) << 8) | LevelByte(b);
  }
  static Pixels Level3(Ints level) { return LevelByte(level) * 0x010101u; }
  static Pixels Broadcast(uint32_t v) { return v; }
  // Each byte of t times the same byte of m, shifted right by 8.
  static Pixels Multiply(Pixels t, Pixels m) {
    uint32_t out = 0;
    for (int i = 0; i < 32; i += 8) out |= ((((t >> i) & 0xFF) * ((m >> i) & 0xFF)) >> 8) << i;
    return out;
  }
  // Each of the three colour bytes min(a + b, 255); byte 3 zero.
  static Pixels AddSaturated(Pixels a, Pixels b) {
    uint32_t out = 0;
    for (int i = 0; i < 24; i += 8) {
      uint32_t s = ((a >> i) & 0xFF) + ((b >> i) & 0xFF);
      out |= (s > 255 ? 255u : s) << i;
    }
    return out;
  }
  static Pixels Halves(Pixels a, Pixels b) {
    return ((a >> 1) & 0x7F7F7F) + ((b >> 1) & 0x7F7F7F);
  }
};

// ---- Four pixels per step.
struct OnePixel;

struct Sse2 {
  static constexpr int kWidth = 4;
  using Pixels = __m128i;
  using Ints = __m128i;
  using Tail = OnePixel;

  static Ints Start(int32_t a, int32_t d) {
    return _mm_setr_epi32(a, Wrap(int64_t{a} + d), Wrap(int64_t{a} + 2 * int64_t{d}),
                          Wrap(int64_t{a} + 3 * int64_t{d}));
  }
  static Ints Advance(Ints a, int32_t d) { return _mm_add_epi32(a, _mm_set1_epi32(Wrap(4 * int64_t{d}))); }
  static void Indices(const Addressing& a, Ints u, Ints v, int32_t index[4]) {
    const __m128i iu = _mm_and_si128(_mm_sra_epi32(u, _mm_cvtsi32_si128(a.uShift)),
                                     _mm_set1_epi32(a.uMask));
    const __m128i iv = _mm_and_si128(_mm_sra_epi32(v, _mm_cvtsi32_si128(a.vShift)),
                                     _mm_set1_epi32(a.vMask));
    _mm_store_si128(reinterpret_cast<__m128i*>(index), _mm_add_epi32(iu, iv));
  }
  static Pixels Fetch(const Addressing& a, Ints u, Ints v) {
    alignas(16) int32_t index[4];
    Indices(a, u, v, index);
    return _mm_setr_epi32(static_cast<int32_t>(a.texels[index[0]]),
                          static_cast<int32_t>(a.texels[index[1]]),
                          static_cast<int32_t>(a.texels[index[2]]),
                          static_cast<int32_t>(a.texels[index[3]]));
  }
  static Pixels FetchLit(const Addressing& a, Ints u, Ints v) {
    alignas(16) int32_t index[4];
    Indices(a, u, v, index);
    return _mm_setr_epi32(
        static_cast<int32_t>(LitTexel(a, index[0])), static_cast<int32_t>(LitTexel(a, index[1])),
        static_cast<int32_t>(LitTexel(a, index[2])), static_cast<int32_t>(LitTexel(a, index[3])));
  }
  static Pixels Load(const uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static Ints LoadDepth(const int32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static Pixels Passes(Ints z, Ints stored) {
    return _mm_xor_si128(_mm_cmpgt_epi32(stored, z), _mm_set1_epi32(-1));
  }
  static bool None(Pixels pass) { return _mm_movemask_epi8(pass) == 0; }
  static bool All(Pixels pass) { return _mm_movemask_epi8(pass) == 0xFFFF; }
  static void Store(uint32_t* p, Pixels v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
  static void StoreDepth(int32_t* p, Ints z) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), z); }
  static __m128i Select(__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
  }
  static void StoreWhere(uint32_t* p, Pixels v, Pixels pass) { Store(p, Select(pass, v, Load(p))); }
  static void StoreDepthWhere(int32_t* p, Ints z, Pixels pass) {
    StoreDepth(p, Select(pass, z, LoadDepth(p)));
  }

  static Ints ByteOf(Ints level) {
    return _mm_and_si128(_mm_srai_epi32(level, 16), _mm_set1_epi32(0xFF));
  }
  static Pixels Levels(Ints r, Ints g, Ints b) {
    return _mm_or_si128(_mm_or_si128(_mm_slli_epi32(ByteOf(r), 16), _mm_slli_epi32(ByteOf(g), 8)),
                        ByteOf(b));
  }
  static Pixels Level3(Ints level) {
    const __m128i l = ByteOf(level);
    return _mm_or_si128(_mm_or_si128(_mm_slli_epi32(l, 16), _mm_slli_epi32(l, 8)), l);
  }
  static Pixels Broadcast(uint32_t v) { return _mm_set1_epi32(static_cast<int32_t>(v)); }
  // Bytes widened to 16-bit lanes: a product of two bytes fits unsigned, so
  // the low half of the multiply is exact; >> 8 leaves at most 254.
  static Pixels Multiply(Pixels t, Pixels m) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i lo =
        _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(t, zero), _mm_unpacklo_epi8(m, zero)), 8);
    const __m128i hi =
        _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(t, zero), _mm_unpackhi_epi8(m, zero)), 8);
    return _mm_packus_epi16(lo, hi);
  }
  static Pixels AddSaturated(Pixels a, Pixels b) {
    return _mm_and_si128(_mm_adds_epu8(a, b), _mm_set1_epi32(0xFFFFFF));
  }
  static Pixels Halves(Pixels a, Pixels b) {
    const __m128i m = _mm_set1_epi32(0x7F7F7F);
    return _mm_add_epi32(_mm_and_si128(_mm_srli_epi32(a, 1), m), _mm_and_si128(_mm_srli_epi32(b, 1), m));
  }
};

// ---- One pixel per step in the SIMD sets' tails: the scalar loop with the
// byte products and saturating sums made in one SSE2 register, as the wide
// steps make them.
struct OnePixel : Scalar {
  static Pixels Multiply(Pixels t, Pixels m) {
    const __m128i p = _mm_cvtsi32_si128(static_cast<int32_t>(t));
    const __m128i q = _mm_cvtsi32_si128(static_cast<int32_t>(m));
    return static_cast<uint32_t>(_mm_cvtsi128_si32(Sse2::Multiply(p, q)));
  }
  static Pixels AddSaturated(Pixels a, Pixels b) {
    const __m128i p = _mm_cvtsi32_si128(static_cast<int32_t>(a));
    const __m128i q = _mm_cvtsi32_si128(static_cast<int32_t>(b));
    return static_cast<uint32_t>(_mm_cvtsi128_si32(Sse2::AddSaturated(p, q)));
  }
};

// ---- The per-pixel operations. Each names the depth use of its routine,
// whether it reads the frame, and which light levels it steps; Apply makes
// the new pixels from the frame's and the texels.

struct Lights {
  int32_t level, red, green, blue;
};

struct CopyOp {
  static constexpr bool kReadsFrame = false, kLevel = false, kRgb = false, kLevelRaw = false;
  template <class L>
  static typename L::Pixels Apply(typename L::Pixels, typename L::Pixels t,
                                  const typename L::Pixels&) {
    return t;
  }
};

// Each channel of the texel scaled by its own light level.
struct RgbOp {
  static constexpr bool kReadsFrame = false, kLevel = false, kRgb = true, kLevelRaw = false;
  template <class L>
  static typename L::Pixels Apply(typename L::Pixels, typename L::Pixels t,
                                  const typename L::Pixels& levels) {
    return L::Multiply(t, levels);
  }
};

struct HalfOp {
  static constexpr bool kReadsFrame = true, kLevel = false, kRgb = false, kLevelRaw = false;
  template <class L>
  static typename L::Pixels Apply(typename L::Pixels d, typename L::Pixels t,
                                  const typename L::Pixels&) {
    return L::Halves(d, t);
  }
};

// Texel scaled by one level on all three channels, added to the frame. The
// level comes from the stepped light level or, with a fixed opacity, from the
// routine's constant multiplier.
template <bool Stepped>
struct AddOp {
  static constexpr bool kReadsFrame = true, kLevel = Stepped, kRgb = false, kLevelRaw = false;
  template <class L>
  static typename L::Pixels Apply(typename L::Pixels d, typename L::Pixels t,
                                  const typename L::Pixels& levels) {
    return L::AddSaturated(d, L::Multiply(t, levels));
  }
};

// Texel darkened by the MulTable entry at the level's integer part, not
// masked: a level that strays just below 0 at a triangle's rim reads the end
// of the row before (c = 5 at level -1 gives Mul[4][255]); only an entry
// beyond either end of the table is held at that end. That reading of the
// table has no lane form, so shading runs one pixel a step in every set.
struct ShadeOp {
  static constexpr bool kReadsFrame = false, kLevel = true, kRgb = false, kLevelRaw = true;
  static uint32_t Entry(uint32_t c, int32_t level) {
    const int32_t i = static_cast<int32_t>(c) * 256 + (level >> 16);
    return MulTable[i < 0 ? 0 : (i > 0xFFFF ? 0xFFFF : i)];
  }
  template <class L>
  static uint32_t Apply(uint32_t, uint32_t t, const uint32_t& raw) {
    static_assert(L::kWidth == 1);
    const int32_t level = static_cast<int32_t>(raw);
    return (Entry((t >> 16) & 0xFF, level) << 16) | (Entry((t >> 8) & 0xFF, level) << 8) |
           Entry(t & 0xFF, level);
  }
};

// ---- The loop: r.count pixels from r.colour, then the advanced pointers
// and interpolants stored back into r. constant is the multiplier bytes of
// an operation that steps no level. Whole steps of the lane width first; the
// pixels left over go one at a time. Shadowed reads the texels through the
// shadow stamps.
template <class L, class Op, Depth D, bool Shadowed>
inline void SpanLoopOf(SpanArgs& r, const Addressing& a, uint32_t constant) {
  uint32_t* dst = r.colour;
  int32_t* zp = r.depth;
  int32_t n = r.count;
  const int32_t du = r.du, dv = r.dv, dz = r.dz;
  const int32_t dl = r.dlevel, dr = r.dred, dg = r.dgreen, db = r.dblue;
  int32_t u = r.u, v = r.v, z = r.z, level = r.level, red = r.red, g = r.green, b = r.blue;

  if constexpr (L::kWidth > 1 && !Op::kLevelRaw) {
    if (n >= L::kWidth) {
      typename L::Ints vu = L::Start(u, du), vv = L::Start(v, dv), vz = L::Start(z, dz);
      typename L::Ints vl = L::Start(level, dl), vr = L::Start(red, dr), vg = L::Start(g, dg),
                       vb = L::Start(b, db);
      const typename L::Pixels fixed = L::Broadcast(constant);
      const int32_t steps = n / L::kWidth;
      for (int32_t i = 0; i < steps; ++i) {
        typename L::Pixels pass{};
        typename L::Ints stored{};
        bool draw = true;
        if constexpr (D != Depth::kNone) {
          stored = L::LoadDepth(zp);
          pass = L::Passes(vz, stored);
          draw = !L::None(pass);
        }
        if (draw) {
          typename L::Pixels levels = fixed;
          if constexpr (Op::kRgb) levels = L::Levels(vr, vg, vb);
          if constexpr (Op::kLevel) levels = L::Level3(vl);
          typename L::Pixels frame{};
          if constexpr (Op::kReadsFrame) frame = L::Load(dst);
          typename L::Pixels texels;
          if constexpr (Shadowed)
            texels = L::FetchLit(a, vu, vv);
          else
            texels = L::Fetch(a, vu, vv);
          const typename L::Pixels out = Op::template Apply<L>(frame, texels, levels);
          if constexpr (D == Depth::kNone) {
            L::Store(dst, out);
          } else if (L::All(pass)) {
            L::Store(dst, out);
            if constexpr (D == Depth::kTestWrite) L::StoreDepth(zp, vz);
          } else {
            L::StoreWhere(dst, out, pass);
            if constexpr (D == Depth::kTestWrite) L::StoreDepthWhere(zp, vz, pass);
          }
        }
        dst += L::kWidth;
        if constexpr (D != Depth::kNone) zp += L::kWidth;
        vu = L::Advance(vu, du);
        vv = L::Advance(vv, dv);
        if constexpr (D != Depth::kNone) vz = L::Advance(vz, dz);
        if constexpr (Op::kLevel) vl = L::Advance(vl, dl);
        if constexpr (Op::kRgb) {
          vr = L::Advance(vr, dr);
          vg = L::Advance(vg, dg);
          vb = L::Advance(vb, db);
        }
      }
      // The scalar interpolants jump over the steps just drawn.
      const int64_t done = int64_t{steps} * L::kWidth;
      u = Wrap(u + done * du);
      v = Wrap(v + done * dv);
      z = Wrap(z + done * dz);
      level = Wrap(level + done * dl);
      red = Wrap(red + done * dr);
      g = Wrap(g + done * dg);
      b = Wrap(b + done * db);
      n -= steps * L::kWidth;
    }
  }

  for (; n > 0; --n) {
    if (D == Depth::kNone || z >= *zp) {
      uint32_t levels = constant;
      if constexpr (Op::kRgb) levels = Scalar::Levels(red, g, b);
      if constexpr (Op::kLevel) levels = Scalar::Level3(level);
      if constexpr (Op::kLevelRaw) levels = static_cast<uint32_t>(level);
      const uint32_t texel = Shadowed ? FetchOneLit(a, u, v) : FetchOne(a, u, v);
      *dst = Op::template Apply<typename L::Tail>(Op::kReadsFrame ? *dst : 0u, texel, levels);
      if constexpr (D == Depth::kTestWrite) *zp = z;
    }
    ++dst;
    if constexpr (D != Depth::kNone) ++zp;
    u = Step(u, du);
    v = Step(v, dv);
    if constexpr (D != Depth::kNone) z = Step(z, dz);
    if constexpr (Op::kLevel) level = Step(level, dl);
    if constexpr (Op::kRgb) {
      red = Step(red, dr);
      g = Step(g, dg);
      b = Step(b, db);
    }
  }

  r.colour = dst;
  r.u = u;
  r.v = v;
  if constexpr (D != Depth::kNone) {
    r.depth = zp;
    r.z = z;
  }
  if constexpr (Op::kLevel) r.level = level;
  if constexpr (Op::kRgb) {
    r.red = red;
    r.green = g;
    r.blue = b;
  }
}

// The projector lights' mode reads its texels through shadow stamps when it
// is given them; every other routine reads them as they are.
template <class L, class Op, Depth D>
inline void SpanLoop(SpanArgs& r, const Addressing& a, uint32_t constant) {
  if constexpr (std::is_same_v<Op, AddOp<true>> && D == Depth::kTest) {
    if (a.shadowStamps) {
      SpanLoopOf<L, Op, D, true>(r, a, constant);
      return;
    }
  }
  SpanLoopOf<L, Op, D, false>(r, a, constant);
}

// The texture addressing of the triangle being drawn.
inline Addressing CurrentAddressing() {
  const RasterStateRecord& s = RasterState;
  return Addressing{s.texels,  s.uShift & 31,   s.uMask,       s.vShift & 31,
                    s.vMask,   s.shadowStamps, s.shadowLimit};
}

// A span routine on RasterState: the span taken from it and the advanced
// values stored back, as the walkers of the plain set expect.
template <class L, class Op, Depth D>
inline void SpanOnState(uint32_t constant) {
  RasterStateRecord& s = RasterState;
  SpanArgs r{s.colour, s.depth, s.count, s.u,     s.du,   s.v,      s.dv,    s.z,
             s.dz,     s.level, s.dlevel, s.red, s.dred, s.green, s.dgreen, s.blue, s.dblue};
  SpanLoop<L, Op, D>(r, CurrentAddressing(), constant);
  s.colour = r.colour;
  s.u = r.u;
  s.v = r.v;
  if constexpr (D != Depth::kNone) {
    s.depth = r.depth;
    s.z = r.z;
  }
  if constexpr (Op::kLevel) s.level = r.level;
  if constexpr (Op::kRgb) {
    s.red = r.red;
    s.green = r.green;
    s.blue = r.blue;
  }
}

// The routines of one lane type, in the order of SpanRoutines, and the row
// walkers with each routine's loop inlined.
template <class L>
struct SpanFamily {
  static void CopyDepth() { SpanOnState<L, CopyOp, Depth::kTestWrite>(0); }
  static void Copy() { SpanOnState<L, CopyOp, Depth::kNone>(0); }
  static void RgbDepth() { SpanOnState<L, RgbOp, Depth::kTestWrite>(0); }
  static void Rgb() { SpanOnState<L, RgbOp, Depth::kNone>(0); }
  static void HalfDepth() { SpanOnState<L, HalfOp, Depth::kTestWrite>(0); }
  static void AddLevelTest() { SpanOnState<L, AddOp<true>, Depth::kTest>(0); }
  static void AddLevelDepth() { SpanOnState<L, AddOp<true>, Depth::kTestWrite>(0); }
  static void AddOpacity() { SpanOnState<L, AddOp<false>, Depth::kNone>(OpacityBytes()); }
  static void AddOpacityDepth() { SpanOnState<L, AddOp<false>, Depth::kTestWrite>(OpacityBytes()); }

  // The opacity row taken at mode selection is MulTable's row for the level.
  static uint32_t OpacityBytes() {
    const uint32_t level = static_cast<uint32_t>((RasterState.opacityRow - MulTable) / 256) & 0xFF;
    return level * 0x010101u;
  }

  static void Shade() { SpanOnState<Scalar, ShadeOp, Depth::kNone>(0); }

  // A section's rows drawn with Op, the texture addressing and the constant
  // multiplier taken once for the section.
  template <unsigned Set, bool Perspective, class Op, Depth D, class Lanes = L>
  static void Walk(int32_t firstRow, int32_t endRow) {
    const Addressing a = CurrentAddressing();
    const uint32_t constant = std::is_same_v<Op, AddOp<false>> ? OpacityBytes() : 0u;
    auto span = [&](SpanArgs& r) { SpanLoop<Lanes, Op, D>(r, a, constant); };
    if constexpr (Perspective)
      WalkPerspectiveRows<Set>(firstRow, endRow, span);
    else
      WalkAffineRows<Set>(firstRow, endRow, span);
  }

  static RowWalkers Walkers() {
    using D = Depth;
    return {
        Walk<kAffineUVLevel, false, ShadeOp, D::kNone, Scalar>,
        Walk<kAffineUVLevelZ, false, AddOp<true>, D::kTest>,
        Walk<kAffineUVLevelZ, false, AddOp<true>, D::kTestWrite>,
        Walk<kUVZ, true, AddOp<false>, D::kTestWrite>,
        Walk<kAffineUV, false, AddOp<false>, D::kNone>,
        Walk<kUVZRgb, true, RgbOp, D::kNone>,
        Walk<kUVZRgb, true, RgbOp, D::kTestWrite>,
        Walk<kUVZRgb, false, RgbOp, D::kNone>,
        Walk<kUVZRgb, false, RgbOp, D::kTestWrite>,
        Walk<kUVZ, true, HalfOp, D::kTestWrite>,
        Walk<kUVZ, true, CopyOp, D::kNone>,
        Walk<kUVZ, true, CopyOp, D::kTestWrite>,
        Walk<kUVZ, false, CopyOp, D::kTestWrite>,
    };
  }

  static SpanRoutines Table(SpanRoutineFn shade) {
    return {CopyDepth,     Copy,       shade,    RgbDepth, Rgb, HalfDepth, AddLevelTest, AddLevelDepth,
            AddOpacity, AddOpacityDepth, Walkers()};
  }
};

}  // namespace
