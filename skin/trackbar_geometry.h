// Trackbar geometry shared by painting and by click-to-position: the span
// of the track in pixels and the mapping between positions and pixels.
#pragma once

struct SkinRect {
  int left, top, right, bottom;
};

inline bool skin_rect_contains(const SkinRect &r, int x, int y) {
  return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

struct TrackGeometry {
  bool vertical;
  SkinRect channel;  // along the track as the control reports it, axes in order
  SkinRect thumb;
  SkinRect hit;      // channel along the track, thumb across it
  int start, end;    // the span the thumb's centre travels: hit shrunk by half the thumb
  int min, max;
};

// Builds the geometry from the channel and thumb rectangles the control
// reports and its range. Some control versions report the channel of a
// vertical trackbar unrotated (wider than high); it is turned upright.
TrackGeometry track_geometry(bool vertical, SkinRect channel, SkinRect thumb, int min, int max);

// The position a click at (x, y) jumps to: false when the point lies on the
// thumb or outside the hit rectangle (the click is then left to the control).
// The coordinate along the track is clamped to the travel span and mapped
// linearly onto min..max, rounded to the nearest integer.
bool track_click_position(const TrackGeometry &g, int x, int y, int *position);

// The pixel along the track where the thumb's centre stands at `position`
// (clamped to the range); used to draw the selection range.
int track_pixel_of(const TrackGeometry &g, int position);
