#include "skin/palette.h"

#include <gtest/gtest.h>

#include "skin/skin.h"

namespace {

struct Case {
  int r, g, b;  // designed
  int R, G, B;  // adjusted, worked out by hand from the colour-space steps
};

// Y' = (Y - 128) * 1.1 + 128 in YCbCr, back to RGB, gamma 0.98 and the
// cool shift (red -5.12, green -2.56, blue +5.12 levels).
const Case cases[] = {
    {128, 128, 128, 121, 124, 131},  // mid grey stays put but for gamma and shift
    {191, 191, 191, 191, 194, 201},
    {255, 255, 255, 255, 255, 255},  // clamped at the top
    {200, 60, 30, 191, 53, 31},      // saturated colours keep their hue
    {40, 42, 46, 25, 29, 41},
    {70, 140, 200, 63, 136, 204},
    // Contrast pushes these below zero; the channel is held at zero and
    // only the blue shift shows.
    {0, 0, 0, 0, 0, 5},
    {10, 10, 10, 0, 0, 5},
};

TEST(Palette, AdjustsKnownColours) {
  for (const Case &c : cases) {
    SkinColor out = skin_adjust_color(SKIN_RGB(c.r, c.g, c.b), skin_adjustment);
    EXPECT_EQ(SKIN_RED(out), c.R) << c.r << "," << c.g << "," << c.b;
    EXPECT_EQ(SKIN_GREEN(out), c.G) << c.r << "," << c.g << "," << c.b;
    EXPECT_EQ(SKIN_BLUE(out), c.B) << c.r << "," << c.g << "," << c.b;
  }
}

TEST(Palette, NeutralAdjustmentKeepsColours) {
  const SkinAdjustment none = {1.0, 1.0, 0.0, 1.0, 1.0, 0.0, 0.0, 0.0};
  for (int v : {0, 1, 17, 128, 254, 255})
    for (SkinColor c : {SKIN_RGB(v, v, v), SKIN_RGB(v, 255 - v, v / 2)}) {
      SkinColor out = skin_adjust_color(c, none);
      EXPECT_NEAR(SKIN_RED(out), SKIN_RED(c), 1);
      EXPECT_NEAR(SKIN_GREEN(out), SKIN_GREEN(c), 1);
      EXPECT_NEAR(SKIN_BLUE(out), SKIN_BLUE(c), 1);
    }
}

TEST(Palette, InitAdjustsEveryColourExactlyOnce) {
  ASSERT_EQ(skin_init(8), 0);
  ASSERT_EQ(skin_init(8), 0);  // a second start adjusts the designed values again, not twice
  const SkinColor *design = reinterpret_cast<const SkinColor *>(&skin_palette_design());
  const SkinColor *now = reinterpret_cast<const SkinColor *>(&skin_palette());
  for (int i = 0; i < SKIN_PALETTE_COLORS; ++i)
    EXPECT_EQ(now[i], skin_adjust_color(design[i], skin_adjustment)) << i;
  skin_shutdown();
}

TEST(Palette, LookIsInstalledAndRemoved) {
  ASSERT_EQ(skin_init(8), 0);
  EXPECT_EQ(skin_look(), nullptr);
  skin_install(0);
  const SkinLook *look = skin_look();
  ASSERT_NE(look, nullptr);
  EXPECT_EQ(look->colors, reinterpret_cast<const SkinColor *>(&skin_palette()));
  EXPECT_EQ(&look->bands[BAND_DIALOG], &skin_palette().bands[40]);
  EXPECT_EQ(look->shadow, &skin_palette().shadow);
  // Every pointer of the table leads somewhere.
  const void *const *p = reinterpret_cast<const void *const *>(look);
  for (int i = 0; i < 26; ++i) EXPECT_NE(p[i], nullptr) << i;
  skin_install(1);
  EXPECT_EQ(skin_look(), nullptr);
  skin_shutdown();
}

// The look is legible: text stays far from the backgrounds it sits on.
int luma(SkinColor c) { return (299 * SKIN_RED(c) + 587 * SKIN_GREEN(c) + 114 * SKIN_BLUE(c)) / 1000; }

TEST(Palette, TextContrastsWithItsBackgrounds) {
  ASSERT_EQ(skin_init(8), 0);
  const SkinPalette &p = skin_palette();
  for (int stop = 0; stop < SKIN_BAND_STOPS; ++stop) {
    EXPECT_GT(luma(p.statics.text) - luma(p.bands[BAND_DIALOG].stop[stop]), 120);
    EXPECT_GT(luma(p.button.text) - luma(p.bands[BAND_BUTTON].stop[stop]), 90);
    EXPECT_GT(luma(p.button.text) - luma(p.bands[BAND_BUTTON_HOVER].stop[stop]), 70);
    EXPECT_GT(luma(p.text.on_accent) - luma(p.bands[BAND_LIST_SELECTION].stop[stop]), 80);
  }
  EXPECT_GT(luma(p.edit.field) - luma(p.edit.text), 200);
  EXPECT_GT(luma(p.button.text_disabled) - luma(p.bands[BAND_BUTTON_DISABLED].stop[0]), 35);
  skin_shutdown();
}

}  // namespace
