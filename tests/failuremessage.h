#pragma once
// The message of an expected library failure, for comparing with the text.

#include <functional>
#include <string>

#include "pgexceptions.h"

// The message of the E that action raises; "no failure" when it raises none.
template <class E = EPixelGraphic>
std::string Failure(const std::function<void()>& action) {
  try {
    action();
  } catch (const E& e) {
    return e.what();
  }
  return "no failure";
}
