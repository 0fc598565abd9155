#include "show/controls.h"

#include <algorithm>

double ClampShowTime(const TimelineEntry* table, int rows, double t) {
  double end = 0.0;
  for (int i = 0; i < rows; ++i) end = std::max(end, static_cast<double>(table[i].end));
  if (!(t > 0.0)) return 0.0;
  return std::min(t, end);
}

double PreviousSceneStart(const TimelineEntry* table, int rows, double t) {
  double best = 0.0;
  for (int i = 0; i < rows; ++i) {
    double s = table[i].start;
    if (s < t - 1.0 && s > best) best = s;
  }
  return best;
}

double NextSceneStart(const TimelineEntry* table, int rows, double t) {
  double best = ClampShowTime(table, rows, 1e30);
  for (int i = 0; i < rows; ++i) {
    // A start within a millisecond counts as reached, so repeated presses
    // move on instead of landing on the same row.
    double s = table[i].start;
    if (s > t + 0.001 && s < best) best = s;
  }
  return best;
}

void MakeIcon(const uint32_t* picture, int width, int height, uint32_t* icon, int size) {
  int side = std::min(width, height);
  int x0 = (width - side) / 2, y0 = (height - side) / 2;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      int left = x0 + x * side / size, right = x0 + (x + 1) * side / size;
      int top = y0 + y * side / size, bottom = y0 + (y + 1) * side / size;
      uint32_t r = 0, g = 0, b = 0, n = 0;
      for (int py = top; py < bottom; ++py)
        for (int px = left; px < right; ++px) {
          uint32_t p = picture[static_cast<size_t>(py) * static_cast<size_t>(width) + px];
          r += (p >> 16) & 0xFF;
          g += (p >> 8) & 0xFF;
          b += p & 0xFF;
          ++n;
        }
      if (n == 0) n = 1;
      icon[static_cast<size_t>(y) * static_cast<size_t>(size) + x] =
          ((r / n) << 16) | ((g / n) << 8) | (b / n);
    }
}
