#include "skin/trackbar_geometry.h"

#include <cmath>

TrackGeometry track_geometry(bool vertical, SkinRect channel, SkinRect thumb, int min, int max) {
  TrackGeometry g{};
  g.vertical = vertical;
  if (vertical && channel.right - channel.left > channel.bottom - channel.top)
    channel = SkinRect{channel.top, channel.left, channel.bottom, channel.right};
  g.channel = channel;
  g.thumb = thumb;
  g.min = min;
  g.max = max;
  int length;
  if (vertical) {
    g.hit = SkinRect{thumb.left, channel.top, thumb.right, channel.bottom};
    length = thumb.bottom - thumb.top;
    g.start = g.hit.top;
    g.end = g.hit.bottom;
  } else {
    g.hit = SkinRect{channel.left, thumb.top, channel.right, thumb.bottom};
    length = thumb.right - thumb.left;
    g.start = g.hit.left;
    g.end = g.hit.right;
  }
  if (length < 0) length = 0;
  g.start += length / 2;
  g.end -= length / 2 + (length & 1);
  return g;
}

bool track_click_position(const TrackGeometry &g, int x, int y, int *position) {
  if (skin_rect_contains(g.thumb, x, y)) return false;
  if (!skin_rect_contains(g.hit, x, y)) return false;
  // A track shorter than the thumb has no travel to map onto.
  if (g.end <= g.start) return false;
  int c = g.vertical ? y : x;
  if (c < g.start) c = g.start;
  if (c > g.end) c = g.end;
  double p = g.min + double(c - g.start) / double(g.end - g.start) * (double(g.max) - double(g.min));
  *position = int(std::lround(p));
  return true;
}

int track_pixel_of(const TrackGeometry &g, int position) {
  if (g.max <= g.min || g.end <= g.start) return g.start;
  if (position < g.min) position = g.min;
  if (position > g.max) position = g.max;
  double f = (double(position) - g.min) / (double(g.max) - g.min);
  return g.start + int(std::lround(f * (g.end - g.start)));
}
