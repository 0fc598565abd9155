// The whole-frame operations of the show beside memcpy of the same frame and
// beside pixman and SDL doing the same job on the same 320 x 240 frame. The
// peers' rounding differs; what is compared is the time for the job.
//   build/bench_frame_ops --benchmark_min_time=0.2
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "display/display.h"
#include "display/toolkit.h"
#include "show/fade.h"

namespace {

constexpr int kW = 320, kH = 240, kPixels = kW * kH, kBytes = kPixels * 4;

struct Frames {
  std::vector<uint32_t> a, b, dst;
  std::vector<uint8_t> out;  // 16- and 24-bit screens
  Frames() : a(kPixels), b(kPixels), dst(kPixels), out(kPixels * 4) {
    std::mt19937 rng(7);
    for (int i = 0; i < kPixels; ++i) {
      a[i] = rng() & 0xFFFFFF;
      b[i] = rng() & 0xFFFFFF;
    }
    // A quarter of the keyed source is the key.
    for (int i = 0; i < kPixels; i += 4) a[i] = 0;
    InitFadeOperations(kW, kH, 0);
  }
};

Frames& F() {
  static Frames f;
  return f;
}

void Report(benchmark::State& state) {
  state.SetBytesProcessed(int64_t(state.iterations()) * kBytes);
}

// ---- The yardstick.
void BM_Memcpy(benchmark::State& state) {
  Frames& f = F();
  for (auto _ : state) {
    std::memcpy(f.dst.data(), f.a.data(), kBytes);
    benchmark::ClobberMemory();
  }
  Report(state);
}
BENCHMARK(BM_Memcpy);

// ---- Ours, plain and SIMD.
template <void (*Fn)(void*, const uint32_t*, int)>
void BM_Convert(benchmark::State& state) {
  Frames& f = F();
  for (auto _ : state) {
    Fn(f.out.data(), f.a.data(), kBytes);
    benchmark::ClobberMemory();
  }
  Report(state);
}
BENCHMARK(BM_Convert<Convert16>)->Name("Convert16/plain");
BENCHMARK(BM_Convert<Convert16Simd>)->Name("Convert16/simd");
BENCHMARK(BM_Convert<Convert24>)->Name("Convert24/plain");
BENCHMARK(BM_Convert<Convert24Simd>)->Name("Convert24/simd");

template <void (*Fn)(uint32_t*, const uint32_t*, const uint32_t*, int, int)>
void BM_CrossFade(benchmark::State& state) {
  Frames& f = F();
  for (auto _ : state) {
    Fn(f.dst.data(), f.a.data(), f.b.data(), 100, kPixels);
    benchmark::ClobberMemory();
  }
  Report(state);
}
BENCHMARK(BM_CrossFade<CrossFadePlain>)->Name("CrossFade/plain");
BENCHMARK(BM_CrossFade<CrossFadeSimd>)->Name("CrossFade/simd");

template <void (*Fn)(uint32_t*, const uint32_t*, const uint32_t*, int, int, int)>
void BM_WeightedAdd(benchmark::State& state) {
  Frames& f = F();
  for (auto _ : state) {
    Fn(f.dst.data(), f.a.data(), f.b.data(), 180, 140, kPixels);
    benchmark::ClobberMemory();
  }
  Report(state);
}
BENCHMARK(BM_WeightedAdd<WeightedAddPlain>)->Name("WeightedAdd/plain");
BENCHMARK(BM_WeightedAdd<WeightedAddSimd>)->Name("WeightedAdd/simd");

template <void (*Fn)(uint32_t*, const uint32_t*, int, int)>
void BM_Level(benchmark::State& state) {
  Frames& f = F();
  for (auto _ : state) {
    Fn(f.dst.data(), f.a.data(), 100, kPixels);
    benchmark::ClobberMemory();
  }
  Report(state);
}
BENCHMARK(BM_Level<WhitenPlain>)->Name("Whiten/plain");
BENCHMARK(BM_Level<WhitenSimd>)->Name("Whiten/simd");
BENCHMARK(BM_Level<DarkenPlain>)->Name("Darken/plain");
BENCHMARK(BM_Level<DarkenSimd>)->Name("Darken/simd");

template <void (*Fn)(uint32_t*, const uint32_t*, const uint32_t*, int)>
void BM_Combine(benchmark::State& state) {
  Frames& f = F();
  for (auto _ : state) {
    Fn(f.dst.data(), f.a.data(), f.b.data(), kPixels);
    benchmark::ClobberMemory();
  }
  Report(state);
}
BENCHMARK(BM_Combine<TableCombinePlain>)->Name("TableCombine/plain");
BENCHMARK(BM_Combine<TableCombineSimd>)->Name("TableCombine/simd");

template <void (*Fn)(uint32_t*, const uint32_t*, uint32_t, int)>
void BM_Keyed(benchmark::State& state) {
  Frames& f = F();
  for (auto _ : state) {
    Fn(f.dst.data(), f.a.data(), 0, kPixels);
    benchmark::ClobberMemory();
  }
  Report(state);
}
BENCHMARK(BM_Keyed<KeyedCopyPlain>)->Name("KeyedCopy/plain");
BENCHMARK(BM_Keyed<KeyedCopySimd>)->Name("KeyedCopy/simd");

// ---- pixman: images wrapping the same frames.
pixman_image_t* Wrap(pixman_format_code_t format, void* bits, int bytesPerPixel) {
  return pixman_image_create_bits(format, kW, kH, static_cast<uint32_t*>(bits),
                                  kW * bytesPerPixel);
}

void PixmanConvert(benchmark::State& state, pixman_format_code_t format, int bytesPerPixel) {
  Frames& f = F();
  pixman_image_t* src = Wrap(PIXMAN_x8r8g8b8, f.a.data(), 4);
  pixman_image_t* dst = Wrap(format, f.out.data(), bytesPerPixel);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, kW, kH);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(src);
  pixman_image_unref(dst);
  Report(state);
}
void BM_PixmanConvert16(benchmark::State& s) { PixmanConvert(s, PIXMAN_r5g6b5, 2); }
void BM_PixmanConvert24(benchmark::State& s) { PixmanConvert(s, PIXMAN_r8g8b8, 3); }
BENCHMARK(BM_PixmanConvert16)->Name("Convert16/pixman");
BENCHMARK(BM_PixmanConvert24)->Name("Convert24/pixman");

pixman_image_t* Solid(uint16_t alpha, uint16_t grey) {
  pixman_color_t c = {grey, grey, grey, alpha};
  return pixman_image_create_solid_fill(&c);
}

// a scaled by one level into dst, then b scaled by another added on.
void PixmanWeighted(benchmark::State& state, uint16_t l1, uint16_t l2) {
  Frames& f = F();
  pixman_image_t* a = Wrap(PIXMAN_a8r8g8b8, f.a.data(), 4);
  pixman_image_t* b = Wrap(PIXMAN_a8r8g8b8, f.b.data(), 4);
  pixman_image_t* dst = Wrap(PIXMAN_a8r8g8b8, f.dst.data(), 4);
  pixman_image_t* m1 = Solid(l1, 0);
  pixman_image_t* m2 = Solid(l2, 0);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_SRC, a, m1, dst, 0, 0, 0, 0, 0, 0, kW, kH);
    pixman_image_composite32(PIXMAN_OP_ADD, b, m2, dst, 0, 0, 0, 0, 0, 0, kW, kH);
    benchmark::ClobberMemory();
  }
  for (pixman_image_t* i : {a, b, dst, m1, m2}) pixman_image_unref(i);
  Report(state);
}
void BM_PixmanCrossFade(benchmark::State& s) { PixmanWeighted(s, 155 * 257, 100 * 257); }
void BM_PixmanWeightedAdd(benchmark::State& s) { PixmanWeighted(s, 180 * 257, 140 * 257); }
BENCHMARK(BM_PixmanCrossFade)->Name("CrossFade/pixman");
BENCHMARK(BM_PixmanWeightedAdd)->Name("WeightedAdd/pixman");

// Whiten: white at the level over a copy of the frame; Darken: the frame
// through a solid mask of the level.
void BM_PixmanWhiten(benchmark::State& state) {
  Frames& f = F();
  pixman_image_t* a = Wrap(PIXMAN_x8r8g8b8, f.a.data(), 4);
  pixman_image_t* dst = Wrap(PIXMAN_x8r8g8b8, f.dst.data(), 4);
  pixman_image_t* white = Solid(100 * 257, 100 * 257);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_SRC, a, nullptr, dst, 0, 0, 0, 0, 0, 0, kW, kH);
    pixman_image_composite32(PIXMAN_OP_OVER, white, nullptr, dst, 0, 0, 0, 0, 0, 0, kW, kH);
    benchmark::ClobberMemory();
  }
  for (pixman_image_t* i : {a, dst, white}) pixman_image_unref(i);
  Report(state);
}
BENCHMARK(BM_PixmanWhiten)->Name("Whiten/pixman");

void BM_PixmanDarken(benchmark::State& state) {
  Frames& f = F();
  pixman_image_t* a = Wrap(PIXMAN_a8r8g8b8, f.a.data(), 4);
  pixman_image_t* dst = Wrap(PIXMAN_a8r8g8b8, f.dst.data(), 4);
  pixman_image_t* level = Solid(100 * 257, 0);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_SRC, a, level, dst, 0, 0, 0, 0, 0, 0, kW, kH);
    benchmark::ClobberMemory();
  }
  for (pixman_image_t* i : {a, dst, level}) pixman_image_unref(i);
  Report(state);
}
BENCHMARK(BM_PixmanDarken)->Name("Darken/pixman");

// Per-channel product: b as a component-alpha mask over a.
void BM_PixmanTableCombine(benchmark::State& state) {
  Frames& f = F();
  pixman_image_t* a = Wrap(PIXMAN_a8r8g8b8, f.a.data(), 4);
  pixman_image_t* b = Wrap(PIXMAN_a8r8g8b8, f.b.data(), 4);
  pixman_image_set_component_alpha(b, 1);
  pixman_image_t* dst = Wrap(PIXMAN_a8r8g8b8, f.dst.data(), 4);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_SRC, a, b, dst, 0, 0, 0, 0, 0, 0, kW, kH);
    benchmark::ClobberMemory();
  }
  for (pixman_image_t* i : {a, b, dst}) pixman_image_unref(i);
  Report(state);
}
BENCHMARK(BM_PixmanTableCombine)->Name("TableCombine/pixman");

// ---- SDL: surfaces over the same frames.
SDL_Surface* Surface(void* pixels, Uint32 format, int bytesPerPixel) {
  return SDL_CreateRGBSurfaceWithFormatFrom(pixels, kW, kH, bytesPerPixel * 8, kW * bytesPerPixel,
                                            format);
}

void SdlConvert(benchmark::State& state, Uint32 format, int bytesPerPixel) {
  Frames& f = F();
  for (auto _ : state) {
    SDL_ConvertPixels(kW, kH, SDL_PIXELFORMAT_XRGB8888, f.a.data(), kW * 4, format, f.out.data(),
                      kW * bytesPerPixel);
    benchmark::ClobberMemory();
  }
  Report(state);
}
void BM_SdlConvert16(benchmark::State& s) { SdlConvert(s, SDL_PIXELFORMAT_RGB565, 2); }
void BM_SdlConvert24(benchmark::State& s) { SdlConvert(s, SDL_PIXELFORMAT_BGR24, 3); }
BENCHMARK(BM_SdlConvert16)->Name("Convert16/sdl");
BENCHMARK(BM_SdlConvert24)->Name("Convert24/sdl");

// Blits of b onto a copy of a, set up once; blend is the surface's mode.
void SdlBlit(benchmark::State& state, SDL_BlendMode blend, int alpha, int colour, bool key,
             bool white) {
  Frames& f = F();
  std::vector<uint32_t> whiteFrame(kPixels, 0xFFFFFF);
  SDL_Surface* src = Surface(key ? f.a.data() : (white ? whiteFrame.data() : f.b.data()),
                             SDL_PIXELFORMAT_XRGB8888, 4);
  SDL_Surface* base = Surface(f.a.data(), SDL_PIXELFORMAT_XRGB8888, 4);
  SDL_Surface* dst = Surface(f.dst.data(), SDL_PIXELFORMAT_XRGB8888, 4);
  SDL_SetSurfaceBlendMode(base, SDL_BLENDMODE_NONE);
  SDL_SetSurfaceBlendMode(src, blend);
  if (alpha >= 0) SDL_SetSurfaceAlphaMod(src, static_cast<Uint8>(alpha));
  if (colour >= 0) SDL_SetSurfaceColorMod(src, colour, colour, colour);
  if (key) SDL_SetColorKey(src, SDL_TRUE, 0);
  for (auto _ : state) {
    if (!key && colour < 0) SDL_BlitSurface(base, nullptr, dst, nullptr);
    SDL_BlitSurface(src, nullptr, dst, nullptr);
    benchmark::ClobberMemory();
  }
  SDL_FreeSurface(src);
  SDL_FreeSurface(base);
  SDL_FreeSurface(dst);
  Report(state);
}
void BM_SdlCrossFade(benchmark::State& s) { SdlBlit(s, SDL_BLENDMODE_BLEND, 100, -1, false, false); }
void BM_SdlWeightedAdd(benchmark::State& s) { SdlBlit(s, SDL_BLENDMODE_ADD, 140, -1, false, false); }
void BM_SdlWhiten(benchmark::State& s) { SdlBlit(s, SDL_BLENDMODE_BLEND, 100, -1, false, true); }
void BM_SdlDarken(benchmark::State& s) { SdlBlit(s, SDL_BLENDMODE_NONE, -1, 100, false, false); }
void BM_SdlTableCombine(benchmark::State& s) { SdlBlit(s, SDL_BLENDMODE_MOD, -1, -1, false, false); }
void BM_SdlKeyedCopy(benchmark::State& s) { SdlBlit(s, SDL_BLENDMODE_NONE, -1, -1, true, false); }
BENCHMARK(BM_SdlCrossFade)->Name("CrossFade/sdl");
BENCHMARK(BM_SdlWeightedAdd)->Name("WeightedAdd/sdl");
BENCHMARK(BM_SdlWhiten)->Name("Whiten/sdl");
BENCHMARK(BM_SdlDarken)->Name("Darken/sdl");
BENCHMARK(BM_SdlTableCombine)->Name("TableCombine/sdl");
BENCHMARK(BM_SdlKeyedCopy)->Name("KeyedCopy/sdl");

}  // namespace
