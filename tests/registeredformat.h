#pragma once
// A test's own reader or writer in the format registry, for as long as the
// object lives.

#include <algorithm>
#include <memory>
#include <type_traits>
#include <utility>

#include "formatregistry.h"

template <class Format>
class TRegistered {
public:
  template <class... Args>
  explicit TRegistered(Args&&... args) {
    auto format = std::make_unique<Format>(std::forward<Args>(args)...);
    FFormat = format.get();
    List().push_back(std::move(format));
  }
  ~TRegistered() {
    auto& list = List();
    list.erase(std::find_if(list.begin(), list.end(), [this](const auto& f) { return f.get() == FFormat; }));
  }
  TRegistered(const TRegistered&) = delete;
  TRegistered& operator=(const TRegistered&) = delete;

  Format* operator->() { return FFormat; }

private:
  static auto& List() {
    if constexpr (std::is_base_of_v<TFileFormatReader, Format>)
      return FileFormatReaders();
    else
      return FileFormatWriters();
  }
  Format* FFormat;
};
