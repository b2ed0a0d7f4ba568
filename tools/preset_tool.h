// The sonorium_preset command line: print, write, environments, --help.
#pragma once

#include <cstdio>
#include <string>

// Runs one command. Text for standard output goes to out, messages to err;
// a description named "-" is read from in. Returns the exit status: 0 done,
// 1 refused or failed (nothing written), 2 a usage mistake.
int preset_tool_run(int argc, const char *const *argv, std::FILE *in, std::string *out, std::string *err);

// The --help text.
std::string preset_tool_usage(void);
