#include "skin/trackbar_geometry.h"

#include <gtest/gtest.h>

namespace {

// A horizontal trackbar: channel from x 8 to 208, thumb 11 wide (odd) and
// 21 high, range 0..100. The thumb's centre travels 8+5 .. 208-6.
TrackGeometry horizontal(int thumb_x = 100) {
  return track_geometry(false, SkinRect{8, 14, 208, 18}, SkinRect{thumb_x, 6, thumb_x + 11, 27}, 0, 100);
}

TEST(TrackClick, HorizontalShrinksByHalfTheThumbWithTheOddPixelAtTheFarEnd) {
  TrackGeometry g = horizontal(150);
  EXPECT_EQ(g.start, 13);
  EXPECT_EQ(g.end, 202);
  int pos = -1;
  ASSERT_TRUE(track_click_position(g, 202, 16, &pos));
  EXPECT_EQ(pos, 100);
  ASSERT_TRUE(track_click_position(g, 13, 16, &pos));
  EXPECT_EQ(pos, 0);
  // Middle of the travel: (107 - 13) / 189 * 100 = 49.7 -> 50.
  ASSERT_TRUE(track_click_position(g, 107, 16, &pos));
  EXPECT_EQ(pos, 50);
  // Rounding to the nearest: (15 - 13) / 189 * 100 = 1.06 -> 1; 16 -> 1.59 -> 2.
  ASSERT_TRUE(track_click_position(g, 15, 16, &pos));
  EXPECT_EQ(pos, 1);
  ASSERT_TRUE(track_click_position(g, 16, 16, &pos));
  EXPECT_EQ(pos, 2);
}

TEST(TrackClick, ClampsAtBothEndsOfTheChannel) {
  TrackGeometry g = horizontal();
  int pos = -1;
  ASSERT_TRUE(track_click_position(g, 8, 10, &pos));  // channel start, inside the hit rectangle
  EXPECT_EQ(pos, 0);
  ASSERT_TRUE(track_click_position(g, 207, 26, &pos));  // last pixel of the channel
  EXPECT_EQ(pos, 100);
}

TEST(TrackClick, IgnoresTheThumbAndPointsOutsideTheHitRectangle) {
  TrackGeometry g = horizontal();
  int pos = -7;
  EXPECT_FALSE(track_click_position(g, 105, 16, &pos));  // on the thumb
  EXPECT_FALSE(track_click_position(g, 7, 16, &pos));    // before the channel
  EXPECT_FALSE(track_click_position(g, 208, 16, &pos));  // right edge is exclusive
  EXPECT_FALSE(track_click_position(g, 50, 5, &pos));    // above the thumb's band
  EXPECT_FALSE(track_click_position(g, 50, 27, &pos));
  EXPECT_EQ(pos, -7);
}

TEST(TrackClick, VerticalSwapsTheAxesAndMapsTopToMin) {
  // Channel y 10..110, thumb 20 wide and 10 high (even), range -12..12.
  TrackGeometry g = track_geometry(true, SkinRect{20, 10, 24, 110}, SkinRect{12, 50, 32, 60}, -12, 12);
  EXPECT_EQ(g.start, 15);
  EXPECT_EQ(g.end, 105);
  int pos = 99;
  ASSERT_TRUE(track_click_position(g, 22, 10, &pos));
  EXPECT_EQ(pos, -12);
  ASSERT_TRUE(track_click_position(g, 22, 109, &pos));
  EXPECT_EQ(pos, 12);
  // 2 of 90 pixels below the start: -12 + 24 * 2/90 = -11.47 -> -11.
  ASSERT_TRUE(track_click_position(g, 13, 17, &pos));
  EXPECT_EQ(pos, -11);
  EXPECT_FALSE(track_click_position(g, 11, 30, &pos));  // left of the thumb's band
  EXPECT_FALSE(track_click_position(g, 22, 55, &pos));  // on the thumb
}

TEST(TrackClick, VerticalChannelReportedUnrotatedIsTurnedUpright) {
  TrackGeometry g = track_geometry(true, SkinRect{10, 20, 110, 24}, SkinRect{12, 50, 32, 60}, 0, 90);
  EXPECT_EQ(g.channel.top, 10);
  EXPECT_EQ(g.channel.bottom, 110);
  int pos = 0;
  ASSERT_TRUE(track_click_position(g, 22, 104, &pos));
  EXPECT_EQ(pos, 89);
}

TEST(TrackClick, TrackShorterThanTheThumbDoesNotDivideByZero) {
  TrackGeometry g = track_geometry(false, SkinRect{0, 10, 10, 14}, SkinRect{20, 0, 31, 20}, 0, 10);
  int pos = 5;
  EXPECT_FALSE(track_click_position(g, 3, 12, &pos));
  EXPECT_EQ(pos, 5);
  EXPECT_EQ(track_pixel_of(g, 10), g.start);
}

TEST(TrackPixels, PositionsMapBackToTheClickedPixels) {
  TrackGeometry g = horizontal(150);
  EXPECT_EQ(track_pixel_of(g, 0), 13);
  EXPECT_EQ(track_pixel_of(g, 100), 202);
  EXPECT_EQ(track_pixel_of(g, -5), 13);
  EXPECT_EQ(track_pixel_of(g, 500), 202);
  for (int p = 0; p <= 100; p += 7) {
    int back = -1;
    int x = track_pixel_of(g, p);
    if (skin_rect_contains(g.thumb, x, 16)) continue;
    ASSERT_TRUE(track_click_position(g, x, 16, &back));
    EXPECT_EQ(back, p);
  }
}

}  // namespace
