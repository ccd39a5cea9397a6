#pragma once
// The message window: a control that shows a marked-up text one laid-out page at a time,
// reveals the current page glyph by glyph, highlights and answers clicks on links, and tells
// the script what happens through queued events: play start (PR_ONPLAYSTART, "1" for a page
// already read), the text revealed in a tick (PR_ONPLAYING), the end of a page's reveal
// (PR_ONPLAYEND, once per page), a link click (PR_ONLINK) and the text's notifications
// (PR_ONNOTIFY).
//
// The window never turns a page by itself: pages change through PR_INDEX, PR_TEXT, BuildPages
// and RestoreAfterLoad. Each page the reader leaves goes to the message history; a page of a
// recorded text-insert command is also the pending read mark until its reveal ends.
#include "objects/vitems.h"
#include "text/histories.h"
#include "text/nxwords.h"

#include <cstdint>
#include <memory>
#include <string>

class TVelaMes : public TVelaControl {
public:
    // What the window shows (SourceMode).
    enum : uint8_t {
        smDirect = 0,   // text set directly, no read marks kept
        smRecorded = 1, // a recorded text-insert command: read marks and history source kept
        smHistory = 2,  // the message history
    };

    explicit TVelaMes(TVelaBaseList* AOwner, bool UniqueName = true);
    // Redraws the area the window covered.
    ~TVelaMes() override;
    uint8_t GetCompoType() const override { return LT_MES; }

    // ---- Text and pages ----
    // Get: the plain text of the current page. Set: lays the marked-up text out anew (the
    // message data forgets its sources) and shows its first page.
    std::string GetText() const override;
    void SetText(const std::string& S) override;
    // Appending replaces the text.
    void AppendText(const std::string& S) override { SetText(S); }
    int32_t GetIndex() const override { return PageIndex; }
    // Turns to page V; nothing for the current page or one that does not exist.
    void SetIndex(int32_t V) override;
    int32_t GetCount() const override { return Pages.Count(); }
    int32_t GetScrolly() const override { return ScrollY; }
    void SetScrolly(int32_t V) override;
    // The current page is not the last or still has text to reveal.
    bool GetPlaying() const override;
    // 0 while the current page still reveals, else 2.
    int32_t GetPlayState() const override;

    // ---- Reveal ----
    bool GetPaused() const override { return Paused; }
    void SetPaused(bool V) override;
    bool GetTextpaused() const override { return TextPaused; }
    void SetTextpaused(bool V) override;
    // The reveal speed in 1/256 of the glyphs' own waits.
    int32_t GetTextdelay() const override { return TextDelay; }
    void SetTextdelay(int32_t V) override;
    // The document's fade time in ms.
    int32_t GetDelay() const override { return Word->FadeTime; }
    void SetDelay(int32_t V) override;

    // ---- Area and document defaults (pages are not laid out again) ----
    void SetWidth(int32_t V) override;
    void SetHeight(int32_t V) override;
    int32_t GetFontheight() const override { return Word->FontSize; }
    void SetFontheight(int32_t V) override;
    // Taken only while PR_FONTCHANGEABLED is set.
    std::string GetFontname() const override { return Word->FontName; }
    void SetFontname(const std::string& S) override;
    int32_t GetFontcolor() const override { return Word->Color; }
    void SetFontcolor(int32_t V) override;
    int32_t GetFontlinkcolor() const override { return Word->LinkColor; }
    void SetFontlinkcolor(int32_t V) override;
    int32_t GetFonthovercolor() const override { return Word->HoverColor; }
    void SetFonthovercolor(int32_t V) override;
    int32_t GetFontbordercolor() const override { return Word->BorderColor; }
    void SetFontbordercolor(int32_t V) override;
    int32_t GetFontshadowcolor() const override { return Word->ShadowColor; }
    void SetFontshadowcolor(int32_t V) override;
    int32_t GetFontborder() const override { return Word->BorderSize; }
    void SetFontborder(int32_t V) override;
    int32_t GetFontshadow() const override { return Word->ShadowSize; }
    void SetFontshadow(int32_t V) override;
    int32_t GetLinespace() const override { return Word->RowSpace; }
    void SetLinespace(int32_t V) override;
    // The document's whole-cell byte: gates PR_FONTNAME and measures characters a cell wide.
    bool GetFontchangeabled() const override { return Word->WholeCell != 0; }
    void SetFontchangeabled(bool V) override;
    bool GetAntialias() const override { return Word->AntialiasLevel > 0; }
    void SetAntialias(bool V) override;
    int32_t GetAlpha() const override { return Word->Alpha; }
    void SetAlpha(int32_t V) override;
    // The caret after the last layout.
    int32_t GetCaretx() const override { return Word->Caret.X; }
    int32_t GetCarety() const override { return Word->Caret.Y; }
    int32_t GetCaretheight() const override { return Word->CaretHeight; }
    TPoint GetCaretPos() const override { return Word->Caret; }
    // Over link text only: the pointer passes through the rest of the window.
    bool GetCapturelink() const override { return CaptureLink; }
    void SetCapturelink(bool V) override { CaptureLink = V; }

    // ---- Handlers ----
    std::string GetOnplaying() const override { return OnPlaying; }
    void SetOnplaying(const std::string& S) override { OnPlaying = S; }
    std::string GetOnplaystart() const override { return OnPlayStart; }
    void SetOnplaystart(const std::string& S) override { OnPlayStart = S; }
    std::string GetOnplayend() const override { return OnPlayEnd; }
    void SetOnplayend(const std::string& S) override { OnPlayEnd = S; }
    std::string GetOnlink() const override { return OnLink; }
    void SetOnlink(const std::string& S) override { OnLink = S; }
    std::string GetOnidle() const override { return OnIdle; }
    void SetOnidle(const std::string& S) override { OnIdle = S; }
    std::string GetOnnotify() const override { return OnNotify; }
    // The document calls back exactly while a handler is set.
    void SetOnnotify(const std::string& S) override;

    // ---- Tick, drawing, pointer ----
    // Reveals the current page for one tick; never asks to be freed.
    bool Step() override;
    void Prepare() override;
    // The mouse-ignore mode decides as for any control; with capture link on, only link text
    // is hit.
    TVelaObject* HitTest(TPoint P, uint32_t Mask) override;
    // Beside a control's own target, each link run once the page stands still and a link
    // handler is set.
    void AddPressTargets(const TPressTargetSink& Add) override;
    void DoMouseMove() override;
    void DoMouseOut() override;
    // A press over a hovered link queues PR_ONLINK (link text, then the target's lines).
    void DoLBtnDown() override;
    void FreePrivateDIBs() override;
    void MakePrivateDIBs() override;

    // ---- The record ----
    void SaveToStream(TStream& Stream) override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;

    // ---- Operations of the text commands, the history and the game load ----
    // Hands the shown page to the history (unless Commit is false), records it as pending source
    // and read mark, and lays the pages out again from the message data (Rebuild adds to the
    // build flag); no page is current until the caller turns to one, except with Start, which
    // turns to the first page.
    void BuildPages(bool Start, int32_t Rebuild, bool Commit = true);
    // After a game load: the pages rebuilt, the page index clamped, each page's saved reveal
    // state read back.
    void RestoreAfterLoad();
    // The document's notification: each line an argument of one PR_ONNOTIFY.
    void DoNotify(const std::string& Text);

    TNxWord& GetWord() const { return *Word; }
    const TWdPageList& GetPages() const { return Pages; }
    // nullptr when the page index names no page.
    TWdPage* CurrentPage() const;

    // Written by the text-insert command and the history before BuildPages.
    uint8_t SourceMode = smDirect;
    int32_t CommandIndex = 0;     // the recorded command's index in its page file
    std::string PageFile;         // the page file of the recorded command
    TVelaNewMesData MesData;      // the sources the pages are rebuilt from
    uint8_t BuildFlag = 0;        // TVelaNewMesData::BuildPages flags
    int32_t BuildPosition = 0;    // where the rebuilt rows start (the history's scroll shift)

private:
    // Queues PR_ONPLAYSTART ("1" for a page already read) and holds the reveal for a tick.
    void PostPlayStart();
    // Queues Handler, when set, as an event of Kind.
    void Post(const std::string& Handler, uint8_t Kind, const TArrayString* Args);
    // An event of Kind from this window waits in the queue.
    bool Pending(uint8_t Kind) const;
    // Hands the page recorded for this window to the history.
    void CommitShownPage();
    // Records the current page of a recorded command as the history's pending source and the
    // pending read mark.
    void RecordPage();
    void ClearPages();
    // The document's origin at the window's, in layer coordinates.
    void PlaceWord();
    // Adds the document's changed rectangles to the layer's dirty list.
    void FlushDirtyRects();
    // Highlights the link run under P ((-1, -1): none) and flushes what changed.
    void HoverAt(TPoint P);
    // The document's reveal-paused flag from Paused and TextPaused; a resumed page restarts its
    // wait.
    void UpdateHold();
    // Sets a document default between two invalidations; Render marks the page to draw again.
    template <class T>
    void ChangeWord(T TNxWord::*Field, T Value, bool Render);
    // Visible, on a layer, and a page current.
    bool CanShow();
    // Lays S out as the window's pages (PR_TEXT); Commit hands the shown page to the history
    // first.
    void ShowText(const std::string& S, bool Commit);

    std::unique_ptr<TNxWord> Word;
    TWdPageList Pages;
    int32_t PageIndex = 0;
    int32_t ScrollY = 0;
    int32_t Value2 = 0;
    std::string Spare[3];
    std::string OnPlaying, OnPlayStart, OnPlayEnd, OnLink, OnNotify;
    bool Paused = false, TextPaused = false;
    int32_t TextDelay = 0;
    std::string Text;
    int32_t StartHold = 0;
    std::string OnIdle;
    bool NeedRedraw = false, FullRedraw = false;
    bool CaptureLink = false;
    std::unique_ptr<TMemoryStream> PendingStates;  // between a load and RestoreAfterLoad
};
