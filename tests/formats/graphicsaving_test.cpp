#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "failuremessage.h"
#include "formatregistry.h"
#include "namedpalettes.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "registeredformat.h"
#include "saveresolution.h"
#include "scriptedplatform.h"
#include "stream.h"
#include "tempdir.h"

namespace {

// Keeps a copy of what it is given to write, and writes one byte.
class TCapturingWriter : public TFileFormatWriter {
public:
  TCapturingWriter(const char* extension, TColorResolutions canWrite)
      : TFileFormatWriter("TCapturingWriter", extension, "Capture", false, canWrite) {}
  TPixelGraphic Captured;
  void Write(TStream& Stream, TPixelGraphic& Graphic) override {
    Captured.Assign(&Graphic);
    Stream.WriteBuffer("c", 1);
  }
};

// Writes part of a file, then fails.
class TFailingWriter : public TFileFormatWriter {
public:
  TFailingWriter() : TFileFormatWriter("TFailingWriter", "fail", "Failing", false, TColorResolutions(0xFF)) {}
  void Write(TStream& Stream, TPixelGraphic&) override {
    Stream.WriteBuffer("half a file", 11);
    throw EStreamError("disk full");
  }
};

void Colorful(TPixelGraphic& g) {
  g.SetSize(16, 4, 3);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 16; ++x) g.SetPixel(x, y, RGB(x * 16, y * 60, 255 - x * 16));
}

std::string Contents(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

void WriteFile(const std::string& name, const std::string& bytes) { std::ofstream(name, std::ios::binary) << bytes; }

TColorResolutions Accepts(const char* extension) { return FindWriter(extension)->CanWriteResolutions(); }

}  // namespace

TEST(GraphicSaving, CandidateTable) {
  EXPECT_EQ(SaveColorResolution(crTrueColor, Accepts("pgm")), crGray256);
  EXPECT_EQ(SaveColorResolution(cr16Colors, Accepts("jpg")), crTrueColor);
  EXPECT_EQ(SaveColorResolution(crBlackWhite, Accepts("tga")), cr256Colors);
  EXPECT_EQ(SaveColorResolution(cr2Colors, Accepts("tif")), cr16Colors);
  EXPECT_EQ(SaveColorResolution(crGray256, {crGray16, cr16Colors}), crGray16);
  EXPECT_EQ(SaveColorResolution(cr256Colors, {crGray16, cr16Colors}), cr16Colors);
  for (int r = 0; r < 8; ++r) {
    const auto current = TColorResolution(r);
    EXPECT_EQ(SaveColorResolution(current, TColorResolutions(0xFF)), current);
    EXPECT_EQ(SaveColorResolution(current, TColorResolutions()), std::nullopt);
    // Every row names all eight.
    for (int only = 0; only < 8; ++only)
      EXPECT_EQ(SaveColorResolution(current, TColorResolutions(uint8_t(1 << only))), TColorResolution(only));
  }
}

TEST(GraphicSaving, ConversionsForTheWriter) {
  TPixelGraphic source;
  Colorful(source);
  source.SetSaveColorResWarningAction(pgwaIgnore);
  TMemoryStream pgm;
  source.SaveToStreamExt(pgm, "pgm");
  EXPECT_EQ(source.BitCountNum(), 3);  // the source stays as it was
  pgm.SetPosition(0);
  TPixelGraphic back;
  back.LoadFromStream(pgm);
  EXPECT_EQ(back.BitCountNum(), 2);
  EXPECT_EQ(back.PaletteIdent(), pGray256);

  // 16 colours through the JPEG writer's choice: true colour, colours kept.
  TRegistered<TCapturingWriter> trueColor("capjpg", Accepts("jpg"));
  TPixelGraphic sixteen;
  sixteen.SetSize(4, 4, 1);
  sixteen.SetPaletteCount(16);
  for (int i = 0; i < 16; ++i) sixteen.SetPaletteEntries(i, RGB(i * 3, 200 - i, i * 11));
  for (int i = 0; i < 16; ++i) sixteen.SetPixel(i % 4, i / 4, uint32_t(i));
  sixteen.SetSaveColorResWarningAction(pgwaIgnore);
  TMemoryStream sink;
  sixteen.SaveToStreamExt(sink, "capjpg");
  EXPECT_EQ(trueColor->Captured.BitCountNum(), 3);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(trueColor->Captured.GetPixelColor(i % 4, i / 4), RGB(i * 3, 200 - i, i * 11));

  // Black and white through the TGA writer's choice: an optimized palette of
  // up to 252 entries, here the picture's two colours and the 16 system colours.
  TRegistered<TCapturingWriter> palette("captga", Accepts("tga"));
  TPixelGraphic bw;
  bw.SetSize(8, 2, 0);
  bw.SetPaletteIdent(pBlackWhite);
  for (int32_t x = 0; x < 8; x += 3) bw.SetPixel(x, 1, 1);
  bw.SetSaveColorResWarningAction(pgwaIgnore);
  int progressFromTemporary = 0;
  bw.OnProgress = [&](TObject* sender, int, int, bool&) { progressFromTemporary += sender != &bw; };
  bw.SaveToStreamExt(sink, "captga");
  const TPixelGraphic& written = palette->Captured;
  EXPECT_EQ(written.BitCountNum(), 2);
  ASSERT_EQ(written.PaletteCount(), 18);
  EXPECT_EQ(written.PaletteEntries(0), RGB(0, 0, 0));
  EXPECT_EQ(written.PaletteEntries(1), RGB(255, 255, 255));
  for (int i = 0; i < 16; ++i) EXPECT_EQ(written.PaletteEntries(2 + i), SystemColors16[i]);
  for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(written.GetPixelColor(x, 1), bw.GetPixelColor(x, 1));
  EXPECT_GT(progressFromTemporary, 0);
  EXPECT_EQ(bw.BitCountNum(), 0);
}

TEST(GraphicSaving, WarningActions) {
  TScriptedPlatform platform;
  std::string boxes;
  TPGBoxAnswer answer = pgaOK;
  platform.Box = [&](const std::string& text, const std::string& caption, TPGBoxButtons buttons) {
    boxes += caption + (buttons == pgbOKCancel ? " [OK/Cancel]: " : " [OK]: ") + text + "\n";
    return answer;
  };
  TPixelGraphic g;
  Colorful(g);
  const auto save = [&](TPGWarningAction action, const char* extension = "pgm") {
    g.SetSaveColorResWarningAction(action);
    TMemoryStream s;
    const std::string failure = Failure([&] { g.SaveToStreamExt(s, extension); });
    return s.Size() > 0 ? failure + " (written)" : failure;
  };
  const std::string written = "no failure (written)";
  const std::string warning =
      "The graphic cannot be saved to a Portable Graymap file with the current color resolution (16.7 million "
      "colors).\r\rThe graphic will be saved with a different color resolution (256 shades of gray).";
  const std::string refusal =
      "The graphic cannot be saved with to a Portable Graymap file with the current color resolution (16.7 "
      "million colors)";

  EXPECT_EQ(save(pgwaIgnore), written);
  EXPECT_EQ(boxes, "");
  answer = pgaCancel;  // an OK box goes on whatever the answer
  EXPECT_EQ(save(pgwaOKBox), written);
  EXPECT_EQ(boxes, "Warning [OK]: " + warning + "\n");
  boxes.clear();
  answer = pgaOK;
  EXPECT_EQ(save(pgwaOKCancelBox), written);
  answer = pgaCancel;
  EXPECT_EQ(save(pgwaOKCancelBox), refusal);
  EXPECT_EQ(boxes, "Warning [OK/Cancel]: " + warning + "\nWarning [OK/Cancel]: " + warning + "\n");
  boxes.clear();
  EXPECT_EQ(save(pgwaRaise), refusal);
  // Nothing to warn about when the writer takes the picture as it is.
  EXPECT_EQ(save(pgwaRaise, "ppm"), written);
  EXPECT_EQ(boxes, "");
}

TEST(GraphicSaving, WriterLookup) {
  TPixelGraphic g;
  Colorful(g);
  TMemoryStream s;
  g.SaveToStreamExt(s, "BMP");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Memory()), 2), "BM");
  EXPECT_EQ(Failure([&] { g.SaveToStreamExt(s, "GIF"); }), "Unknown file extension \"gif\"");
  {
    TRegistered<TCapturingWriter> none("none", TColorResolutions());
    EXPECT_EQ(Failure([&] { g.SaveToStreamExt(s, "none"); }), "TCapturingWriter.CanWriteResolutions is empty");
  }
  TFileFormatWriters saved;
  saved.swap(FileFormatWriters());
  const std::string empty = Failure([&] { g.SaveToStreamExt(s, "bmp"); });
  saved.swap(FileFormatWriters());
  EXPECT_EQ(empty, "FileFormatWriters is empty");
}

TEST(GraphicSaving, FileIsReplacedOnlyByACompleteOne) {
  TTempDirectory dir;
  ASSERT_FALSE(dir.Path.empty());
  TRegistered<TFailingWriter> failing;
  TPixelGraphic g;
  Colorful(g);

  // A new file that fails leaves nothing behind.
  EXPECT_EQ(Failure([&] { g.SaveToFile(dir / "new.fail"); }), "disk full");
  EXPECT_EQ(Failure([&] { g.SaveToFile(dir / "new.gif"); }), "Unknown file extension \"gif\"");
  EXPECT_EQ(dir.Listing(), "");

  // An existing file that fails stays byte for byte.
  const std::string old = "the old file\n";
  WriteFile(dir / "old.fail", old);
  chmod((dir / "old.fail").c_str(), 0640);
  EXPECT_EQ(Failure([&] { g.SaveToFile(dir / "old.fail"); }), "disk full");
  EXPECT_EQ(Contents(dir / "old.fail"), old);
  EXPECT_EQ(dir.Listing(), "old.fail");

  // A completed one takes its place with its permissions.
  std::filesystem::rename(dir / "old.fail", dir / "old.bmp");
  g.SaveToFile(dir / "old.bmp");
  TMemoryStream bmp;
  g.SaveToStream(bmp);
  EXPECT_EQ(Contents(dir / "old.bmp"), std::string(reinterpret_cast<const char*>(bmp.Memory()), size_t(bmp.Size())));
  struct stat st;
  ASSERT_EQ(stat((dir / "old.bmp").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(dir.Listing(), "old.bmp");

  // Through a link the file it names is replaced; the link stays.
  WriteFile(dir / "target.bmp", old);
  std::filesystem::create_symlink("target.bmp", dir / "link.bmp");
  g.SaveToFile(dir / "link.bmp");
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.bmp"));
  EXPECT_EQ(Contents(dir / "target.bmp").size(), size_t(bmp.Size()));

  EXPECT_EQ(Failure([&] { g.SaveToFile(dir / "missing/x.bmp"); }).rfind("Opening", 0), 0u);
  EXPECT_EQ(dir.Listing(), "link.bmp old.bmp target.bmp");

  // A pipe is written into, not replaced.
  ASSERT_EQ(mkfifo((dir / "pipe.bmp").c_str(), 0600), 0);
  const int reader = open((dir / "pipe.bmp").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  g.SaveToFile(dir / "pipe.bmp");
  std::string piped(size_t(bmp.Size()) + 1, '\0');
  piped.resize(size_t(std::max<ssize_t>(read(reader, piped.data(), piped.size()), 0)));
  close(reader);
  EXPECT_EQ(piped.size(), size_t(bmp.Size()));
  EXPECT_TRUE(std::filesystem::is_fifo(dir / "pipe.bmp"));
}
