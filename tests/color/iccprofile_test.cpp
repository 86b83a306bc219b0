#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "codecpeer.h"
#include "embeddedprofile.h"
#include "iccprofile.h"
#include "pixelgraphic.h"
#include "testpictures.h"
#include "testprofiles.h"

namespace {

using Bytes = std::vector<uint8_t>;
const std::string ColordDir = "/usr/share/color/icc/colord/";

Bytes Segment(uint8_t number, uint8_t count, const Bytes& part) {
  Bytes s = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, number, count};
  s.insert(s.end(), part.begin(), part.end());
  return s;
}

TEmbeddedProfile Joined(const std::vector<Bytes>& segments) {
  std::vector<std::pair<const uint8_t*, size_t>> views;
  for (const Bytes& s : segments) views.emplace_back(s.data(), s.size());
  return JoinICCSegments(views);
}

int ChannelDistance(TRGB a, TRGB b) {
  return std::max({std::abs(GetRValue(a) - GetRValue(b)), std::abs(GetGValue(a) - GetGValue(b)),
                   std::abs(GetBValue(a) - GetBValue(b))});
}

TEST(ICCProfile, SegmentsJoinInSequenceOrderAndDamageIsNoticed) {
  const TEmbeddedProfile joined = Joined({Segment(2, 3, {4, 5}), Bytes{'E', 'x', 'i', 'f'}, Segment(3, 3, {6}),
                                          Segment(1, 3, {1, 2, 3})});
  EXPECT_FALSE(joined.Damaged);
  EXPECT_EQ(joined.Data, (Bytes{1, 2, 3, 4, 5, 6}));
  EXPECT_FALSE(Joined({}).Present());
  EXPECT_FALSE(Joined({Bytes{'I', 'C', 'C'}}).Present());
  // A missing, repeated, zero or too high number, or counts that disagree.
  for (const auto& broken : std::vector<std::vector<Bytes>>{{Segment(1, 2, {1})},
                                                            {Segment(1, 2, {1}), Segment(1, 2, {2})},
                                                            {Segment(0, 1, {1})},
                                                            {Segment(2, 1, {1})},
                                                            {Segment(1, 2, {1}), Segment(2, 3, {2})},
                                                            {Segment(1, 0, {1})}}) {
    const TEmbeddedProfile p = Joined(broken);
    EXPECT_TRUE(p.Damaged && p.Data.empty()) << broken.size();
  }
}

TEST(ICCProfile, ProfilesConvertWhatFitsThemAndLeaveTheRest) {
  const Bytes swapped = codecpeer::FileBytes(ColordDir + "SwappedRedAndGreen.icc");
  if (swapped.empty()) GTEST_SKIP() << "colord-data's profiles are not installed";
  const TICCProfile swap(swapped.data(), swapped.size());
  ASSERT_TRUE(swap.Valid());
  EXPECT_EQ(swap.ColourSpace(), icsRGB);

  // 24 bits convert their pixels, palettes their entries.
  TPixelGraphic g;
  FillRandom(g, 7, 5, 3);
  const std::vector<TRGB> before = Colors(g);
  ASSERT_TRUE(swap.ConvertToSRGB(g));
  const std::vector<TRGB> after = Colors(g);
  for (size_t i = 0; i < before.size(); ++i)
    EXPECT_LE(ChannelDistance(after[i], RGB(GetGValue(before[i]), GetRValue(before[i]), GetBValue(before[i]))), 2);
  TPixelGraphic palette;
  palette.SetSize(3, 1, 1);
  palette.SetPaletteCount(2);
  palette.SetPaletteEntries(0, RGB(200, 10, 30));
  palette.SetPaletteEntries(1, RGB(0, 255, 0));
  palette.SetPixel(1, 0, 1);
  ASSERT_TRUE(swap.ConvertToSRGB(palette));
  EXPECT_LE(ChannelDistance(palette.PaletteEntries(0), RGB(10, 200, 30)), 2);
  EXPECT_LE(ChannelDistance(palette.PaletteEntries(1), RGB(255, 0, 0)), 2);
  EXPECT_EQ(Pixels(palette), (std::vector<uint32_t>{0, 1, 0}));

  // A grey profile takes a grey ramp's levels; linear light brightens the middle.
  const Bytes linear = testprofiles::LinearGrayProfile();
  const TICCProfile gray(linear.data(), linear.size());
  EXPECT_EQ(gray.ColourSpace(), icsGray);
  TPixelGraphic ramp;
  ramp.SetSize(3, 1, 2);
  ramp.SetPaletteIdent(pGray256);
  for (int32_t x = 0; x < 3; ++x) ramp.SetPixel(x, 0, uint32_t(x * 127));
  ASSERT_TRUE(gray.ConvertToSRGB(ramp));
  EXPECT_EQ(ramp.PaletteIdent(), pGray256);
  const std::vector<uint32_t> levels = Pixels(ramp);
  EXPECT_EQ(levels[0], 0u);
  EXPECT_NEAR(int(levels[1]), 187, 2);  // sRGB's encoding of half the light
  EXPECT_GE(levels[2], 253u);

  // What does not fit is left as it was.
  TPixelGraphic colour;
  FillRandom(colour, 4, 4, 9);
  const std::vector<TRGB> kept = Colors(colour);
  EXPECT_FALSE(gray.ConvertToSRGB(colour));
  const Bytes inks = testprofiles::CMYKProfile();
  EXPECT_FALSE(TICCProfile(inks.data(), inks.size()).ConvertToSRGB(colour));
  EXPECT_FALSE(swap.ConvertToSRGB(ramp));
  EXPECT_EQ(Colors(colour), kept);

  const Bytes garbage(300, 0x41);
  EXPECT_FALSE(TICCProfile(garbage.data(), garbage.size()).Valid());
  EXPECT_FALSE(TICCProfile(swapped.data(), 100).ConvertToSRGB(colour));
  EXPECT_FALSE(TICCProfile(nullptr, 0).Valid());
}

TEST(ICCProfile, CMYKWithoutProfileFollowsThePlainRule) {
  const uint8_t inks[8] = {0, 255, 51, 0, 255, 255, 255, 128};
  uint8_t bgr[6] = {};
  TCMYKConversion(nullptr, false).Convert(inks, bgr, 2);
  EXPECT_EQ(Bytes(bgr, bgr + 6), (Bytes{204, 0, 255, 0, 0, 0}));
  // Adobe's inverted inks: 255 is none.
  TCMYKConversion(nullptr, true).Convert(inks, bgr, 2);
  EXPECT_EQ(Bytes(bgr, bgr + 6), (Bytes{0, 0, 0, 128, 128, 128}));
  const Bytes linear = testprofiles::LinearGrayProfile();
  const TICCProfile gray(linear.data(), linear.size());
  EXPECT_FALSE(TCMYKConversion(&gray, true).Valid());
}

}  // namespace
