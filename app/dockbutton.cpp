// The toolbar's push button: states, mouse, keys, groups, repeat, layout and painting.
#include "app/dockbutton.h"

#include "app/dockwindow.h"

// ---- Layout ----

TButtonLayout EffectiveLayout(const TButtonContentSizes& Sizes) {
    const bool vertical = Sizes.Layout == TButtonLayout::blGlyphTop || Sizes.Layout == TButtonLayout::blGlyphBottom;
    return vertical && (Sizes.Glyph.X == 0 || Sizes.Glyph.Y == 0) ? TButtonLayout::blGlyphLeft : Sizes.Layout;
}

int32_t CaptionMeasureWidth(int32_t ClientWidth, const TButtonContentSizes& Sizes, bool WordWrap) {
    const TButtonLayout layout = EffectiveLayout(Sizes);
    if (layout != TButtonLayout::blGlyphLeft && layout != TButtonLayout::blGlyphRight) return ClientWidth;
    int32_t width = ClientWidth - Sizes.Arrow.X;
    if (WordWrap && Sizes.Glyph.X != 0 && Sizes.Glyph.Y != 0) {
        const int32_t spacing = Sizes.Spacing == -1 ? 4 : Sizes.Spacing;
        const int32_t margin = Sizes.Margin != -1 ? Sizes.Margin : Sizes.Spacing != -1 ? Sizes.Spacing : 4;
        width -= Sizes.Glyph.X + spacing + 2 * margin;
    }
    return width;
}

TButtonContent CalcButtonLayout(const TRect& Client, TPoint Offset, const TButtonContentSizes& Sizes, TPoint Text) {
    const TButtonLayout layout = EffectiveLayout(Sizes);
    const bool across = layout == TButtonLayout::blGlyphLeft || layout == TButtonLayout::blGlyphRight;
    const TPoint client{Client.Right - Client.Left, Client.Bottom - Client.Top};
    const TPoint glyph = Sizes.Glyph, arrow = Sizes.Arrow;
    const bool hasGlyph = glyph.X != 0 && glyph.Y != 0;
    TPoint glyphPos{0, 0}, textPos{0, 0}, arrowPos{0, 0};

    // Across the main axis each part is centred.
    if (across) {
        glyphPos.Y = (client.Y - glyph.Y + 1) / 2;
        textPos.Y = (client.Y - Text.Y + 1) / 2;
    } else {
        glyphPos.X = (client.X - glyph.X - arrow.X + 1) / 2;
        textPos.X = (client.X - Text.X + 1) / 2;
    }

    // Along it: the margin and the spacing, worked out from the free space where they are -1.
    int32_t margin = Sizes.Margin, spacing = Sizes.Spacing;
    if (Text.X == 0 || Text.Y == 0 || !hasGlyph) spacing = 0;
    const int32_t length = across ? client.X : client.Y;
    const int32_t glyphLength = across ? glyph.X : glyph.Y, textLength = across ? Text.X : Text.Y,
                  arrowLength = across ? arrow.X : arrow.Y;
    if (margin == -1 && spacing == -1) {
        margin = spacing = (length - (glyphLength + textLength + arrowLength)) / 3;
    } else if (margin == -1) {
        margin = (length - (glyphLength + spacing + textLength + arrowLength) + 1) / 2;
    } else if (spacing == -1) {
        spacing = (length - (margin + glyphLength + arrowLength) - textLength) / 2;
    }

    switch (layout) {
    case TButtonLayout::blGlyphLeft:
        glyphPos.X = margin;
        textPos.X = glyphPos.X + glyph.X + spacing;
        arrowPos.X = textPos.X + Text.X + 1;
        break;
    case TButtonLayout::blGlyphRight:
        arrowPos.X = client.X - margin - arrow.X;
        glyphPos.X = arrowPos.X - glyph.X;
        textPos.X = glyphPos.X - spacing - Text.X;
        break;
    case TButtonLayout::blGlyphTop:
        glyphPos.Y = margin;
        textPos.Y = glyphPos.Y + glyph.Y + spacing;
        break;
    case TButtonLayout::blGlyphBottom:
        glyphPos.Y = client.Y - margin - glyph.Y;
        textPos.Y = glyphPos.Y - spacing - Text.Y;
        break;
    }
    if (!across) arrowPos.X = (hasGlyph ? glyphPos.X + glyph.X : textPos.X + Text.X) + 1;
    arrowPos.Y = hasGlyph ? glyphPos.Y + (glyph.Y - arrow.Y) / 2 : textPos.Y + (Text.Y - arrow.Y) / 2;

    const TPoint origin{Client.Left + Offset.X, Client.Top + Offset.Y};
    TButtonContent result;
    result.GlyphPos = {glyphPos.X + origin.X, glyphPos.Y + origin.Y};
    result.ArrowPos = {arrowPos.X + origin.X, arrowPos.Y + origin.Y};
    result.TextBounds = {textPos.X + origin.X, textPos.Y + origin.Y, textPos.X + origin.X + Text.X,
                         textPos.Y + origin.Y + Text.Y};
    return result;
}

// ---- Shared by every button ----

namespace {

int buttonCount = 0;
TDockButton* mouseInControl = nullptr;
std::unique_ptr<TTimer> mouseTimer;

constexpr TShiftState ShiftKeys = ssShift | ssAlt | ssCtrl;

TRGBQuad ColorToQuad(TColor Color) {
    const uint32_t c = uint32_t(ColorToRGB(Color));
    return RGBQuad(uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16));
}

TGlyphColors SystemGlyphColors() {
    return {ColorToQuad(clBtnFace), ColorToQuad(clBtnHighlight), ColorToQuad(clBtnShadow)};
}

}  // namespace

TDockButton* TDockButton::ButtonMouseInControl() { return mouseInControl; }
TTimer* TDockButton::ButtonMouseTimer() { return mouseTimer.get(); }

// ---- Actions ----

TAction::~TAction() {
    while (!links_.empty()) links_.back()->SetAction(nullptr);
}

// The links hear of a change before the action takes it: a button follows while its value
// is the action's.
void TAction::SetChecked(bool Value) {
    for (TDockButtonActionLink* link : links_) link->SetChecked(Value);
    checked_ = Value;
}

void TAction::SetHelpContext(int32_t Value) {
    for (TDockButtonActionLink* link : links_) link->SetHelpContext(Value);
    helpContext_ = Value;
}

void TAction::SetImageIndex(int32_t Value) {
    for (TDockButtonActionLink* link : links_) link->SetImageIndex(Value);
    imageIndex_ = Value;
}

void TDockButtonActionLink::SetAction(TAction* Value) {
    if (action_ == Value) return;
    if (action_) std::erase(action_->links_, this);
    action_ = Value;
    if (action_) action_->links_.push_back(this);
}

bool TDockButtonActionLink::IsCheckedLinked() const { return action_ && client_.Down() == action_->Checked(); }
bool TDockButtonActionLink::IsHelpContextLinked() const {
    return action_ && client_.HelpContext == action_->HelpContext();
}
bool TDockButtonActionLink::IsImageIndexLinked() const {
    return action_ && client_.ImageIndex() == action_->ImageIndex();
}

void TDockButtonActionLink::SetChecked(bool Value) {
    if (IsCheckedLinked()) client_.SetDown(Value);
}
void TDockButtonActionLink::SetHelpContext(int32_t Value) {
    if (IsHelpContextLinked()) client_.HelpContext = Value;
}
void TDockButtonActionLink::SetImageIndex(int32_t Value) {
    if (IsImageIndexLinked()) client_.SetImageIndex(Value);
}

void TDockButton::SetAction(TAction* Value) {
    if (!Value) {
        actionLink_.reset();
        return;
    }
    if (!actionLink_) actionLink_ = std::make_unique<TDockButtonActionLink>(*this);
    actionLink_->SetAction(Value);
    ActionChange(*Value);
}

void TDockButton::AssignTo(TAction& Dest) const { Dest.SetChecked(down_); }

void TDockButton::ActionChange(TAction& Sender) {
    SetDown(Sender.Checked());
    HelpContext = Sender.HelpContext();
    if (ImageIndex() == -1) SetImageIndex(Sender.ImageIndex());
}

// ---- Life ----

TDockButton::TDockButton() {
    ControlStyle = csCaptureMouse | csOpaque | csDoubleClicks;
    SetBounds(0, 0, 23, 22);
    glyph_.SetColors(SystemGlyphColors());
    glyph_.OnChange = [this] { Redraw(); };
    if (buttonCount++ == 0) {
        mouseTimer = std::make_unique<TTimer>();
        mouseTimer->SetEnabled(false);
        mouseTimer->SetInterval(MouseTimerInterval);
        mouseTimer->OnTimer = [] {
            if (mouseInControl) mouseInControl->UpdateTracking();
        };
    }
    InstallHookProc(HookProc, HookCode(THookProcCode::hpActivateApp) | HookCode(THookProcCode::hpMouseMovePosted));
}

TDockButton::~TDockButton() {
    if (mouseInControl == this) {
        mouseInControl = nullptr;
        mouseTimer->SetEnabled(false);
    }
    UninstallHookProc(HookProc);
    actionLink_.reset();
    if (--buttonCount == 0) mouseTimer.reset();
}

void TDockButton::HookProc(THookProcCode Code, TWindowHandle, uintptr_t WParam, intptr_t) {
    TDockButton* button = mouseInControl;
    if (!button) return;
    // The application going inactive, or a mouse move anywhere but over the button (the forms
    // know where the pointer is by the time they raise the move).
    if (Code == THookProcCode::hpActivateApp ? WParam == 0 && !button->showBorderWhenInactive_
                                             : Code == THookProcCode::hpMouseMovePosted && !button->MouseInControl() &&
                                                   !button->mouseIsDown_)
        button->MouseLeft();
}

// ---- Hover ----

void TDockButton::MouseEntered() {
    if (!Enabled() || mouseInControl == this) return;
    if (!ApplicationIsActive() && !showBorderWhenInactive_) return;
    if (mouseInControl) mouseInControl->MouseLeft();
    mouseInControl = this;
    mouseTimer->SetEnabled(false);
    mouseTimer->SetEnabled(true);
    mouseInControl_ = true;
    if (OnMouseEnter) OnMouseEnter(this);
    if (state_ == TButtonState::bsUp) state_ = TButtonState::bsMouseIn;
    Redraw();
}

void TDockButton::MouseLeft() {
    if (mouseInControl == this) {
        mouseInControl = nullptr;
        mouseTimer->SetEnabled(false);
    }
    if (!mouseInControl_) return;
    mouseInControl_ = false;
    if (OnMouseExit) OnMouseExit(this);
    if (state_ == TButtonState::bsMouseIn) state_ = RestingState();
    Redraw();
}

void TDockButton::UpdateTracking() {
    if (MouseInControl() && Enabled())
        MouseEntered();
    else
        MouseLeft();
}

void TDockButton::MouseEnter() { MouseEntered(); }

void TDockButton::MouseLeave() {
    TGraphicControl::MouseLeave();
    if (!mouseIsDown_) MouseLeft();
}

// ---- Mouse ----

void TDockButton::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    if (Button != TMouseButton::mbLeft || !Enabled()) {
        TGraphicControl::MouseDown(Button, Shift, X, Y);
        return;
    }
    MouseEntered();
    TGraphicControl::MouseDown(Button, Shift, X, Y);
    menuIsDown_ = UsesDropdown() && (!dropdownCombo_ || X >= Width() - (dropdownArrowWidth_ + 2));
    if (!down_) state_ = TButtonState::bsDown;
    Redraw();
    if (!menuIsDown_) {
        mouseIsDown_ = true;
        dragInside_ = true;
    }
    if (menuIsDown_) {
        Click();
    } else if (Repeating) {
        Click();
        if (!repeatTimer_) {
            repeatTimer_ = std::make_unique<TTimer>();
            repeatTimer_->OnTimer = [this] { RepeatTimerExpired(); };
        }
        repeatTimer_->SetEnabled(false);
        repeatTimer_->SetInterval(RepeatDelay);
        repeatTimer_->SetEnabled(true);
    }
}

void TDockButton::RepeatTimerExpired() {
    repeatTimer_->SetInterval(RepeatInterval);
    if (mouseIsDown_ && dragInside_) Click();
}

void TDockButton::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
    TGraphicControl::MouseMove(Shift, X, Y);
    if (!mouseIsDown_) return;
    dragInside_ = X >= 0 && Y >= 0 && X < Width() && Y < Height();
    const TButtonState state =
        down_ ? TButtonState::bsExclusive : dragInside_ ? TButtonState::bsDown : TButtonState::bsUp;
    if (state != state_) {
        state_ = state;
        Redraw();
    }
}

void TDockButton::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    TGraphicControl::MouseUp(Button, Shift, X, Y);
    if (Button != TMouseButton::mbLeft || !mouseIsDown_) return;
    mouseIsDown_ = false;
    if (repeatTimer_) repeatTimer_->SetEnabled(false);
    const bool inside = X >= 0 && Y >= 0 && X < Width() && Y < Height();
    if (inside && !Repeating) {
        Click();
    } else {
        if (state_ == TButtonState::bsDown || state_ == TButtonState::bsUp) state_ = RestingState();
        Redraw();
    }
    UpdateTracking();
}

void TDockButton::CaptureLost() {
    if (!mouseIsDown_) return;
    mouseIsDown_ = false;
    if (repeatTimer_) repeatTimer_->SetEnabled(false);
    state_ = RestingState();
    Redraw();
}

void TDockButton::Click() {
    inClick_ = true;
    const bool arrow = menuIsDown_;
    try {
        if (groupIndex_ != 0 && !arrow) SetDown(!down_);
        if (!UsesDropdown() || (dropdownCombo_ && !arrow)) {
            if (TWidgetForm* form = Form(); form && form != Parent()) form->ModalResult = ModalResult;
            TGraphicControl::Click();
        } else {
            if (!dropdownCombo_) TGraphicControl::Click();
            Dropdown();
        }
    } catch (...) {
        inClick_ = false;
        menuIsDown_ = false;
        throw;
    }
    inClick_ = false;
    menuIsDown_ = false;
    // A press that is over (a released click, a closed menu) leaves the button at rest.
    if (!mouseIsDown_ && state_ == TButtonState::bsDown) state_ = RestingState();
    Redraw();
}

void TDockButton::DblClick() {
    if (down_) TGraphicControl::DblClick();
}

// ---- Drop-down ----

void TPopupMenu::Popup(const TPopupPlacement& Placement) {
    if (OnPopup) OnPopup(*this, Placement);
}

void TDockButton::Dropdown() {
    bool showMenu = dropdownMenu_ != nullptr, removeClicks = true;
    if (OnDropdown) OnDropdown(this, showMenu, removeClicks);
    if (showMenu && dropdownMenu_) {
        // Below the button, or beside it when its tool window is docked on a side.
        const auto* window = dynamic_cast<const TCustomDockWindow*>(Parent());
        const TPoint topLeft = window    ? window->ClientToScreen({Left(), Top()})
                               : Parent() ? Parent()->ClientToForm({Left(), Top()})
                                          : TPoint{Left(), Top()};
        const TDockSite* dock = window ? window->DockedTo() : nullptr;
        const TDockPosition position = dock ? dock->Position() : dpTop;
        dropdownMenu_->PopupComponent = this;
        dropdownMenu_->Popup(DropdownPopupPlacement({topLeft.X, topLeft.Y, topLeft.X + Width(), topLeft.Y + Height()},
                                                    dock ? &position : nullptr));
    }
    if (removeClicks) RemovePendingClicks();
}

void TDockButton::RemovePendingClicks() {
    // Mouse-button messages waiting for the button's window: those on the button go, the others
    // are posted again in their order.
    const TWinControl* parent = Parent();
    if (!parent) return;
    const TRect r = BoundsRect();
    const std::vector<platform::QueuedMessage> taken = platform::MainQueue().TakeMessages(
        [](const platform::QueuedMessage& M) { return M.message >= WM_LBUTTONDOWN && M.message <= WM_MBUTTONDBLCLK; });
    for (const platform::QueuedMessage& m : taken) {
        const int32_t x = int16_t(m.lParam & 0xFFFF), y = int16_t(m.lParam >> 16 & 0xFFFF);
        const bool onButton = m.target == parent->Handle() && x >= r.Left && y >= r.Top && x < r.Right && y < r.Bottom;
        if (!onButton) platform::MainQueue().Post(m.target, m.message, m.wParam, m.lParam);
    }
}

// ---- Groups ----

void TDockButton::SetDown(bool Value) {
    if (groupIndex_ == 0) Value = false;
    if (Value == down_) return;
    if (down_ && !allowAllUp_) return;
    down_ = Value;
    state_ = RestingState();
    Redraw();
    if (Value) UpdateExclusive();
}

void TDockButton::SetAllowAllUp(bool Value) {
    if (allowAllUp_ == Value) return;
    allowAllUp_ = Value;
    UpdateExclusive();
}

void TDockButton::SetGroupIndex(int32_t Value) {
    if (groupIndex_ == Value) return;
    groupIndex_ = Value;
    UpdateExclusive();
}

void TDockButton::UpdateExclusive() {
    if (groupIndex_ == 0 || !Parent()) return;
    for (TControl* control : Parent()->Controls())
        if (auto* button = dynamic_cast<TDockButton*>(control); button && button != this) button->ButtonPressed(*this);
}

void TDockButton::ButtonPressed(TDockButton& Sender) {
    if (Sender.groupIndex_ != groupIndex_) return;
    if (Sender.down_ && down_) {
        down_ = false;
        state_ = RestingState();
        Redraw();
    }
    allowAllUp_ = Sender.allowAllUp_;
}

void TDockButton::SetParent(TWinControl* NewParent) {
    TGraphicControl::SetParent(NewParent);
    UpdateExclusive();
}

// ---- Enabled, keys ----

void TDockButton::SetEnabled(bool Value) {
    if (Value == Enabled()) return;
    TGraphicControl::SetEnabled(Value);
    if (!Value) {
        state_ = TButtonState::bsDisabled;
        if (mouseInControl == this) {
            mouseInControl = nullptr;
            mouseTimer->SetEnabled(false);
        }
        mouseInControl_ = false;
        mouseIsDown_ = false;
        if (repeatTimer_) repeatTimer_->SetEnabled(false);
        if (MouseCapture()) SetMouseCapture(false);
    } else {
        state_ = RestingState();
    }
    Redraw();
}

bool TDockButton::DialogKey(int32_t Key, TShiftState Shift) {
    const bool pressed = (Key == VK_RETURN && Default) || (Key == VK_ESCAPE && Cancel);
    if (!pressed || (Shift & ShiftKeys) != 0) return false;
    if (!Parent() || !Parent()->CanFocus() || !Enabled() || !Visible()) return false;
    Click();
    return true;
}

bool TDockButton::DialogChar(char Key) {
    if (displayMode_ == TButtonDisplayMode::dmGlyphOnly || Key == 0 || AcceleratorOf(Caption()) != Key) return false;
    if (!Parent() || !Parent()->CanFocus() || !Enabled() || !Visible()) return false;
    Click();
    return true;
}

// ---- Properties ----

namespace {

template <typename T>
bool Store(T& Field, const T& Value) {
    if (Field == Value) return false;
    Field = Value;
    return true;
}

}  // namespace

void TDockButton::SetAlignment(TAlignment Value) {
    if (Store(alignment_, Value)) Redraw();
}
void TDockButton::SetDisplayMode(TButtonDisplayMode Value) {
    if (Store(displayMode_, Value)) Redraw();
}
void TDockButton::SetDropdownAlways(bool Value) {
    if (Store(dropdownAlways_, Value)) Redraw();
}
void TDockButton::SetDropdownArrow(bool Value) {
    if (Store(dropdownArrow_, Value)) Redraw();
}
void TDockButton::SetDropdownArrowWidth(int32_t Value) {
    if (Store(dropdownArrowWidth_, Value)) Redraw();
}
void TDockButton::SetDropdownCombo(bool Value) {
    if (Store(dropdownCombo_, Value)) Redraw();
}
void TDockButton::SetDropdownMenu(TPopupMenu* Value) {
    if (Store(dropdownMenu_, Value)) Redraw();
}
void TDockButton::SetFlat(bool Value) {
    if (Store(flat_, Value)) Redraw();
}
void TDockButton::SetHighlightWhenDown(bool Value) {
    if (Store(highlightWhenDown_, Value)) Redraw();
}
void TDockButton::SetLayout(TButtonLayout Value) {
    if (Store(layout_, Value)) Redraw();
}
void TDockButton::SetMargin(int32_t Value) {
    if (Store(margin_, Value)) Redraw();
}
void TDockButton::SetNoBorder(bool Value) {
    if (Store(noBorder_, Value)) Redraw();
}
void TDockButton::SetOpaque(bool Value) {
    if (Store(opaque_, Value)) {
        ControlStyle = Value ? ControlStyle | csOpaque : ControlStyle & ~csOpaque;
        Redraw();
    }
}
void TDockButton::SetShowBorderWhenInactive(bool Value) {
    if (Store(showBorderWhenInactive_, Value)) Redraw();
}
void TDockButton::SetSpacing(int32_t Value) {
    if (Store(spacing_, Value)) Redraw();
}
void TDockButton::SetWordWrap(bool Value) {
    if (Store(wordWrap_, Value)) Redraw();
}
void TDockButton::SetCaption(const std::string& Value) {
    TGraphicControl::SetCaption(Value);
    Redraw();
}

void TDockButton::SysColorChange() {
    glyph_.SetColors(SystemGlyphColors());
    Redraw();
}

void TDockButton::Redraw() { Invalidate(); }

// ---- Painting ----

void TDockButton::PaintArrow(TWidgetCanvas& Canvas, int32_t X, int32_t Y, bool Disabled, TColor Color) {
    const auto triangle = [&](int32_t AX, int32_t AY, TColor C) {
        for (int32_t row = 0; row < 3; ++row) Canvas.HLine(AX + row, AX + 5 - row, AY + row, C);
    };
    if (Disabled) {
        triangle(X + 1, Y + 1, clBtnHighlight);
        triangle(X, Y, clBtnShadow);
    } else {
        triangle(X, Y, Color);
    }
}

void TDockButton::Paint(TWidgetCanvas& Canvas) {
    const bool enabled = Enabled();
    const TButtonState state = enabled ? state_ : TButtonState::bsDisabled;
    const bool pushed = state == TButtonState::bsDown || state == TButtonState::bsExclusive;
    const bool combo = UsesDropdown() && dropdownCombo_;
    const int32_t arrowPart = dropdownArrowWidth_ + 2;
    if (opaque_ || !flat_) Canvas.FillRect({0, 0, Width(), Height()}, Color());

    // The main part, narrowed by a combo button's arrow part; while the menu of a combo is down
    // only the arrow part is pushed.
    TRect main{0, 0, Width() - (combo ? arrowPart : 0), Height()};
    const bool mainPushed = pushed && !(combo && menuIsDown_);
    const bool border =
        !noBorder_ && (!flat_ || pushed || (mouseInControl_ && enabled));
    const auto edge = [&](TRect R, bool Pushed) {
        if (flat_)
            DrawEdge(Canvas, R, Pushed ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
        else
            DrawEdge(Canvas, R, Pushed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_SOFT | BF_MIDDLE);
    };
    if (border) {
        edge(main, mainPushed);
        if (combo) edge({main.Right, 0, Width(), Height()}, menuIsDown_);
    }

    TRect content = main;
    if (!noBorder_) {
        const int32_t inset = flat_ ? 1 : 2;
        content = {content.Left + inset, content.Top + inset, content.Right - inset, content.Bottom - inset};
    }
    const TPoint offset = mainPushed ? TPoint{1, 1} : TPoint{0, 0};
    if (state == TButtonState::bsExclusive && highlightWhenDown_ && !(flat_ && mouseInControl_))
        FillCheckered(Canvas, content, clBtnFace, clBtnHighlight);

    // Glyph, caption and a plain drop-down button's arrow.
    TButtonContentSizes sizes;
    sizes.Layout = layout_;
    sizes.Margin = margin_;
    sizes.Spacing = spacing_;
    if (displayMode_ != TButtonDisplayMode::dmTextOnly && glyph_.HasGlyph()) sizes.Glyph = glyph_.GlyphSize();
    const bool plainArrow = UsesDropdown() && !dropdownCombo_ && dropdownArrow_;
    if (plainArrow) sizes.Arrow = {dropdownArrowWidth_, 3};
    Canvas.Font = Font();
    const uint32_t lineFlags = wordWrap_ ? DT_WORDBREAK : DT_SINGLELINE;
    TPoint text{0, 0};
    const bool drawCaption = displayMode_ != TButtonDisplayMode::dmGlyphOnly && !Caption().empty();
    if (drawCaption) {
        TRect measure{0, 0, CaptionMeasureWidth(content.Right - content.Left, sizes, wordWrap_), 0};
        DrawText(Canvas, Caption(), measure, DT_CALCRECT | lineFlags);
        text = {measure.Right - measure.Left, measure.Bottom - measure.Top};
    }
    const TButtonContent placed = CalcButtonLayout(content, offset, sizes, text);
    if (sizes.Glyph.X != 0) glyph_.DrawGlyph(Canvas, placed.GlyphPos.X, placed.GlyphPos.Y, state);
    if (drawCaption) {
        const uint32_t align = alignment_ == TAlignment::taLeftJustify    ? DT_LEFT
                               : alignment_ == TAlignment::taRightJustify ? DT_RIGHT
                                                                          : DT_CENTER;
        TRect bounds = placed.TextBounds;
        if (enabled)
            DrawText(Canvas, Caption(), bounds, align | DT_VCENTER | lineFlags);
        else
            DrawDisabledText(Canvas, Caption(), bounds, align | DT_VCENTER | lineFlags);
    }
    const TColor fontColor = Font().Color;
    if (plainArrow)
        PaintArrow(Canvas, placed.ArrowPos.X, placed.ArrowPos.Y, !enabled, fontColor);
    else if (combo && dropdownArrow_) {
        const int32_t shift = menuIsDown_ ? 1 : 0;
        PaintArrow(Canvas, main.Right + (arrowPart - 5) / 2 + shift, Height() / 2 - 1 + shift, !enabled, fontColor);
    }
}
