#include "exifblock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// An EXIF block laid out by hand, in either byte order.
class TBlock {
public:
  explicit TBlock(bool big) : FBig(big) {
    Bytes = {uint8_t(big ? 'M' : 'I'), uint8_t(big ? 'M' : 'I')};
    Append16(42);
    Append32(8);
  }
  void Put16(size_t at, uint32_t v) {
    Bytes[at + (FBig ? 0 : 1)] = uint8_t(v >> 8);
    Bytes[at + (FBig ? 1 : 0)] = uint8_t(v);
  }
  void Put32(size_t at, uint32_t v) {
    Put16(at + (FBig ? 0 : 2), v >> 16);
    Put16(at + (FBig ? 2 : 0), v & 0xFFFF);
  }
  void Append16(uint32_t v) {
    Bytes.resize(Bytes.size() + 2);
    Put16(Bytes.size() - 2, v);
  }
  void Append32(uint32_t v) {
    Bytes.resize(Bytes.size() + 4);
    Put32(Bytes.size() - 4, v);
  }
  struct TEntry {
    uint16_t Tag, Type;
    uint32_t Count, Value;
  };
  // A directory at the end; returns its offset. A short value sits in the
  // first two bytes of the value field.
  uint32_t Directory(const std::vector<TEntry>& entries, uint32_t next) {
    const uint32_t offset = uint32_t(Bytes.size());
    Append16(uint32_t(entries.size()));
    for (const TEntry& e : entries) {
      Append16(e.Tag);
      Append16(e.Type);
      Append32(e.Count);
      if (e.Type == 3 && e.Count == 1) {
        Append16(e.Value);
        Append16(0);
      } else {
        Append32(e.Value);
      }
    }
    Append32(next);
    return offset;
  }
  uint32_t Data(const std::vector<uint8_t>& data) {
    const uint32_t offset = uint32_t(Bytes.size());
    Bytes.insert(Bytes.end(), data.begin(), data.end());
    return offset;
  }
  std::vector<uint8_t> Bytes;

private:
  bool FBig;
};

constexpr uint16_t Short = 3, Long = 4, Ascii = 2;

// The usual camera layout: IFD0 with orientation, make and a link to the
// Exif directory, the Exif directory with a date, then IFD1 and the
// thumbnail at the end.
struct TCameraBlock {
  TBlock Block;
  uint32_t IFD1 = 0;
  uint32_t Thumbnail = 0;
  explicit TCameraBlock(bool big, uint32_t orientation) : Block(big) {
    const std::vector<uint8_t> make = {'Q', 'u', 'i', 'l', 'l', 'e', 't', 'C', 'a', 'm', 0};
    // IFD0 at 8 with three entries ends at 8 + 2 + 36 + 4 = 50.
    Block.Directory({{274, Short, 1, orientation}, {271, Ascii, uint32_t(make.size()), 50}, {34665, Long, 1, 61}}, 0);
    Block.Data(make);
    const std::vector<uint8_t> date = {'2', '0', '2', '6', ':', '1', '2', ':', '0', '8', ' ', '1',
                                       '2', ':', '0', '0', ':', '0', '0', 0};
    Block.Directory({{36867, Ascii, uint32_t(date.size()), 79}}, 0);
    Block.Data(date);
    IFD1 = uint32_t(Block.Bytes.size());
    Thumbnail = IFD1 + 2 + 2 * 12 + 4;
    Block.Directory({{513, Long, 1, Thumbnail}, {514, Long, 1, 16}}, 0);
    Block.Data(std::vector<uint8_t>(16, 0xD8));
    Block.Put32(8 + 2 + 3 * 12, IFD1);
  }
};

}  // namespace

TEST(ExifBlock, OrientationInEitherByteOrderAndWhateverIsDamaged) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "MM" : "II");
    for (uint32_t o = 1; o <= 8; ++o) EXPECT_EQ(ExifOrientation(TCameraBlock(big, o).Block.Bytes), o);
    EXPECT_EQ(ExifOrientation(TCameraBlock(big, 9).Block.Bytes), 1);
    EXPECT_EQ(ExifOrientation(TCameraBlock(big, 0).Block.Bytes), 1);

    TBlock wrongType(big);
    wrongType.Directory({{274, Long, 1, 6}}, 0);
    EXPECT_EQ(ExifOrientation(wrongType.Bytes), 1);

    // IFD0 past the end, its entries beyond the block, and a cut block.
    TBlock far(big);
    far.Directory({{274, Short, 1, 6}}, 0);
    far.Put32(4, 0xFFFFFFF0);
    EXPECT_EQ(ExifOrientation(far.Bytes), 1);
    TBlock counted(big);
    counted.Directory({{274, Short, 1, 6}}, 0);
    counted.Put16(8, 0xFFFF);
    EXPECT_EQ(ExifOrientation(counted.Bytes), 1);
    std::vector<uint8_t> cut = TCameraBlock(big, 6).Block.Bytes;
    cut.resize(20);
    EXPECT_EQ(ExifOrientation(cut), 1);
    EXPECT_TRUE(ExifForSaving(cut, 1).empty());
  }
  EXPECT_EQ(ExifOrientation({}), 1);
  EXPECT_EQ(ExifOrientation({'I', 'I', 43, 0, 8, 0, 0, 0}), 1);
  EXPECT_EQ(ExifOrientation({'I', 'M', 42, 0, 8, 0, 0, 0}), 1);
}

TEST(ExifBlock, SavingSetsTheOrientationAndDropsTheThumbnail) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "MM" : "II");
    const TCameraBlock camera(big, 6);
    const std::vector<uint8_t>& source = camera.Block.Bytes;
    const std::vector<uint8_t> saved = ExifForSaving(source, 1);
    // Everything from IFD1 on is cut off; the rest is the source's but for
    // the orientation and the link to IFD1.
    ASSERT_EQ(saved.size(), camera.IFD1);
    EXPECT_EQ(ExifOrientation(saved), 1);
    EXPECT_EQ(std::vector<uint8_t>(saved.begin(), saved.begin() + 18), std::vector<uint8_t>(source.begin(), source.begin() + 18));
    EXPECT_EQ(std::vector<uint8_t>(saved.begin() + 22, saved.begin() + 46),
              std::vector<uint8_t>(source.begin() + 22, source.begin() + 46));
    EXPECT_EQ(std::vector<uint8_t>(saved.begin() + 50, saved.end()),
              std::vector<uint8_t>(source.begin() + 50, source.begin() + camera.IFD1));
    for (int i = 46; i < 50; ++i) EXPECT_EQ(saved[size_t(i)], 0);
    // A picture left as stored keeps its orientation.
    EXPECT_EQ(ExifOrientation(ExifForSaving(source, 6)), 6);
  }
}

TEST(ExifBlock, ThumbnailBeforeTheKeptDataIsBlankedAndLoopsEnd) {
  TBlock block(false);
  // IFD0 at 8 (two entries, ends at 38), IFD1 at 38 (two entries, ends at
  // 68), thumbnail 68..76, Exif directory at 76 whose sub-link loops back
  // to IFD0 and to itself.
  block.Directory({{274, Short, 1, 8}, {34665, Long, 1, 76}}, 38);
  block.Directory({{513, Long, 1, 68}, {514, Long, 1, 8}}, 8);
  block.Data(std::vector<uint8_t>(8, 0xEE));
  block.Directory({{34665, Long, 1, 8}, {40965, Long, 1, 76}, {37500, 7, 4, 0x01020304}}, 76);
  const std::vector<uint8_t> saved = ExifForSaving(block.Bytes, 1);
  ASSERT_EQ(saved.size(), block.Bytes.size());
  EXPECT_EQ(ExifOrientation(saved), 1);
  for (size_t i = 38; i < 76; ++i) EXPECT_EQ(saved[i], 0) << i;
  EXPECT_EQ(std::vector<uint8_t>(saved.begin() + 76, saved.end()), std::vector<uint8_t>(block.Bytes.begin() + 76, block.Bytes.end()));

  // IFD1 that is IFD0 itself: the link is cut, nothing kept is blanked.
  TBlock self(true);
  self.Directory({{274, Short, 1, 3}}, 8);
  const std::vector<uint8_t> kept = ExifForSaving(self.Bytes, 1);
  ASSERT_EQ(kept.size(), self.Bytes.size());
  EXPECT_EQ(ExifOrientation(kept), 1);

  // A thumbnail claiming the header's bytes leaves them as they are.
  TBlock header(false);
  header.Directory({{274, Short, 1, 6}}, 26);
  header.Directory({{513, Long, 1, 0}, {514, Long, 1, 8}}, 0);
  const std::vector<uint8_t> headerKept = ExifForSaving(header.Bytes, 1);
  EXPECT_EQ(std::vector<uint8_t>(headerKept.begin(), headerKept.begin() + 8),
            std::vector<uint8_t>(header.Bytes.begin(), header.Bytes.begin() + 8));
  EXPECT_EQ(headerKept.size(), 26u);
  EXPECT_FALSE(ExifForSaving(headerKept, 1).empty());

  // An IFD0 that starts on the header is not saved: its link is part of it.
  const std::vector<uint8_t> onHeader = {'M', 'M', 0, 42, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0};
  EXPECT_TRUE(ExifForSaving(onHeader, 1).empty());

  // Values and thumbnails that claim more than the block holds are left alone.
  TBlock claims(false);
  claims.Directory({{274, Short, 1, 6}, {271, Ascii, 0x40000000, 8}, {34665, Long, 1, 0xFFFFFFFF}}, 50);
  claims.Directory({{513, Long, 1, 0xFFFFFF00}, {514, Long, 1, 0x7FFFFFFF}}, 0xFFFF);
  const std::vector<uint8_t> trimmed = ExifForSaving(claims.Bytes, 1);
  EXPECT_EQ(trimmed.size(), 50u);
  EXPECT_EQ(ExifOrientation(trimmed), 1);
}
