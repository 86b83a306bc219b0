#pragma once
// What the readers do with the colour profile a file carries: convert the
// picture to sRGB (with ConvertToSRGB), or warn when the profile cannot be
// used and leave the colours as stored.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "iccprofile.h"
#include "pgtypes.h"

class TPixelGraphic;

// sRGB is close to a power curve of 2.2: the gamma a converted picture carries.
constexpr long double SRGBGamma = 2.2L;

struct TEmbeddedProfile {
  std::vector<uint8_t> Data;  // the ICC profile's bytes; empty for none
  bool Damaged = false;       // the file holds a profile that cannot be put together
  bool Present() const { return Damaged || !Data.empty(); }
};

// The profile of a JPEG's APP2 "ICC_PROFILE" segments (their payloads as
// saved by the decoder, in file order), joined in their sequence order.
// Segments that disagree on their count, repeat or miss a number, or lack
// the header leave the profile Damaged.
TEmbeddedProfile JoinICCSegments(const std::vector<std::pair<const uint8_t*, size_t>>& Segments);

// Converts the read picture to sRGB with its profile and gives it the gamma
// of sRGB. Nothing happens without a profile or with ConvertToSRGB off. A
// profile that cannot be used is a read warning, worded with FormatName;
// returns the message to raise, or an empty string to go on.
std::string ConvertEmbeddedProfile(TPixelGraphic& Graphic, const TEmbeddedProfile& Profile,
                                   const std::string& FormatName);

// The conversion of a CMYK file's rows: through its profile when there is
// one and ConvertToSRGB is on, else by the plain rule. A profile that cannot
// be used warns as above (Failure set to the message to raise) and falls back
// to the plain rule.
std::unique_ptr<TCMYKConversion> CMYKConversionOf(const TEmbeddedProfile& Profile, bool Inverted,
                                                  TPGWarningAction Action, const std::string& FormatName,
                                                  std::string& Failure);
