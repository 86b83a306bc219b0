#pragma once
// The one line of progress quillet-cli keeps on a terminal, and the messages
// written around it. Every call may come from any job's thread.

#include <chrono>
#include <cstddef>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

class TProgressDisplay {
public:
  // Without ShowBar only the messages are written.
  TProgressDisplay(std::ostream& Err, bool ShowBar, size_t Pictures);
  ~TProgressDisplay();
  TProgressDisplay(const TProgressDisplay&) = delete;
  TProgressDisplay& operator=(const TProgressDisplay&) = delete;

  // Picture number Picture has come Fraction (0 to 1) of its way.
  void Progress(size_t Picture, double Fraction);
  // The picture is done with, successfully or not.
  void Finished(size_t Picture);
  // A line of its own, above the bar.
  void Message(const std::string& Text);
  // Removes the bar; later calls write messages only.
  void Close();

private:
  void Draw(bool Force);
  void Erase();

  std::mutex FLock;
  std::ostream& FErr;
  bool FShowBar;
  std::vector<double> FFractions;
  size_t FFinished = 0;
  bool FDrawn = false;
  int FShownPermille = -1;
  std::chrono::steady_clock::time_point FLastDraw;
};
