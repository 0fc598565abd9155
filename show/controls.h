// The player's controls in a window: where the scene keys jump to, and the
// window icon made from one of the show's pictures.
#pragma once
#include <cstdint>

#include "show/timeline.h"

// Seconds of a seek, kept inside the show [0, end of the last row].
double ClampShowTime(const TimelineEntry* table, int rows, double t);

// The row starts of the script are its scene changes. Previous: the latest
// start more than a second before t (so that a press early in a scene goes to
// the one before it), else 0. Next: the earliest start after t, else the end
// of the show.
double PreviousSceneStart(const TimelineEntry* table, int rows, double t);
double NextSceneStart(const TimelineEntry* table, int rows, double t);

// A size x size icon from the middle square of a width x height picture, every
// icon pixel the average of the block of picture pixels it covers.
void MakeIcon(const uint32_t* picture, int width, int height, uint32_t* icon, int size);
