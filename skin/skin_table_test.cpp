#include "skin/skin_table.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "skin/class_table.h"
#include "skin/skin.h"

namespace {

void *win(uintptr_t n) { return reinterpret_cast<void *>(n); }

class SkinTable : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(skin_init(4), 0); }
  void TearDown() override { skin_shutdown(); }
};

TEST_F(SkinTable, TableIsAlignedZeroedAndEndsWithAnEndEntry) {
  const SkinEntry *e = skin_table_entries();
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(e) % 16, 0u);
  for (int i = 0; i <= 4; ++i) {
    EXPECT_EQ(e[i].window, nullptr);
    EXPECT_EQ(e[i].data, nullptr);
    EXPECT_EQ(e[i].previous_proc, 0);
  }
}

TEST_F(SkinTable, RegistersAtTheEndThenReusesFreeSlotsFirst) {
  SkinEntry *a = skin_table_register(win(0x10));
  SkinEntry *b = skin_table_register(win(0x20));
  SkinEntry *c = skin_table_register(win(0x30));
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(skin_table_index(a), 0);
  EXPECT_EQ(skin_table_index(b), 1);
  EXPECT_EQ(skin_table_index(c), 2);
  // The entry after the last used one is still the end.
  EXPECT_EQ(skin_table_entries()[3].window, nullptr);

  // Registering again finds the same entry and clears its mark.
  skin_table_mark(win(0x20));
  EXPECT_EQ(skin_table_register(win(0x20)), b);
  EXPECT_EQ(b->release_mark, 0u);

  // Free the first two; the next windows take them in order, not the end.
  skin_table_mark(win(0x10));
  skin_table_mark(win(0x20));
  EXPECT_EQ(skin_table_sweep(0), 2);
  EXPECT_EQ(a->window, SKIN_FREE_SLOT);
  EXPECT_EQ(b->window, SKIN_FREE_SLOT);
  EXPECT_EQ(skin_table_find(win(0x10)), nullptr);
  EXPECT_EQ(skin_table_find(win(0x30)), c);  // search runs past free slots
  EXPECT_EQ(skin_table_register(win(0x40)), a);
  EXPECT_EQ(skin_table_register(win(0x50)), b);
  EXPECT_EQ(skin_table_index(skin_table_register(win(0x60))), 3);
}

TEST_F(SkinTable, FullTableRefusesInsteadOfWritingPastTheEnd) {
  for (uintptr_t i = 1; i <= 4; ++i) ASSERT_NE(skin_table_register(win(i * 8)), nullptr);
  EXPECT_EQ(skin_table_register(win(0x100)), nullptr);
  EXPECT_EQ(skin_table_entries()[4].window, nullptr);
  // One released window makes room again.
  skin_table_mark(win(16));
  skin_table_sweep(0);
  EXPECT_EQ(skin_table_index(skin_table_register(win(0x100))), 1);
}

TEST_F(SkinTable, SweepReleasesOnlyMarkedEntriesAndTheirData) {
  SkinEntry *a = skin_table_register(win(0x10));
  SkinEntry *b = skin_table_register(win(0x20));
  ASSERT_TRUE(skin_table_ensure_data(a, skin_class(SKIN_HOTKEY).data_size));
  ASSERT_TRUE(skin_table_ensure_data(b, skin_class(SKIN_TRACKBAR).data_size));
  ASSERT_NE(a->data, nullptr);
  static_cast<unsigned char *>(a->data)[127] = 7;  // the whole 128-byte block is usable
  void *kept = b->data;
  ASSERT_TRUE(skin_table_ensure_data(b, 4));
  EXPECT_EQ(b->data, kept);  // an existing block is kept, not replaced
  a->previous_proc = 1234;

  EXPECT_TRUE(skin_table_mark(win(0x10)));
  EXPECT_FALSE(skin_table_mark(win(0x99)));
  EXPECT_EQ(skin_table_sweep(0), 1);
  EXPECT_EQ(a->window, SKIN_FREE_SLOT);
  EXPECT_EQ(a->data, nullptr);
  EXPECT_EQ(a->previous_proc, 0);
  EXPECT_EQ(b->window, win(0x20));
  EXPECT_EQ(b->data, kept);

  // Sweeping everything frees the rest; the table stays usable.
  EXPECT_EQ(skin_table_sweep(1), 1);
  EXPECT_EQ(skin_table_find(win(0x20)), nullptr);
  EXPECT_EQ(skin_table_sweep(1), 0);
  EXPECT_EQ(skin_table_index(skin_table_register(win(0x70))), 0);
}

TEST(SkinTableLifecycle, WorksWithoutATableAndAfterShutdown) {
  EXPECT_EQ(skin_table_register(win(1)), nullptr);
  EXPECT_EQ(skin_table_find(win(1)), nullptr);
  skin_sweep(1);
  skin_shutdown();
  EXPECT_EQ(skin_init(0), -1);
  ASSERT_EQ(skin_init(2048), 0);
  EXPECT_EQ(skin_table_capacity(), 2048);
  for (uintptr_t i = 1; i <= 2048; ++i) ASSERT_NE(skin_table_register(win(i)), nullptr);
  EXPECT_EQ(skin_table_register(win(5000)), nullptr);
  skin_shutdown();
  EXPECT_FALSE(skin_table_exists());
}

TEST(SkinClasses, NamesMatchExactlyWithTheirDataSizes) {
  EXPECT_EQ(skin_class_find("#32770"), SKIN_DIALOG);
  EXPECT_EQ(skin_class_find("msctls_trackbar32"), SKIN_TRACKBAR);
  EXPECT_EQ(skin_class_find("SysIPAddress32"), SKIN_IPADDRESS);
  EXPECT_EQ(skin_class_find("button"), -1);     // case matters
  EXPECT_EQ(skin_class_find("Buttons"), -1);    // the zero is part of the name
  EXPECT_EQ(skin_class_find("Butto"), -1);
  EXPECT_EQ(skin_class_find("ComboLBox"), -1);  // lists are skinned through their combo
  EXPECT_EQ(skin_class_find(""), -1);
  EXPECT_EQ(skin_class_find(nullptr), -1);
  const size_t sizes[SKIN_CLASS_COUNT] = {0, 4, 0, 4, 4, 0, 0, 4, 0, 0, 4, 0, 128, 0};
  for (int row = 0; row < SKIN_CLASS_COUNT; ++row) {
    EXPECT_EQ(skin_class(row).data_size, sizes[row]) << row;
    EXPECT_EQ(skin_class_find(skin_class(row).name), row);
  }
}

}  // namespace
