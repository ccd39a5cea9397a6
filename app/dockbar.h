#pragma once
// The toolbar: a tool window holding buttons and other controls in a row, in the order they were
// put on it, wrapped into rows when floating; and the separator between groups of buttons.
#include "app/dockbarflow.h"
#include "app/dockwindow.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class TCustomDockBar : public TCustomDockWindow {
public:
    TCustomDockBar();
    ~TCustomDockBar() override;

    // The floating wrap width; 0 never wraps.
    int32_t FloatRightX() const { return floatRightX_; }
    void SetFloatRightX(int32_t Value);
    // A pair of controls of which TopBottom shows on a horizontal toolbar and LeftRight on a
    // vertical one.
    void SetSlaveControl(TControl* TopBottom, TControl* LeftRight);
    // The controls in toolbar order.
    const std::vector<TControl*>& OrderList();
    // Sorts the order list by the controls' places (Left on a horizontal toolbar, Top on a
    // vertical one), as after loading a form.
    void SortOrderListByPosition();
    // The etched lines of the last floating arrangement.
    const std::vector<TDockBarLineSep>& LineSeps() const { return lineSeps_; }
    // The client sizes the toolbar may take floating, widest first.
    std::vector<TPoint> FloatingSizes();

    int32_t BaseSize(TDockType Type) override;
    void ResizeBegin(TFloatingHit Edge) override;
    TPoint ResizeTrack(TFloatingHit Edge, TPoint Proposed) override;
    void ResizeEnd(TPoint Size) override;
    void ReadPositionData(const TPositionReadIntProc& ReadIntProc, void* ExtraData) override;
    void WritePositionData(const TPositionWriteIntProc& WriteIntProc, void* ExtraData) override;
    void Paint(TWidgetCanvas& Canvas) override;
    // A control joins the end of the order (leaving its earlier place) or leaves it.
    void ControlListChange(TControl* Control, bool Inserting) override;

protected:
    TPoint OrderControls(bool Measure, TDockType Type) override;

private:
    // The controls arranged for a dock type, and their flow items.
    std::vector<TControl*> TakenControls(bool Measure, TDockType Type);
    std::vector<TDockBarFlowItem> FlowItems(const std::vector<TControl*>& Controls, TDockType Type) const;
    void CleanOrderList();

    int32_t floatRightX_ = 0;
    bool orderListDirty_ = false;
    std::vector<std::pair<TControl*, TControl*>> slaves_;
    std::vector<TDockBarLineSep> lineSeps_;
    std::vector<TControl*> orderList_;
    // The resize in progress: the sizes and the snap zone worked out when it started.
    std::vector<TPoint> resizeSizes_;
    int32_t resizeCurrent_ = -1, resizeZone_ = 0;
};

class TDockBar : public TCustomDockBar {};

class TDockBarSep : public TGraphicControl {
public:
    TDockBarSep();
    bool Blank() const { return blank_; }
    void SetBlank(bool Value);
    int32_t SizeHorz() const { return sizeHorz_; }
    void SetSizeHorz(int32_t Value);
    int32_t SizeVert() const { return sizeVert_; }
    void SetSizeVert(int32_t Value);
    // Only a TCustomDockBar (or none); anything else raises EInvalidOperation.
    void SetParent(TWinControl* NewParent) override;
    void Paint(TWidgetCanvas& Canvas) override;
    // A press acts as one on the toolbar at the same place.
    void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;

private:
    bool blank_ = false;
    int32_t sizeHorz_ = 6, sizeVert_ = 6;
};
