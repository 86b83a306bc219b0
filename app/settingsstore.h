#pragma once
// Per-user store of named values with their types (32-bit integer, binary
// bytes, string), organised in keys like a registry tree. Each key is one
// text file a person can read; a key path "SOFTWARE\Vendor\Product\Version"
// becomes <root>/Vendor/Product/Version.conf.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

// Order of the alternatives is the value's type as ValueType reports it.
using TSettingsValue = std::variant<std::monostate, int32_t, std::vector<uint8_t>, std::string>;
enum TSettingsValueType : uint8_t { svMissing, svInteger, svBinary, svString };

class TSettingsKey {
public:
  TSettingsKey(std::string keyPath, std::filesystem::path file);

  TSettingsValueType ValueType(const std::string& name) const;
  // False, leaving value alone, when the value is missing or of another type.
  bool ReadInteger(const std::string& name, int32_t& value) const;
  bool ReadBinary(const std::string& name, std::vector<uint8_t>& value) const;
  bool ReadString(const std::string& name, std::string& value) const;

  // Values live in memory until Save; a name already present keeps its place.
  void WriteInteger(const std::string& name, int32_t value);
  void WriteBinary(const std::string& name, const std::vector<uint8_t>& value);
  void WriteString(const std::string& name, const std::string& value);

  // Replaces the key's file by a complete new one, or leaves it untouched
  // and returns false.
  bool Save() const;

private:
  friend class TSettingsStore;

  // Value names compare without regard to ASCII case, as in a registry.
  struct TNameLess {
    bool operator()(const std::string& a, const std::string& b) const;
  };

  const TSettingsValue* Find(const std::string& name) const;
  void Write(const std::string& name, TSettingsValue value);
  std::string Format() const;
  // Lines that do not parse are dropped, so their values read as missing.
  void Parse(const std::string& text);

  std::string FKeyPath;
  std::filesystem::path FFile;
  std::vector<std::pair<std::string, TSettingsValue>> FValues;  // in order of first writing
  std::map<std::string, size_t, TNameLess> FIndex;
};

class TSettingsStore {
public:
  explicit TSettingsStore(std::filesystem::path root);

  // $XDG_CONFIG_HOME when it is absolute, else ~/.config.
  static std::filesystem::path UserConfigDir();

  std::filesystem::path KeyFile(const std::string& keyPath) const;
  // Null when the key does not exist or cannot be read.
  std::unique_ptr<TSettingsKey> OpenKey(const std::string& keyPath) const;
  // The key's present values, or none when it does not exist yet.
  std::unique_ptr<TSettingsKey> CreateKey(const std::string& keyPath) const;

private:
  std::filesystem::path FRoot;
};
