#include "platform/node/config.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/profile.h"

namespace {

constexpr std::uint32_t value_size = 4096;
constexpr std::size_t lu_width = 8;
constexpr std::size_t mode_width = 8;
constexpr std::size_t tp_width = 64;

std::string read_value(const char* path, const std::string& section, const char* key) {
  std::array<char, value_size> buffer{};
  profile_get_string(section.c_str(), key, "", buffer.data(), value_size, path);
  return buffer.data();
}

std::string trimmed(const std::string& text) {
  std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// A comma-separated list; every element must be 1..width characters.
bool read_list(const char* path, const char* key, std::size_t width, bool required,
               std::vector<std::string>& names, std::string& error) {
  std::string value = read_value(path, "NODE", key);
  names.clear();
  std::size_t start = 0;
  while (!value.empty() && start <= value.size()) {
    std::size_t comma = value.find(',', start);
    if (comma == std::string::npos) comma = value.size();
    std::string name = trimmed(value.substr(start, comma - start));
    if (name.empty() || name.size() > width) {
      error = std::string("[NODE] ") + key + ": \"" + name + "\" is not a name of 1 to " +
              std::to_string(width) + " characters";
      return false;
    }
    names.push_back(name);
    start = comma + 1;
  }
  if (required && names.empty()) {
    error = std::string("[NODE] ") + key + " is missing";
    return false;
  }
  return true;
}

// An optional decimal integer in [low, high]; absent keeps value.
bool read_number(const char* path, const std::string& section, const char* key, long low,
                 long high, int& value, std::string& error) {
  std::string text = trimmed(read_value(path, section, key));
  if (text.empty()) return true;
  char* end = nullptr;
  errno = 0;
  long number = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || number < low || number > high) {
    error = "[" + section + "] " + key + ": \"" + text + "\" is not a number from " +
            std::to_string(low) + " to " + std::to_string(high);
    return false;
  }
  value = static_cast<int>(number);
  return true;
}

bool read_host_tp(const char* path, host_tp_config& tp, std::string& error) {
  std::string section = "TP " + tp.name;
  std::string kind = trimmed(read_value(path, section, "KIND"));
  if (kind == "echo") {
    tp.kind = host_tp_kind::echo;
  } else if (kind == "reply") {
    tp.kind = host_tp_kind::reply;
    tp.text = read_value(path, section, "TEXT");
    if (tp.text.empty()) {
      error = "[" + section + "] TEXT is missing";
      return false;
    }
  } else if (kind == "exec") {
    tp.kind = host_tp_kind::exec;
    tp.command = read_value(path, section, "COMMAND");
    if (tp.command.empty()) {
      error = "[" + section + "] COMMAND is missing";
      return false;
    }
  } else {
    error = "[" + section + "] KIND: \"" + kind + "\" is not echo, reply or exec";
    return false;
  }
  int translate = 0;
  int time_limit_s = tp.time_limit_ms / 1000;
  if (!read_number(path, section, "TRANSLATE", 0, 1, translate, error) ||
      !read_number(path, section, "TIME_LIMIT", 1, 3600, time_limit_s, error) ||
      !read_number(path, section, "DELAY_MS", 0, 600000, tp.delay_ms, error)) {
    return false;
  }
  tp.translate = translate != 0;
  tp.time_limit_ms = time_limit_s * 1000;
  std::string end = trimmed(read_value(path, section, "END"));
  if (end.empty() || end == "deallocate") {
    tp.keep_open = false;
  } else if (end == "keep") {
    tp.keep_open = true;
  } else {
    error = "[" + section + "] END: \"" + end + "\" is not deallocate or keep";
    return false;
  }
  return true;
}

}  // namespace

bool node_config_load(const char* path, node_config& config, std::string& error) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    error = std::string("cannot open ") + path;
    return false;
  }
  std::fclose(file);
  config = node_config{};
  config.listen = trimmed(read_value(path, "NODE", "LISTEN"));
  std::vector<std::string> host_tps;
  int attach_timeout_s = config.attach_timeout_ms / 1000;
  if (!read_list(path, "LOCAL_LUS", lu_width, true, config.local_lus, error) ||
      !read_list(path, "PARTNER_LUS", lu_width, true, config.partner_lus, error) ||
      !read_list(path, "MODES", mode_width, true, config.modes, error) ||
      !read_list(path, "LOCAL_TPS", tp_width, false, config.local_tps, error) ||
      !read_list(path, "HOST_TPS", tp_width, false, host_tps, error) ||
      !read_number(path, "NODE", "ATTACH_TIMEOUT", 1, 3600, attach_timeout_s, error) ||
      !read_number(path, "NODE", "BUSY_POLL_US", 0, 10000, config.busy_poll_us, error)) {
    return false;
  }
  config.attach_timeout_ms = attach_timeout_s * 1000;
  for (const std::string& name : host_tps) {
    host_tp_config tp;
    tp.name = name;
    if (!read_host_tp(path, tp, error)) return false;
    config.host_tps.push_back(tp);
  }
  return true;
}

const host_tp_config* node_config_host_tp(const node_config& config, const std::string& name) {
  for (const host_tp_config& tp : config.host_tps) {
    if (tp.name == name) return &tp;
  }
  return nullptr;
}

bool node_config_has(const std::vector<std::string>& names, const std::string& name) {
  for (const std::string& entry : names) {
    if (entry == name) return true;
  }
  return false;
}
