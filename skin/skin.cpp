#include "skin/skin.h"

#include "skin/palette.h"
#include "skin/skin_table.h"

int skin_init(int capacity) {
  if (!skin_table_create(capacity)) return -1;
  skin_palette_reset_and_adjust();
  return 0;
}

void skin_install(int remove) { skin_look_install(remove); }

void skin_shutdown(void) { skin_table_destroy(); }

void skin_sweep(int all) { skin_table_sweep(all); }
