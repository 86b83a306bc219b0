#include "langstr.h"

#include <atomic>

#include "pgexceptions.h"

namespace {
std::atomic<uint8_t> language{0};
}

uint8_t PGLanguage() { return language.load(std::memory_order_relaxed); }

void SetPGLanguage(uint8_t value) { language.store(value, std::memory_order_relaxed); }

std::string LangStr(int n, const std::string& fallback) {
  const uint8_t lang = PGLanguage();
  if (lang >= PGLangSlots || n < 0 || n >= PGLangStrCount) return fallback;
  return PGLangStrEntries[n].Text[lang];
}

std::string LangText(const TPGLangStrEntry& Entry) {
  const uint8_t lang = PGLanguage();
  const char* text = lang < PGLangSlots ? Entry.Text[lang] : "";
  return *text ? text : Entry.Text[0];
}

std::string SubstitutePlaceholder(std::string text, const char* placeholder, const std::string& value) {
  const auto pos = text.find(placeholder);
  if (pos != std::string::npos) text.replace(pos, 3, value);
  return text;
}

std::string LangStr1(int n, const std::string& a) { return SubstitutePlaceholder(LangStr(n), "%S1", a); }

std::string LangStr2(int n, const std::string& a, const std::string& b) {
  return SubstitutePlaceholder(LangStr1(n, a), "%S2", b);
}

std::string LangStr3(int n, const std::string& a, const std::string& b, const std::string& c) {
  return SubstitutePlaceholder(LangStr2(n, a, b), "%S3", c);
}

void CheckLangStrEntries(const TPGLangStrEntry* entries, int count) {
  for (int i = 0; i < count; ++i) {
    if (entries[i].Number != i)
      throw EPixelGraphic("PGLangStrEntries order wrong " + std::to_string(i) + " and " +
                          std::to_string(entries[i].Number) + " are not identical");
  }
}
