#include "graphics/octree.h"

#include <algorithm>

namespace colorquant {

namespace {

constexpr int kLeafLevel = 6;              // leaves hold 6 bits per channel
constexpr int32_t kMaxNodes = 100000;       // adding a colour past this many nodes trims the tree
constexpr int32_t kTrimmedNodes = 99000;    // ... down to this many
constexpr int32_t kNoFork = 999999999;      // the smallest fork's pixels when there is no fork
constexpr int32_t kThresholdSteps[] = {0, 2, 4, 8};

const char kUnit[] = "Octree";

void WalkNode(TOctreeNode& Node, int Level, TOctreeNodeVisitor& Visitor) {
    for (auto& child : Node.Children)
        if (child) WalkNode(*child, Level + 1, Visitor);
    Visitor.Visit(Node, Level);
}

// The smallest pixel count of a fork.
class TGetMinForkPixels : public TOctreeNodeVisitor {
public:
    int32_t MinPixels = kNoFork;
    void Visit(TOctreeNode& Node, int) override {
        if (Node.IsFork()) MinPixels = std::min(MinPixels, Node.PixelCount);
    }
};

// For each step of the threshold, the pixels of the inner nodes that trimming at Threshold + step
// would reach: an estimate of the nodes it would free.
class TCountSmallForkNodes : public TOctreeNodeVisitor {
public:
    explicit TCountSmallForkNodes(int32_t Threshold) : threshold_(Threshold) {}
    std::array<int32_t, 4> Counts{};
    void Visit(TOctreeNode& Node, int) override {
        if (Node.IsLeaf) return;
        for (size_t k = 0; k < Counts.size(); ++k)
            if (threshold_ + kThresholdSteps[k] >= Node.PixelCount) Counts[k] += Node.PixelCount - 1;
    }

private:
    int32_t threshold_;
};

// Each leaf's average colour into its palette entry.
class TGetColorEntry : public TOctreeNodeVisitor {
public:
    explicit TGetColorEntry(TPalette& Palette) : palette_(Palette) {}
    void Visit(TOctreeNode& Node, int) override {
        if (!Node.IsLeaf || Node.PaletteIndex >= palette_.Count) return;
        const int64_t n = Node.PixelCount;
        palette_.Entries[Node.PaletteIndex] =
            n == 0 ? TPaletteEntry{0, 0, 0, 0}
                   : TPaletteEntry{uint8_t(Node.SumRed / n), uint8_t(Node.SumGreen / n), uint8_t(Node.SumBlue / n), 0};
    }

private:
    TPalette& palette_;
};

}  // namespace

// Every fork of at most Threshold pixels gives up its children and becomes a leaf; a parent that
// is left with leaves only is trimmed in the same walk when it is small enough too.
class TTrimNodeVisitor : public TOctreeNodeVisitor {
public:
    void Visit(TOctreeNode& Node, int) override {
        TOctree& tree = *Node.Tree;
        if (!Node.IsFork() || Node.PixelCount > tree.threshold_) return;
        for (auto& child : Node.Children) {
            if (!child) continue;
            child.reset();
            --tree.nodeCount_;
            --tree.leafCount_;
            --Node.ChildCount;
            --Node.LeafChildCount;
        }
        Node.IsLeaf = true;
        ++tree.leafCount_;
        if (Node.Parent) ++Node.Parent->LeafChildCount;
    }
};

// Numbers the leaves in walk order.
class TColorIndexVisitor : public TOctreeNodeVisitor {
public:
    void Visit(TOctreeNode& Node, int) override {
        if (Node.IsLeaf) Node.PaletteIndex = Node.Tree->nextPaletteIndex_++;
    }
};

TOctree::TOctree() : root_(std::make_unique<TOctreeNode>()) { root_->Tree = this; }

void TOctree::Walk(TOctreeNodeVisitor& Visitor) { WalkNode(*root_, 0, Visitor); }

void TOctree::Trim() {
    TTrimNodeVisitor trim;
    Walk(trim);
}

void TOctree::AddColor(uint32_t Color) {
    const uint8_t red = uint8_t(Color >> 16), green = uint8_t(Color >> 8), blue = uint8_t(Color);
    TOctreeNode* node = root_.get();
    for (int level = 0;; ++level) {
        ++node->PixelCount;
        node->SumRed += red;
        node->SumGreen += green;
        node->SumBlue += blue;
        if (node->IsLeaf) break;
        const int shift = 7 - level;
        auto& child = node->Children[(red >> shift & 1) << 2 | (green >> shift & 1) << 1 | (blue >> shift & 1)];
        if (!child) {
            child = std::make_unique<TOctreeNode>();
            child->Tree = this;
            child->Parent = node;
            ++nodeCount_;
            ++node->ChildCount;
            if (level + 1 == kLeafLevel) {
                child->IsLeaf = true;
                ++leafCount_;
                ++node->LeafChildCount;
            }
        }
        node = child.get();
    }
    if (nodeCount_ <= kMaxNodes) return;
    for (threshold_ = 1; nodeCount_ > kTrimmedNodes; ++threshold_) Trim();
}

void TOctree::EstimateThreshold(int MaxColors) {
    TCountSmallForkNodes counter(threshold_);
    Walk(counter);
    const int32_t excess = nodeCount_ - MaxColors;
    for (size_t k = counter.Counts.size() - 1; k > 0; --k)
        if (counter.Counts[k] < excess) {
            threshold_ += kThresholdSteps[k];
            return;
        }
}

void TOctree::Reduce(int MaxColors) {
    threshold_ = 1;
    while (leafCount_ > MaxColors) {
        Trim();
        TGetMinForkPixels smallest;
        Walk(smallest);
        threshold_ = smallest.MinPixels;
        EstimateThreshold(MaxColors);
    }
    nextPaletteIndex_ = 0;
    TColorIndexVisitor numbering;
    Walk(numbering);
}

TPalette TOctree::GetPalette() {
    TPalette palette;
    palette.Count = std::min(leafCount_, int32_t(palette.Entries.size()));
    TGetColorEntry entries(palette);
    Walk(entries);
    return palette;
}

int TOctree::ColorIndex(uint32_t Color) const {
    const TOctreeNode* node = root_.get();
    for (int shift = 7; !node->IsLeaf; --shift) {
        node = node->Children[(Color >> (16 + shift) & 1) << 2 | (Color >> (8 + shift) & 1) << 1 | (Color >> shift & 1)]
                   .get();
        if (!node) throw EAssertionFailed(kUnit, "ColorIndex of a colour that was never added");
    }
    return node->PaletteIndex;
}

std::unique_ptr<TDIB> OctreeQuantize(const TDIB& Bitmap, int MaxColors) {
    if (Bitmap.BitCount() != 24 || MaxColors < 2 || MaxColors > 256)
        throw EAssertionFailed(kUnit, "a 24-bit bitmap and 2 <= MaxColors <= 256");
    TOctree tree;
    ForEachColor(Bitmap, [&tree](uint32_t Color) { tree.AddColor(Color); });
    tree.Reduce(MaxColors);
    auto result = NewIndexedBitmap(Bitmap, tree.GetPalette());
    MapPixels(Bitmap, *result, [&tree](uint32_t Color) { return tree.ColorIndex(Color); });
    return result;
}

}  // namespace colorquant
