// The page flip: the back layer, on which the script built the next screen, becomes the shown
// one, over several ticks through a transition of the chosen type, optionally over a snapshot
// of the old screen, carrying chosen objects across and clearing the old layer afterwards.
#include "media/screenman.h"
#include "objects/vitemex_image.h"
#include "objects/vitems.h"
#include "objects/vitems_kinds.h"
#include "script/commands_objects.h"
#include "script/pages.h"
#include "script/services.h"
#include "text/wipes.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

namespace {

// Mask names are stored from this page version on, the wipe's option from 117.
constexpr int32_t MaskNameVersion = 101, WipeOptionVersion = 117;
// Wipe types above this one give no transition.
constexpr int32_t LastWipeType = 38;
// The snapshot of the old screen: a name no script can type.
const std::string SnapshotName = "\x01\x01";

// Record: wipe type, time (ms), reverse, keep mode, u32 count and the name-list expressions,
// clear old layer, wipe parameters 0 and 1, mask name (from 101), hold events (from 107), the
// wipe's option (from 117). The flip stays two ticks, then runs the transition for its time of
// loop time and finishes.
class TComFlip : public TCommand {
public:
    using TCommand::TCommand;
    uint8_t GetOpcode() const override { return cmFlip; }
    bool CanInterrupt() const override { return hold_; }
    bool IsEventPoint() const override { return time_.Result() && time_.Result()->AsInt() > 0; }
    void LoadFromStream(TStream& Stream) override;
    void Begin(TCallMan& Runner) override;
    void Execute(TCallMan& Runner, TPage*& Page, int32_t& PC) override;
    // The flip completes at once; with clear-old-layer even the cabinets of the old layer go.
    void Abort() override { Finish(true); }
    // "vela100", u8 hold events, u8 clear old layer.
    void SaveState(TStream& Stream) const override {
        WriteStateHeader(Stream);
        WriteStreamByte(Stream, hold_);
        WriteStreamByte(Stream, clear_);
    }
    // A state without a header holds neither flag.
    void LoadState(TStream& Stream) override {
        const bool flags = ReadStateHeader(Stream) >= CommandStateVersion;
        hold_ = flags && ReadStreamByte(Stream) != 0;
        clear_ = flags && ReadStreamByte(Stream) != 0;
    }

private:
    // Keeps the shown screen in an image under the current layer.
    void MakeSnapshot();
    // Moves the children of the current layer that Mode selects by the name list, last first,
    // under the back layer; the snapshot stays.
    void MoveSelected(uint8_t Mode);
    // Starts the transition of WipeType between the two layers and sets it up.
    void StartTransition(uint8_t WipeType, bool Reverse, int32_t Length);
    // The back layer becomes current without a transition, the snapshot goes and, with
    // clear-old-layer, the old layer's children (cabinets only when WithCabinets).
    void Finish(bool WithCabinets);

    TVelaParser wipe_, time_, reverse_, keep_, clearExpr_, param_[2], mask_, holdExpr_, option_;
    std::vector<std::unique_ptr<TVelaParser>> names_;
    int32_t state_ = 0;
    uint32_t start_ = 0;  // loop time (ms) at which the transition began
    bool hold_ = false, clear_ = false;
};

void TComFlip::LoadFromStream(TStream& Stream) {
    TCommand::LoadFromStream(Stream);
    for (TVelaParser* expression : {&wipe_, &time_, &reverse_, &keep_}) ReadExpression(Stream, *expression);
    ReadExpressionList(Stream, names_);
    for (TVelaParser* expression : {&clearExpr_, &param_[0], &param_[1]}) ReadExpression(Stream, *expression);
    const int32_t version = OwnerPage().Version;
    if (version >= MaskNameVersion) ReadExpression(Stream, mask_);
    if (version >= HoldEventsVersion) ReadExpression(Stream, holdExpr_);
    if (version >= WipeOptionVersion) ReadExpression(Stream, option_);
}

void TComFlip::Begin(TCallMan& /*Runner*/) {
    state_ = 0;
    uint8_t wipeType = 0;
    WithResult(wipe_, [&](const TCustomParam& V) { wipeType = static_cast<uint8_t>(V.AsInt()); });
    if (wipeType > LastWipeType) wipeType = 0;
    int32_t length = 0;
    WithResult(time_, [&](const TCustomParam& V) { length = V.AsInt(); });
    const bool timed = length >= 1;
    length = std::max(length, 1);
    const bool reverse = RunBool(reverse_);
    hold_ = RunBool(holdExpr_);
    clear_ = RunBool(clearExpr_);
    keep_.Execute();
    for (const auto& expression : names_) expression->Execute();
    if (const TCustomParam* keep = keep_.Result()) {
        const auto mode = static_cast<uint8_t>(keep->AsInt());
        if (timed) MakeSnapshot();
        else state_ = 3;
        MoveSelected(mode);
    }
    if (state_ != 3) StartTransition(wipeType, reverse, length);
}

void TComFlip::MakeSnapshot() {
    TVelaBaseList& root = SceneRoot();
    root.Prepare();
    TVelaBase& shown = *root.GetBase(root.GetCurrentLayer());
    auto* image = new TVelaCustomImage(&root, false);
    image->SetName(SnapshotName);
    TCustomDIBX& surface = *image->GetSurface();
    surface.SetSize(root.GetWidth(), root.GetHeight(), ScreenBitCount());
    if (TCustomDIBX* screen = shown.GetSurface()) surface.Assign(*screen);
    surface.TransparentColor = -1;
    image->SetWidth(surface.GetWidth());
    image->SetHeight(surface.GetHeight());
    image->SetParent(&shown);
    image->SetIgnoremouse(IM_ALL);
}

void TComFlip::MoveSelected(uint8_t Mode) {
    std::unordered_set<std::string> listed;
    for (const auto& expression : names_)
        if (const TCustomParam* result = expression->Result()) {
            const std::string text = result->AsStr();
            for (std::string_view line : SplitLines(text)) listed.emplace(line);
        }
    TVelaBaseList& root = SceneRoot();
    TVelaBase& shown = *root.GetBase(root.GetCurrentLayer());
    TVelaBase& back = *root.GetBase(root.GetCurrentLayer() ^ 1);
    for (int i = shown.GetControlCount(); i-- > 0;) {
        TVelaControl* child = shown.GetControl(i);
        if (child->GetName() == SnapshotName) continue;
        const bool inList = listed.count(child->GetName()) > 0;
        if ((Mode == 1 && inList) || (Mode == 0 && !inList)) child->SetParent(&back);
    }
}

void TComFlip::StartTransition(uint8_t WipeType, bool Reverse, int32_t Length) {
    TVelaBaseList& root = SceneRoot();
    root.GetBase(root.GetCurrentLayer() ^ 1)->Prepare();
    TCustomWipe* wipe = root.BeginTransition(root.GetCurrentLayer(), WipeType, Reverse, true, 0, Length);
    if (!wipe) return;
    for (int i = 0; i < 2; ++i) WithResult(param_[i], [&](const TCustomParam& V) { wipe->SetParam(i, V.AsInt()); });
    WithResult(mask_, [&](const TCustomParam& V) { wipe->SetName(V.AsStr()); });
    WithResult(option_, [&](const TCustomParam& V) { wipe->ChangedOnly = V.AsBool(); });
    try {
        wipe->Prepare();
    } catch (...) {
        // A transition that could not get ready is never stepped: the flip goes on without it.
        root.BeginTransition(root.GetCurrentLayer(), 0, false, true, 0, 0);
        throw;
    }
}

void TComFlip::Execute(TCallMan& /*Runner*/, TPage*& /*Page*/, int32_t& PC) {
    if (state_ == 0) {
        state_ = 1;
        return;
    }
    const uint32_t now = ScriptHost().LoopTime();
    if (state_ == 1) {
        start_ = now;
        state_ = 2;
        return;
    }
    const auto elapsed = static_cast<int32_t>(now - start_);
    if (state_ == 2 && elapsed < SceneRoot().GetTransitionLength()) {
        SceneRoot().SetTransitionElapsed(elapsed);
        return;
    }
    Finish(false);
    ++PC;
}

void TComFlip::Finish(bool WithCabinets) {
    TVelaBaseList& root = SceneRoot();
    root.BeginTransition(root.GetCurrentLayer() ^ 1, 0, false, true, 0, 0);
    if (TVelaControl* snapshot = root.FindControl(SnapshotName)) snapshot->Delete();
    if (!clear_) return;
    TVelaBase& old = *root.GetBase(root.GetCurrentLayer() ^ 1);
    for (int i = 0; i < old.GetControlCount(); ++i)
        if (TVelaControl* child = old.GetControl(i); WithCabinets || child->GetCompoType() != LT_CABINET)
            child->Delete();
}

constexpr TCommandEntry FlipFamily[] = {{cmFlip, NewCommand<TComFlip>}};

}  // namespace

std::span<const TCommandEntry> FlipCommands() { return FlipFamily; }
