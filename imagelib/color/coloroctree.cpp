#include "coloroctree.h"

#include <algorithm>

struct TColorOctree::TNode {
  int32_t Level;
  bool Leaf = false;
  bool Listed = false;
  // Weight sums exceed 32 bits on large pictures.
  uint64_t PixelCount = 0;
  uint64_t RedSum = 0, GreenSum = 0, BlueSum = 0;
  int32_t ChildCount = 0;
  std::array<std::unique_ptr<TNode>, 8> Children;
  TNode* Next = nullptr;
  TNode* Previous = nullptr;

  explicit TNode(int32_t level) : Level(level) {}
  // Dark and rarely used branches are merged first.
  uint64_t MergeCost() const { return 2 * RedSum + 3 * GreenSum + BlueSum; }
};

TColorOctree::TColorOctree(int32_t maxColors) : FMaxColors(std::max(maxColors, 1)), FRoot(NewNode(0)) {}

TColorOctree::~TColorOctree() = default;

std::unique_ptr<TColorOctree::TNode> TColorOctree::NewNode(int32_t level) {
  auto node = std::make_unique<TNode>(level);
  if (level >= FMaxDepth) {
    node->Leaf = true;
    ++FLeafCount;
  }
  return node;
}

void TColorOctree::AddColor(TRGB color, uint64_t weight) {
  if (weight == 0) return;  // a leaf without pixels would have no mean
  const uint32_t red = GetRValue(color), green = GetGValue(color), blue = GetBValue(color);
  TNode* node = FRoot.get();
  for (;;) {
    node->RedSum += weight * red;
    node->GreenSum += weight * green;
    node->BlueSum += weight * blue;
    node->PixelCount += weight;
    // Inner nodes at or below a lowered maximum depth absorb the colour.
    if (node->Leaf || node->Level >= FMaxDepth) break;
    const int shift = 7 - node->Level;
    const int index = int(4 * ((red >> shift) & 1) + 2 * ((green >> shift) & 1) + ((blue >> shift) & 1));
    std::unique_ptr<TNode>& child = node->Children[size_t(index)];
    if (!child) {
      child = NewNode(node->Level + 1);
      ++node->ChildCount;
    } else if (node->ChildCount > 1 && !node->Listed) {
      List(*node);
    }
    node = child.get();
  }
  if (FLeafCount > FMaxColors) Reduce();
}

void TColorOctree::List(TNode& node) {
  TNode*& head = FReducible[size_t(node.Level)];
  node.Next = head;
  node.Previous = nullptr;
  if (head) head->Previous = &node;
  head = &node;
  node.Listed = true;
}

void TColorOctree::Unlink(TNode& node) {
  if (node.Previous)
    node.Previous->Next = node.Next;
  else
    FReducible[size_t(node.Level)] = node.Next;
  if (node.Next) node.Next->Previous = node.Previous;
  node.Next = node.Previous = nullptr;
  node.Listed = false;
}

void TColorOctree::Reduce() {
  TNode* candidate = nullptr;
  for (int32_t level = FMaxDepth - 1; level >= 0 && !candidate; --level)
    for (TNode* node = FReducible[size_t(level)]; node; node = node->Next)
      if (!candidate || node->MergeCost() < candidate->MergeCost()) candidate = node;
  // A node is listed only once a colour passes an existing child of it, so
  // fresh branches can leave every list empty; merge the deepest branch then.
  if (!candidate) candidate = DeepestBranch();
  MakeLeaf(*candidate);
}

// The deepest node with more than one child, the cheapest on ties, the
// first in depth-first order after that. Exists whenever there are two leaves.
TColorOctree::TNode* TColorOctree::DeepestBranch() {
  TNode* best = nullptr;
  std::vector<TNode*> stack{FRoot.get()};
  while (!stack.empty()) {
    TNode* node = stack.back();
    stack.pop_back();
    if (node->ChildCount > 1 &&
        (!best || node->Level > best->Level || (node->Level == best->Level && node->MergeCost() < best->MergeCost())))
      best = node;
    for (size_t i = node->Children.size(); i-- > 0;)
      if (node->Children[i]) stack.push_back(node->Children[i].get());
  }
  return best;
}

void TColorOctree::MakeLeaf(TNode& node) {
  if (node.Listed) Unlink(node);
  // Lists are only ever filled below the maximum depth and always emptied
  // from the deepest level up, so no descendant of node is listed.
  for (std::unique_ptr<TNode>& child : node.Children)
    if (child) {
      FLeafCount -= CountLeaves(*child);
      child.reset();
    }
  node.ChildCount = 0;
  node.Leaf = true;
  ++FLeafCount;
  if (node.Level < FMaxDepth - 1) FMaxDepth = node.Level + 1;
}

std::vector<TRGB> TColorOctree::Colors() const {
  std::vector<TRGB> colors;
  std::vector<const TNode*> stack{FRoot.get()};
  while (!stack.empty()) {
    const TNode* node = stack.back();
    stack.pop_back();
    if (node->Leaf) {
      const uint64_t n = node->PixelCount;
      colors.push_back(RGB(uint32_t(node->RedSum / n), uint32_t(node->GreenSum / n), uint32_t(node->BlueSum / n)));
    }
    for (size_t i = node->Children.size(); i-- > 0;)
      if (node->Children[i]) stack.push_back(node->Children[i].get());
  }
  return colors;
}

int32_t TColorOctree::CountLeaves(const TNode& node) {
  int32_t leaves = node.Leaf ? 1 : 0;
  for (const auto& child : node.Children)
    if (child) leaves += CountLeaves(*child);
  return leaves;
}
