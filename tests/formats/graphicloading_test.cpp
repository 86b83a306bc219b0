#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "failuremessage.h"
#include "formatoptions.h"
#include "gammacorrection.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "registeredformat.h"
#include "stream.h"
#include "tempdir.h"

namespace {

// Recognises "GAM" and fills in a 2x1 picture that claims the file gamma FileGamma.
class TGammaReader : public TFileFormatReader {
public:
  TGammaReader() : TFileFormatReader("TGammaReader", "gam", "Gamma test", true) {}
  long double FileGamma = 2.2L;
  std::vector<TRGB> Palette;  // empty: 24 bits
  bool Fail = false;

  bool CheckSignature(const TFileHeader& h) const override { return std::memcmp(h.data(), "GAM", 3) == 0; }
  void Read(TStream&, TPixelGraphic& g, int) override {
    if (Palette.empty()) {
      g.SetSize(2, 1, 3);
      g.SetPixel(0, 0, RGB(128, 64, 0));
      g.SetPixel(1, 0, RGB(255, 128, 1));
    } else {
      g.SetSize(2, 1, 2);
      g.SetPaletteCount(int32_t(Palette.size()));
      for (size_t i = 0; i < Palette.size(); ++i) g.SetPaletteEntries(int32_t(i), Palette[i]);
    }
    g.SetGamma(FileGamma);
    if (Fail) throw EPixelGraphic("GAM: broken");
  }
};

struct TGammaSettings {
  long double Screen = ScreenGamma;
  bool Correct = GammaCorrectionOnRead;
  ~TGammaSettings() {
    ScreenGamma = Screen;
    GammaCorrectionOnRead = Correct;
  }
};

void Fill(TMemoryStream& s, const std::string& bytes) {
  s.WriteBuffer(bytes.data(), bytes.size());
  s.SetPosition(0);
}

}  // namespace

TEST(GraphicLoading, GammaTable) {
  const TGammaTable t = GammaTable(2.2L / 1.8L);
  EXPECT_EQ(t[0], 0);
  EXPECT_EQ(t[64], 47);
  EXPECT_EQ(t[128], 110);
  EXPECT_EQ(t[255], 255);
  // The exponent 0 is tested before the base 0; a negative base is refused.
  EXPECT_EQ(GammaPower(0, 0), 1);
  EXPECT_EQ(GammaPower(-3, 0), 1);
  EXPECT_EQ(GammaPower(0, 2), 0);
  EXPECT_EQ(Failure([] { GammaPower(-0.5L, 2); }), "Invalid Argument");
  // A negative exponent (a negative gamma) would run past 255.
  EXPECT_EQ(GammaTable(-1)[1], 255);
}

TEST(GraphicLoading, GammaCorrectionOnlyBeyondFivePercent) {
  TGammaSettings restore;
  TRegistered<TGammaReader> reader;
  ScreenGamma = 1.8L;
  GammaCorrectionOnRead = true;
  TMemoryStream s;
  Fill(s, "GAM");
  TPixelGraphic g;
  const auto load = [&](long double fileGamma) {
    reader->FileGamma = fileGamma;
    g.LoadFromStream(s);
    return g.PaletteCount() == 0 ? g.GetPixel(0, 0) : g.PaletteEntries(0);
  };
  EXPECT_EQ(load(2.2L), RGB(110, 47, 0));
  EXPECT_EQ(g.GetPixel(1, 0), RGB(255, 110, 0));
  EXPECT_EQ(g.Gamma(), 1.8L);
  EXPECT_EQ(load(1.85L), RGB(128, 64, 0));
  EXPECT_EQ(g.Gamma(), 1.85L);
  GammaCorrectionOnRead = false;
  EXPECT_EQ(load(2.2L), RGB(128, 64, 0));
  EXPECT_EQ(g.Gamma(), 2.2L);

  // A palette is corrected instead of the pixels, and identified afterwards.
  GammaCorrectionOnRead = true;
  reader->Palette = {RGB(128, 64, 255), RGB(0, 0, 0)};
  EXPECT_EQ(load(2.2L), RGB(110, 47, 255));
  reader->Palette = {RGB(0, 0, 0), RGB(255, 255, 255)};
  load(2.2L);
  EXPECT_EQ(g.PaletteIdent(), pBlackWhite);
}

TEST(GraphicLoading, OneChangeNotificationAlsoOnFailure) {
  TGammaSettings restore;
  TRegistered<TGammaReader> reader;
  int changes = 0;
  TPixelGraphic g;
  g.SetSize(5, 5, 2);
  g.OnChange = [&](TObject*) { ++changes; };
  TMemoryStream s;
  Fill(s, "GAM");
  g.LoadFromStream(s);
  EXPECT_EQ(changes, 1);
  reader->Fail = true;
  EXPECT_EQ(Failure([&] { g.LoadFromStream(s); }), "GAM: broken");
  EXPECT_EQ(changes, 2);
  TMemoryStream unknown;
  Fill(unknown, "no picture here");
  EXPECT_EQ(Failure([&] { g.LoadFromStream(unknown); }), "Unknown file format");
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(g.UpdateCount(), 0);
  EXPECT_EQ(g.GetWidth(), 0);
  EXPECT_EQ(g.Gamma(), ScreenGamma);
}

TEST(GraphicLoading, FileExtensionFindsOnlyFormatsWithoutSignature) {
  TTempDirectory dir;
  ASSERT_FALSE(dir.Path.empty());
  TPixelGraphic picture;
  picture.SetSize(3, 2, 3);
  picture.SetPixel(2, 1, RGB(1, 2, 3));
  picture.SaveToFile(dir / "picture.TGA");
  std::filesystem::copy_file(dir / "picture.TGA", dir / "picture.dat");
  TPixelGraphic g;
  g.LoadFromFile(dir / "picture.TGA");
  EXPECT_EQ(g.GetPixel(2, 1), RGB(1, 2, 3));
  EXPECT_EQ(Failure([&] { g.LoadFromFile(dir / "picture.dat"); }), "Unknown file format");
  EXPECT_EQ(Failure([&] { g.LoadFromFile(dir / "picture.TGA", 1); }), "TGA: Index invalid");
}
