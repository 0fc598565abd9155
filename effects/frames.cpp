#include "effects/frames.h"

alignas(64) uint32_t ScratchFrame[5][kFramePixels];
