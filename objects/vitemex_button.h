#pragma once
// The image button: four looks (normal, hover, pressed, clicked), each a ".mra" picture or a
// ".vmt" film, with a centred caption. It takes the pointer on a left press and clicks when the
// left button comes up over it (or on Enter and Space while it has the focus), queuing OnNotify.
// Buttons of one group index under one parent act as radio buttons; the parent keeps the group.
#include "objects/vitemex_images.h"
#include "text/nxwords_labels.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class TVelaButton : public TVelaImages {
public:
    enum : int32_t { LookNormal = 0, LookHover = 1, LookPressed = 2, LookClicked = 3 };

    explicit TVelaButton(TVelaBaseList* AOwner);
    ~TVelaButton() override;
    uint8_t GetCompoType() const override { return LT_BUTTON; }

    int32_t CurrentState() const override { return State; }
    int32_t StateCount() const override { return 4; }
    // Shows look V, restarting its frames or film. While the clicked look plays, V only becomes
    // the look that follows it; a look with neither pictures nor film is not taken.
    void SetState(int32_t V);
    int32_t GetState() const { return State; }
    // Queues OnNotify; then a group member toggles its selection (a selected one stays when the
    // group does not allow all up), any other button shows its clicked look.
    void Click();
    // 1 while the left press that the button took is held, -1 once a click left an auto-scrap
    // button without a clicked look to be removed, else 0.
    int32_t GetPressMark() const { return PressMark; }

    std::string GetHoversource() const override { return LookSource(LookHover); }
    void SetHoversource(const std::string& S) override { SetLookSource(LookHover, S); }
    std::string GetPressedsource() const override { return LookSource(LookPressed); }
    void SetPressedsource(const std::string& S) override { SetLookSource(LookPressed, S); }
    std::string GetClickedsource() const override { return LookSource(LookClicked); }
    void SetClickedsource(const std::string& S) override { SetLookSource(LookClicked, S); }

    std::string GetText() const override;
    void SetText(const std::string& S) override;
    std::string GetFontname() const override { return CaptionSettings().FaceName; }
    void SetFontname(const std::string& S) override;
    int32_t GetFontheight() const override { return CaptionSettings().FontSize; }
    void SetFontheight(int32_t V) override;
    int32_t GetFontstyle() const override { return CaptionSettings().Style; }
    void SetFontstyle(int32_t V) override;
    int32_t GetFontcolor() const override { return CaptionSettings().Color; }
    void SetFontcolor(int32_t V) override;
    bool GetAntialias() const override { return CaptionSettings().AntialiasLevel > 0; }
    void SetAntialias(bool V) override;

    int32_t GetGroupindex() const override { return GroupIndex; }
    void SetGroupindex(int32_t V) override;
    bool GetSelected() const override { return Selected; }
    void SetSelected(bool V) override;
    // The group's value while the parent gave the group one since the button set its own or
    // joined the group.
    bool GetAllowallup() const override;
    void SetAllowallup(bool V) override;
    void SetSelectedQuiet(bool V) override;
    // Moves the button's group membership along.
    void SetParent(TVelaControl* P) override;

    // The clicked look plays once; every other look loops.
    bool GetRepeat() const override { return State != LookClicked; }
    void SetPaused(bool V) override;
    std::string GetOnnotify() const override { return OnNotify; }
    void SetOnnotify(const std::string& S) override { OnNotify = S; }
    std::string GetOnidle() const override { return OnIdle; }
    void SetOnidle(const std::string& S) override { OnIdle = S; }

    // The button's bounds while it takes left presses.
    void AddPressTargets(const TPressTargetSink& Add) override;
    void DoMouseMove() override;
    void DoMouseOut() override;
    void DoLBtnDown() override;
    void DoLBtnUp() override;
    void DoKeyPress() override;

    // The press mark's removal, the look's film or frames; at the end of the clicked look the
    // button is removed (AutoScrap) or takes the look that follows.
    bool Step() override;
    // The picture's area and the caption's.
    void Invalidate() override;
    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;

protected:
    void AfterDrawImage() override;

private:
    // The sources and films of looks 1..3, which many buttons never set: kept apart, made when
    // the first source is set, so that a button takes less memory to make and walk.
    struct TLooks {
        std::array<std::string, 3> Sources;  // hover, pressed, clicked
        std::array<std::unique_ptr<TVelaMotion>, 3> Films;
    };
    std::string LookSource(int32_t Look) const { return Looks ? Looks->Sources[Look - 1] : std::string(); }
    void SetLookSource(int32_t Look, const std::string& S);
    // The film of look 1..3, nullptr for look 0 (the control's own film) and for picture looks.
    TVelaMotion* LookFilm(int32_t Look) const { return Look > 0 && Looks ? Looks->Films[Look - 1].get() : nullptr; }
    bool CanShow(int32_t Look) const;
    // Look V from its start, without the rules of SetState.
    void ShowLook(int32_t V);
    // After the clicked look: the look asked for meanwhile, or the normal look when that one
    // cannot be shown.
    void TakeReturnState();
    // The caption's settings: the button's own once made, else those a new caption has.
    const TNxLabelList& CaptionSettings() const;
    // The caption with its one label, made when missing.
    TNxLabelList& KeptCaption();
    // Stores a changed caption setting between the redraws of the old and the new caption.
    template <class T>
    void ChangeCaption(T TNxLabelList::*Setting, T Value);
    // Where the caption is drawn: centred on the button (reaching past its edges when larger),
    // one pixel right and down while pressed or clicked; empty without a caption or fonts.
    TRect CaptionBounds();
    // Whether the layer's left-press hit test at the pointer finds this button.
    bool UnderPointer();
    // Takes what GetAllowallup answers as its own, before the button leaves its group.
    void SettleAllowAllUp();
    // Lists the button with its parent's group while it is selected in one, and only then.
    void ListSelection();

    int32_t State = LookNormal;
    int32_t ReturnState = LookNormal;
    int32_t GroupIndex = 0;
    bool Selected = false, AllowAllUp = false;
    uint64_t AllowAllUpStamp = 0;  // when AllowAllUp was set or the button joined its group
    TVelaControl* ListedIn = nullptr;  // the parent the button is listed with as selected
    int32_t ListedGroup = 0;
    std::string OnNotify, OnIdle;
    std::unique_ptr<TLooks> Looks;
    // Made when the text or a font setting is first set: most buttons show none.
    std::unique_ptr<TNxLabelList> Caption;
    int32_t PressMark = 0;
};
