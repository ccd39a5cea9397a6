#include "graphics/octree.h"

#include <algorithm>
#include <bit>
#include <new>
#include <utility>

namespace colorquant {

namespace {

constexpr int kLeafLevel = 6;             // leaves hold 6 bits per channel
constexpr int kLastLevel = kLeafLevel - 1;  // the nodes whose children are cells
constexpr int32_t kMaxNodes = 100000;     // adding a colour past this many nodes trims the tree
constexpr int32_t kTrimmedNodes = 99000;  // ... down to this many
constexpr int32_t kNoFork = 999999999;    // the smallest fork's pixels when there is no fork
constexpr int32_t kThresholdSteps[] = {0, 2, 4, 8};

const char kUnit[] = "Octree";

[[noreturn]] void NeverAdded() { throw EAssertionFailed(kUnit, "ColorIndex of a colour that was never added"); }

// A colour cell holds the colours of equal top 6 bits per channel. Its index interleaves those
// bits from the top: 3 bits per level of the tree, each the child slot at that level. So the
// cells of a node are one run of indexes, and colours close to each other lie close in the table.
constexpr size_t kCells = size_t(1) << 18;
constexpr size_t kRuns = kCells / 8;
constexpr int kPaletteSize = 256;

// The 6 bits of a channel spread to every third bit.
constexpr std::array<uint32_t, 64> kSpread = [] {
    std::array<uint32_t, 64> spread{};
    for (uint32_t value = 0; value < 64; ++value)
        for (int bit = 0; bit < 6; ++bit) spread[value] |= (value >> bit & 1) << (3 * bit);
    return spread;
}();

int CellOf(uint32_t Color) {
    return int(kSpread[Color >> 18 & 0x3F] << 2 | kSpread[Color >> 10 & 0x3F] << 1 | kSpread[Color >> 2 & 0x3F]);
}

// The cells below a node of Level: the child slot of Cell there, and how many they are.
int Slot(int Cell, int Level) { return Cell >> (3 * (kLeafLevel - 1 - Level)) & 7; }
int CellsBelow(int Level) { return 1 << (3 * (kLeafLevel - Level)); }

struct TInnerNode {
    int32_t Index;
    int32_t PixelCount;
    int32_t ChildCount;
};

// The inner nodes of a tree's pool, read in one pass over it.
std::vector<TInnerNode> InnerNodes(const std::vector<TOctreeNode>& Nodes) {
    std::vector<TInnerNode> inner;
    for (size_t i = 0; i < Nodes.size(); ++i)
        if (Nodes[i].InUse && !Nodes[i].IsLeaf)
            inner.push_back({int32_t(i), Nodes[i].PixelCount, Nodes[i].ChildCount});
    return inner;
}

// What trimming at a threshold T makes of a tree whose inner nodes are listed. A trim turns every
// inner node of at most T pixels into a leaf: its forks go first, which leaves their parents as
// forks, and so on up (a node never has fewer pixels than its children). So after a trim at T the
// inner nodes are exactly those of more than T pixels, and the tree is worked out from the list
// without walking it once per threshold.
class TTrimPlan {
public:
    explicit TTrimPlan(std::vector<TInnerNode> Inner) : inner_(std::move(Inner)) {
        std::sort(inner_.begin(), inner_.end(),
                  [](const TInnerNode& A, const TInnerNode& B) { return A.PixelCount < B.PixelCount; });
        const size_t n = inner_.size();
        childrenFrom_.assign(n + 1, 0);
        for (size_t i = n; i-- > 0;) childrenFrom_[i] = childrenFrom_[i + 1] + inner_[i].ChildCount;
        estimateTo_.assign(n + 1, 0);
        for (size_t i = 0; i < n; ++i) estimateTo_[i + 1] = estimateTo_[i] + inner_[i].PixelCount - 1;
    }

    // Every node but the root is the child of an inner node.
    int64_t NodesAfter(int32_t T) const { return 1 + childrenFrom_[Above(T)]; }
    int64_t LeavesAfter(int32_t T) const { return NodesAfter(T) - int64_t(inner_.size() - Above(T)); }

    // The sum of PixelCount - 1 over the inner nodes left after a trim at T that have at most UpTo
    // pixels: what a trim at UpTo is taken to free.
    int64_t SmallForkEstimate(int32_t T, int32_t UpTo) const {
        return UpTo <= T ? 0 : estimateTo_[Above(UpTo)] - estimateTo_[Above(T)];
    }

    // The fewest pixels of a fork after a trim at T: the fewest of any inner node left, since the
    // deepest of those with that many pixels has no inner child left (a child never has more pixels
    // than its parent).
    int32_t MinForkPixels(int32_t T) const {
        const size_t above = Above(T);
        return above == inner_.size() ? kNoFork : inner_[above].PixelCount;
    }

    // The inner nodes of at most T pixels.
    std::vector<int32_t> NodesUpTo(int32_t T) const {
        std::vector<int32_t> nodes(Above(T));
        std::transform(inner_.begin(), inner_.begin() + ptrdiff_t(nodes.size()), nodes.begin(),
                       [](const TInnerNode& N) { return N.Index; });
        return nodes;
    }

    // The least threshold from 1 up whose trim leaves at most Nodes nodes.
    int32_t SmallestThresholdLeaving(int64_t Nodes) const {
        if (NodesAfter(1) <= Nodes) return 1;
        const auto it = std::partition_point(inner_.begin(), inner_.end(),
                                             [&](const TInnerNode& N) { return NodesAfter(N.PixelCount) > Nodes; });
        return it == inner_.end() ? kNoFork : it->PixelCount;
    }

private:
    std::vector<TInnerNode> inner_;       // by pixel count
    std::vector<int64_t> childrenFrom_;   // children of inner_[i..]
    std::vector<int64_t> estimateTo_;     // PixelCount - 1 summed over inner_[..i)

    // The first inner node of more than T pixels.
    size_t Above(int32_t T) const {
        return size_t(std::upper_bound(inner_.begin(), inner_.end(), T,
                                       [](int32_t V, const TInnerNode& N) { return V < N.PixelCount; }) -
                      inner_.begin());
    }
};

}  // namespace

TOctree::TOctree()
    : nodes_(2),
      pending_(static_cast<uint32_t*>(std::calloc(kCells, sizeof(uint32_t)))),
      added_(kCells / 64),
      paletteIndex_(kCells),
      runNode_(kRuns),
      pendingRuns_(kRuns / 64) {
    if (!pending_) throw std::bad_alloc();
    // In use, no more than the bound and the nodes of the one colour that took the tree past it.
    nodes_.reserve(kRoot + kMaxNodes + kLeafLevel);
    Node(kNoNode).InUse = false;
}

bool TOctree::Listed(const TOctreeNode& Node) {
    return !Node.IsLeaf && Node.PixelCount >= 1 && Node.PixelCount <= kSmallCount;
}

void TOctree::List(int32_t Index) {
    TOctreeNode& node = Node(Index);
    if (!Listed(node)) return;
    int32_t& first = smallFirst_[size_t(node.PixelCount)];
    node.SmallPrev = kNoNode;
    node.SmallNext = first;
    if (first != kNoNode) Node(first).SmallPrev = Index;
    first = Index;
    smallChildren_[size_t(node.PixelCount)] += node.ChildCount;
}

void TOctree::Unlist(int32_t Index) {
    const TOctreeNode& node = Node(Index);
    if (!Listed(node)) return;
    (node.SmallPrev != kNoNode ? Node(node.SmallPrev).SmallNext : smallFirst_[size_t(node.PixelCount)]) =
        node.SmallNext;
    if (node.SmallNext != kNoNode) Node(node.SmallNext).SmallPrev = node.SmallPrev;
    smallChildren_[size_t(node.PixelCount)] -= node.ChildCount;
}

int32_t TOctree::NewChild(int32_t Parent, int Slot) {
    int32_t index;
    if (freeNodes_.empty()) {
        index = int32_t(nodes_.size());
        nodes_.emplace_back();
    } else {
        index = freeNodes_.back();
        freeNodes_.pop_back();
        nodes_[size_t(index)] = TOctreeNode{};
    }
    TOctreeNode& parent = Node(Parent);
    TOctreeNode& child = Node(index);
    child.Parent = Parent;
    child.Level = uint8_t(parent.Level + 1);
    child.Cell = parent.Cell | Slot * CellsBelow(child.Level);
    parent.Children[size_t(Slot)] = index;
    CountChild(parent, false);
    return index;
}

void TOctree::CountChild(TOctreeNode& Parent, bool Leaf) {
    ++Parent.ChildCount;
    if (Listed(Parent)) ++smallChildren_[size_t(Parent.PixelCount)];
    ++nodeCount_;
    if (Leaf) {
        ++Parent.LeafChildCount;
        ++leafCount_;
    }
}

void TOctree::Join(int Cell) {
    int32_t& node = runNode_[size_t(Cell) >> 3];
    if (node == kNoNode)
        for (node = kRoot; !Node(node).IsLeaf && Node(node).Level < kLastLevel;) {
            const int slot = Slot(Cell, Node(node).Level);
            const int32_t child = Node(node).Children[size_t(slot)];
            node = child != kNoNode ? child : NewChild(node, slot);
        }
    if (!Node(node).IsLeaf) CountChild(Node(node), true);
}

void TOctree::AddColor(uint32_t Color) {
    const int cell = CellOf(Color);
    if (pending_[size_t(cell)]++ == 0) Pend(cell);
}

void TOctree::Pend(int Cell) {
    pendingRuns_[size_t(Cell) >> 9] |= uint64_t(1) << (Cell >> 3 & 63);
    if (Added(Cell)) return;
    added_[size_t(Cell) >> 6] |= uint64_t(1) << (Cell & 63);
    Join(Cell);
    if (nodeCount_ > kMaxNodes) TrimToBound();
}

// The pending pixels of each run go into the leaf its cells reach (cells that are leaves of their
// own keep no count) or into their parent, then level by level from the bottom into each parent
// once.
void TOctree::Flush() {
    std::array<std::vector<int32_t>, kLeafLevel> parents;  // per level, the nodes with pixels to add
    const auto passTo = [&](int32_t Parent, int32_t Count) {
        if (Parent == kNoNode) return;
        TOctreeNode& parent = Node(Parent);
        if (parent.Unflushed == 0) parents[parent.Level].push_back(Parent);
        parent.Unflushed += Count;
    };
    for (size_t word = 0; word < pendingRuns_.size(); ++word)
        for (uint64_t bits = std::exchange(pendingRuns_[word], 0); bits != 0; bits &= bits - 1) {
            const size_t run = word * 64 + size_t(std::countr_zero(bits));
            int32_t count = 0;
            for (uint32_t* cell = &pending_[run * 8]; cell < &pending_[run * 8 + 8]; ++cell)
                count += int32_t(std::exchange(*cell, 0));
            TOctreeNode& node = Node(runNode_[run]);
            if (!node.IsLeaf) {
                passTo(runNode_[run], count);
                continue;
            }
            node.PixelCount += count;
            passTo(node.Parent, count);
        }
    for (size_t level = parents.size(); level-- > 0;)
        for (int32_t index : parents[level]) {
            TOctreeNode& node = Node(index);
            const int32_t count = std::exchange(node.Unflushed, 0);
            Unlist(index);
            node.PixelCount += count;
            List(index);
            passTo(node.Parent, count);
        }
}

// The run of a fork of level 5 names it already, as their parent and then as their leaf.
void TOctree::MakeLeaf(TOctreeNode& Fork) {
    Unlist(IndexOf(Fork));
    if (Fork.Level < kLastLevel)
        for (int32_t& index : Fork.Children) {
            if (index == kNoNode) continue;
            Node(index).InUse = false;
            freeNodes_.push_back(index);
            index = kNoNode;
        }
    nodeCount_ -= Fork.ChildCount;
    leafCount_ -= Fork.ChildCount;
    Fork.ChildCount = Fork.LeafChildCount = 0;
    Fork.IsLeaf = true;
    ++leafCount_;
    if (Fork.Parent != kNoNode) ++Node(Fork.Parent).LeafChildCount;
}

std::vector<int32_t> TOctree::ListedUpTo(int32_t Threshold) const {
    std::vector<int32_t> listed;
    for (int32_t count = 1; count <= Threshold; ++count)
        for (int32_t index = smallFirst_[size_t(count)]; index != kNoNode; index = nodes_[size_t(index)].SmallNext)
            listed.push_back(index);
    return listed;
}

void TOctree::Trim(const std::vector<int32_t>& Small) {
    // Deepest first: by its turn each is a fork.
    std::array<std::vector<int32_t>, kLeafLevel> byLevel;
    for (int32_t index : Small) byLevel[Node(index).Level].push_back(index);
    for (size_t level = byLevel.size(); level-- > 0;)
        for (int32_t index : byLevel[level]) MakeLeaf(Node(index));
    // The runs of each new leaf above level 5 that did not go into a larger one now reach it.
    for (size_t level = kLastLevel; level-- > 0;)
        for (int32_t index : byLevel[level]) {
            const TOctreeNode& leaf = Node(index);
            if (!leaf.InUse) continue;
            const auto runs = runNode_.begin() + leaf.Cell / 8;
            std::replace_if(runs, runs + CellsBelow(leaf.Level) / 8, [](int32_t Node) { return Node != kNoNode; },
                            index);
        }
}

// Trimming at T frees the children of every inner node of at most T pixels: the threshold comes
// from the children of the listed nodes per count, or from the list of all inner nodes when it lies
// beyond the listed counts.
void TOctree::TrimToBound() {
    Flush();
    const int64_t excess = int64_t(nodeCount_) - kTrimmedNodes;
    int64_t freed = 0;
    for (int32_t threshold = 1; threshold <= kSmallCount; ++threshold)
        if ((freed += smallChildren_[size_t(threshold)]) >= excess) {
            Trim(ListedUpTo(threshold));
            return;
        }
    const TTrimPlan plan(InnerNodes(nodes_));
    Trim(plan.NodesUpTo(plan.SmallestThresholdLeaving(kTrimmedNodes)));
}

void TOctree::Reduce(int MaxColors) {
    if (MaxColors > kPaletteSize) throw EAssertionFailed(kUnit, "Reduce to at most 256 colours");
    Flush();
    if (leafCount_ > MaxColors) {
        const TTrimPlan plan(InnerNodes(nodes_));
        // Trim at the threshold, move the threshold to the smallest fork left, and raise it by 8, 4
        // or 2 while the estimate of what that frees stays below the nodes still to lose; until
        // MaxColors leaves remain. The passes are worked out on the plan; the tree is trimmed once.
        int32_t trimmed = 0;
        int64_t leaves = leafCount_;
        for (int32_t threshold = 1; leaves > MaxColors;) {
            trimmed = threshold;
            leaves = plan.LeavesAfter(trimmed);
            threshold = plan.MinForkPixels(trimmed);
            const int64_t excess = plan.NodesAfter(trimmed) - MaxColors;
            for (size_t k = std::size(kThresholdSteps) - 1; k > 0; --k)
                if (plan.SmallForkEstimate(trimmed, threshold + kThresholdSteps[k]) < excess) {
                    threshold += kThresholdSteps[k];
                    break;
                }
        }
        Trim(plan.NodesUpTo(trimmed));
    }
    int32_t next = 0;
    Number(kRoot, next);
}

void TOctree::Number(int32_t Index, int32_t& Next) {
    const TOctreeNode& node = Node(Index);
    if (!node.IsLeaf && node.Level < kLastLevel) {
        for (int32_t child : node.Children)
            if (child != kNoNode) Number(child, Next);
        return;
    }
    // A leaf takes the next number for all its cells; the cells of a node of level 5 are its
    // children, each a leaf, in the order of their slots.
    const auto cells = paletteIndex_.begin() + node.Cell;
    if (node.IsLeaf) {
        std::fill_n(cells, CellsBelow(node.Level), uint8_t(Next++));
        return;
    }
    for (int slot = 0; slot < 8; ++slot)
        if (Added(node.Cell + slot)) cells[slot] = uint8_t(Next++);
}

int TOctree::ColorIndex(uint32_t Color) const {
    const int cell = CellOf(Color);
    if (!Added(cell)) NeverAdded();
    return paletteIndex_[size_t(cell)];
}

std::unique_ptr<TDIB> OctreeQuantize(const TDIB& Bitmap, int MaxColors) {
    if (Bitmap.BitCount() != 24 || MaxColors < 2 || MaxColors > 256)
        throw EAssertionFailed(kUnit, "a 24-bit bitmap and 2 <= MaxColors <= 256");
    TOctree tree;
    ForEachColor(Bitmap, [&tree](uint32_t Color) { tree.AddColor(Color); });
    tree.Reduce(MaxColors);
    // Each leaf's pixels and the sums of their channels, added up while the pixels are mapped.
    struct TSums {
        int64_t Pixels = 0, Red = 0, Green = 0, Blue = 0;
    };
    std::vector<TSums> sums(size_t(tree.LeafCount()));
    auto result = NewIndexedBitmap(Bitmap, TPalette{});
    MapPixels(Bitmap, *result, [&](uint32_t Color) {
        const uint8_t index = tree.paletteIndex_[size_t(CellOf(Color))];
        TSums& sum = sums[size_t(index)];
        ++sum.Pixels;
        sum.Red += Color >> 16;
        sum.Green += Color >> 8 & 0xFF;
        sum.Blue += Color & 0xFF;
        return index;
    });
    TPalette palette;
    palette.Count = tree.LeafCount();
    for (int i = 0; i < palette.Count; ++i) {
        const TSums& sum = sums[size_t(i)];
        palette.Entries[i] = {uint8_t(sum.Red / sum.Pixels), uint8_t(sum.Green / sum.Pixels),
                              uint8_t(sum.Blue / sum.Pixels), 0};
    }
    PaletteToRGBQuads(palette, result->ColorTable);
    result->UpdatePalette();
    return result;
}

}  // namespace colorquant
