#include "app/dockframe.h"

#include "app/dockrows.h"

#include "core/sysutils.h"
#include "graphics/dibx.h"
#include "platform/system.h"

#include <algorithm>

namespace {

constexpr int32_t GripThickness = 3;
// The docked close button's side is the handle's thickness less this.
constexpr int32_t DockedCloseMargin = 3;
// A caption cut to fit keeps at least this many characters, "..." included.
constexpr size_t MinFitChars = 5;

int64_t OverlapArea(const TRect& A, const TRect& B) {
    const int64_t w = std::min(A.Right, B.Right) - std::max(A.Left, B.Left);
    const int64_t h = std::min(A.Bottom, B.Bottom) - std::max(A.Top, B.Top);
    return w > 0 && h > 0 ? w * h : 0;
}

// The gap between two rectangles along both axes, 0 where they meet.
int64_t Distance(const TRect& A, const TRect& B) {
    const int64_t dx = std::max<int64_t>({0, int64_t(B.Left) - A.Right, int64_t(A.Left) - B.Right});
    const int64_t dy = std::max<int64_t>({0, int64_t(B.Top) - A.Bottom, int64_t(A.Top) - B.Bottom});
    return dx * dx + dy * dy;
}

int CharCount(const std::string& S) {
    int count = 0;
    for (size_t i = 0; i < S.size(); ++count) i += IsLeadByte(S[i]) && i + 1 < S.size() ? 2 : 1;
    return count;
}

// S without its last character (a Shift-JIS pair goes whole).
void DropLastChar(std::string& S) {
    size_t last = 0;
    for (size_t i = 0; i < S.size();) {
        last = i;
        i += IsLeadByte(S[i]) && i + 1 < S.size() ? 2 : 1;
    }
    S.resize(last);
}

}  // namespace

int32_t DragHandleSize(TDragHandleStyle Style, bool CloseButtonWhenDocked) {
    if (CloseButtonWhenDocked) return 14;
    switch (Style) {
        case dhDouble: return 9;
        case dhSingle: return 6;
        case dhNone: break;
    }
    return 0;
}

TDockedFrame DockedFrame(TDockType Type, int32_t Width, int32_t Height, bool AllowDrag, TDragHandleStyle Style,
                         bool CloseButtonWhenDocked) {
    TDockedFrame frame;
    frame.ClientInset = {DockedBorderSize, DockedBorderSize, DockedBorderSize, DockedBorderSize};
    if (!AllowDrag) return frame;
    const int32_t handle = DragHandleSize(Style, CloseButtonWhenDocked);
    const int32_t b = DockedBorderSize, close = handle - DockedCloseMargin;
    const bool across = Type == dtLeftRight;  // the handle lies across the top
    if (across) {
        frame.ClientInset.Top += handle;
        frame.Handle = {b, b, Width - b, b + handle};
    } else {
        frame.ClientInset.Left += handle;
        frame.Handle = {b, b, b + handle, Height - b};
    }
    if (CloseButtonWhenDocked)
        frame.CloseButton = across ? Bounds(Width - b - close, b + 1, close, close) : Bounds(b + 1, b, close, close);
    const int grips = Style == dhDouble ? 2 : Style == dhSingle ? 1 : 0;
    const int32_t offset = (handle - GripThickness * grips) / 2;
    for (int i = 0; i < grips; ++i) {
        const int32_t at = offset + i * GripThickness;
        if (across) {
            const int32_t right = CloseButtonWhenDocked ? frame.CloseButton.Left - 2 : frame.Handle.Right;
            frame.Grips.push_back({frame.Handle.Left, frame.Handle.Top + at, right, frame.Handle.Top + at + GripThickness});
        } else {
            const int32_t top = CloseButtonWhenDocked ? frame.CloseButton.Bottom + 2 : frame.Handle.Top;
            frame.Grips.push_back({frame.Handle.Left + at, top, frame.Handle.Left + at + GripThickness, frame.Handle.Bottom});
        }
    }
    return frame;
}

TFloatingFrame FloatingFrame(int32_t Width, bool Resizable, bool ShowCaption, bool CloseButton) {
    TFloatingFrame frame;
    const int32_t b = Resizable ? FloatingSizingFrame : FloatingDialogFrame;
    frame.Border = b;
    frame.ClientInset = {b, b, b, b};
    if (!ShowCaption) return frame;
    frame.Caption = {b, b, Width - b, b + FloatingCaptionHeight};
    frame.ClientInset.Top += FloatingCaptionHeight + 1;  // the line under the caption
    if (CloseButton)
        frame.CloseButton = Bounds(frame.Caption.Right - 2 - FloatingCloseSize, frame.Caption.Top + 2,
                                   FloatingCloseSize, FloatingCloseSize);
    return frame;
}

TFloatingHit FloatingHitTest(const TFloatingFrame& Frame, int32_t Width, int32_t Height, bool Resizable, TPoint P) {
    if (!PtInRect({0, 0, Width, Height}, P)) return fhNowhere;
    if (PtInRect(Frame.CloseButton, P)) return fhClose;
    if (PtInRect(Frame.Caption, P)) return fhClient;
    const TRect client = {Frame.ClientInset.Left, Frame.ClientInset.Top, Width - Frame.ClientInset.Right,
                          Height - Frame.ClientInset.Bottom};
    if (PtInRect(client, P)) return fhClient;
    if (!Resizable) return fhNowhere;
    const int32_t b = Frame.Border, corner = FloatingCaptionHeight - 1 + b;
    const bool left = P.X < b, right = P.X >= Width - b, top = P.Y < b, bottom = P.Y >= Height - b;
    const bool nearLeft = P.X < corner, nearRight = P.X >= Width - corner;
    const bool nearTop = P.Y < corner, nearBottom = P.Y >= Height - corner;
    if ((left && nearTop) || (top && nearLeft)) return fhTopLeft;
    if ((right && nearTop) || (top && nearRight)) return fhTopRight;
    if ((left && nearBottom) || (bottom && nearLeft)) return fhBottomLeft;
    if ((right && nearBottom) || (bottom && nearRight)) return fhBottomRight;
    if (left) return fhLeft;
    if (right) return fhRight;
    if (top) return fhTop;
    if (bottom) return fhBottom;
    return fhNowhere;
}

std::string FitCaptionText(const std::string& Text, int32_t MaxWidth,
                           const std::function<int32_t(const std::string&)>& Measure) {
    if (Measure(Text) <= MaxWidth) return Text;
    std::string kept = Text;
    for (;;) {
        DropLastChar(kept);
        const std::string fitted = kept + "...";
        if (kept.empty() || Measure(fitted) <= MaxWidth || static_cast<size_t>(CharCount(fitted)) < MinFitChars)
            return fitted;
    }
}

std::vector<TMonitorArea> ScreenMonitors() {
    const platform::DisplayMetrics metrics = platform::GetDisplayMetrics();
    const platform::ScreenRect& w = metrics.workArea;
    return {{{0, 0, metrics.primaryWidth, metrics.primaryHeight}, {w.left, w.top, w.right, w.bottom}}};
}

TRect MoveOnScreen(const TRect& B, const std::vector<TMonitorArea>& Monitors, bool OnlyWhenFullyOff) {
    if (Monitors.empty()) return B;
    const TMonitorArea* best = &Monitors.front();
    int64_t bestArea = OverlapArea(B, best->Monitor), bestDistance = Distance(B, best->Monitor);
    for (const TMonitorArea& monitor : Monitors) {
        const int64_t area = OverlapArea(B, monitor.Monitor), distance = Distance(B, monitor.Monitor);
        if (area > bestArea || (bestArea == 0 && area == 0 && distance < bestDistance)) {
            best = &monitor;
            bestArea = area;
            bestDistance = distance;
        }
    }
    const TRect& work = best->Work;
    if (OnlyWhenFullyOff && OverlapArea(B, work) > 0) return B;
    TRect r = B;
    auto shift = [&r](int32_t DX, int32_t DY) { r = {r.Left + DX, r.Top + DY, r.Right + DX, r.Bottom + DY}; };
    if (r.Right > work.Right) shift(work.Right - r.Right, 0);
    if (r.Bottom > work.Bottom) shift(0, work.Bottom - r.Bottom);
    if (r.Left < work.Left) shift(work.Left - r.Left, 0);
    if (r.Top < work.Top) shift(0, work.Top - r.Top);
    return r;
}

TPopupPlacement DropdownPopupPlacement(const TRect& Button, const TDockPosition* OnDock) {
    if (OnDock && *OnDock == dpLeft) return {{Button.Right, Button.Top}, false};
    if (OnDock && *OnDock == dpRight) return {{Button.Left, Button.Top}, true};
    return {{Button.Left, Button.Bottom}, false};
}
