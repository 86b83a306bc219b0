#pragma once
// A platform whose boxes, clipboard and printer a test scripts. It is the
// library's platform for as long as it lives.

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "pixelgraphic.h"
#include "platform.h"

// Records every call in Log, one line each.
class TScriptedPrinter : public TPGPrinter {
public:
  bool DialogAnswer = true;
  TPrinterOrientation CurrentOrientation = poPortrait;
  int32_t Width = 4800, Height = 6600, DotsX = 600, DotsY = 600;
  std::function<void()> OnDraw;  // may raise, to test the clean-up
  std::string Log;

  bool ExecuteDialog(void*) override {
    Log += "dialog\n";
    return DialogAnswer;
  }
  TPrinterOrientation Orientation() override { return CurrentOrientation; }
  void SetOrientation(TPrinterOrientation o) override {
    Log += o == poLandscape ? "landscape\n" : "portrait\n";
    CurrentOrientation = o;
  }
  void SetTitle(const std::string& title) override { Log += "title " + title + "\n"; }
  void BeginDoc() override { Log += "begin\n"; }
  void EndDoc() override { Log += "end\n"; }
  int32_t PageWidth() override { return Width; }
  int32_t PageHeight() override { return Height; }
  int32_t AspectX() override { return DotsX; }
  int32_t AspectY() override { return DotsY; }
  void StretchDraw(const TPGRect& r, const TPixelGraphic& g) override {
    Log += "draw " + std::to_string(g.GetWidth()) + "x" + std::to_string(g.GetHeight()) + " into " +
           std::to_string(r.Left) + "," + std::to_string(r.Top) + "," + std::to_string(r.Right) + "," +
           std::to_string(r.Bottom) + "\n";
    if (OnDraw) OnDraw();
  }
};

class TScriptedPlatform : public THeadlessPGPlatform {
public:
  // Unset: every box is answered with OK (Yes) silently.
  std::function<TPGBoxAnswer(const std::string& Text, const std::string& Caption, TPGBoxButtons Buttons)> Box;
  std::map<uint16_t, std::vector<uint8_t>> Clipboard;
  std::string Title = "Quillet";
  TScriptedPrinter* ScriptedPrinter = nullptr;

  TScriptedPlatform() : FPrevious(SetPGPlatform(this)) {}
  ~TScriptedPlatform() override { SetPGPlatform(FPrevious); }
  TScriptedPlatform(const TScriptedPlatform&) = delete;
  TScriptedPlatform& operator=(const TScriptedPlatform&) = delete;

  TPGBoxAnswer WarningBox(const std::string& Text, const std::string& Caption, TPGBoxButtons Buttons) override {
    if (Box) return Box(Text, Caption, Buttons);
    return Buttons == pgbYesNo ? pgaYes : pgaOK;
  }
  bool ClipboardHasFormat(uint16_t Format) override { return Clipboard.count(Format) != 0; }
  std::vector<uint8_t> ClipboardData(uint16_t Format) override {
    const auto it = Clipboard.find(Format);
    return it == Clipboard.end() ? std::vector<uint8_t>() : it->second;
  }
  void SetClipboardData(uint16_t Format, std::vector<uint8_t> Data) override {
    Clipboard.clear();
    Clipboard[Format] = std::move(Data);
  }
  std::string ApplicationTitle() override { return Title; }
  TPGPrinter* Printer() override { return ScriptedPrinter; }

private:
  TPGPlatform* FPrevious;
};
