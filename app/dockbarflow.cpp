#include "app/dockbarflow.h"

#include "graphics/dibx.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int32_t MinBaseSize = 8;
// The extra gap between rows split at a separator, where the etched line goes.
constexpr int32_t LineSepGap = 6;
// The widest snap zone around the current edge of a resized toolbar.
constexpr int32_t MaxSnapZone = 12;

struct TMargins {
    int32_t Left, Top, Right, Bottom;
};

int32_t Along(const TDockBarFlowItem& Item, bool Vertical) {
    if (Item.Separator) return Vertical ? Item.SizeVert : Item.SizeHorz;
    return Vertical ? Item.Height : Item.Width;
}

int32_t Across(const TDockBarFlowItem& Item, bool Vertical) { return Vertical ? Item.Width : Item.Height; }

}  // namespace

TDockBarFlow FlowDockBarItems(const std::vector<TDockBarFlowItem>& Items, bool Floating, bool Vertical,
                              int32_t WrapWidth) {
    const TMargins margin = Floating ? TMargins{4, 2, 4, 1} : TMargins{0, 0, 0, 0};
    TDockBarFlow flow;
    flow.BaseSize = MinBaseSize;
    int32_t widest = 0;
    for (const TDockBarFlowItem& item : Items) {
        if (item.Separator) continue;
        flow.BaseSize = std::max(flow.BaseSize, Across(item, Vertical));
        widest = std::max(widest, Along(item, Vertical));
    }
    const bool wraps = Floating && WrapWidth > 0;
    const int32_t limit = std::max(WrapWidth, widest + 8);
    const int32_t row = flow.BaseSize;
    const int32_t start = Vertical ? margin.Top : margin.Left, end = Vertical ? margin.Bottom : margin.Right;

    flow.Bounds.resize(Items.size());
    auto place = [&](size_t Index, int32_t Main, int32_t Cross, int32_t Length, int32_t Thickness) {
        flow.Bounds[Index] = Vertical ? Bounds(Cross, Main, Thickness, Length) : Bounds(Main, Cross, Length, Thickness);
    };
    int32_t main = start, cross = Vertical ? margin.Left : margin.Top;
    bool previousWrapped = false;
    for (size_t first = 0; first < Items.size();) {
        // A group runs up to and including a separator.
        size_t last = first;
        while (last < Items.size() && !Items[last].Separator) ++last;
        last = std::min(last + 1, Items.size());
        int32_t length = 0;
        for (size_t i = first; i < last; ++i)
            if (!Items[i].Separator) length += Along(Items[i], Vertical);

        if (wraps && first > 0 && (main + length + end > limit || previousWrapped)) {
            main = start;
            cross += row + LineSepGap;
            const size_t separator = first - 1;
            TRect& bounds = flow.Bounds[separator];
            (Vertical ? bounds.Bottom : bounds.Right) = Vertical ? bounds.Top : bounds.Left;
            flow.LineSeps.push_back({static_cast<int16_t>(cross), Items[separator].Blank});
        }
        previousWrapped = false;
        for (size_t i = first; i < last; ++i) {
            const TDockBarFlowItem& item = Items[i];
            const int32_t along = Along(item, Vertical);
            if (item.Separator) {
                place(i, main, cross, along, row);
            } else {
                if (wraps && main > start && main + along + end > limit) {
                    main = start;
                    cross += row;
                    previousWrapped = true;
                }
                const int32_t across = Across(item, Vertical);
                place(i, main, cross + (row - across) / 2, along, across);
            }
            main += along;
        }
        first = last;
    }

    int32_t extent = start;
    for (const TRect& bounds : flow.Bounds) extent = std::max(extent, Vertical ? bounds.Bottom : bounds.Right);
    const int32_t thickness = cross + row + (Vertical ? margin.Right : margin.Bottom);
    flow.Width = Vertical ? thickness : extent + end;
    flow.Height = Vertical ? extent + end : thickness;
    return flow;
}

std::vector<TPoint> DockBarFloatingSizes(const std::vector<TDockBarFlowItem>& Items) {
    std::vector<TPoint> sizes;
    auto measure = [&](int32_t Wrap) {
        const TDockBarFlow flow = FlowDockBarItems(Items, true, false, Wrap);
        return TPoint{flow.Width, flow.Height};
    };
    sizes.push_back(measure(0));
    for (int32_t wrap = sizes.front().X; wrap >= 8;) {
        const TPoint size = measure(wrap);
        if (size.X > wrap) break;
        if (!(size == sizes.back())) sizes.push_back(size);
        wrap = std::min(wrap, size.X) - 1;
    }
    std::vector<TPoint> kept;
    for (size_t i = 0; i < sizes.size(); ++i)
        if (i + 1 == sizes.size() || sizes[i + 1].Y != sizes[i].Y) kept.push_back(sizes[i]);
    return kept;
}

int32_t FloatingSizeSnapZone(const std::vector<TPoint>& Sizes, int32_t Current, bool ByWidth) {
    auto at = [&](size_t I) { return ByWidth ? Sizes[I].X : Sizes[I].Y; };
    if (Current < 0 || static_cast<size_t>(Current) >= Sizes.size()) return 0;
    const size_t current = static_cast<size_t>(Current);
    int32_t zone = MaxSnapZone;
    if (current > 0) zone = std::min(zone, std::abs(at(current) - at(current - 1)) - 1);
    if (current + 1 < Sizes.size()) zone = std::min(zone, std::abs(at(current + 1) - at(current)) - 1);
    return std::max(zone, 0);
}

int32_t SnapFloatingSize(const std::vector<TPoint>& Sizes, int32_t Current, bool ByWidth, int32_t Proposed,
                         int32_t Zone) {
    if (Sizes.empty()) return -1;
    auto at = [&](size_t I) { return ByWidth ? Sizes[I].X : Sizes[I].Y; };
    if (Current >= 0 && static_cast<size_t>(Current) < Sizes.size() &&
        std::abs(Proposed - at(static_cast<size_t>(Current))) <= Zone)
        return Current;
    int32_t best = -1, smallest = 0;
    for (size_t i = 0; i < Sizes.size(); ++i) {
        if (at(i) < at(static_cast<size_t>(smallest))) smallest = static_cast<int32_t>(i);
        if (at(i) <= Proposed && (best < 0 || at(i) > at(static_cast<size_t>(best)))) best = static_cast<int32_t>(i);
    }
    return best >= 0 ? best : smallest;
}
