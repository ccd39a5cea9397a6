#pragma once
// The preview menu (TVelaPrevMenu): image buttons ("entries") read from a preview-menu file,
// each with images for its states (normal, pointer in and out, settled, disabled, pressed) and
// preview pictures shown elsewhere on the menu while it is hovered, pressed or released. An
// entry is a plain button, a member of a positive group (radio buttons: one down entry per
// group) or of a negative group. Choosing an entry hands its name and index to the script,
// can play a settle animation and can end with the menu deleting itself.
#include "objects/vitemex_images.h"

#include <cstdint>
#include <initializer_list>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class TMiraItem;
class TVelaPrevMenu;

// An entry's picture or a preview picture of a menu. A new source first puts the look back
// (alpha 255, no turn, zoom 1, no flips, no clip); a one-shot animation that has ended tells
// the menu. A source put up during a tick (a choice in the input step) is first drawn at the end
// of that tick: its first frame's time starts with the next tick.
class TVelaPrevImages : public TVelaImages {
public:
    TVelaPrevImages(TVelaBaseList* AOwner, TVelaPrevMenu& AMenu);
    // The menu forgets it (freed by the menu, or by whoever else frees it first).
    ~TVelaPrevImages() override;
    void SetSource(const std::string& S) override;
    // True (free me) for a preview whose animation ended.
    bool Step() override;

    // Its place among the menu's entries, or its previews when Preview; -1 while it has none.
    int32_t Place = -1;
    bool Preview = false;

private:
    // A one-shot animation has shown its last frame to its end.
    bool AnimationEnded() const;
    TVelaPrevMenu& Menu;
    // A new source waits for its first step, put up at the scene clock ShownAt.
    bool Fresh = false;
    uint32_t ShownAt = 0;
};

// What a menu keeps of each button of its file.
struct TVelaPrevMenuData {
    std::string Path, InImagePath, OutImagePath, SettleImagePath, DisImagePath, DisInImagePath, DisOutImagePath,
        InPrevPath, OutPrevPath, SettlePrevPath, DisInPrevPath, DisOutPrevPath, DownImagePath, DownInImagePath,
        DownOutImagePath, DownOnPrevPath;
    bool DownOnPrevRepeat = false;
    std::string DownOffPrevPath;
    bool DownOffPrevRepeat = false;
    std::string DownInPrevPath, DownOutPrevPath;
    int32_t PrevLeft = 0, PrevTop = 0;
    int32_t Reserved = 0;
    std::string Name;
    int32_t Index = 0;
    int32_t Group = 0;
};

// A menu's entries (children of the menu), their data, their preview objects and the pictures
// held in the image cache for them.
class TPrevMenuList {
public:
    explicit TPrevMenuList(TVelaPrevMenu& AOwner) : Owner(AOwner) {}
    TPrevMenuList(const TPrevMenuList&) = delete;
    TPrevMenuList& operator=(const TPrevMenuList&) = delete;
    ~TPrevMenuList() { Clear(); }

    int32_t Count() const { return static_cast<int32_t>(Entries.size()); }
    // Frees the entries and previews, hands the cached pictures back, forgets the data.
    void Clear();
    // An entry or preview freed elsewhere: its place is emptied.
    void Forget(const TVelaPrevImages* Obj);
    // Whether Obj holds its place among the entries (Preview: the previews).
    bool Holds(const TVelaPrevImages& Obj, bool Preview) const;
    // Holds the picture File in the image cache (upper-cased, each name once); a ".vmt" film is
    // opened instead and the pictures of its image tracks held, each film once per Clear.
    void Preload(const std::string& File);

    std::vector<TVelaPrevImages*> Entries;  // nullptr: an entry freed elsewhere
    std::vector<TVelaPrevMenuData> Data;
    std::vector<TVelaPrevImages*> Previews;  // nullptr: no preview shown for the entry
    std::vector<std::string> Names;          // the cached pictures' names
    std::vector<TMiraItem*> Images;

private:
    TVelaPrevMenu& Owner;
    std::unordered_set<std::string> Preloaded;  // Names again, and the films opened since the last Clear
};

class TVelaPrevMenu : public TVelaControl {
public:
    explicit TVelaPrevMenu(TVelaBaseList* AOwner, bool UniqueName = true);
    ~TVelaPrevMenu() override;
    uint8_t GetCompoType() const override { return LT_PREVMENU; }

    std::string GetSource() const override { return Source; }
    // A different name loads the menu file; a missing file gives an empty menu of size 0.
    void SetSource(const std::string& S) override;
    // The entry names joined by CR LF.
    std::string GetText() const override;
    int32_t GetCount() const override { return List.Count(); }
    bool GetPaused() const override { return Paused; }
    void SetPaused(bool V) override { Paused = V; }
    bool GetAutoscrap() const override { return AutoScrap; }
    void SetAutoscrap(bool V) override { AutoScrap = V; }
    bool GetRclickscrap() const override { return RClickScrap; }
    void SetRclickscrap(bool V) override { RClickScrap = V; }
#define VELA_PREVMENU_HANDLER(N, F) \
    std::string Get##N() const override { return F; } \
    void Set##N(const std::string& S) override { F = S; }
    VELA_PREVMENU_HANDLER(Onselect, OnSelect)
    VELA_PREVMENU_HANDLER(Onidle, OnIdle)
    VELA_PREVMENU_HANDLER(Onmapin, OnMapIn)
    VELA_PREVMENU_HANDLER(Onmapout, OnMapOut)
    VELA_PREVMENU_HANDLER(Onplayend, OnPlayEnd)
#undef VELA_PREVMENU_HANDLER

    // The entries: name, enabled, visible, effective down state and group; outside the entries
    // empty, false or 0, and writes are ignored.
    std::string GetItemText(int32_t Index) const override;
    int32_t IndexOfItemText(const std::string& S) const override;
    bool GetPrevFlag1(int32_t Index) const override;
    void SetPrevFlag1(int32_t Index, bool V) override;
    bool GetPrevFlag2(int32_t Index) const override;
    void SetPrevFlag2(int32_t Index, bool V) override;
    bool GetPrevValue1(int32_t Index) const override;
    void SetPrevValue1(int32_t Index, bool V) override;
    int32_t GetPrevValue2(int32_t Index) const override;

    // The hovered entry (-1 none) and the settle animations still playing.
    int32_t GetHoverIndex() const { return Hover; }
    int32_t GetPendingCount() const { return Pending; }
    // The preview object shown for entry Index; nullptr when none.
    TVelaPrevImages* GetPreview(int32_t Index) const;
    TVelaPrevImages* GetEntry(int32_t Index) const;

    // The hovered entry's cursor while one is hovered.
    std::string GetCurrentCursor() const override;
    // An entry hit answers the menu.
    TVelaObject* HitTest(TPoint P, uint32_t Mask) override;
    // Each entry shown and enabled.
    void AddPressTargets(const TPressTargetSink& Add) override;
    void DoMouseMove() override;
    void DoMouseOut() override;
    void DoLBtnDown() override;
    void DoLBtnUp() override;
    void DoRBtnDown() override;
    // A right press anywhere on the layer cancels the menu: the selection is emptied and the
    // menu deletes itself.
    bool BeginSelect() override;
    void DoKeyPress() override;
    bool Step() override { return false; }
    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;

    // From an entry or preview picture whose one-shot animation ended: answers true when Obj
    // is a preview, which the caller then frees.
    bool AnimationEnded(TVelaPrevImages& Obj);
    void ForgetPicture(const TVelaPrevImages& Obj) { List.Forget(&Obj); }

private:
    // Hover change to N with the out and in images, previews and events.
    void SetHover(int32_t N);
    // Chooses entry H: settle or group change, the selection variables, OnSelect.
    void Select(int32_t H);
    void EndSelection();
    // One candidate picture: used when When holds and File is set.
    struct TPick {
        const std::string& File;
        bool Repeat = true;
        bool When = true;
    };
    // The first candidate that applies; nullptr when none does.
    static const TPick* FirstPick(std::initializer_list<TPick> Picks);
    // The first candidate that applies, else the last one, as entry I's image.
    void ShowImageOf(int32_t I, std::initializer_list<TPick> Picks, bool Restart = false);
    // The first candidate that applies as entry I's preview; none when none does.
    void ShowPreviewOf(int32_t I, int32_t Priority, std::initializer_list<TPick> Picks);
    // The entry's image (emptied first when Restart, so that the animation starts over).
    void ShowImage(int32_t I, const std::string& File, bool Repeat, bool Restart = false);
    // Shows preview File of entry I (none when empty).
    void ShowPreview(int32_t I, const std::string& File, int32_t Priority, bool Repeat);
    void RemovePreview(int32_t I);
    // Queues Handler with entry I's name and index.
    void RaiseEntryEvent(const std::string& Handler, uint8_t Kind, int32_t I);
    // The first entry of I's group that reads as down, -1 when none.
    int32_t DownMember(int32_t Group) const;
    // The image an entry shows when it is not hovered: DownImagePath when down, else Path,
    // DisImagePath when disabled.
    std::string RestingImage(int32_t I) const;
    // The entry under the layer's pointer, -1 when none.
    int32_t EntryAtPointer();
    bool InRange(int32_t I) const { return I >= 0 && I < List.Count(); }
    const TVelaPrevMenuData& Data(int32_t I) const { return List.Data[I]; }
    // The entries of a group other than 0, with those down and those shown, so that the group
    // rules do not look at every entry.
    struct TGroupState {
        std::vector<int32_t> Members;  // in entry order
        std::set<int32_t> Down, Shown;
        int32_t ShownDown = 0;  // members both down and shown
    };
    // Entry I's group; nullptr for group 0.
    const TGroupState* GroupOf(int32_t I) const;
    // Entry I's down and shown flags, kept in its group.
    void SetDown(int32_t I, bool V);
    void SetShown(int32_t I, bool V);

    std::string Source;
    bool Paused = false, AutoScrap = false, RClickScrap = false;
    std::string OnSelect, OnIdle, OnMapIn, OnMapOut, OnPlayEnd;
    TPrevMenuList List{*this};
    int32_t Hover = -1;
    int32_t Pressed = -1;
    int32_t Pending = 0;
    std::vector<uint8_t> Enabled, Visible, Down;
    std::unordered_map<int32_t, TGroupState> Groups;  // by group; never group 0
};
