// The rasterizer's process-wide state, its two byte tables and the texture
// addressing constants per size code.
#include "raster/raster.h"

thread_local RasterStateRecord RasterState;
uint8_t MulTable[256 * 256];
uint8_t AddTable[256 * 256];

namespace {

int rasterReady = 0;

// uShift, uMask, vShift, vMask for size codes 1..16: the texel index is
// ((U >> uShift) & uMask) + ((V >> vShift) & vMask), so one repetition of the
// texture spans 256 units of u and v whatever its size.
struct AddressingRow {
  int32_t uShift;
  int32_t uMask;
  int32_t vShift;
  int32_t vMask;
};

constexpr AddressingRow kAddressing[16] = {
    {16, 0xFF, 8, 0xFF00},   // 256 x 256
    {17, 0x7F, 10, 0x3F80},  // 128 x 128
    {18, 0x3F, 12, 0xFC0},   // 64 x 64
    {19, 0x1F, 14, 0x3E0},   // 32 x 32
    {16, 0xFF, 9, 0x7F00},   // 256 x 128
    {16, 0xFF, 10, 0x3F00},  // 256 x 64
    {16, 0xFF, 11, 0x1F00},  // 256 x 32
    {17, 0x7F, 9, 0x7F80},   // 128 x 256
    {17, 0x7F, 11, 0x1F80},  // 128 x 64
    {17, 0x7F, 12, 0xF80},   // 128 x 32
    {18, 0x3F, 10, 0x3FC0},  // 64 x 256
    {18, 0x3F, 11, 0x1FC0},  // 64 x 128
    {18, 0x3F, 13, 0x7C0},   // 64 x 32
    {19, 0x1F, 11, 0x1FE0},  // 32 x 256
    {19, 0x1F, 12, 0xFE0},   // 32 x 128
    {19, 0x1F, 13, 0x7E0},   // 32 x 64
};

}  // namespace

void InitRasterizer() {
  if (rasterReady) return;
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      MulTable[a * 256 + b] = static_cast<uint8_t>((a * b) >> 8);
      AddTable[a * 256 + b] = static_cast<uint8_t>(a + b < 255 ? a + b : 255);
    }
  }
  RasterState.silhouetteColour = 0;
  SelectRenderMode(0);
  RasterState.v0 = nullptr;
  RasterState.v1 = nullptr;
  RasterState.v2 = nullptr;
  rasterReady = 1;
}

void SetTextureAddressing(Material* material) {
  if (!material || material->sizeCode < 1 || material->sizeCode > 16) return;
  const AddressingRow& row = kAddressing[material->sizeCode - 1];
  material->uShift = row.uShift;
  material->uMask = row.uMask;
  material->vShift = row.vShift;
  material->vMask = row.vMask;
  material->textureReady = 1;
}
