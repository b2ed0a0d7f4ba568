// The autosave files in the settings folder: "_autosave.env" (the acoustic
// state), "_autosave.eq" (the equalizer curve) and "_autosave.ds" (the
// equalizer's on/off flag and its 32 band highlight flags).
#pragma once

// The output thread's first pass once the host's main window is known:
// builds and creates the settings folder, reads the three files (first
// start: generic environment, cone outside volume -5000 mB and volume
// -1000 mB on every voice), designs the equalizer and applies the poses.
void autosave_load(void);
// The same, asking the host for its folder with a bounded wait: false (and
// nothing read) when the host's thread did not answer within timeout_ms, so
// the caller tries again on a later pass.
bool autosave_try_load(int timeout_ms);
// The same with the host's plug-in folder given (null: the host has none;
// then no file is read and the first-start state is set).
void autosave_load_from(const char *plugin_dir);

// Quit, while the device is still open: writes the three files. Does
// nothing when no load has happened, so a Quit that comes before the first
// pass never replaces the stored state with one that was never loaded.
void autosave_save(void);

// Whether autosave_load has run in this process.
bool autosave_loaded(void);
// Back to the state before any load (a new process, for tests).
void autosave_forget(void);
