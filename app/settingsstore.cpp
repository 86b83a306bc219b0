#include "settingsstore.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string_view>

namespace fs = std::filesystem;

namespace {

// A settings file is a few kilobytes; anything far larger is not one, and
// reading it whole would only cost time and memory.
constexpr std::uintmax_t MaxKeyFileSize = 1 << 20;

const char* const TypeNames[] = {"", "integer", "binary", "string"};
const char HexDigits[] = "0123456789abcdef";

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = AsciiLower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Double quotes with C escapes, so that any bytes survive one line.
std::string Quoted(const std::string& s) {
  std::string out = "\"";
  for (char ch : s) {
    const auto c = uint8_t(ch);
    switch (ch) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += "\\x";
          out += HexDigits[c >> 4];
          out += HexDigits[c & 15];
        } else {
          out += ch;
        }
    }
  }
  return out + '"';
}

// Reads one line of the key file from left to right; every step fails on
// anything unexpected.
class TLineParser {
public:
  explicit TLineParser(std::string_view line) : FRest(line) {}

  void SkipBlanks() {
    while (!FRest.empty() && IsBlank(FRest.front())) FRest.remove_prefix(1);
  }
  bool AtEnd() {
    SkipBlanks();
    return FRest.empty();
  }
  bool Expect(std::string_view token) {
    SkipBlanks();
    if (!FRest.starts_with(token)) return false;
    FRest.remove_prefix(token.size());
    return true;
  }

  bool QuotedText(std::string& out) {
    if (!Expect("\"")) return false;
    out.clear();
    while (!FRest.empty()) {
      const char c = Take();
      if (c == '"') return true;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (FRest.empty()) return false;
      switch (Take()) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'x': {
          if (FRest.size() < 2) return false;
          const int high = HexValue(Take()), low = HexValue(Take());
          if (high < 0 || low < 0) return false;
          out += char(high * 16 + low);
          break;
        }
        default: return false;
      }
    }
    return false;
  }

  bool Integer(int32_t& out) {
    SkipBlanks();
    const auto [end, error] = std::from_chars(FRest.data(), FRest.data() + FRest.size(), out);
    if (error != std::errc()) return false;
    FRest.remove_prefix(size_t(end - FRest.data()));
    return true;
  }

  // Pairs of hex digits, blanks allowed between the pairs.
  bool Bytes(std::vector<uint8_t>& out) {
    out.clear();
    while (!AtEnd()) {
      if (FRest.size() < 2) return false;
      const int high = HexValue(FRest[0]), low = HexValue(FRest[1]);
      if (high < 0 || low < 0) return false;
      out.push_back(uint8_t(high * 16 + low));
      FRest.remove_prefix(2);
    }
    return true;
  }

private:
  char Take() {
    const char c = FRest.front();
    FRest.remove_prefix(1);
    return c;
  }

  std::string_view FRest;
};

// One line: "name" = type:value
bool ParseLine(std::string_view line, std::string& name, TSettingsValue& value) {
  TLineParser p(line);
  if (!p.QuotedText(name) || !p.Expect("=")) return false;
  if (p.Expect("integer:")) {
    int32_t v;
    if (!p.Integer(v)) return false;
    value = v;
  } else if (p.Expect("binary:")) {
    std::vector<uint8_t> v;
    if (!p.Bytes(v)) return false;
    value = std::move(v);
  } else if (p.Expect("string:")) {
    std::string v;
    if (!p.QuotedText(v)) return false;
    value = std::move(v);
  } else {
    return false;
  }
  return p.AtEnd();
}

std::string FormatValue(const TSettingsValue& value) {
  std::string out = TypeNames[value.index()];
  out += ':';
  if (const auto* i = std::get_if<int32_t>(&value)) {
    out += std::to_string(*i);
  } else if (const auto* b = std::get_if<std::vector<uint8_t>>(&value)) {
    for (size_t k = 0; k < b->size(); ++k) {
      if (k > 0) out += ' ';
      out += HexDigits[(*b)[k] >> 4];
      out += HexDigits[(*b)[k] & 15];
    }
  } else {
    out += Quoted(std::get<std::string>(value));
  }
  return out;
}

bool ReadKeyFile(const fs::path& file, std::string& text) {
  std::error_code ec;
  // Only a regular file: a fifo or device in its place would block or never end.
  if (!fs::is_regular_file(file, ec)) return false;
  const std::uintmax_t size = fs::file_size(file, ec);
  if (ec || size > MaxKeyFileSize) return false;
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  text.assign(size_t(size), '\0');
  in.read(text.data(), std::streamsize(size));
  text.resize(size_t(in.gcount()));
  return !in.bad();
}

bool WriteAll(int fd, const std::string& text) {
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    left -= size_t(n);
  }
  return true;
}

}  // namespace

bool TSettingsKey::TNameLess::operator()(const std::string& a, const std::string& b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return AsciiLower(x) < AsciiLower(y); });
}

TSettingsKey::TSettingsKey(std::string keyPath, fs::path file) : FKeyPath(std::move(keyPath)), FFile(std::move(file)) {}

const TSettingsValue* TSettingsKey::Find(const std::string& name) const {
  const auto it = FIndex.find(name);
  return it == FIndex.end() ? nullptr : &FValues[it->second].second;
}

TSettingsValueType TSettingsKey::ValueType(const std::string& name) const {
  const TSettingsValue* v = Find(name);
  return v ? TSettingsValueType(v->index()) : svMissing;
}

bool TSettingsKey::ReadInteger(const std::string& name, int32_t& value) const {
  const TSettingsValue* v = Find(name);
  const auto* i = v ? std::get_if<int32_t>(v) : nullptr;
  if (i) value = *i;
  return i != nullptr;
}

bool TSettingsKey::ReadBinary(const std::string& name, std::vector<uint8_t>& value) const {
  const TSettingsValue* v = Find(name);
  const auto* b = v ? std::get_if<std::vector<uint8_t>>(v) : nullptr;
  if (b) value = *b;
  return b != nullptr;
}

bool TSettingsKey::ReadString(const std::string& name, std::string& value) const {
  const TSettingsValue* v = Find(name);
  const auto* s = v ? std::get_if<std::string>(v) : nullptr;
  if (s) value = *s;
  return s != nullptr;
}

void TSettingsKey::Write(const std::string& name, TSettingsValue value) {
  const auto [it, added] = FIndex.emplace(name, FValues.size());
  if (added)
    FValues.emplace_back(name, std::move(value));
  else
    FValues[it->second].second = std::move(value);
}

void TSettingsKey::WriteInteger(const std::string& name, int32_t value) { Write(name, value); }

void TSettingsKey::WriteBinary(const std::string& name, const std::vector<uint8_t>& value) { Write(name, value); }

void TSettingsKey::WriteString(const std::string& name, const std::string& value) { Write(name, value); }

std::string TSettingsKey::Format() const {
  std::string text = "# " + FKeyPath + "\n";
  for (const auto& [name, value] : FValues) text += Quoted(name) + " = " + FormatValue(value) + "\n";
  return text;
}

void TSettingsKey::Parse(const std::string& text) {
  std::string_view rest = text;
  std::string name;
  TSettingsValue value;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (ParseLine(line, name, value)) Write(name, std::move(value));
  }
}

bool TSettingsKey::Save() const {
  std::error_code ec;
  fs::create_directories(FFile.parent_path(), ec);
  if (ec) return false;
  // Through a link the file it names is replaced, so that the link stays.
  fs::path target = fs::canonical(FFile, ec);
  if (ec) target = FFile;
  struct stat old;
  const bool exists = ::stat(target.c_str(), &old) == 0;
  // A fresh file beside the old one, renamed over it only when complete.
  std::string temp = target.string() + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  bool written = (!exists || ::fchmod(fd, old.st_mode & 0777) == 0) && WriteAll(fd, Format()) && ::fsync(fd) == 0;
  written = ::close(fd) == 0 && written;
  if (written && std::rename(temp.c_str(), target.c_str()) == 0) return true;
  ::unlink(temp.c_str());
  return false;
}

TSettingsStore::TSettingsStore(fs::path root) : FRoot(std::move(root)) {}

fs::path TSettingsStore::UserConfigDir() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && fs::path(config).is_absolute()) return config;
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    const passwd* user = ::getpwuid(::getuid());
    home = user ? user->pw_dir : "";
  }
  return fs::path(home) / ".config";
}

fs::path TSettingsStore::KeyFile(const std::string& keyPath) const {
  fs::path file = FRoot;
  std::string_view rest = keyPath;
  bool first = true;
  while (!rest.empty()) {
    const size_t end = rest.find('\\');
    const std::string_view part = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    // The configuration directory already is the software branch of the tree.
    const bool softwareRoot = first && SameName(part, "SOFTWARE");
    first = false;
    if (!part.empty() && !softwareRoot) file /= part;
  }
  return file += ".conf";
}

std::unique_ptr<TSettingsKey> TSettingsStore::OpenKey(const std::string& keyPath) const {
  std::string text;
  const fs::path file = KeyFile(keyPath);
  if (!ReadKeyFile(file, text)) return nullptr;
  auto key = std::make_unique<TSettingsKey>(keyPath, file);
  key->Parse(text);
  return key;
}

std::unique_ptr<TSettingsKey> TSettingsStore::CreateKey(const std::string& keyPath) const {
  auto key = OpenKey(keyPath);
  return key ? std::move(key) : std::make_unique<TSettingsKey>(keyPath, KeyFile(keyPath));
}
