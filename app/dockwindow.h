#pragma once
// The tool window: docked on a dock with its own frame (drag handle, grips, close button), or
// floating in a floating parent that follows the form it belongs to. Docking and floating go
// through SetParent. The floating parent is a model (bounds, owner, visibility, z-order, kept
// on the screen): no window of the window system is made for it. The drag and resize loops are
// state machines fed with mouse and key events; they answer the target dock, the row and the
// outline, which is not drawn on the desktop.
#include "app/docksite.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TFloatingWindowParent;
class TDockDragLoop;
class TDockResizeLoop;

enum TDockMode : uint8_t { dmCanFloat, dmCannotFloat, dmCannotFloatOrChangeDocks };
enum TFloatingMode : uint8_t { fmOnTopOfParentForm, fmOnTopOfAllForms };
enum TDockBorderStyle : uint8_t { bsNone, bsSingle };

// The callbacks of the position data a tool window keeps in its form's settings.
using TPositionReadIntProc = std::function<int32_t(const std::string& ToolWindowName, const std::string& Value,
                                                   int32_t Default, void* ExtraData)>;
using TPositionWriteIntProc = std::function<void(const std::string& ToolWindowName, const std::string& Value,
                                                 int32_t Data, void* ExtraData)>;

class TCustomDockWindow : public TWinControl {
public:
    TCustomDockWindow();
    ~TCustomDockWindow() override;

    // ---- Properties ----
    TDockBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TDockBorderStyle Value);
    bool CloseButton() const { return closeButton_; }
    void SetCloseButton(bool Value);
    bool CloseButtonWhenDocked() const { return closeButtonWhenDocked_; }
    void SetCloseButtonWhenDocked(bool Value);
    TDockSite* DefaultDock() const { return defaultDock_; }
    void SetDefaultDock(TDockSite* Value) { defaultDock_ = Value; }
    TDockableTo DockableTo = AllDockPositions;
    // The dock the window is on; nullptr when floating or without a parent.
    TDockSite* DockedTo() const { return docked_ ? dockedTo_ : nullptr; }
    // Docks on Value; nullptr floats the window on its form, which must exist.
    void SetDockedTo(TDockSite* Value);
    TDockMode DockMode = dmCanFloat;
    int32_t DockPos() const { return dockPos_; }
    void SetDockPos(int32_t Value);
    int32_t DockRow() const { return dockRow_; }
    void SetDockRow(int32_t Value);
    TDragHandleStyle DragHandleStyle() const { return dragHandleStyle_; }
    void SetDragHandleStyle(TDragHandleStyle Value);
    TFloatingMode FloatingMode() const { return floatingMode_; }
    void SetFloatingMode(TFloatingMode Value);
    bool FullSize() const { return fullSize_; }
    void SetFullSize(bool Value);
    bool HideWhenInactive() const { return hideWhenInactive_; }
    void SetHideWhenInactive(bool Value);
    TDockSite* LastDock() const { return lastDock_; }
    void SetLastDock(TDockSite* Value);
    bool ShowCaption() const { return showCaption_; }
    void SetShowCaption(bool Value);
    bool UseLastDock() const { return useLastDock_; }
    void SetUseLastDock(bool Value);
    // A floating window's border can be dragged.
    bool Resizable = true;
    std::string Version() const { return DockBarVersion; }
    void SetVersion(const std::string&) {}

    // ---- Events ----
    TNotifyEvent OnClose, OnDockChanged, OnDockChanging, OnMove, OnRecreated, OnRecreating, OnResize,
        OnVisibleChanged;
    std::function<void(TControl* Sender, bool& CanClose)> OnCloseQuery;
    std::function<void(TControl* Sender, TDockSite* DockingTo)> OnDockChangingEx;

    // ---- State ----
    bool Docked() const { return docked_; }
    bool Floating() const { return floatingParent_ != nullptr; }
    // The form the window belongs to: its dock's form, or the form it floats for.
    TWidgetForm* ParentForm() const;
    TFloatingWindowParent* FloatingParent() const { return floatingParent_; }
    // Where the floating window was last (desktop coordinates).
    TPoint FloatingPosition() const { return floatingPosition_; }
    void SetFloatingPosition(TPoint Value);
    // Every floating tool window.
    static const std::vector<TCustomDockWindow*>& FloatingList();

    // Forms besides the parent form whose docks the window may be dragged to; a form freed
    // leaves the list.
    void AddDockForm(TWidgetForm* Form);
    void RemoveDockForm(TWidgetForm* Form);
    const std::vector<TWidgetForm*>& DockForms() const { return dockForms_; }
    // A form is about to go: it leaves the dock forms and stops owning the floating window.
    void FormGone(TWindowHandle Form);

    // ---- Sizes ----
    // The size of the content (the client area) for a dock type; dtNotDocked is floating.
    TPoint ContentSize(TDockType Type) { return OrderControls(true, Type); }
    // The content's thickness across a row of a dock of this type.
    virtual int32_t BaseSize(TDockType Type);
    // The outer size docked on a dock (its handle counted) or floating.
    TPoint DockedSize(const TDockSite& Dock);
    TPoint FloatingSize();
    // Lays the content out and takes the size it needs.
    void Arrange();
    // The frames, in window coordinates.
    TDockedFrame DockedFrameNow() const;
    TFloatingFrame FloatingFrameNow() const;

    // ---- Floating resize ----
    // The resize loop starts (Edge: which edge or corner); the size a proposed outer size
    // becomes (the default keeps it within 1 x 1 .. 32767 x 32767).
    virtual void ResizeBegin(TFloatingHit Edge);
    virtual TPoint ResizeTrack(TFloatingHit Edge, TPoint Proposed);
    // The resize was accepted at an outer size.
    virtual void ResizeEnd(TPoint Size);
    // A floating window pushed into the screen's work area (see MoveOnScreen of app/dockframe.h).
    void MoveOnScreen(bool OnlyWhenFullyOff = false);

    // ---- Position data ----
    virtual void ReadPositionData(const TPositionReadIntProc& ReadIntProc, void* ExtraData);
    virtual void WritePositionData(const TPositionWriteIntProc& WriteIntProc, void* ExtraData);

    // ---- The loops ----
    // The drag or resize running now; nullptr when none.
    TDockDragLoop* DragLoop() const { return dragLoop_.get(); }
    TDockResizeLoop* ResizeLoop() const { return resizeLoop_.get(); }
    // Keys while a loop runs (Escape cancels, Ctrl re-evaluates a drag).
    void LoopKeyDown(int32_t Key);
    void LoopKeyUp(int32_t Key);
    // A floating window back on its last dock (else its default one); a docked one floats.
    void DoubleClickDock();
    // The close button: OnCloseQuery, then hidden and OnClose.
    void CloseWindow();
    bool CloseButtonPushed() const { return closePushed_; }
    // Whether the floating caption shows active.
    bool CaptionActive() const { return captionActive_; }
    void SetCaptionActive(bool Value);

    // ---- Control ----
    // A TDockSite docks, a form floats, nullptr removes; anything else raises EInvalidOperation.
    void SetParent(TWinControl* NewParent) override;
    TRect NonClientMargins() const override;
    void PaintNonClient(TWidgetCanvas& Canvas) override;
    void EraseBackground(TWidgetCanvas& Canvas) override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
    void DblClick() override;
    void CaptureLost() override;
    // Shows or hides the window, keeping its dock's rows and its floating parent in step.
    void SetVisible(bool Value) override;
    void ControlChange(TControl* Control) override;
    // After the size changed: OnResize.
    void Resize() override;

    // A point of the client area on the desktop, and back.
    TPoint ClientToScreen(TPoint P) const;
    TPoint ScreenToClient(TPoint P) const;

    // The dock type the content is laid out for now.
    TDockType CurrentDockType() const;

protected:
    // The content is laid out for a dock type: Measure only computes the size.
    virtual TPoint OrderControls(bool Measure, TDockType Type);

private:
    friend class TDockSite;
    friend class TDockDragLoop;
    friend class TDockResizeLoop;
    friend class TFloatingWindowParent;
    // Every tool window there is.
    static const std::vector<TCustomDockWindow*>& AllWindows();
    // A dock is freed: the window forgets it.
    void DockGone(TDockSite* Dock);
    // Whether a press at a window point starts a drag: the handle or the floating caption, or
    // the client area where no child control is.
    bool InDragArea(TPoint WindowPoint) const;
    // The client area in window coordinates.
    TRect ClientBox() const;
    // The floating parent takes the window's outer size.
    void SizeFloatingParent();

    TDockBorderStyle borderStyle_ = bsSingle;
    bool closeButton_ = true, closeButtonWhenDocked_ = false, fullSize_ = false, hideWhenInactive_ = true,
         showCaption_ = true, useLastDock_ = true;
    TDockSite *defaultDock_ = nullptr, *dockedTo_ = nullptr, *lastDock_ = nullptr;
    bool docked_ = false;
    int32_t dockPos_ = -1, dockRow_ = 0;
    TDragHandleStyle dragHandleStyle_ = dhDouble;
    TFloatingMode floatingMode_ = fmOnTopOfParentForm;
    TFloatingWindowParent* floatingParent_ = nullptr;
    TPoint floatingPosition_{0, 0};
    std::vector<TWidgetForm*> dockForms_;
    std::unique_ptr<TDockDragLoop> dragLoop_;
    std::unique_ptr<TDockResizeLoop> resizeLoop_;
    bool closePushed_ = false, closeTracking_ = false, captionActive_ = false, downInDragArea_ = false;
    int32_t arranging_ = 0;
};

// The borderless tool form a floating window sits in. It follows the form the window belongs
// to: shown only while the window is visible, that form is visible and not minimised, the
// application is not minimised and (with HideWhenInactive) active.
class TFloatingWindowParent : public TWidgetForm {
public:
    // Made for ParentForm; its name is "DockFloatingWindowParent_%.8x" of its address.
    explicit TFloatingWindowParent(TWidgetForm* ParentForm);
    ~TFloatingWindowParent() override;

    TWidgetForm* ParentForm() const { return parentForm_; }
    // The tool window inside (nullptr before it is placed).
    TCustomDockWindow* ToolWindow() const;
    // Whether it is shown by the rules.
    bool Shown() const { return shown_; }
    // Above every other window (fmOnTopOfAllForms while enabled), or the owner's topmost state.
    bool Topmost() const;
    // Re-evaluates the shown state, the owner and the place in the z-order.
    void UpdateVisibility();
    // Escape (without shift keys) is passed to the parent form.
    bool DialogKey(int32_t Key, TShiftState Shift) override;

private:
    friend class TCustomDockWindow;
    TWidgetForm* parentForm_;
    bool shown_ = false, topmost_ = false;
};

// The shown floating parents, bottom first: topmost ones above the others, each shown window
// just above the last one its owner owns.
const std::vector<TFloatingWindowParent*>& FloatingZOrder();
// Minimised states the floating windows follow.
void SetApplicationMinimized(bool Minimized);
bool ApplicationMinimized();
void SetFormMinimized(TWidgetForm* Form, bool Minimized);
bool FormMinimized(const TWidgetForm* Form);
// Re-evaluates every floating window's shown state (after activation or a form's change).
void UpdateFloatingVisibility();

// Dragging a tool window by its handle or floating caption.
class TDockDragLoop {
public:
    // Starts at a desktop point; the candidate docks are collected from the window's parent
    // form first, then from its further dock forms.
    TDockDragLoop(TCustomDockWindow& Window, TPoint GrabScreen);

    // Events, desktop coordinates.
    void MouseMove(TPoint Screen, bool Ctrl);
    void CtrlChanged(bool Ctrl);
    // Accepts the drop and applies it.
    void LeftButtonUp();
    // Left press, double click, Escape or lost capture: ends without a change.
    void Cancel();

    bool Running() const { return running_; }
    bool Accepted() const { return accepted_; }
    const std::vector<TDockSite*>& Candidates() const { return candidates_; }
    // The dock a drop goes to now (nullptr: floating).
    TDockSite* Target() const { return target_; }
    // The outline (desktop coordinates), its thickness and whether it shows; the no-entry cursor
    // shows while the window may not float and no dock takes it.
    TRect Outline() const { return outline_; }
    int32_t OutlineThickness() const;
    bool OutlineVisible() const { return outlineVisible_; }
    bool NoEntryCursor() const { return !outlineVisible_; }
    // The row and new-row answer a drop at the outline's centre would take on the target.
    TDockRowHit TargetRow() const;

private:
    void Evaluate();
    // The dock on the desktop; an empty one counts as 1 pixel thick.
    TRect DockScreenRect(const TDockSite& Dock) const;
    TCustomDockWindow& window_;
    std::vector<TDockSite*> candidates_;
    TPoint cursor_{0, 0};
    TPoint grabOffset_{0, 0};  // the grab point in the window when grabbed
    TPoint grabSize_{1, 1};  // the window's size when grabbed
    bool ctrl_ = false, running_ = true, accepted_ = false, outlineVisible_ = true;
    TDockSite* target_ = nullptr;
    TRect outline_{0, 0, 0, 0};
};

// Resizing a floating window by an edge or corner.
class TDockResizeLoop {
public:
    TDockResizeLoop(TCustomDockWindow& Window, TFloatingHit Edge, TPoint StartScreen);
    void MouseMove(TPoint Screen);
    void LeftButtonUp();
    void Cancel();
    bool Running() const { return running_; }
    TRect Outline() const { return outline_; }
    TFloatingHit Edge() const { return edge_; }

private:
    TCustomDockWindow& window_;
    TFloatingHit edge_;
    TPoint start_;
    TRect startBounds_, outline_;
    bool running_ = true;
};

// The floating caption painted with fixed metrics: filled in the active or inactive caption
// colour, its text cut with "..." to fit, the close button (pushed or not) at its right.
void PaintFloatingCaption(TWidgetCanvas& Canvas, const TFloatingFrame& Frame, const std::string& Text,
                          bool Active, bool ClosePushed);
// The caption close glyph in a square (pushed: sunken, the cross moved by (1, 1)).
void DrawCloseGlyph(TWidgetCanvas& Canvas, const TRect& R, bool Pushed);
