#pragma once
// The octree colour quantizer: every pixel of a 24-bit bitmap goes down a tree that splits the
// colour cube by one bit of each channel per level, down to leaves of 6 bits per channel; the tree
// then trims its smallest forks into leaves until no more than MaxColors leaves remain, and each
// leaf's average colour becomes a palette entry. No dithering.
#include "graphics/quantize.h"

#include <array>
#include <cstdint>
#include <memory>

namespace colorquant {

class TOctree;

struct TOctreeNode {
    bool IsLeaf = false;
    TOctree* Tree = nullptr;
    TOctreeNode* Parent = nullptr;
    // Child i holds the colours whose bits at this level give i = 4 red + 2 green + blue.
    std::array<std::unique_ptr<TOctreeNode>, 8> Children;
    int32_t PixelCount = 0;
    int64_t SumRed = 0, SumGreen = 0, SumBlue = 0;
    int32_t PaletteIndex = 0;
    int32_t ChildCount = 0;
    int32_t LeafChildCount = 0;

    // Not a leaf, and every child it has is one.
    bool IsFork() const { return !IsLeaf && ChildCount == LeafChildCount; }
};

// Visits the nodes of a tree: each node's children 0 to 7 (each with its subtree), then the node.
class TOctreeNodeVisitor {
public:
    virtual ~TOctreeNodeVisitor() = default;
    virtual void Visit(TOctreeNode& Node, int Level) = 0;
};

class TOctree {
public:
    TOctree();
    TOctree(const TOctree&) = delete;
    TOctree& operator=(const TOctree&) = delete;

    // Color is red << 16 | green << 8 | blue. The tree trims itself when it grows past 100,000 nodes.
    void AddColor(uint32_t Color);
    // Trims forks until at most MaxColors leaves remain, then numbers the leaves in walk order.
    void Reduce(int MaxColors);
    // Entry i is the average colour of leaf i.
    TPalette GetPalette();
    // The palette index of the leaf that Color, an added colour, reached.
    int ColorIndex(uint32_t Color) const;

    int32_t NodeCount() const { return nodeCount_; }
    int32_t LeafCount() const { return leafCount_; }

private:
    friend class TTrimNodeVisitor;
    friend class TColorIndexVisitor;

    std::unique_ptr<TOctreeNode> root_;
    int32_t nodeCount_ = 1;
    int32_t leafCount_ = 0;
    int32_t nextPaletteIndex_ = 0;
    int32_t threshold_ = 1;  // forks of at most this many pixels are trimmed

    void Walk(TOctreeNodeVisitor& Visitor);
    void Trim();
    // Raises Threshold by 8, 4 or 2 when the estimate of what a trim at that threshold frees stays
    // below the nodes to lose, so that few walks are needed.
    void EstimateThreshold(int MaxColors);
};

// A new 8-bit bitmap of Bitmap's pixels in at most MaxColors colours. Bitmap must have 24 bits per
// pixel and MaxColors lie in 2..256; otherwise EAssertionFailed of the unit "Octree".
std::unique_ptr<TDIB> OctreeQuantize(const TDIB& Bitmap, int MaxColors);

}  // namespace colorquant
