#pragma once
// The in-memory raster picture every other part of the library works on: a
// device-independent bitmap of 1, 4, 8 or 24 bits per pixel with bottom-up
// rows padded to 4 bytes, its palette, the options of operations that write
// into it, and its change and progress events.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "pgtypes.h"

class TDitherState;
class TNearestCache;
class TPGFilter;
class TPixelGraphic;
class TStream;

// Library-wide default gamma: new and loaded pictures start with it; the
// application replaces it with its setting.
extern long double ScreenGamma;

// Bits per pixel (1, 4, 8, 24) to bit count code (0..3); raises
// EPGInvalidBitCountNum for anything else.
uint8_t BitCountToNum(int bitCount);
int NumToBitCount(uint8_t bitCountNum);
// Colour-table capacity of a bit count code: 2, 16, 256 or 0.
int PaletteCapacity(uint8_t bitCountNum);

// Largest pixel memory a picture may have; sizes beyond it fail like a
// refused allocation, so that 32-bit size arithmetic downstream never wraps.
constexpr int64_t MaxImageSize = INT32_MAX;

constexpr int BitmapInfoHeaderSize = 40;

// The palette index of pixel X in a stored row of a paletted picture whose
// bit count code is Code (0: 1 bit, 1: 4 bits, else 8 bits).
inline uint32_t StoredIndex(const uint8_t* Row, int64_t X, uint8_t Code) {
  switch (Code) {
    case 0: return (Row[X >> 3] >> (7 - (X & 7))) & 1;
    case 1: return (X & 1) ? Row[X >> 1] & 0x0F : Row[X >> 1] >> 4;
    default: return Row[X];
  }
}

// What a desktop keeps beside a graphic: a drawing surface whose drawing may
// still be pending, and images and palettes built from pixels and entries.
class TPGPlatformData {
public:
  virtual ~TPGPlatformData() = default;
  // Writes drawing that is still pending into the pixel memory.
  virtual void CompleteDrawing(TPixelGraphic& Graphic) = 0;
};

// The least size a load needs each way.
struct TLoadSize {
  int32_t Width = 0;
  int32_t Height = 0;
};
// Asked by a reader that can decode at reduced scales (JPEG), with the
// picture's full size: the size the load needs at least. The reader then
// decodes at its smallest scale that gives that much each way.
using TLoadTargetEvent = std::function<TLoadSize(TObject* Sender, int32_t Width, int32_t Height)>;

class TPixelGraphic : public TObject {
public:
  TPixelGraphic();
  ~TPixelGraphic() override;
  TPixelGraphic(const TPixelGraphic&) = delete;
  TPixelGraphic& operator=(const TPixelGraphic&) = delete;

  // Geometry
  virtual int32_t GetWidth() const { return FWidth; }
  virtual int32_t GetHeight() const { return FHeight; }
  virtual bool GetEmpty() const { return !FBits; }
  virtual void SetWidth(int32_t w);
  virtual void SetHeight(int32_t h);
  void SetBitCountNum(uint8_t n);
  void SetSize(int32_t w, int32_t h, uint8_t n);
  uint8_t BitCountNum() const { return FBitCountNum; }
  int BitCount() const { return NumToBitCount(FBitCountNum); }
  int64_t Stride() const { return FStride; }
  int64_t ImageSize() const { return FImageSize; }
  // Pixel memory for direct row access; row y starts at ScanLine(y).
  uint8_t* Bits() {
    CompletePendingDrawing();
    return FBits.get();
  }
  const uint8_t* Bits() const {
    CompletePendingDrawing();
    return FBits.get();
  }
  uint8_t* ScanLine(int32_t y) {
    CompletePendingDrawing();
    return FBits.get() + FStride * (FHeight - 1 - y);
  }
  const uint8_t* ScanLine(int32_t y) const {
    CompletePendingDrawing();
    return FBits.get() + FStride * (FHeight - 1 - y);
  }
  // Bitmap header (40 bytes) followed by the colour table; empty without pixel memory.
  const std::vector<uint8_t>& BitmapInfo() const { return FBitmapInfo; }
  void Clear();

  // Pixels: raw values (palette index, or TRGB at 24 bits) and colours.
  uint32_t GetPixel(int32_t x, int32_t y) const;
  void SetPixel(int32_t x, int32_t y, uint32_t v);
  TRGB GetPixelColor(int32_t x, int32_t y) const;
  void SetPixelColor(int32_t x, int32_t y, TRGB c);
  uint32_t BackGroundPixel() const { return FBackGroundPixel; }
  void SetBackGroundPixel(uint32_t v) { FBackGroundPixel = v; }
  TRGB BackGroundColor() const;
  void SetBackGroundColor(TRGB c);

  // Palette
  TPaletteIdent PaletteIdent() const { return FPaletteIdent; }
  void SetPaletteIdent(TPaletteIdent ident);
  int32_t PaletteCount() const { return int32_t(FPalette.size()); }
  void SetPaletteCount(int32_t n);
  TRGB PaletteEntries(int32_t i) const;
  void SetPaletteEntries(int32_t i, TRGB c);
  void AssignPalette(const TPixelGraphic& other);
  void IdentifyPalette();
  // True when every palette entry is a gray (red = green = blue).
  bool GrayPalette() const { return FGrayPalette; }
  void SetGrayPalette(bool gray) { FGrayPalette = gray; }

  // Desktop side. The data is built and read by the desktop layer only;
  // NeedsFlush says that a canvas was handed out and may hold drawing that
  // pixel access must complete first.
  TPGPlatformData* PlatformData() const { return FPlatformData.get(); }
  void SetPlatformData(std::unique_ptr<TPGPlatformData> Data) const { FPlatformData = std::move(Data); }
  bool NeedsFlush() const { return FNeedsFlush; }
  void SetNeedsFlush(bool v) const { FNeedsFlush = v; }
  void CompletePendingDrawing() const {
    if (FNeedsFlush) CompleteDrawingNow();
  }
  // Counts changes of pixels (as notified), geometry and palette, so that
  // images built from them know when they are out of date.
  uint64_t ChangeStamp() const { return FChangeStamp; }
  // Set by every change of count or entries; cleared by whoever rebuilds
  // the platform palette from the entries.
  bool PlatformPaletteStale() const { return FPlatformPaletteStale; }
  void SetPlatformPaletteStale(bool v) const { FPlatformPaletteStale = v; }

  // Options of operations that write into this graphic
  bool Dither() const { return FDither; }
  void SetDither(bool v) { FDither = v; }
  uint8_t DitherErrorLimit() const { return FDitherErrorLimit; }
  void SetDitherErrorLimit(uint8_t v) { FDitherErrorLimit = v; }
  bool DitherErrorLimitAuto() const { return FDitherErrorLimitAuto; }
  void SetDitherErrorLimitAuto(bool v) { FDitherErrorLimitAuto = v; }
  bool DitherErrorLimitSoft() const { return FDitherErrorLimitSoft; }
  void SetDitherErrorLimitSoft(bool v) { FDitherErrorLimitSoft = v; }
  bool FastUnknownPalette() const { return FFastUnknownPalette; }
  void SetFastUnknownPalette(bool v);
  bool RGBWeighting() const { return FRGBWeighting; }
  void SetRGBWeighting(bool v);
  bool FastLoad() const { return FFastLoad; }
  void SetFastLoad(bool v) { FFastLoad = v; }
  long double Gamma() const { return FGamma; }
  void SetGamma(long double v) { FGamma = v; }
  TStretchMode StretchMode() const { return FStretchMode; }
  void SetStretchMode(TStretchMode v) { FStretchMode = v; }
  TPGWarningAction ReadWarningAction() const { return FReadWarningAction; }
  void SetReadWarningAction(TPGWarningAction v) { FReadWarningAction = v; }
  TPGWarningAction SaveColorResWarningAction() const { return FSaveColorResWarningAction; }
  void SetSaveColorResWarningAction(TPGWarningAction v) { FSaveColorResWarningAction = v; }
  bool XYRangeCheck() const { return FXYRangeCheck; }
  void SetXYRangeCheck(bool v) { FXYRangeCheck = v; }

  // What a photo's file tells beyond its pixels: the orientation of the
  // pixels as they are now (TOrientation, 1 when upright), and the file's
  // EXIF block (a TIFF-structured directory; empty when it had none).
  uint8_t Orientation() const { return FOrientation; }
  void SetOrientation(uint8_t v) { FOrientation = v; }
  const std::vector<uint8_t>& ExifBlock() const { return FExifBlock; }
  void SetExifBlock(std::vector<uint8_t> v) { FExifBlock = std::move(v); }
  // Mirrors and turns the pixels as Orientation says, palette kept, with one
  // picture's memory besides; Orientation is 1 afterwards.
  void TurnUpright();

  // Copies picture, palette, photo information and options of src (events, FastLoad and caches
  // excepted); a null src empties this graphic.
  virtual void Assign(const TPixelGraphic* src);

  // Change protocol: OnChange fires from Changed only outside BeginUpdate/EndUpdate.
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();
  void Changed();
  int32_t UpdateCount() const { return FUpdateCount; }

  // Progress protocol of long operations writing this graphic.
  void ProgressStart();
  // Reports a processed row; true when the handler asks to abort.
  bool Progress(int step, int max);
  void ProgressEnd();

  // Resampling (this graphic is the target)
  void StretchDraw(int32_t DstX, int32_t DstY, int32_t DstWidth, int32_t DstHeight, int32_t SrcX, int32_t SrcY,
                   int32_t SrcWidth, int32_t SrcHeight, const TPixelGraphic& Src);
  void CopyRect(int32_t DstX, int32_t DstY, int32_t DstWidth, int32_t DstHeight, int32_t SrcX, int32_t SrcY,
                const TPixelGraphic& Src);
  void MapFrom(const TPixelGraphic& Src);

  // Filter and frame (this graphic is the target; Source may be this graphic
  // only for a colour-only filter, or for the frame)
  void ApplyFilter(TPGFilter& Filter, const TPixelGraphic& Source);
  void DrawFrame(bool Oval, int32_t FrameWidth, TRGB FrameColor, const TPixelGraphic& Source);

  // Colour mapping onto the palette
  virtual uint32_t NearestIndex(TRGB c);
  void ClearColorCaches();
  // Error-diffusion state of an operation writing this graphic.
  void DitherStart();
  void DitherRowStart();
  void DitherEnd();
  bool Dithering() const { return FDitherState != nullptr; }
  void WriteDitheredPixel(int32_t x, int32_t y, int red, int green, int blue);

  // Loading, saving, clipboard and printing go through the format registry,
  // so they are defined in the imageformats library, which their callers link.
  // Index numbers the images of a file; Extension helps only for formats
  // without a signature.
  void LoadFromStreamExt(TStream& Stream, const std::string& Extension, int Index);
  void LoadFromStream(TStream& Stream);
  void LoadFromFile(const std::string& FileName, int Index = 0);
  // Converts on the way out when the writer cannot store this colour resolution.
  void SaveToStreamExt(TStream& Stream, const std::string& Extension);
  // An existing file is replaced only by a completely written one.
  void SaveToFile(const std::string& FileName);
  // A BMP file, whatever the colours.
  void SaveToStream(TStream& Stream);
  // Embedded in a larger stream: a 32-bit length, then a BMP file.
  void WriteData(TStream& Stream);
  void ReadData(TStream& Stream);
  // A packed device-independent bitmap; there are no palette handles, Palette is 0.
  void LoadFromClipboardFormat(uint16_t Format, const std::vector<uint8_t>& Data, uintptr_t Palette);
  void SaveToClipboardFormat(uint16_t& Format, std::vector<uint8_t>& Data, uintptr_t& Palette);
  void CopyToClipboard();
  void LoadFromClipboard();
  // Prints fitted to one page; Owner is the platform's window for the dialog.
  void PrintGraphic(bool ShowDialog, bool AutoOrientation, void* Owner);

  TNotifyEvent OnChange;
  TNotifyEvent OnProgressStart;
  TPGProgressEvent OnProgress;
  TNotifyEvent OnProgressEnd;
  // Unassigned, every reader decodes the full size.
  TLoadTargetEvent OnLoadTarget;

private:
  struct FreeDeleter {
    void operator()(uint8_t* p) const { std::free(p); }
  };

  bool InRange(int32_t x, int32_t y) const { return x >= 0 && x < FWidth && y >= 0 && y < FHeight; }
  void RangeError() const;
  void BuildBitmapInfo();
  void WriteColorTable();
  void PaletteChanged();
  void CompleteDrawingNow() const;

  uint32_t FBackGroundPixel = 0;
  uint8_t FBitCountNum = 3;
  std::unique_ptr<uint8_t, FreeDeleter> FBits;
  std::vector<uint8_t> FBitmapInfo;
  bool FDither = true;
  uint8_t FDitherErrorLimit = 32;
  bool FDitherErrorLimitAuto = true;
  std::unique_ptr<TDitherState> FDitherState;
  bool FDitherErrorLimitSoft = true;
  bool FFastUnknownPalette = true;
  bool FFastLoad = false;
  int32_t FHeight = 0;
  bool FGrayPalette = false;
  long double FGamma;
  int64_t FImageSize = 0;
  int64_t FStride = 0;
  std::unique_ptr<TNearestCache> FNearestCache;
  std::vector<TRGB> FPalette;
  TPaletteIdent FPaletteIdent = pTrueColor;
  bool FRGBWeighting = true;
  TStretchMode FStretchMode = smPrecise;
  int32_t FUpdateCount = 0;
  TPGWarningAction FReadWarningAction = pgwaOKCancelBox;
  bool FXYRangeCheck = false;
  TPGWarningAction FSaveColorResWarningAction = pgwaOKCancelBox;
  int32_t FWidth = 0;
  mutable std::unique_ptr<TPGPlatformData> FPlatformData;
  mutable bool FNeedsFlush = false;
  mutable bool FPlatformPaletteStale = false;
  uint64_t FChangeStamp = 0;
  uint8_t FOrientation = 1;
  std::vector<uint8_t> FExifBlock;
};
