#include "host/terminal.h"

// The Windows player is driven by --at actions only.
bool terminal_keys_begin(void) { return false; }
void terminal_keys_end(void) {}
bool terminal_key_action(TimedAction *) { return false; }
