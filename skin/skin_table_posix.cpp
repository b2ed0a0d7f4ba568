#include "skin/skin_table.h"

// Natively no window owns a surface or a subclassed procedure.
void skin_entry_release_platform(SkinEntry *) {}
