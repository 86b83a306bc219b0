#pragma once
// The library's numbered texts in five languages, and their lookup.

#include <cstdint>
#include <string>

constexpr int PGLangStrCount = 85;
constexpr int PGLangSlots = 6;

struct TPGLangStrEntry {
  uint8_t Number;
  const char* Text[PGLangSlots];  // English, German, French, Dutch, Spanish, reserved
};

extern const TPGLangStrEntry PGLangStrEntries[PGLangStrCount];

// Library language: 0 English, 1 German, 2 French, 3 Dutch, 4 Spanish, 5 reserved.
uint8_t PGLanguage();
void SetPGLanguage(uint8_t language);

// Text of entry n in the current language. Above language 5 the caller's
// text comes back unchanged.
std::string LangStr(int n, const std::string& fallback = std::string());
std::string LangStr1(int n, const std::string& a);
std::string LangStr2(int n, const std::string& a, const std::string& b);
std::string LangStr3(int n, const std::string& a, const std::string& b, const std::string& c);

// Text of an entry kept beside the numbered table, in the current language;
// English where that language has none.
std::string LangText(const TPGLangStrEntry& Entry);

// Replaces the first occurrence of placeholder in text by value.
std::string SubstitutePlaceholder(std::string text, const char* placeholder, const std::string& value);

// Raises EPixelGraphic when an entry does not carry its own number.
void CheckLangStrEntries(const TPGLangStrEntry* entries = PGLangStrEntries, int count = PGLangStrCount);
