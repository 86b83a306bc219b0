#pragma once
// Octree colour reduction for the palette of a 1-, 4- or 8-bit picture:
// palette colours are inserted with their pixel counts, and whenever there
// are more leaves than wanted one branch is merged into a leaf.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "pgtypes.h"

class TColorOctree {
public:
  static constexpr int32_t MaxLevel = 8;

  // maxColors below 1 counts as 1.
  explicit TColorOctree(int32_t maxColors);
  ~TColorOctree();
  TColorOctree(const TColorOctree&) = delete;
  TColorOctree& operator=(const TColorOctree&) = delete;

  // Inserts a colour weighted by its pixel count (0 is ignored), then merges one
  // branch if that left more leaves than maxColors; so the leaves never
  // outnumber maxColors.
  void AddColor(TRGB color, uint64_t weight);
  int32_t LeafCount() const { return FLeafCount; }
  int32_t MaxDepth() const { return FMaxDepth; }
  // Mean colour of every leaf, depth first with children in colour-bit order.
  std::vector<TRGB> Colors() const;

private:
  struct TNode;

  std::unique_ptr<TNode> NewNode(int32_t level);
  void Reduce();
  TNode* DeepestBranch();
  void MakeLeaf(TNode& node);
  void List(TNode& node);
  void Unlink(TNode& node);
  static int32_t CountLeaves(const TNode& node);

  int32_t FMaxColors;
  int32_t FMaxDepth = MaxLevel;
  int32_t FLeafCount = 0;
  std::array<TNode*, MaxLevel> FReducible{};
  std::unique_ptr<TNode> FRoot;
};
