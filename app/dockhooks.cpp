// The registry of notification procedures, the application's active state and the printing of
// windowed controls.
#include "app/dockhooks.h"

#include <array>
#include <memory>

namespace {

struct THookEntry {
    THookProc Proc;
    int RefCount;
    THookProcCodes Codes;
};

// The list exists while it has entries.
std::unique_ptr<std::vector<THookEntry>> HookList;
std::array<int, 3> HookCounts{};
bool AppActive = false;

THookKind KindOf(THookProcCode Code) {
    switch (Code) {
    case THookProcCode::hpActivateApp:
    case THookProcCode::hpWindowPosChanged: return THookKind::hkCallWndProc;
    case THookProcCode::hpDestroyWindow: return THookKind::hkCBT;
    case THookProcCode::hpMouseMovePosted: break;
    }
    return THookKind::hkGetMessage;
}

// The hooks a set of points needs, as a bit set of kinds.
unsigned KindsOf(THookProcCodes Codes) {
    unsigned kinds = 0;
    for (unsigned c = 0; c < 4; ++c)
        if (Codes & (1u << c)) kinds |= 1u << unsigned(KindOf(THookProcCode(c)));
    return kinds;
}

void CountHooks(THookProcCodes Codes, int Delta) {
    const unsigned kinds = KindsOf(Codes);
    for (size_t k = 0; k < HookCounts.size(); ++k)
        if (kinds & (1u << k)) HookCounts[k] += Delta;
}

THookEntry* FindEntry(THookProc Proc) {
    if (!HookList) return nullptr;
    for (THookEntry& e : *HookList)
        if (e.Proc == Proc) return &e;
    return nullptr;
}

}  // namespace

void InstallHookProc(THookProc Proc, THookProcCodes Codes) {
    if (!Proc) return;
    if (THookEntry* e = FindEntry(Proc)) {
        ++e->RefCount;
        return;
    }
    if (!HookList) HookList = std::make_unique<std::vector<THookEntry>>();
    HookList->push_back({Proc, 1, Codes});
    CountHooks(Codes, 1);
}

void UninstallHookProc(THookProc Proc) {
    THookEntry* e = FindEntry(Proc);
    if (!e || --e->RefCount > 0) return;
    CountHooks(e->Codes, -1);
    HookList->erase(HookList->begin() + (e - HookList->data()));
    if (HookList->empty()) HookList.reset();
}

void RemoveAllHookProcs() {
    HookList.reset();
    HookCounts.fill(0);
}

size_t HookProcCount() { return HookList ? HookList->size() : 0; }

int HookProcRefCount(THookProc Proc) {
    const THookEntry* e = FindEntry(Proc);
    return e ? e->RefCount : 0;
}

bool HookInstalled(THookKind Kind) { return HookCounts[size_t(Kind)] > 0; }

void RaiseHookPoint(THookProcCode Code, TWindowHandle Wnd, uintptr_t WParam, intptr_t LParam) {
    if (!HookList) return;
    // A copy: procedures may register and unregister while they run.
    const std::vector<THookEntry> entries = *HookList;
    for (const THookEntry& e : entries)
        if ((e.Codes & HookCode(Code)) && FindEntry(e.Proc)) e.Proc(Code, Wnd, WParam, LParam);
}

bool ApplicationIsActive() { return AppActive; }

void SetApplicationActive(bool Active, TWindowHandle Wnd) {
    if (AppActive == Active) return;
    AppActive = Active;
    RaiseHookPoint(THookProcCode::hpActivateApp, Wnd, Active ? 1 : 0);
}

// ---- Printing ----

int HandleWMPrint(TWinControl& Control, TWidgetCanvas& Canvas, uint32_t Flags, const TNonClientPaint& NonClientPaint) {
    if ((Flags & PRF_CHECKVISIBLE) && !Control.Visible()) return 1;
    constexpr uint32_t ChildFlags = PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN;
    if (Flags & PRF_NONCLIENT) {
        TWidgetCanvas frame = Canvas.Part({0, 0, Control.Width(), Control.Height()});
        frame.Font = Control.Font();
        if (NonClientPaint)
            NonClientPaint(Control, frame);
        else
            Control.PaintNonClient(frame);
    }
    const TPoint origin = Control.ClientOrigin();
    const TRect client = Control.ClientRect();
    TWidgetCanvas inside =
        Canvas.Part({origin.X, origin.Y, origin.X + client.Right, origin.Y + client.Bottom});
    inside.Font = Control.Font();
    if (Flags & PRF_CLIENT) {
        if (Flags & PRF_ERASEBKGND) Control.EraseBackground(inside);
        HandleWMPrintClient(Control, inside);
    }
    if (Flags & PRF_CHILDREN)
        for (TControl* c : Control.Controls()) {
            auto* child = dynamic_cast<TWinControl*>(c);
            if (!child || !child->Visible()) continue;
            TWidgetCanvas part = inside.Part(child->BoundsRect());
            HandleWMPrint(*child, part, ChildFlags);
        }
    if (Flags & PRF_OWNED)
        if (const auto* form = dynamic_cast<const TWidgetForm*>(&Control))
            for (TWidgetForm* owned : form->OwnedForms()) {
                if (!owned->Visible()) continue;
                const int32_t x = owned->Left() - form->Left(), y = owned->Top() - form->Top();
                TWidgetCanvas part = Canvas.Part({x, y, x + owned->Width(), y + owned->Height()});
                HandleWMPrint(*owned, part, ChildFlags);
            }
    return 1;
}

void HandleWMPrintClient(TWinControl& Control, TWidgetCanvas& Canvas) {
    Control.Paint(Canvas);
    // Windowless controls are part of their parent's paint.
    for (TControl* c : Control.Controls()) {
        if (dynamic_cast<TWinControl*>(c) || !c->Visible()) continue;
        TWidgetCanvas part = Canvas.Part(c->BoundsRect());
        c->PaintTo(part, 0);
    }
}
