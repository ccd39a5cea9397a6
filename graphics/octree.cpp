#include "graphics/octree.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <emmintrin.h>
#include <new>
#include <numeric>
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

// Per channel (blue, green, red), the top 6 bits of each of its values spread to every third bit
// of a cell index, each channel at its own offset.
constexpr std::array<std::array<uint32_t, 256>, 3> kCellBits = [] {
    std::array<std::array<uint32_t, 256>, 3> bits{};
    for (int channel = 0; channel < 3; ++channel)
        for (uint32_t value = 0; value < 256; ++value)
            for (int bit = 0; bit < 6; ++bit)
                bits[size_t(channel)][value] |= (value >> (bit + 2) & 1) << (3 * bit + channel);
    return bits;
}();

// Unsigned, so that an index made of it takes no sign extension.
uint32_t CellOf(uint32_t Color) {
    return kCellBits[2][Color >> 16 & 0xFF] | kCellBits[1][Color >> 8 & 0xFF] | kCellBits[0][Color & 0xFF];
}
// The same of a pixel's stored blue, green and red.
uint32_t CellOf(const uint8_t* Pixel) {
    return kCellBits[2][Pixel[2]] | kCellBits[1][Pixel[1]] | kCellBits[0][Pixel[0]];
}

// The set bits of each byte, counted without a call: the build targets processors that have no
// instruction for it.
constexpr std::array<uint8_t, 256> kBitsIn = [] {
    std::array<uint8_t, 256> bits{};
    for (unsigned value = 0; value < 256; ++value) bits[value] = uint8_t(std::popcount(value));
    return bits;
}();

// Per count of a cell's pending pixels before one more, 1 where that pixel is noted: the first
// pending one (0) and the one that wraps the count (255).
constexpr std::array<size_t, 256> kNoted = [] {
    std::array<size_t, 256> noted{};
    noted[0] = noted[255] = 1;
    return noted;
}();

// The cells below a node of Level: the child slot of Cell there, and how many they are.
int Slot(int Cell, int Level) { return Cell >> (3 * (kLeafLevel - 1 - Level)) & 7; }
int CellsBelow(int Level) { return 1 << (3 * (kLeafLevel - Level)); }

// Result gets the palette index of the cell of each pixel of Bitmap, and each leaf the sums of the
// red, green and blue of its pixels and their number. A stretch of a row is mapped first and summed
// after, so that the sums do not wait on the palette indexes. A pixel goes into four 32-bit lanes
// of one SSE2 word (blue, green, red and the pixel), which hold kLanePixels pixels before they are
// drained into the 64-bit totals. Each leaf has kCopies such words side by side in one cache line,
// each pixel of a group of kCopies neighbours going into the copy of its place there: neighbours of
// the same leaf add into different words instead of each waiting for the one before.
std::vector<std::array<int64_t, 4>> MapToLeaves(const TDIB& Bitmap, const uint8_t* PaletteIndex, size_t Leaves,
                                                TDIB& Result) {
    constexpr int64_t kLanePixels = 0xFFFFFFFF / 0xFF;
    constexpr size_t kCopies = 4;
    struct alignas(16) TLanes {
        uint32_t Blue = 0, Green = 0, Red = 0, Pixels = 0;
    };
    std::vector<std::array<TLanes, kCopies>> lanes(Leaves);
    std::vector<std::array<int64_t, 4>> sums(Leaves);
    const auto drain = [&] {
        for (size_t i = 0; i < Leaves; ++i)
            for (TLanes& copy : lanes[i]) {
                const TLanes lane = std::exchange(copy, {});
                sums[i][0] += lane.Red, sums[i][1] += lane.Green, sums[i][2] += lane.Blue, sums[i][3] += lane.Pixels;
            }
    };
    // Pixel is blue | green << 8 | red << 16 and any fourth byte, which the pixel's count replaces.
    const auto add = [lane = lanes.data(), zero = _mm_setzero_si128()](uint32_t Pixel, uint8_t Index, size_t Copy) {
        const __m128i words = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int(Pixel)), zero), zero);
        __m128i* const sum = reinterpret_cast<__m128i*>(&lane[Index][Copy]);
        _mm_store_si128(sum, _mm_add_epi32(_mm_load_si128(sum), _mm_insert_epi16(words, 1, 6)));
    };
    const int32_t width = Bitmap.Width();
    int64_t room = kLanePixels;
    for (int32_t y = 0; y < Bitmap.Height(); ++y) {
        const uint8_t* const in = Bitmap.ScanLineReadOnly(y);
        uint8_t* const out = Result.ScanLine(y);
        for (int32_t start = 0; start < width;) {
            const int32_t end = int32_t(std::min<int64_t>(width, start + room));
            room -= end - start;
            // Pointers rather than indexes, and the places in a group fixed, keep the address
            // arithmetic out of the loops.
            uint8_t* const stop = out + end;
            const uint8_t* pixel = in + 3 * start;
            uint8_t* index = out + start;
            for (; stop - index >= ptrdiff_t(kCopies); index += kCopies, pixel += 3 * kCopies)
                for (size_t copy = 0; copy < kCopies; ++copy) index[copy] = PaletteIndex[CellOf(pixel + 3 * copy)];
            for (; index < stop; ++index, pixel += 3) *index = PaletteIndex[CellOf(pixel)];
            // A group reads each pixel as four bytes, the last its next pixel's: so it stops short
            // of the stretch's last pixel, whose bytes are read one by one.
            pixel = in + 3 * start;
            index = out + start;
            for (; stop - index > ptrdiff_t(kCopies); index += kCopies, pixel += 3 * kCopies)
                for (size_t copy = 0; copy < kCopies; ++copy) {
                    uint32_t bytes;
                    std::memcpy(&bytes, pixel + 3 * copy, sizeof bytes);
                    add(bytes, index[copy], copy);
                }
            for (; index < stop; ++index, pixel += 3) add(uint32_t(pixel[0] | pixel[1] << 8 | pixel[2] << 16), *index, 0);
            start = end;
            if (room == 0) {
                drain();
                room = kLanePixels;
            }
        }
    }
    drain();
    return sums;
}

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

// Sorts Nodes by pixel count (never negative), a byte of the count at a time from the lowest.
void SortByPixelCount(std::vector<TInnerNode>& Nodes) {
    uint32_t highest = 0;
    for (const TInnerNode& node : Nodes) highest = std::max(highest, uint32_t(node.PixelCount));
    std::vector<TInnerNode> sorted(Nodes.size());
    for (int shift = 0; shift < 32 && highest >> shift != 0; shift += 8) {
        std::array<size_t, 257> next{};
        for (const TInnerNode& node : Nodes) ++next[(uint32_t(node.PixelCount) >> shift & 0xFF) + 1];
        std::partial_sum(next.begin(), next.end(), next.begin());
        for (const TInnerNode& node : Nodes) sorted[next[uint32_t(node.PixelCount) >> shift & 0xFF]++] = node;
        Nodes.swap(sorted);
    }
}

// What trimming at a threshold T makes of a tree whose inner nodes are listed. A trim turns every
// inner node of at most T pixels into a leaf: its forks go first, which leaves their parents as
// forks, and so on up (a node never has fewer pixels than its children). So after a trim at T the
// inner nodes are exactly those of more than T pixels, and the tree is worked out from the list
// without walking it once per threshold.
class TTrimPlan {
public:
    explicit TTrimPlan(std::vector<TInnerNode> Inner) : inner_(std::move(Inner)) {
        SortByPixelCount(inner_);
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
      pending_(static_cast<uint8_t*>(std::calloc(kCells, 1))),
      added_(kCells / 64),
      paletteIndex_(std::make_unique_for_overwrite<uint8_t[]>(kCells)),
      runNode_(kRuns),
      leafRuns_(kRuns / 64),
      pendingRuns_(kRuns / 64) {
    if (!pending_) throw std::bad_alloc();
    // In use, no more than the bound and the nodes of the one colour that took the tree past it.
    nodes_.reserve(kRoot + kMaxNodes + kLeafLevel);
    Node(kNoNode).InUse = false;
    Node(kRoot).Links = NewLinks();
}

int32_t TOctree::NewLinks() {
    if (freeLinks_.empty()) {
        links_.emplace_back();
        return int32_t(links_.size() - 1);
    }
    const int32_t links = freeLinks_.back();
    freeLinks_.pop_back();
    links_[size_t(links)] = {};
    return links;
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
    Children(parent)[size_t(Slot)] = index;
    CountChild(parent);
    // Last: a new place of links may move the table, not the pool.
    if (child.Level < kLastLevel) child.Links = NewLinks();
    return index;
}

void TOctree::CountChild(TOctreeNode& Parent) {
    ++Parent.ChildCount;
    if (Listed(Parent)) ++smallChildren_[size_t(Parent.PixelCount)];
    ++nodeCount_;
}

// The node of level 5 that a new cell joins counts it when the tree is flushed, so that adding a
// cell to a run that has its node reads no node.
void TOctree::Join(int Cell) {
    const size_t run = size_t(Cell) >> 3;
    if (runNode_[run] == kNoNode) FindRunNode(run, Cell);
    if (leafRuns_[run >> 6] >> (run & 63) & 1) return;
    ++nodeCount_;
    ++leafCount_;
}

void TOctree::FindRunNode(size_t Run, int Cell) {
    // The way down starts below the root when a run under the same node of level 4 has its node:
    // from that node's parent, or from that node when it is a leaf above level 5 (whose cells take
    // in this run too).
    int32_t start = kRoot;
    for (size_t beside = Run & ~size_t(7); beside <= (Run | 7); ++beside)
        if (const int32_t other = runNode_[beside]; other != kNoNode) {
            start = Node(other).Level == kLastLevel ? Node(other).Parent : other;
            break;
        }
    int32_t& node = runNode_[Run];
    for (node = start; !Node(node).IsLeaf && Node(node).Level < kLastLevel;) {
        const int slot = Slot(Cell, Node(node).Level);
        const int32_t child = Children(Node(node))[size_t(slot)];
        node = child != kNoNode ? child : NewChild(node, slot);
    }
    if (Node(node).IsLeaf) leafRuns_[Run >> 6] |= uint64_t(1) << (Run & 63);
}

void TOctree::AddColor(uint32_t Color) {
    const uint8_t pixel[] = {uint8_t(Color), uint8_t(Color >> 8), uint8_t(Color >> 16)};
    AddPixels(pixel, 1);
}

// The pixels are counted a chunk at a time with no branch per pixel, noting those that were their
// cell's first pending pixel or wrapped its count. The notes are read twice: once with no branch
// per note, each first pending pixel marking its run and only the first pixels of cells never added
// and the wraps kept, then those kept in turn. When one takes the tree past its bound, the pixels
// after it are taken back out (the runs they marked are found with nothing pending), the tree is
// trimmed as it would be at that pixel, and the rest are added again.
void TOctree::AddPixels(const uint8_t* Pixels, int32_t Count) {
    constexpr int32_t kChunk = 256;
    std::array<uint32_t, kChunk> cells;
    // The pixel's place in the chunk, then the count of its cell before it in the low byte.
    std::array<uint32_t, kChunk> notes;
    uint8_t* const pending = pending_.get();
    while (Count > 0) {
        const int32_t n = std::min(Count, kChunk);
        size_t noted = 0;
        const auto count = [&](const uint8_t* Pixel, size_t I) {
            const uint32_t cell = CellOf(Pixel);
            const uint8_t before = pending[cell]++;
            cells[I] = cell;
            notes[noted] = uint32_t(I) << 8 | before;
            noted += kNoted[before];
        };
        // Four pixels a step, at fixed offsets from one pointer.
        const uint8_t* pixel = Pixels;
        size_t i = 0;
        for (; i + 4 <= size_t(n); i += 4, pixel += 12)
            count(pixel, i), count(pixel + 3, i + 1), count(pixel + 6, i + 2), count(pixel + 9, i + 3);
        for (; i < size_t(n); ++i, pixel += 3) count(pixel, i);
        size_t kept = 0;
        for (size_t k = 0; k < noted; ++k) {
            const uint32_t cell = cells[notes[k] >> 8];
            const bool first = uint8_t(notes[k]) == 0;
            pendingRuns_[cell >> 9] |= uint64_t(first) << (cell >> 3 & 63);
            notes[kept] = notes[k];
            kept += !first || !Added(int(cell));
        }
        int32_t taken = n;
        for (size_t k = 0; k < kept; ++k) {
            const int32_t i = int32_t(notes[k] >> 8);
            if (!Tally(int(cells[size_t(i)]), uint8_t(notes[k]))) continue;
            for (int32_t j = i + 1; j < n; ++j) --pending[cells[size_t(j)]];
            TrimToBound();
            taken = i + 1;
            break;
        }
        Pixels += 3 * taken;
        Count -= taken;
    }
}

bool TOctree::Tally(int Cell, uint8_t Before) {
    if (Before != 0) {
        // A cell whose count wraps has been added: its run has its node.
        Node(runNode_[size_t(Cell) >> 3]).Unflushed += 256;
        return false;
    }
    added_[size_t(Cell) >> 6] |= uint64_t(1) << (Cell & 63);
    Join(Cell);
    return nodeCount_ > kMaxNodes;
}

// The pending pixels of each run go into the leaf its cells reach (cells that are leaves of their
// own keep no count) or into their node of level 5, which has no other run and so is counted in as
// the run is read; then level by level from the bottom into each parent once.
void TOctree::Flush() {
    std::array<std::vector<int32_t>, kLastLevel> parents;  // per level above 5, the nodes with pixels to add
    const auto passTo = [&](int32_t Parent, int32_t Count) {
        if (Parent == kNoNode) return;
        TOctreeNode& parent = Node(Parent);
        if (parent.Unflushed == 0) parents[parent.Level].push_back(Parent);
        parent.Unflushed += Count;
    };
    const auto countIn = [&](int32_t Index, int32_t Count) {
        TOctreeNode& node = Node(Index);
        Unlist(Index);
        node.PixelCount += Count;
        if (node.Level == kLastLevel)
            node.ChildCount = node.LeafChildCount = kBitsIn[added_[size_t(node.Cell) >> 6] >> (node.Cell & 63) & 0xFF];
        List(Index);
        passTo(node.Parent, Count);
    };
    for (size_t word = 0; word < pendingRuns_.size(); ++word)
        for (uint64_t bits = std::exchange(pendingRuns_[word], 0); bits != 0; bits &= bits - 1) {
            const size_t run = word * 64 + size_t(std::countr_zero(bits));
            // The run's eight counts read as one word: bytes added in pairs, then the pairs.
            uint64_t counts;
            std::memcpy(&counts, &pending_[run * 8], sizeof counts);
            std::memset(&pending_[run * 8], 0, sizeof counts);
            counts = (counts & 0x00FF00FF00FF00FF) + (counts >> 8 & 0x00FF00FF00FF00FF);
            int32_t count = int32_t(counts * 0x0001000100010001 >> 48);
            // Nothing is pending in a run marked only by pixels taken back out, which may have no
            // node yet (kNoNode reads as a node of nothing pending): it is passed over as if never
            // marked.
            TOctreeNode& node = Node(runNode_[run]);
            count += std::exchange(node.Unflushed, 0);
            if (count == 0) continue;
            if (!node.IsLeaf) {
                countIn(runNode_[run], count);
                continue;
            }
            node.PixelCount += count;
            passTo(node.Parent, count);
        }
    for (size_t level = parents.size(); level-- > 0;)
        for (int32_t index : parents[level]) countIn(index, std::exchange(Node(index).Unflushed, 0));
}

// The cells of a fork of level 5 are no nodes of the pool: it frees none. A fork above frees its
// children (leaves, which let their links go as they became leaves) and its links.
void TOctree::MakeLeaf(TOctreeNode& Fork) {
    Unlist(IndexOf(Fork));
    if (Fork.Level < kLastLevel) {
        for (int32_t index : Children(Fork))
            if (index != kNoNode) {
                Node(index).InUse = false;
                freeNodes_.push_back(index);
            }
        freeLinks_.push_back(Fork.Links);
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
    // The runs of each new leaf that did not go into a larger one now reach it.
    for (size_t level = byLevel.size(); level-- > 0;)
        for (int32_t index : byLevel[level]) {
            const TOctreeNode& leaf = Node(index);
            if (!leaf.InUse) continue;
            for (size_t run = size_t(leaf.Cell) / 8; run < size_t(leaf.Cell + CellsBelow(leaf.Level)) / 8; ++run)
                if (runNode_[run] != kNoNode) {
                    runNode_[run] = index;
                    leafRuns_[run >> 6] |= uint64_t(1) << (run & 63);
                }
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
        for (int32_t child : Children(node))
            if (child != kNoNode) Number(child, Next);
        return;
    }
    // A leaf takes the next number for all its cells; the cells of a node of level 5 are its
    // children, each a leaf, in the order of their slots.
    uint8_t* const cells = paletteIndex_.get() + node.Cell;
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
    for (int32_t y = 0; y < Bitmap.Height(); ++y) tree.AddPixels(Bitmap.ScanLineReadOnly(y), Bitmap.Width());
    tree.Reduce(MaxColors);
    auto result = NewIndexedBitmap(Bitmap, TPalette{});
    const std::vector<std::array<int64_t, 4>> sums =
        MapToLeaves(Bitmap, tree.paletteIndex_.get(), size_t(tree.LeafCount()), *result);
    TPalette palette;
    palette.Count = tree.LeafCount();
    for (size_t i = 0; i < sums.size(); ++i) {
        const auto [red, green, blue, pixels] = sums[i];
        palette.Entries[i] = {uint8_t(red / pixels), uint8_t(green / pixels), uint8_t(blue / pixels), 0};
    }
    PaletteToRGBQuads(palette, result->ColorTable);
    result->UpdatePalette();
    return result;
}

}  // namespace colorquant
