#pragma once
// Colour profiles of picture files (ICC, or PNG's chromaticities), opened
// with Little CMS, and the conversion of pictures from them to sRGB.

#include <cstddef>
#include <cstdint>
#include <memory>

class TPixelGraphic;

enum TICCColourSpace : uint8_t { icsOther, icsRGB, icsGray, icsCMYK };

// White point and red, green and blue primaries as CIE x, y.
struct TChromaticities {
  double WhiteX, WhiteY, RedX, RedY, GreenX, GreenY, BlueX, BlueY;
};

class TICCProfile {
public:
  // The bytes of an ICC profile; Valid tells whether Little CMS could parse them.
  TICCProfile(const uint8_t* Data, size_t Size);
  // An RGB profile of the given chromaticities whose samples are encoded
  // with a power curve of exponent Gamma.
  TICCProfile(const TChromaticities& Chromaticities, double Gamma);

  bool Valid() const { return FHandle != nullptr; }
  TICCColourSpace ColourSpace() const;

  // Converts the picture to sRGB: a 24-bit picture its pixels, an 8-bit
  // grey ramp its grey levels, any other palette picture its palette. False,
  // with the picture as it was, when the profile does not fit the picture or
  // no conversion can be built from it.
  bool ConvertToSRGB(TPixelGraphic& Graphic) const;

  void* Handle() const { return FHandle.get(); }

private:
  std::shared_ptr<void> FHandle;
};

// Rows of CMYK samples (Adobe's files store the inks inverted, 255 for
// none) turned into blue-green-red rows: through a CMYK profile when given
// one, else by the plain rule that each ink and the black take away light.
class TCMYKConversion {
public:
  // Profile may be null; a profile that is not CMYK or gives no conversion
  // leaves Valid false.
  TCMYKConversion(const TICCProfile* Profile, bool Inverted);
  bool Valid() const { return FValid; }
  bool Profiled() const { return FTransform != nullptr; }
  void Convert(const uint8_t* CMYK, uint8_t* BGR, int32_t Count) const;

private:
  std::shared_ptr<void> FTransform;
  bool FInverted;
  bool FValid = true;
};
