// Photos stored on their side, as cameras and phones write them, made by
// ImageMagick and tagged by exiftool and tiffset: read upright, and their
// EXIF data written into a JPEG result only when asked.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codecpeer.h"
#include "exifblock.h"
#include "formatoptions.h"
#include "formatregistry.h"
#include "jpegformat.h"
#include "pixelgraphic.h"
#include "stream.h"

using namespace codecpeer;

namespace {

const char* const OrientationNames[9] = {"",        "TopLeft", "TopRight",    "BottomRight", "BottomLeft",
                                         "LeftTop", "RightTop", "RightBottom", "LeftBottom"};

struct TAutoOrientGuard {
  bool Auto = AutoOrient, Keep = KeepPhotoInfo;
  ~TAutoOrientGuard() {
    AutoOrient = Auto;
    KeepPhotoInfo = Keep;
  }
};

std::vector<uint8_t> LoadedRGB(const std::string& file, TPixelGraphic& g) {
  g.SetReadWarningAction(pgwaRaise);
  g.LoadFromFile(file);
  return GraphicRGB(g);
}

// A picture wider than high whose pixels all differ from their neighbours.
std::string StoredPicture(const TTempDirectory& dir) {
  TPixelGraphic g;
  FillRandom(g, 40, 24, 11);
  WritePNM(dir / "stored.ppm", g);
  return dir / "stored.ppm";
}

}  // namespace

TEST(PhotoOrientation, JPEGWithExifOrientationReadsAsImageMagickAutoOrients) {
  if (!HaveTools("convert exiftool")) GTEST_SKIP() << "ImageMagick or exiftool missing";
  TTempDirectory dir;
  const TAutoOrientGuard guard;
  ASSERT_TRUE(RunQuietly("convert " + StoredPicture(dir) + " -quality 95 " + (dir / "plain.jpg")));
  for (int o = 2; o <= 8; ++o) {
    SCOPED_TRACE(OrientationNames[o]);
    const std::string file = dir / ("o" + std::to_string(o) + ".jpg");
    ASSERT_TRUE(RunQuietly("exiftool -n -Orientation=" + std::to_string(o) + " -o " + file + " " + (dir / "plain.jpg")));
    ASSERT_TRUE(RunQuietly("convert " + file + " -auto-orient " + (dir / "upright.ppm")));
    ASSERT_TRUE(RunQuietly("convert " + file + " " + (dir / "asstored.ppm")));
    const TPNMImage upright = ReadPNM(dir / "upright.ppm"), stored = ReadPNM(dir / "asstored.ppm");
    AutoOrient = true;
    TPixelGraphic g;
    EXPECT_EQ(LoadedRGB(file, g), upright.RGB());
    EXPECT_EQ(g.GetWidth(), o >= 5 ? 24 : 40);
    EXPECT_EQ(g.Orientation(), 1);
    TFileFormatInfo info;
    ASSERT_TRUE(GetFileFormatInfo(file, 0, info));
    EXPECT_EQ(info.Orientation, o);
    EXPECT_EQ(info.Width, g.GetWidth());
    EXPECT_EQ(info.Height, g.GetHeight());

    AutoOrient = false;
    EXPECT_EQ(LoadedRGB(file, g), stored.RGB());
    EXPECT_EQ(g.Orientation(), o);
    ASSERT_TRUE(GetFileFormatInfo(file, 0, info));
    EXPECT_EQ(info.Width, 40);
  }
}

TEST(PhotoOrientation, TIFFTagAndPNGChunkTurnAsImageMagickDoes) {
  if (!HaveTools("convert exiftool tiffset")) GTEST_SKIP() << "ImageMagick, exiftool or tiffset missing";
  TTempDirectory dir;
  const TAutoOrientGuard guard;
  AutoOrient = true;
  // ImageMagick's PNG files carry a gamma that is not the point here.
  struct TGammaGuard {
    bool Correct = GammaCorrectionOnRead;
    ~TGammaGuard() { GammaCorrectionOnRead = Correct; }
  } gamma;
  GammaCorrectionOnRead = false;
  const std::string stored = StoredPicture(dir);
  // Uncompressed TIFF goes through the library's own reader, LZW through libtiff.
  for (const char* compression : {"none", "lzw"})
    ASSERT_TRUE(RunQuietly("convert " + stored + " -compress " + compression + " " + (dir / compression) + ".tif"));
  ASSERT_TRUE(RunQuietly("convert " + stored + " " + (dir / "plain.png")));
  for (int o = 2; o <= 8; ++o) {
    SCOPED_TRACE(OrientationNames[o]);
    ASSERT_TRUE(RunQuietly("convert " + stored + " -orient " + OrientationNames[o] + " -auto-orient " +
                           (dir / "upright.ppm")));
    const std::vector<uint8_t> upright = ReadPNM(dir / "upright.ppm").RGB();
    for (const char* compression : {"none", "lzw"}) {
      const std::string file = dir / (std::string(compression) + ".tif");
      ASSERT_TRUE(RunQuietly("tiffset -s 274 " + std::to_string(o) + " " + file));
      TPixelGraphic g;
      EXPECT_EQ(LoadedRGB(file, g), upright) << compression;
    }
    const std::string png = dir / ("o" + std::to_string(o) + ".png");
    ASSERT_TRUE(RunQuietly("exiftool -n -Orientation=" + std::to_string(o) + " -o " + png + " " + (dir / "plain.png")));
    ASSERT_NE(Shell("grep -c eXIf " + png), "0\n") << "exiftool wrote no eXIf chunk";
    TPixelGraphic g;
    EXPECT_EQ(LoadedRGB(png, g), upright);
    TFileFormatInfo info;
    ASSERT_TRUE(GetFileFormatInfo(png, 0, info));
    EXPECT_EQ(info.Orientation, o);
    EXPECT_EQ(info.Width, o >= 5 ? 24 : 40);
  }
}

TEST(PhotoOrientation, ShrinkOnLoadAsksForTheUprightSides) {
  if (!HaveTools("convert exiftool")) GTEST_SKIP() << "ImageMagick or exiftool missing";
  TTempDirectory dir;
  const TAutoOrientGuard guard;
  AutoOrient = true;
  // 400 x 160 stored, 160 x 400 upright.
  ASSERT_TRUE(RunQuietly("convert -size 400x160 gradient:red-blue " + (dir / "plain.jpg")));
  ASSERT_TRUE(RunQuietly("exiftool -n -Orientation=6 -o " + (dir / "six.jpg") + " " + (dir / "plain.jpg")));
  TPixelGraphic g;
  TLoadSize asked;
  g.OnLoadTarget = [&](TObject*, int32_t width, int32_t height) {
    asked = {width, height};
    return TLoadSize{80, 200};
  };
  g.LoadFromFile(dir / "six.jpg");
  EXPECT_EQ(asked.Width, 160);
  EXPECT_EQ(asked.Height, 400);
  // Half the size each way, the upright way round.
  EXPECT_EQ(g.GetWidth(), 80);
  EXPECT_EQ(g.GetHeight(), 200);
  // The gradient's red top of the stored picture is now on the right.
  EXPECT_GT(GetRValue(g.GetPixelColor(79, 100)), 200);
  EXPECT_LT(GetRValue(g.GetPixelColor(0, 100)), 50);
}

TEST(PhotoOrientation, HostileExifIsIgnoredEvenWhenWarningsFail) {
  if (!HaveTools("convert")) GTEST_SKIP() << "ImageMagick missing";
  TTempDirectory dir;
  ASSERT_TRUE(RunQuietly("convert " + StoredPicture(dir) + " " + (dir / "plain.jpg")));
  const std::vector<uint8_t> plain = FileBytes(dir / "plain.jpg");
  TPixelGraphic reference;
  reference.LoadFromFile(dir / "plain.jpg");
  // IFD0 past the segment, a count beyond it, an IFD chain that loops, and
  // a segment cut short after its header.
  const std::vector<std::vector<uint8_t>> blocks = {
      {'I', 'I', 42, 0, 0xF0, 0xFF, 0, 0},
      {'M', 'M', 0, 42, 0, 0, 0, 8, 0xFF, 0xFF, 1, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0},
      {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x69, 0x87, 4, 0, 1, 0, 0, 0, 8, 0, 0, 0, 8, 0, 0, 0},
      {'I', 'I'}};
  for (const std::vector<uint8_t>& block : blocks) {
    std::vector<uint8_t> segment = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    segment.insert(segment.end(), block.begin(), block.end());
    segment[2] = uint8_t((segment.size() - 2) >> 8);
    segment[3] = uint8_t(segment.size() - 2);
    std::vector<uint8_t> file(plain.begin(), plain.begin() + 2);
    file.insert(file.end(), segment.begin(), segment.end());
    file.insert(file.end(), plain.begin() + 2, plain.end());
    TMemoryStream s;
    Fill(s, file);
    TPixelGraphic g;
    g.SetReadWarningAction(pgwaRaise);
    ASSERT_NO_THROW(g.LoadFromStream(s));
    EXPECT_EQ(Pixels(g), Pixels(reference));
    EXPECT_EQ(g.ExifBlock(), block);
  }
}

TEST(PhotoOrientation, PhotoInfoReachesAJPEGResultOnlyWhenAsked) {
  if (!HaveTools("convert exiftool")) GTEST_SKIP() << "ImageMagick or exiftool missing";
  TTempDirectory dir;
  const TAutoOrientGuard guard;
  AutoOrient = true;
  ASSERT_TRUE(RunQuietly("convert -size 64x48 gradient:white-black " + (dir / "plain.jpg")));
  ASSERT_TRUE(RunQuietly("convert -size 16x12 xc:gray " + (dir / "thumb.jpg")));
  ASSERT_TRUE(RunQuietly("exiftool -n -Orientation=6 -Make=QuilletCam -GPSLatitude=52.5 -GPSLatitudeRef=N "
                         "'-ThumbnailImage<=" + (dir / "thumb.jpg") + "' -o " + (dir / "photo.jpg") + " " +
                         (dir / "plain.jpg")));
  ASSERT_EQ(Shell("exiftool -s3 -n -ThumbnailLength " + (dir / "photo.jpg")), Shell("stat -c %s " + (dir / "thumb.jpg")));
  TPixelGraphic photo;
  photo.LoadFromFile(dir / "photo.jpg");
  ASSERT_EQ(photo.GetWidth(), 48);

  for (bool keep : {false, true}) {
    SCOPED_TRACE(keep ? "kept" : "left out");
    KeepPhotoInfo = keep;
    const std::string out = dir / (keep ? "kept.jpg" : "plainout.jpg");
    photo.SaveToFile(out);
    const std::string tags = Shell("exiftool -s -n -EXIF:all " + out);
    if (!keep) {
      EXPECT_EQ(tags, "");
      continue;
    }
    EXPECT_NE(tags.find("Orientation                     : 1\n"), std::string::npos) << tags;
    EXPECT_NE(tags.find("QuilletCam"), std::string::npos) << tags;
    EXPECT_NE(tags.find("GPSLatitudeRef                  : N"), std::string::npos) << tags;
    EXPECT_EQ(Shell("exiftool -s3 -n -GPSLatitude " + out), "52.5\n");
    EXPECT_EQ(tags.find("Thumbnail"), std::string::npos) << tags;
    EXPECT_EQ(Shell("exiftool -validate -warning -s3 " + out), "OK\n") << "exiftool finds the block damaged";
    // Read again, it is upright as it is: no second turn.
    TPixelGraphic again;
    again.LoadFromFile(out);
    EXPECT_EQ(again.GetWidth(), 48);
  }
}
