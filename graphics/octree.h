#pragma once
// The octree colour quantizer: every pixel of a 24-bit bitmap goes down a tree that splits the
// colour cube by one bit of each channel per level, down to leaves of 6 bits per channel; the tree
// then trims its smallest forks into leaves until no more than MaxColors leaves remain, and each
// leaf's average colour becomes a palette entry. No dithering.
//
// A trim at a threshold T turns every fork of at most T pixels into a leaf, then every node left
// as such a fork, and so on up: since a node never has fewer pixels than its children, that makes
// a leaf of every inner node of at most T pixels. The tree therefore trims by taking those nodes
// deepest first rather than by walking itself, and works out the passes of its reduction from a
// list of its inner nodes ordered by pixel count.
//
// The leaves of the last level are the colour cells themselves: a node of level 5 has the cells of
// its run as its children, and they live in the tree's cell tables rather than in its node pool.
#include "graphics/quantize.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace colorquant {

// Index 0 of a tree's pool is no node: links of 0 lead nowhere, and the root is node 1.
constexpr int32_t kNoNode = 0;

// A node of levels 0 to 5, kept in its tree's pool and linked to the others by their indexes
// there. A node fills half a cache line: the child links of the inner nodes above level 5 are kept
// apart, since most nodes are of level 5 and have none. The tree counts pixels but keeps no
// colours: a leaf's average is that of the pixels that reach it, added up while they are mapped.
struct alignas(32) TOctreeNode {
    bool IsLeaf : 1 = false;     // a palette colour
    bool InUse : 1 = true;       // false while in the tree's free list
    uint8_t Level = 0;           // 0 for the root
    // Children it has, and those of them that are leaves. A node of level 5 counts the cells that
    // joined it when the tree counts its pending pixels in.
    uint8_t ChildCount = 0;
    uint8_t LeafChildCount = 0;
    int32_t Cell = 0;            // its first colour cell
    int32_t Parent = kNoNode;
    // Above level 5, while not a leaf: its place in the tree's table of child links, whose slot i
    // holds the child of the colours whose bits at this level give i = 4 red + 2 green + blue. A
    // node of level 5 has the added cells of its run as its children.
    int32_t Links = 0;
    int32_t PixelCount = 0;      // the pixels that passed through the node
    // Pixels still to be counted in while the tree counts pending pixels in: for an inner node
    // above level 5, those of its children; for the node of a run (of level 5, or a leaf that took
    // the run in), those of the run's cells that the cells' own byte counts could not hold.
    int32_t Unflushed = 0;
    // The neighbours in the tree's list of inner nodes with as few pixels as this one.
    int32_t SmallPrev = kNoNode, SmallNext = kNoNode;

    // Not a leaf, and every child it has is one.
    bool IsFork() const { return !IsLeaf && ChildCount == LeafChildCount; }
};

class TOctree {
public:
    TOctree();

    // Color is red << 16 | green << 8 | blue. The tree trims itself when it grows past 100,000 nodes.
    void AddColor(uint32_t Color);
    // Adds the Count pixels at Pixels, each stored as blue, green, red, in turn as AddColor does.
    void AddPixels(const uint8_t* Pixels, int32_t Count);
    // Trims forks until at most MaxColors leaves remain, then numbers the leaves in walk order: each
    // node's children 0 to 7 (each with its subtree), then the node. MaxColors may not pass 256,
    // the most a palette holds; otherwise EAssertionFailed.
    void Reduce(int MaxColors);
    // The palette index of the leaf that Color, an added colour, reached.
    int ColorIndex(uint32_t Color) const;

    // Every node, the leaves of the cell table included.
    int32_t NodeCount() const { return nodeCount_; }
    int32_t LeafCount() const { return leafCount_; }

private:
    // Maps the pixels it has added, which need no check.
    friend std::unique_ptr<TDIB> OctreeQuantize(const TDIB& Bitmap, int MaxColors);

    // Inner nodes of up to this many pixels are listed by their count, so that the trims that keep
    // the tree small find them without walking it.
    static constexpr int32_t kSmallCount = 64;

    static constexpr int32_t kRoot = 1;

    std::vector<TOctreeNode> nodes_;  // no node, then the root
    std::vector<int32_t> freeNodes_;
    // The child links of the inner nodes above level 5, eight a node, and the places let go by
    // those that became leaves.
    std::vector<std::array<int32_t, 8>> links_;
    std::vector<int32_t> freeLinks_;
    // The colour cells (6 bits per channel), each in its own small table so that the passes over
    // the pixels touch no more memory than they need. Pending are a cell's pixels not yet counted
    // into the tree (the tree counts them in before it trims or reduces); zero pages from calloc,
    // so the cells a picture never reaches are never touched.
    struct TFree {
        void operator()(uint8_t* Pending) const { std::free(Pending); }
    };
    std::unique_ptr<uint8_t[], TFree> pending_;
    std::vector<uint64_t> added_;         // a bit per cell, set once one of its colours is added
    // Per cell, that of its leaf once the tree is reduced; unset for the cells never added.
    std::unique_ptr<uint8_t[]> paletteIndex_;
    // Per run of 8 cells, the children of one node of level 5: the leaf their colours reach or,
    // while they are leaves of their own, that node; kNoNode until one of them is added. And a bit
    // per run that has pending pixels.
    std::vector<int32_t> runNode_;
    std::vector<uint64_t> leafRuns_;  // a bit per run whose node is a leaf
    std::vector<uint64_t> pendingRuns_;
    int32_t nodeCount_ = 1;
    int32_t leafCount_ = 0;
    // Per pixel count up to kSmallCount: the first listed inner node, and their children together.
    std::array<int32_t, kSmallCount + 1> smallFirst_{};
    std::array<int64_t, kSmallCount + 1> smallChildren_{};

    TOctreeNode& Node(int32_t Index) { return nodes_[size_t(Index)]; }
    std::array<int32_t, 8>& Children(const TOctreeNode& Node) { return links_[size_t(Node.Links)]; }
    // A place of eight empty links for a new inner node above level 5.
    int32_t NewLinks();
    int32_t IndexOf(const TOctreeNode& Node) const { return int32_t(&Node - nodes_.data()); }
    // Counts a new inner child of Parent.
    void CountChild(TOctreeNode& Parent);
    int32_t NewChild(int32_t Parent, int Slot);
    // Finds the node of Cell, a new cell, making the way down to it when its run is new; Cell joins
    // it as a leaf unless that node is a leaf already.
    void Join(int Cell);
    // Gives Run, the new run of Cell, its node, making the way down to it: apart from Join, so that
    // Join stays small enough to go inline for a cell of a run that has its node.
    [[gnu::noinline]] void FindRunNode(size_t Run, int Cell);
    bool Added(int Cell) const { return added_[size_t(Cell) >> 6] >> (Cell & 63) & 1; }
    // Takes note of a pixel that was the first pending one of Cell, a cell never added (Before 0),
    // which adds Cell to the tree, or that took its count past 255 (Before 255), which carries 256
    // into the node of its run. True when that took the tree past its bound.
    bool Tally(int Cell, uint8_t Before);
    // Counts the pending pixels of the cells into the tree, run by run.
    void Flush();
    // Into and out of the list of its count, for an inner node of 1 to kSmallCount pixels.
    static bool Listed(const TOctreeNode& Node);
    void List(int32_t Index);
    void Unlist(int32_t Index);
    // A fork frees its children and becomes a leaf with their pixels.
    void MakeLeaf(TOctreeNode& Fork);
    // The listed inner nodes of at most Threshold (up to kSmallCount) pixels.
    std::vector<int32_t> ListedUpTo(int32_t Threshold) const;
    // Small, every inner node of at most some threshold of pixels, become leaves, and the cells
    // follow their leaves.
    void Trim(const std::vector<int32_t>& Small);
    // Trims with the smallest threshold from 1 up that leaves at most 99,000 nodes.
    void TrimToBound();
    // Numbers the leaves from Next in walk order from node Index down, and gives each added cell
    // the number of its leaf.
    void Number(int32_t Index, int32_t& Next);
};

// A new 8-bit bitmap of Bitmap's pixels in at most MaxColors colours. Bitmap must have 24 bits per
// pixel and MaxColors lie in 2..256; otherwise EAssertionFailed of the unit "Octree".
std::unique_ptr<TDIB> OctreeQuantize(const TDIB& Bitmap, int MaxColors);

}  // namespace colorquant
