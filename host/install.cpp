#include "host/install.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/host_os.h"

namespace {
std::string join(const std::string &dir, const std::string &name) {
  if (dir.empty()) return name;
  char last = dir[dir.size() - 1];
  if (last == '/' || last == host_separator()) return dir + name;
  return dir + host_separator() + name;
}
}  // namespace

std::string settings_file(const std::string &settings_dir, const char *name) {
  return join(join(settings_dir, "SONORIUM"), name);
}

bool read_whole_file(const std::string &path, std::vector<uint8_t> *out, std::string *error) {
  out->clear();
  FILE *f = std::fopen(path.c_str(), "rb");
  if (!f) {
    *error = path + ": cannot open: " + std::strerror(errno);
    return false;
  }
  uint8_t buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out->insert(out->end(), buf, buf + n);
  bool bad = std::ferror(f) != 0;
  std::fclose(f);
  if (bad) *error = path + ": read error";
  return !bad;
}

bool write_whole_file(const std::string &path, const std::vector<uint8_t> &bytes, std::string *error) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) {
    *error = path + ": cannot create: " + std::strerror(errno);
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok) *error = path + ": write error";
  return ok;
}

bool env_preset_valid(const std::vector<uint8_t> &bytes, std::string *error) {
  if (bytes.size() != size_t(ENV_PRESET_BYTES)) {
    *error = "is " + std::to_string(bytes.size()) + " bytes; an .env preset is 572";
    return false;
  }
  if (std::memcmp(bytes.data(), "env4", 4) != 0) {
    *error = "does not begin with \"env4\"; not an .env preset";
    return false;
  }
  return true;
}

bool eq_preset_valid(const std::vector<uint8_t> &bytes, std::string *error) {
  if (bytes.size() != size_t(EQ_PRESET_BYTES)) {
    *error = "is " + std::to_string(bytes.size()) + " bytes; an .eq preset is 136";
    return false;
  }
  if (std::memcmp(bytes.data(), "eq10", 4) != 0) {
    *error = "does not begin with \"eq10\"; not an .eq preset";
    return false;
  }
  return true;
}

bool install_presets(const std::string &settings_dir, const std::string &env, const std::string &eq,
                     std::string *error) {
  std::vector<uint8_t> env_bytes, eq_bytes;
  std::string why;
  if (!env.empty()) {
    if (!read_whole_file(env, &env_bytes, error)) return false;
    if (!env_preset_valid(env_bytes, &why)) {
      *error = env + ": " + why;
      return false;
    }
  }
  if (!eq.empty()) {
    if (!read_whole_file(eq, &eq_bytes, error)) return false;
    if (!eq_preset_valid(eq_bytes, &why)) {
      *error = eq + ": " + why;
      return false;
    }
  }
  if (env.empty() && eq.empty()) return true;
  std::string folder = join(settings_dir, "SONORIUM");
  if (!host_make_dir(settings_dir) || !host_make_dir(folder)) {
    *error = folder + ": cannot create the settings folder";
    return false;
  }
  if (!env.empty() && !write_whole_file(settings_file(settings_dir, "_autosave.env"), env_bytes, error)) return false;
  if (!eq.empty()) {
    if (!write_whole_file(settings_file(settings_dir, "_autosave.eq"), eq_bytes, error)) return false;
    // The on flag first, then one highlight byte per band (all on unless
    // the stored file says otherwise).
    std::string ds_path = settings_file(settings_dir, "_autosave.ds");
    std::vector<uint8_t> ds;
    std::string ignored;
    if (!read_whole_file(ds_path, &ds, &ignored) || ds.size() != size_t(DS_FILE_BYTES))
      ds.assign(size_t(DS_FILE_BYTES), 1);
    ds[0] = 1;
    ds[1] = ds[2] = ds[3] = 0;
    if (!write_whole_file(ds_path, ds, error)) return false;
  }
  return true;
}
