// The frame geometry every 2D effect assumes, and the five scratch frames
// the effects share as intermediate targets. Nothing survives in a scratch
// frame from one frame to the next unless an effect says so.
#pragma once
#include <cstdint>

inline constexpr int kFrameWidth = 320;
inline constexpr int kFrameHeight = 240;
inline constexpr int kFramePixels = kFrameWidth * kFrameHeight;  // 76,800
inline constexpr int kFrameBytes = kFramePixels * 4;             // 307,200

extern uint32_t ScratchFrame[5][kFramePixels];
