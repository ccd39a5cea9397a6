#include "app/dockrows.h"

#include <algorithm>
#include <numeric>

namespace {

// The smallest thickness of a row that holds a window.
constexpr int32_t MinRowSize = 8;
// How near (pixels) to a row's edge a drop asks for a new row there.
constexpr int32_t NewRowZone = 5;

// The items' indexes by row, then position; equal ones stay in the order they became visible.
std::vector<size_t> RowOrder(const std::vector<TDockRowItem>& Items) {
    std::vector<size_t> order(Items.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t A, size_t B) {
        if (Items[A].Row != Items[B].Row) return Items[A].Row < Items[B].Row;
        return Items[A].Pos < Items[B].Pos;
    });
    return order;
}

// A full-size window keeps its row to itself: when another shares it, every other window at
// that row or past it moves one row on.
void SeparateFullSizeRows(std::vector<TDockRowItem>& Items) {
    for (size_t i = 0; i < Items.size(); ++i) {
        if (!Items[i].FullSize) continue;
        const int32_t row = Items[i].Row;
        bool shared = false;
        for (size_t j = 0; j < Items.size(); ++j) shared |= j != i && Items[j].Row == row;
        if (!shared) continue;
        for (size_t k = 0; k < Items.size(); ++k)
            if (k != i && Items[k].Row >= row) ++Items[k].Row;
    }
}

}  // namespace

int32_t DockHighestRow(const std::vector<TDockRowItem>& Items) {
    int32_t highest = -1;
    for (const TDockRowItem& item : Items) highest = std::max(highest, item.Row);
    return highest;
}

std::vector<int32_t> DockRowSizes(const std::vector<TDockRowItem>& Items) {
    std::vector<int32_t> sizes(static_cast<size_t>(DockHighestRow(Items) + 1), 0);
    for (const TDockRowItem& item : Items) {
        if (item.Row < 0) continue;
        int32_t& size = sizes[static_cast<size_t>(item.Row)];
        size = std::max({size, item.BaseSize, MinRowSize});
    }
    return sizes;
}

void RemoveBlankDockRows(std::vector<TDockRowItem>& Items) {
    int32_t highest = DockHighestRow(Items);
    for (int32_t row = 0; row <= highest;) {
        const bool empty =
            std::none_of(Items.begin(), Items.end(), [row](const TDockRowItem& I) { return I.Row == row; });
        if (!empty) {
            ++row;
            continue;
        }
        // The row is looked at again: the one moved into it may have been blank as well.
        for (TDockRowItem& item : Items)
            if (item.Row > row) --item.Row;
        --highest;
    }
}

TDockRowLayout ArrangeDockRows(std::vector<TDockRowItem>& Items, int32_t Available, bool LimitToOneRow,
                               bool ClipPositions) {
    Available = std::max(Available, 0);
    for (TDockRowItem& item : Items) {
        if (LimitToOneRow || item.Row < 0) item.Row = 0;
    }
    RemoveBlankDockRows(Items);
    SeparateFullSizeRows(Items);
    const std::vector<size_t> order = RowOrder(Items);
    auto length = [&](const TDockRowItem& I) { return I.FullSize ? Available : I.Length; };

    // Rows as runs of the sorted order.
    std::vector<std::pair<size_t, size_t>> runs;
    for (size_t start = 0; start < order.size();) {
        size_t end = start + 1;
        while (end < order.size() && Items[order[end]].Row == Items[order[start]].Row) ++end;
        runs.emplace_back(start, end);
        start = end;
    }

    std::vector<int32_t> shown(Items.size(), 0);
    for (const auto& [first, last] : runs) {
        // The stored positions stop overlapping.
        int32_t end = 0;
        for (size_t n = first; n < last; ++n) {
            TDockRowItem& item = Items[order[n]];
            if (item.FullSize) item.Pos = 0;
            else if (item.Pos < end) item.Pos = end;
            end = item.Pos + length(item);
        }
        // What is displayed is pushed back from the end, then kept from overlapping again.
        int32_t limit = Available;
        for (size_t n = last; n-- > first;) {
            const TDockRowItem& item = Items[order[n]];
            int32_t& pos = shown[order[n]];
            pos = std::min(item.Pos, limit - length(item));
            limit = pos;
        }
        end = 0;
        for (size_t n = first; n < last; ++n) {
            int32_t& pos = shown[order[n]];
            pos = std::max(pos, end);
            end = pos + length(Items[order[n]]);
            if (ClipPositions) Items[order[n]].Pos = pos;
        }
    }

    TDockRowLayout layout;
    layout.RowSizes = DockRowSizes(Items);
    std::vector<int32_t> rowStart(layout.RowSizes.size(), 0);
    for (size_t row = 0; row < layout.RowSizes.size(); ++row) {
        rowStart[row] = layout.Thickness;
        if (layout.RowSizes[row] > 0) layout.Thickness += layout.RowSizes[row] + DockedBorderSize2;
    }
    layout.Places.resize(Items.size());
    for (size_t i = 0; i < Items.size(); ++i) {
        const size_t row = static_cast<size_t>(Items[i].Row);
        layout.Places[i] = {shown[i], rowStart[row], length(Items[i]), layout.RowSizes[row] + DockedBorderSize2};
    }
    return layout;
}

TDockRowHit DockRowAt(const std::vector<int32_t>& RowSizes, int32_t Coord) {
    const int32_t highest = static_cast<int32_t>(RowSizes.size()) - 1;
    int32_t start = 0;
    for (int32_t row = 0; row <= highest; ++row) {
        const int32_t size = RowSizes[static_cast<size_t>(row)];
        if (size == 0) continue;
        const int32_t end = start + size + DockedBorderSize2;
        if (Coord < start + NewRowZone) return {row, true};
        if (Coord < end - NewRowZone) return {row, false};
        start = end;
    }
    return {highest + 1, Coord < start + NewRowZone};
}
