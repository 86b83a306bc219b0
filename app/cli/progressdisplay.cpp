#include "progressdisplay.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr int BarWidth = 40;
// A terminal redrawn more often than this only flickers.
constexpr auto DrawInterval = std::chrono::milliseconds(100);
}  // namespace

TProgressDisplay::TProgressDisplay(std::ostream& Err, bool ShowBar, size_t Pictures)
    : FErr(Err), FShowBar(ShowBar), FFractions(Pictures, 0.0) {}

TProgressDisplay::~TProgressDisplay() { Close(); }

void TProgressDisplay::Progress(size_t Picture, double Fraction) {
  const std::lock_guard<std::mutex> lock(FLock);
  if (Picture >= FFractions.size()) return;
  FFractions[Picture] = std::max(FFractions[Picture], std::clamp(Fraction, 0.0, 1.0));
  Draw(false);
}

void TProgressDisplay::Finished(size_t Picture) {
  const std::lock_guard<std::mutex> lock(FLock);
  if (Picture >= FFractions.size()) return;
  FFractions[Picture] = 1;
  ++FFinished;
  Draw(true);
}

void TProgressDisplay::Message(const std::string& Text) {
  const std::lock_guard<std::mutex> lock(FLock);
  Erase();
  FErr << Text << '\n';
  Draw(true);
}

void TProgressDisplay::Close() {
  const std::lock_guard<std::mutex> lock(FLock);
  Erase();
  FShowBar = false;
}

void TProgressDisplay::Draw(bool Force) {
  if (!FShowBar || FFractions.empty()) return;
  const auto now = std::chrono::steady_clock::now();
  if (!Force && FDrawn && now - FLastDraw < DrawInterval) return;
  double sum = 0;
  for (double f : FFractions) sum += f;
  const int permille = int(std::floor(sum / double(FFractions.size()) * 1000));
  if (!Force && permille == FShownPermille) return;
  FShownPermille = permille;
  FLastDraw = now;
  const int filled = permille * BarWidth / 1000;
  std::string line = "\r[" + std::string(size_t(filled), '#') + std::string(size_t(BarWidth - filled), '-') + "] ";
  const std::string percent = std::to_string(permille / 10);
  line += std::string(3 - std::min<size_t>(3, percent.size()), ' ') + percent + "%  " + std::to_string(FFinished) +
          "/" + std::to_string(FFractions.size());
  FErr << line << std::flush;
  FDrawn = true;
}

void TProgressDisplay::Erase() {
  if (!FDrawn) return;
  // Back to the line's start, and clear to its end.
  FErr << "\r\033[K" << std::flush;
  FDrawn = false;
}
