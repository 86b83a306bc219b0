#pragma once
// The version every Quillet program shows, and --version answered before a
// window system is needed.

#include <cstdio>
#include <string_view>

inline constexpr const char* QuilletVersionLine = "Quillet Version 1.02";

// Prints the version line and answers true when an argument before "--" is
// --version.
inline bool PrintVersionIfAsked(int argc, char** argv) {
  for (int i = 1; i < argc && std::string_view(argv[i]) != "--"; ++i)
    if (std::string_view(argv[i]) == "--version") {
      std::printf("%s\n", QuilletVersionLine);
      return true;
    }
  return false;
}
