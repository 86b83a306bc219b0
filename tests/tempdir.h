#pragma once
// A directory of its own for one test, removed with everything in it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

struct TTempDirectory {
  std::string Path;
  TTempDirectory() {
    std::string pattern = ::testing::TempDir() + "quillet_XXXXXX";
    if (mkdtemp(pattern.data())) Path = pattern;
  }
  ~TTempDirectory() {
    std::error_code ignored;
    if (!Path.empty()) std::filesystem::remove_all(Path, ignored);
  }
  std::string operator/(const std::string& name) const { return Path + "/" + name; }
  // The names in the directory, sorted, joined by blanks.
  std::string Listing() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(Path)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string all;
    for (const auto& n : names) all += (all.empty() ? "" : " ") + n;
    return all;
  }
};
