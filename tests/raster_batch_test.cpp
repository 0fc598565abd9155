// Triangle batches against drawing every triangle at once: the same pixels,
// depths and cached mode selection, however the rows are shared.
#include "raster/raster_batch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "raster/raster.h"

namespace {

constexpr int kWidth = 150, kHeight = 110, kPitch = 160;
constexpr int kTextureSize = 64;  // size code 3

struct Surfaces {
  std::vector<uint32_t> frame;
  std::vector<int32_t> depth;
  std::vector<uint32_t> texture;  // drawn into by silhouettes and read by adds
  int32_t mode = 0;
  const uint8_t* opacityRow = nullptr;
};

struct Call {
  ScreenVertex v[3];
  int material;
  bool intoTexture;
  // 0 nothing, 1 switch to banded, 2 to in order, 3 finish; before the
  // triangle, 4 fills a run of the frame (or the texture), 5 remakes the
  // frame's rows, shared between the threads.
  int batchStep;
  uint32_t shadowLimit;
  uint32_t fillValue;
};

class RasterBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitRasterizer();
    std::mt19937 rng(2024);
    picture_.resize(kTextureSize * kTextureSize);
    for (uint32_t& t : picture_) t = rng() & 0x7F7F7F;
    start_.frame.resize(kPitch * kHeight);
    start_.depth.resize(start_.frame.size());
    start_.texture.resize(kTextureSize * kTextureSize);
    for (uint32_t& p : start_.frame) p = rng() & 0xFFFFFF;
    for (int32_t& d : start_.depth) d = static_cast<int32_t>(rng() % 400000000);
    for (uint32_t& t : start_.texture) t = rng() | 0x404040;
    stamps_.resize(picture_.size());
    for (uint32_t& s : stamps_) s = rng() % 4 == 0 ? kNoShadowStamp : rng() % 50;

    // Two materials share the add-with-opacity mode at different opacities:
    // the opacity row is taken when the mode changes, so which one comes
    // first after a change decides the pixels of both.
    const struct {
      int32_t mode;
      float opacity;
      bool readsTexture;
    } kinds[] = {
        {0x0, 1.0f, false},          {0x300, 1.0f, false}, {0x60, 0.3f, false},
        {0x60, 0.8f, false},         {0x202, 1.0f, false}, {0x20, 1.0f, true},
        {0x360, 0.5f, true},         {0x204, 1.0f, false}, {RM_SILHOUETTE, 1.0f, false},
        {kShadowedAdd, 1.0f, false}, {0x110, 1.0f, false}, {0x60, 0.6f, true},
    };
    for (const auto& k : kinds) {
      Material m{};
      m.mode = k.mode;
      m.opacity = k.opacity;
      m.sizeCode = 3;
      SetTextureAddressing(&m);
      m.texels = k.mode == RM_SILHOUETTE ? nullptr : picture_.data();
      materials_.push_back(m);
      readsTexture_.push_back(k.readsTexture);
    }

    auto uniform = [&rng](float lo, float hi) {
      return lo + (hi - lo) * static_cast<float>(rng() % 100000) / 100000.0f;
    };
    for (int t = 0; t < 900; ++t) {
      Call c{};
      c.material = static_cast<int>(rng() % materials_.size());
      c.intoTexture = materials_[c.material].mode == RM_SILHOUETTE;
      const float w = c.intoTexture ? kTextureSize : kWidth;
      const float h = c.intoTexture ? kTextureSize : kHeight;
      const float cx = uniform(-8, w + 8), cy = uniform(-8, h + 8);
      const float size = t % 3 == 0 ? 4.0f : (t % 3 == 1 ? 18.0f : 70.0f);
      for (ScreenVertex& v : c.v)
        v = {cx + uniform(-size, size), cy + uniform(-size, size), uniform(0.5f, 6.0f),
             uniform(0, 255),           uniform(0, 255),           uniform(0, 255),
             uniform(0, 255),           uniform(-300, 600),        uniform(-300, 600)};
      const unsigned r = rng() % 16;
      c.batchStep = r < 5 ? static_cast<int>(r) + 1 : 0;
      c.shadowLimit = rng() % 50;
      c.fillValue = rng();
      calls_.push_back(c);
    }
  }

  // Draws every call; with batches the steps switch between sharing by rows
  // and drawing in order, and wait now and then.
  Surfaces Draw(bool batched) {
    Surfaces out = start_;
    std::vector<Material> materials = materials_;
    for (size_t i = 0; i < materials.size(); ++i)
      if (readsTexture_[i]) materials[i].texels = out.texture.data();
    SelectRenderMode(0);
    if (batched) RasterBatchBegin(RasterBatchMode::kBanded);
    for (const Call& c : calls_) {
      if (batched && c.batchStep == 1) RasterBatchSetMode(RasterBatchMode::kBanded);
      if (batched && c.batchStep == 2) RasterBatchSetMode(RasterBatchMode::kInOrder);
      if (batched && c.batchStep == 3) RasterBatchFinish();
      // Fills and shared rows keep their place among the triangles, batch
      // or not.
      if (c.batchStep == 4) {
        std::vector<uint32_t>& words = c.intoTexture ? out.texture : out.frame;
        const size_t first = c.fillValue % words.size();
        RasterBatchFill(words.data() + first, c.fillValue & 0xFFFFFF,
                        std::min<size_t>(words.size() - first, 700));
      }
      if (c.batchStep == 5)
        ShareRows(kHeight, 1 + c.fillValue % 9, [&out](int first, int end) {
          for (int y = first; y < end; ++y)
            for (int x = 0; x < kWidth; ++x) {
              uint32_t& p = out.frame[y * kPitch + x];
              p = (p * 3 + static_cast<uint32_t>(y)) & 0xFFFFFF;
            }
        });
      ScreenVertex v[3] = {c.v[0], c.v[1], c.v[2]};
      RasterState.v0 = &v[0];
      RasterState.v1 = &v[1];
      RasterState.v2 = &v[2];
      RasterState.material = &materials[c.material];
      // The lights' add reads the picture through shadow stamps, each
      // triangle with its own limit.
      const bool shadowed = materials[c.material].mode == kShadowedAdd;
      RasterState.shadowStamps = shadowed ? stamps_.data() : nullptr;
      RasterState.shadowLimit = c.shadowLimit;
      RasterState.target =
          c.intoTexture
              ? RenderTarget{out.texture.data(), nullptr, kTextureSize, kTextureSize, kTextureSize}
              : RenderTarget{out.frame.data(), out.depth.data(), kPitch, kWidth, kHeight};
      DrawTriangle();
    }
    RasterState.shadowStamps = nullptr;
    if (batched) RasterBatchEnd();
    out.mode = RasterState.mode;
    out.opacityRow = RasterState.opacityRow;
    return out;
  }

  void ExpectSame(const Surfaces& a, const Surfaces& b) {
    EXPECT_EQ(a.frame, b.frame);
    EXPECT_EQ(a.depth, b.depth);
    EXPECT_EQ(a.texture, b.texture);
    EXPECT_EQ(a.mode, b.mode);
    EXPECT_EQ(a.opacityRow, b.opacityRow);
  }

  std::vector<uint32_t> picture_;
  Surfaces start_;
  std::vector<Material> materials_;
  std::vector<bool> readsTexture_;
  std::vector<Call> calls_;
  std::vector<uint32_t> stamps_;
  static constexpr int32_t kShadowedAdd = 0x220;
  // Indices in kinds.
  static constexpr int kSilhouette = 8, kHalfBlend = 10, kTextureAdd = 11;
};

TEST_F(RasterBatchTest, EveryShareOfTheRowsDrawsWhatDirectDrawingDraws) {
  const Surfaces direct = Draw(false);
  EXPECT_NE(direct.frame, start_.frame);
  EXPECT_NE(direct.texture, start_.texture);
  ASSERT_TRUE(RasterBatchUsesWorker());
  // All rows here, all rows there, uneven shares, and the share that
  // follows the work (several rounds, so that it moves).
  for (int share : {0, 32, 9, 23, -1, -1, -1}) {
    SCOPED_TRACE("own share " + std::to_string(share));
    RasterBatchSetOwnShare(share);
    ExpectSame(Draw(true), direct);
  }
  RasterBatchSetOwnShare(-1);
}

// Large triangles queued faster than the worker draws them: at each wait
// the calling thread takes rows of those not yet begun, in order mode and
// in banded stretches alike. In the second list the last stretch has
// silhouettes into the texture and triangles reading it take turns: a
// reader is never shared, as its texels may be drawn by the other thread.
TEST_F(RasterBatchTest, TrianglesLeftAtAWaitAreSharedRowByRow) {
  constexpr size_t kLowerRows = 845, kTurns = 870;
  const std::vector<Call> original = calls_;
  for (bool turns : {false, true}) {
    calls_ = original;
    for (size_t i = 0; i < calls_.size(); ++i) {
      Call& c = calls_[i];
      const float cx = (c.v[0].x + c.v[1].x + c.v[2].x) / 3.0f;
      const float cy = (c.v[0].y + c.v[1].y + c.v[2].y) / 3.0f;
      for (ScreenVertex& v : c.v) {
        v.x = cx + 3.0f * (v.x - cx);
        v.y = cy + 3.0f * (v.y - cy);
      }
      // Without turns the banded stretch runs to the end, where nothing
      // draws over what it drew.
      c.batchStep = i == 0                         ? 2
                    : i % 120 == 0                 ? 3
                    : i == 500 + (turns ? 0 : 200) ? 1
                    : turns && i == 700            ? 2
                                                   : 0;
      // Readers of the texture are left out (and with turns, silhouettes
      // before the stretch, so that the texture is not all black by then),
      // so that most waits find long runs of triangles that may be shared.
      // The half blend in their place keeps the frame from saturating under
      // the many large adds: a row drawn twice or out of order shows.
      if ((readsTexture_[c.material] && !(turns && i >= kTurns)) ||
          (turns && c.intoTexture && i < kTurns)) {
        c.material = kHalfBlend;
        c.intoTexture = false;
      }
      if (!turns) continue;
      // Large triangles over the frame's lower rows, so that a thread taking
      // the top rows at the last wait gets well ahead.
      if (i >= kLowerRows && i < kTurns) {
        c.material = kHalfBlend;
        c.v[0].x = -5.0f, c.v[0].y = 40.0f;
        c.v[1].x = 160.0f, c.v[1].y = 42.0f + static_cast<float>(i % 7);
        c.v[2].x = 70.0f + static_cast<float>(i % 11), c.v[2].y = 115.0f;
      }
      if (i >= kTurns) {
        c.material = i % 2 == 0 ? kSilhouette : kTextureAdd;
        c.intoTexture = i % 2 == 0;
        for (ScreenVertex& v : c.v) {
          v.x = std::clamp(v.x, -8.0f, c.intoTexture ? 72.0f : 158.0f);
          v.y = std::clamp(v.y, -8.0f, c.intoTexture ? 72.0f : 118.0f);
        }
      }
    }
    const Surfaces direct = Draw(false);
    ASSERT_TRUE(RasterBatchUsesWorker());
    // Fixed shares decide the rows taken at waits too: none, a few (the
    // texture's lower rows left to the worker), most, all. Banded stretches
    // where this thread keeps few rows leave the worker behind too. Several
    // rounds each, so that a share following the work moves.
    for (int share : {0, 4, 9, 32, -1}) {
      RasterBatchSetOwnShare(share);
      for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(std::string(turns ? "turns" : "no readers") + ", own share " +
                     std::to_string(share) + ", round " + std::to_string(round));
        ExpectSame(Draw(true), direct);
      }
    }
    RasterBatchSetOwnShare(-1);
  }
}

TEST_F(RasterBatchTest, WithoutTheWorkerABatchDrawsAtOnce) {
  const Surfaces direct = Draw(false);
  RasterBatchEnableWorker(false);
  EXPECT_FALSE(RasterBatchUsesWorker());
  ExpectSame(Draw(true), direct);
  RasterBatchEnableWorker(true);
  EXPECT_TRUE(RasterBatchUsesWorker());
  ExpectSame(Draw(true), direct);
}

}  // namespace
