// The selection menu: play states, the opening and closing steps, selection and cancelling, the
// menu record.
#include "objects/vitemex_menu.h"

#include "objects/vitems_kinds.h"
#include "platform/textout.h"
#include "script/params_vars.h"

namespace {

constexpr int KeyEnter = 13, KeyEscape = 27, KeySpace = 32;

// Hands the menu's items to the reader's tools, as many whole items as platform::MaxTextOutBytes
// holds.
void SendItemsOut(const TVelaMenu& Menu) {
    platform::TextOutItem choice;
    choice.kind = platform::TextOutItem::Kind::Choice;
    size_t bytes = 0;
    for (int32_t i = 0; i < Menu.GetCount(); ++i) {
        std::string item = Menu.GetItemText(i);
        if (bytes + item.size() + 1 > platform::MaxTextOutBytes) break;
        bytes += item.size() + 1;
        choice.items.push_back(std::move(item));
    }
    platform::SendTextOut(choice);
}

}  // namespace

TVelaMenu::TVelaMenu(TVelaBaseList* AOwner, bool UniqueName) : TVelaCustomListBox(AOwner, UniqueName) {
    if (Owner) Owner->GetVelaList().AddOnce(this);
}

TVelaMenu::~TVelaMenu() {
    if (Owner) Owner->GetVelaList().Remove(this);
}

int32_t TVelaMenu::GetOrigheight() const { return PlayState == 1 || PlayState == 3 ? FullHeight : GetHeight(); }

void TVelaMenu::Raise(const std::string& Handler, uint8_t Kind) {
    if (Owner && !Handler.empty()) Owner->GetEvents().Add(this, Handler, nullptr, Kind);
}

void TVelaMenu::TakeFocus() {
    if (Owner && GetVisible() && !GetPaused() && GetHandlekey()) Owner->SetFocus(this);
}

void TVelaMenu::GiveUpFocus() {
    if (Owner && Owner->GetFocus() == this) Owner->RequestFocusUpdate();
}

void TVelaMenu::SetPlayState(int32_t V) {
    // Opening restarts an opening (compared as open); closing is compared as closed.
    const int32_t compared = V == 1 ? 0 : V == 3 ? 2 : V;
    if (compared == PlayState) return;
    const bool opens = (V == 0 || V == 1) && (PlayState == 2 || PlayState == 3);
    PlayState = uint8_t(V);
    if (opens) SendItemsOut(*this);
    switch (V) {
        case 0:
            Layout();
            OpenState = 0;
            TakeFocus();
            Raise(OnOpening, PR_ONOPENING);
            Raise(OnOpened, PR_ONOPENED);
            break;
        case 1:
            OpenState = 100;
            TakeFocus();
            break;
        case 2:
            SetHeight(0);
            OpenState = 0;
            GiveUpFocus();
            Raise(OnClosing, PR_ONCLOSING);
            Raise(OnClosed, PR_ONCLOSED);
            break;
        case 3:
            OpenState = 200;
            GiveUpFocus();
            break;
        default: break;
    }
}

bool TVelaMenu::Step() {
    StepBorders();
    const int32_t now = int32_t(SceneClock());
    // The animated height, full height x elapsed / Delay, is worked out in 64 bits.
    auto part = [&] { return int32_t(int64_t(FullHeight) * (now - AnimationStart) / Delay); };
    switch (OpenState) {
        case 0: UpdateLayout(); break;
        case 10:
            UpdateLayout();
            SetPlayState(3);
            break;
        case 100:
            Layout();
            Raise(OnOpening, PR_ONOPENING);
            FullHeight = GetHeight();
            SetHeight(0);
            OpenState = 101;
            break;
        case 101:
            AnimationStart = now;
            OpenState = 102;
            break;
        case 102:
            if (Delay > now - AnimationStart) {
                SetHeight(part());
            } else {
                SetHeight(FullHeight);
                OpenState = 0;
                Raise(OnOpened, PR_ONOPENED);
            }
            break;
        case 200:
            Selecting = true;
            AnimationStart = now;
            OpenState = 201;
            Raise(OnClosing, PR_ONCLOSING);
            break;
        case 201:
            Selecting = true;
            if (Delay > now - AnimationStart) {
                SetHeight(FullHeight - part());
            } else {
                Raise(OnClosed, PR_ONCLOSED);
                OpenState = 302;
            }
            break;
        case 300:
            Selecting = true;
            Raise(OnClosing, PR_ONCLOSING);
            Raise(OnClosed, PR_ONCLOSED);
            OpenState = 301;
            break;
        case 301: OpenState = 302; break;
        case 302: {
            // Gone once the close handlers have been taken and have finished.
            if (!Owner) return false;
            const TTimerList& events = Owner->GetEvents();
            return !events.IsQueued(this, PR_ONCLOSING) && !events.IsQueued(this, PR_ONCLOSED);
        }
        default: break;
    }
    return false;
}

void TVelaMenu::DoSelect() {
    TVelaCustomListBox::DoSelect();
    if (!AutoScrap) return;
    Selecting = true;
    OpenState = 300;
}

bool TVelaMenu::BeginSelect() {
    if (Selecting) return false;
    const int32_t mode = GetIgnoremouse();
    if (mode != IM_NONE && mode != IM_LCLICK) return false;
    Selecting = true;
    OpenState = 10;
    return true;
}

void TVelaMenu::DoRBtnDown() {
    if (GetPaused() || !RClickScrap) {
        TVelaCustomListBox::DoRBtnDown();
        return;
    }
    if (ParamMan) {
        ParamMan->SetSelStr("");
        ParamMan->SetSelIndex(-1);
    }
    SetPlayState(3);
    if (TVelaBase* layer = PointerLayer()) layer->RightPressed = false;
}

void TVelaMenu::DoKeyPress() {
    if (PlayState == 2 || PlayState == 3) return;
    if (Owner) {
        if ((Owner->GetKeyPressed(KeyEnter) || Owner->GetKeyPressed(KeySpace)) && GetHoverIndex() >= 0 && !Selecting)
            DoSelect();
        else if (RClickScrap && Owner->GetKeyPressed(KeyEscape))
            OpenState = 10;
    }
    TVelaCustomListBox::DoKeyPress();
}

// ---- The record ----

void TVelaMenu::SaveToStream(TStream& Stream) {
    TVelaCustomListBox::SaveToStream(Stream);
    WriteStreamInt(Stream, Delay);
    WriteStreamInt(Stream, HoverColor);
    WriteStreamByte(Stream, AutoScrap);
    WriteStreamByte(Stream, RClickScrap);
    WriteStreamByte(Stream, PlayState);
    for (const std::string* s : {&OnOpening, &OnOpened, &OnClosing, &OnClosed}) WriteStreamString(Stream, *s);
}

// A running animation resumes from the time of the load. A menu closed at once, or in the
// middle of opening or closing, keeps the height it was saved with: the layout gives the full
// height the animation runs to.
void TVelaMenu::LoadFromStream(TStream& Stream, int32_t Version) {
    ReadRecord(Stream, Version);
    Delay = ReadStreamInt(Stream);
    HoverColor = ReadStreamInt(Stream);
    AutoScrap = ReadStreamByte(Stream) != 0;
    RClickScrap = ReadStreamByte(Stream) != 0;
    PlayState = ReadStreamByte(Stream);
    for (std::string* s : {&OnOpening, &OnOpened, &OnClosing, &OnClosed}) *s = ReadStreamString(Stream);
    const int32_t saved = GetHeight();
    LayoutRead();
    FullHeight = GetHeight();
    AnimationStart = int32_t(SceneClock());
    if (PlayState == 2 || OpenState != 0) SetHeight(saved);
}
