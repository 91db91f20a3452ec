#include "settings/registry_file.h"

#include <fmt/format.h>

#include "util/ascii.h"

namespace tabrix {

namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kKeyLine = "[HKEY_CURRENT_USER\\SOFTWARE\\tabrix]";

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// A quoted text at the start of s ('\' escapes the next byte); s is left
// after the closing quote. None when the quote is not closed.
std::optional<std::string> quoted(std::string_view& s) {
  if (s.empty() || s[0] != '"') return std::nullopt;
  std::string text;
  for (size_t i = 1; i < s.size(); ++i) {
    if (s[i] == '"') {
      s.remove_prefix(i + 1);
      return text;
    }
    if (s[i] == '\\' && ++i == s.size()) break;
    text.push_back(s[i]);
  }
  return std::nullopt;
}

// "aa,bb,cc": two hex digits a byte, commas between.
std::optional<std::string> hexBytes(std::string_view s) {
  std::string bytes;
  s = trimmed(s);
  while (!s.empty()) {
    if (s.size() < 2 || hexDigit(s[0]) < 0 || hexDigit(s[1]) < 0) return std::nullopt;
    bytes.push_back(static_cast<char>(hexDigit(s[0]) * 16 + hexDigit(s[1])));
    s = trimmed(s.substr(2));
    if (s.empty()) break;
    if (s[0] != ',') return std::nullopt;
    s = trimmed(s.substr(1));
  }
  return bytes;
}

std::optional<RegistryValue> parseValue(std::string_view line) {
  RegistryValue value;
  auto name = quoted(line);
  if (!name) return std::nullopt;
  value.name = std::move(*name);
  line = trimmed(line);
  if (line.empty() || line[0] != '=') return std::nullopt;
  line = trimmed(line.substr(1));
  if (!line.empty() && line[0] == '"') {
    auto text = quoted(line);
    if (!text || !trimmed(line).empty()) return std::nullopt;
    value.type = kRegString;
    value.bytes = std::move(*text) + '\0';
    return value;
  }
  if (line.substr(0, 6) == "dword:") {
    const std::string_view digits = line.substr(6);
    if (digits.size() != 8) return std::nullopt;
    uint32_t n = 0;
    for (char c : digits) {
      if (hexDigit(c) < 0) return std::nullopt;
      n = n * 16 + static_cast<uint32_t>(hexDigit(c));
    }
    value.type = kRegDword;
    for (int i = 0; i < 4; ++i) value.bytes.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
    return value;
  }
  if (line.substr(0, 3) != "hex") return std::nullopt;
  line.remove_prefix(3);
  value.type = kRegBinary;
  if (!line.empty() && line[0] == '(') {
    const size_t close = line.find(')');
    if (close == std::string_view::npos || close == 1 || close > 9) return std::nullopt;
    uint32_t type = 0;
    for (char c : line.substr(1, close - 1)) {
      if (hexDigit(c) < 0) return std::nullopt;
      type = type * 16 + static_cast<uint32_t>(hexDigit(c));
    }
    value.type = type;
    line.remove_prefix(close + 1);
  }
  if (line.empty() || line[0] != ':') return std::nullopt;
  auto bytes = hexBytes(line.substr(1));
  if (!bytes) return std::nullopt;
  value.bytes = std::move(*bytes);
  return value;
}

std::string quote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out + '"';
}

// A string goes between quotes when its bytes survive a line of text: one
// terminating zero and no control bytes. Any other string is written in hex.
bool writableAsText(const RegistryValue& v) {
  if (v.type != kRegString || v.bytes.empty() || v.bytes.back() != '\0') return false;
  for (size_t i = 0; i + 1 < v.bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(v.bytes[i]);
    if (c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

}  // namespace

RegistryValues RegistryValues::parse(std::string_view text) {
  RegistryValues values;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string line(trimmed(text.substr(0, end)));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    // Long hex lists go on over lines ending in '\'.
    while (!line.empty() && line.back() == '\\' && line.find("=hex") != std::string::npos && !text.empty()) {
      line.pop_back();
      end = text.find('\n');
      line += trimmed(text.substr(0, end));
      text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    if (auto value = parseValue(line)) values.put(value->name, value->type, std::move(value->bytes));
  }
  return values;
}

std::string RegistryValues::serialise() const {
  std::string out = fmt::format("{}\n\n{}\n", kHeader, kKeyLine);
  for (const RegistryValue& v : values_) {
    out += quote(v.name) + '=';
    if (writableAsText(v)) {
      out += quote(std::string_view(v.bytes).substr(0, v.bytes.size() - 1));
    } else if (v.type == kRegDword && v.bytes.size() == 4) {
      uint32_t n = 0;
      readFourBytes(v.name, n);
      out += fmt::format("dword:{:08x}", n);
    } else {
      out += v.type == kRegBinary ? std::string("hex:") : fmt::format("hex({:x}):", v.type);
      for (size_t i = 0; i < v.bytes.size(); ++i)
        out += fmt::format("{}{:02x}", i ? "," : "", static_cast<unsigned char>(v.bytes[i]));
    }
    out += '\n';
  }
  return out;
}

const RegistryValue* RegistryValues::find(std::string_view name) const {
  for (const RegistryValue& v : values_)
    if (equalsIgnoringCase(v.name, name)) return &v;
  return nullptr;
}

std::optional<std::string> RegistryValues::readText(std::string_view name, size_t limit) const {
  const RegistryValue* v = find(name);
  if (!v || v->bytes.size() > limit) return std::nullopt;
  return v->bytes.substr(0, v->bytes.find('\0'));
}

bool RegistryValues::readFourBytes(std::string_view name, uint32_t& value) const {
  const RegistryValue* v = find(name);
  if (!v || v->bytes.size() > 4) return false;
  for (size_t i = 0; i < v->bytes.size(); ++i) {
    value &= ~(0xFFu << (8 * i));
    value |= static_cast<uint32_t>(static_cast<unsigned char>(v->bytes[i])) << (8 * i);
  }
  return true;
}

void RegistryValues::writeText(std::string_view name, std::string_view text) {
  put(name, kRegString, std::string(text) + '\0');
}

void RegistryValues::writeDword(std::string_view name, uint32_t value) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  put(name, kRegDword, std::move(bytes));
}

void RegistryValues::writeBinary(std::string_view name, std::string_view bytes) {
  put(name, kRegBinary, std::string(bytes));
}

void RegistryValues::put(std::string_view name, uint32_t type, std::string bytes) {
  for (RegistryValue& v : values_) {
    if (!equalsIgnoringCase(v.name, name)) continue;
    v.type = type;
    v.bytes = std::move(bytes);
    return;
  }
  values_.push_back({std::string(name), type, std::move(bytes)});
}

}  // namespace tabrix
