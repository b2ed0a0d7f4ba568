// sonorium_preset: prints .env and .eq presets as text and writes them from
// text, without the plug-in's panels. See --help.
#include <cstdio>
#include <string>

#include "tools/preset_tool.h"

int main(int argc, char **argv) {
  std::string out, err;
  int status = preset_tool_run(argc, argv, stdin, &out, &err);
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
  std::fwrite(err.data(), 1, err.size(), stderr);
  return status;
}
