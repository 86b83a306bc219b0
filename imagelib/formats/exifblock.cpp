#include "exifblock.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <set>

#include "orientation.h"
#include "tiffstructure.h"

namespace {

constexpr uint16_t OrientationTag = 274;
constexpr uint16_t ThumbnailOffsetTag = 513;
constexpr uint16_t ThumbnailLengthTag = 514;
// Tags whose value is the offset of a further directory.
constexpr uint16_t SubDirectoryTags[] = {34665, 34853, 40965};
constexpr uint16_t TypeIFD = 13;
// More directories than any camera writes: a block claiming them is hostile.
constexpr size_t MaxDirectories = 32;

struct TRange {
  uint64_t Begin, End;
};

size_t TypeSize(uint16_t type) {
  switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: case TypeIFD: return 4;
    case 5: case 10: case 12: return 8;
    default: return 0;
  }
}

// The block's header and directories, read within its bounds only.
class TExifReader {
public:
  explicit TExifReader(const std::vector<uint8_t>& block) : FBlock(block) {
    const bool little = block.size() >= 8 && block[0] == 'I' && block[1] == 'I';
    const bool big = block.size() >= 8 && block[0] == 'M' && block[1] == 'M';
    FOrder = TTIFFByteOrder(big);
    FValid = (little || big) && FOrder.Get16(block.data() + 2) == 42;
  }
  bool Valid() const { return FValid; }
  TTIFFByteOrder Order() const { return FOrder; }
  uint32_t FirstDirectory() const { return FOrder.Get32(FBlock.data() + 4); }
  bool Holds(uint64_t offset, uint64_t count) const { return offset <= FBlock.size() && count <= FBlock.size() - offset; }

  // The entry count of the directory at offset, when its entries and its
  // link to the next one lie within the block.
  std::optional<uint16_t> EntryCount(uint32_t offset) const {
    if (!Holds(offset, 2)) return std::nullopt;
    const uint16_t count = FOrder.Get16(FBlock.data() + offset);
    if (!Holds(uint64_t(offset) + 2, uint64_t(count) * TIFFEntrySize + 4)) return std::nullopt;
    return count;
  }
  static uint64_t EntryAt(uint32_t offset, uint16_t i) { return uint64_t(offset) + 2 + uint64_t(i) * TIFFEntrySize; }
  static uint64_t LinkAt(uint32_t offset, uint16_t count) { return EntryAt(offset, count); }

  // The bytes an entry's value takes outside the entry, when there are any and they lie within the block.
  std::optional<TRange> OutOfLineValue(const uint8_t* entry) const {
    const uint64_t bytes = uint64_t(FOrder.Get32(entry + 4)) * TypeSize(FOrder.Get16(entry + 2));
    if (bytes <= 4) return std::nullopt;
    const uint32_t offset = FOrder.Get32(entry + 8);
    if (!Holds(offset, bytes)) return std::nullopt;
    return TRange{offset, offset + bytes};
  }

private:
  const std::vector<uint8_t>& FBlock;
  TTIFFByteOrder FOrder;
  bool FValid = false;
};

// Every byte range that a directory, its values and its subdirectories take;
// a directory met before (a loop) or beyond the block adds nothing.
void CollectRanges(const TExifReader& reader, const std::vector<uint8_t>& block, uint32_t offset,
                   std::set<uint32_t>& visited, std::vector<TRange>& ranges) {
  if (visited.size() >= MaxDirectories || !visited.insert(offset).second) return;
  const std::optional<uint16_t> count = reader.EntryCount(offset);
  if (!count) return;
  ranges.push_back({offset, TExifReader::LinkAt(offset, *count) + 4});
  const TTIFFByteOrder order = reader.Order();
  for (uint16_t i = 0; i < *count; ++i) {
    const uint8_t* e = block.data() + TExifReader::EntryAt(offset, i);
    if (const std::optional<TRange> value = reader.OutOfLineValue(e)) ranges.push_back(*value);
    const uint16_t tag = order.Get16(e), type = order.Get16(e + 2);
    const bool sub = std::find(std::begin(SubDirectoryTags), std::end(SubDirectoryTags), tag) != std::end(SubDirectoryTags);
    if (sub && (type == 4 || type == TypeIFD) && order.Get32(e + 4) == 1)
      CollectRanges(reader, block, order.Get32(e + 8), visited, ranges);
  }
}

// The ranges of the thumbnail directory and of the picture it points to.
std::vector<TRange> ThumbnailRanges(const TExifReader& reader, const std::vector<uint8_t>& block, uint32_t offset) {
  std::vector<TRange> ranges;
  const std::optional<uint16_t> count = reader.EntryCount(offset);
  if (!count) return ranges;
  ranges.push_back({offset, TExifReader::LinkAt(offset, *count) + 4});
  const TTIFFByteOrder order = reader.Order();
  uint64_t start = 0, length = 0;
  for (uint16_t i = 0; i < *count; ++i) {
    const uint8_t* e = block.data() + TExifReader::EntryAt(offset, i);
    if (const std::optional<TRange> value = reader.OutOfLineValue(e)) ranges.push_back(*value);
    const uint16_t tag = order.Get16(e), type = order.Get16(e + 2);
    const uint32_t value = type == 3 ? order.Get16(e + 8) : order.Get32(e + 8);
    if (tag == ThumbnailOffsetTag) start = value;
    if (tag == ThumbnailLengthTag) length = value;
  }
  if (length > 0 && reader.Holds(start, length)) ranges.push_back({start, start + length});
  return ranges;
}

bool Overlaps(const TRange& a, const std::vector<TRange>& others) {
  return std::any_of(others.begin(), others.end(), [&](const TRange& b) { return a.Begin < b.End && b.Begin < a.End; });
}

}  // namespace

uint8_t ExifOrientation(const std::vector<uint8_t>& Block) {
  const TExifReader reader(Block);
  if (!reader.Valid()) return oTopLeft;
  const uint32_t ifd0 = reader.FirstDirectory();
  const std::optional<uint16_t> count = reader.EntryCount(ifd0);
  if (!count) return oTopLeft;
  const TTIFFByteOrder order = reader.Order();
  for (uint16_t i = 0; i < *count; ++i) {
    const uint8_t* e = Block.data() + TExifReader::EntryAt(ifd0, i);
    if (order.Get16(e) == OrientationTag && order.Get16(e + 2) == 3 && order.Get32(e + 4) >= 1)
      return ValidOrientation(order.Get16(e + 8));
  }
  return oTopLeft;
}

std::vector<uint8_t> ExifForSaving(const std::vector<uint8_t>& Block, uint8_t Orientation) {
  const TExifReader reader(Block);
  if (!reader.Valid()) return {};
  const uint32_t ifd0 = reader.FirstDirectory();
  const std::optional<uint16_t> count = reader.EntryCount(ifd0);
  // An IFD0 on the header would have its link cut into the header.
  if (!count || ifd0 < 8) return {};
  std::vector<uint8_t> saved = Block;
  const TTIFFByteOrder order = reader.Order();
  for (uint16_t i = 0; i < *count; ++i) {
    uint8_t* e = saved.data() + TExifReader::EntryAt(ifd0, i);
    if (order.Get16(e) == OrientationTag && order.Get16(e + 2) == 3 && order.Get32(e + 4) == 1)
      order.Put16(e + 8, ValidOrientation(Orientation));
  }
  uint8_t* link = saved.data() + TExifReader::LinkAt(ifd0, *count);
  const uint32_t ifd1 = order.Get32(link);
  order.Put32(link, 0);

  // The header is kept too: a thumbnail may claim to lie on it.
  std::vector<TRange> kept = {{0, 8}};
  std::set<uint32_t> visited;
  CollectRanges(reader, Block, ifd0, visited, kept);
  uint64_t keptEnd = 0;
  for (const TRange& r : kept) keptEnd = std::max(keptEnd, r.End);
  if (ifd1 != 0)
    for (const TRange& r : ThumbnailRanges(reader, Block, ifd1))
      if (r.Begin < keptEnd && !Overlaps(r, kept)) std::memset(saved.data() + r.Begin, 0, size_t(r.End - r.Begin));
  // Nothing that is kept lies beyond its end.
  saved.resize(size_t(std::min<uint64_t>(keptEnd, saved.size())));
  return saved;
}
