// The message window: text and pages, the per-tick reveal and its events, drawing through the
// document, the pointer, and the window record.
#include "objects/vitemex_mes.h"

#include "core/stringlist.h"
#include "core/sysutils.h"
#include "objects/vitemex_read.h"
#include "objects/vitems_kinds.h"
#include "text/fontpixels.h"

#include <algorithm>
#include <vector>

namespace {

// Each line of Text (CR LF, CR or LF) one string.
TArrayString LinesOf(const std::string& Text) {
    TArrayString lines;
    for (std::string_view line : SplitLines(Text)) lines.Add(std::string(line));
    return lines;
}

// Copies the settings record of From into To.
void CopySettings(const TNxWord& From, TNxWord& To) {
    TMemoryStream settings;
    From.SaveSettings(settings);
    settings.SetPosition(0);
    To.LoadSettings(settings, GameSaveVersion);
}

// Save versions that added fields to the record.
constexpr int32_t OnIdleVersion = 104;
constexpr int32_t BuildPositionVersion = 113;
constexpr int32_t CaptureLinkVersion = 120;

}  // namespace

TVelaMes::TVelaMes(TVelaBaseList* AOwner, bool UniqueName)
    : TVelaControl(AOwner, UniqueName), Word(std::make_unique<TNxWord>()) {
    Word->OnEvent = [this](TNxWord&, const std::string& Text) { DoNotify(Text); };
    Word->AntialiasLevel = 3;
    Word->Paging = 1;
}

TVelaMes::~TVelaMes() {
    Invalidate();
    Pages.Clear();
}

TWdPage* TVelaMes::CurrentPage() const {
    return PageIndex >= 0 && PageIndex < Pages.Count() ? Pages.Items(PageIndex) : nullptr;
}

void TVelaMes::Post(const std::string& Handler, uint8_t Kind, const TArrayString* Args) {
    if (!Handler.empty() && Owner) Owner->GetEvents().Add(this, Handler, Args, Kind);
}

bool TVelaMes::Pending(uint8_t Kind) const { return Owner && Owner->GetEvents().IsQueued(this, Kind); }

void TVelaMes::PlaceWord() {
    Word->OriginX = GetOriginX();
    Word->OriginY = GetOriginY();
}

bool TVelaMes::CanShow() { return GetVisible() && GetBase() && CurrentPage(); }

void TVelaMes::FlushDirtyRects() {
    if (TVelaBase* layer = GetBase())
        for (const TRect& r : Word->DirtyRects) layer->AddDirtyRect(r);
    Word->ClearDirtyRects();
}

void TVelaMes::CommitShownPage() {
    if (TextHistoryFormats) TextHistoryFormats->AddMessage(GetName());
}

// ---- Text and pages ----

std::string TVelaMes::GetText() const {
    const TWdPage* page = CurrentPage();
    return page ? page->GetPlainText() : std::string();
}

void TVelaMes::ClearPages() { Pages.Clear(); }

void TVelaMes::SetText(const std::string& S) { ShowText(S, true); }

void TVelaMes::ShowText(const std::string& S, bool Commit) {
    Invalidate();
    MesData.Data.Clear();
    Text = S;
    if (Commit) CommitShownPage();
    BuildPosition = 0;
    TStringList lines;
    for (std::string_view line : SplitLines(S)) lines.Add(std::string(line));
    ClearPages();
    BuildGlyphs(*Word, lines);
    Word->ExpandVariables(0, -1, false);
    LayoutPages(*Word, Pages, 0, -1);
    PageIndex = 0;
    ScrollY = 0;
    if (Pages.Count() == 0) return;
    NeedRedraw = FullRedraw = true;
    PostPlayStart();
}

void TVelaMes::PostPlayStart() {
    if (OnPlayStart.empty()) return;
    const bool read = SourceMode == smRecorded && !PageFile.empty() && TextRead &&
                      TextRead->IsRead(PageFile, CommandIndex, PageIndex);
    TArrayString args;
    args.Add(read ? "1" : "0");
    Post(OnPlayStart, PR_ONPLAYSTART, &args);
    StartHold = 1;
}

void TVelaMes::RecordPage() {
    TWdPage* page = CurrentPage();
    if (SourceMode != smRecorded || PageFile.empty() || !page) return;
    page->StoreVariables();
    const TWdGlyph* first = page->FirstChar();
    const TWdGlyph* last = page->LastChar();
    const int32_t start = first ? Word->GetTextPos(first) : 0;
    const int32_t end = last ? Word->GetTextPos(last) : start;
    if (TextHistoryFormats)
        TextHistoryFormats->SetSource(*this, PageFile, page->VarText, PageIndex, end, start, CommandIndex);
    if (TextRead) TextRead->SetPending(GetName(), PageFile, PageIndex, CommandIndex);
}

void TVelaMes::SetIndex(int32_t V) {
    if (V < 0 || V >= Pages.Count() || V == PageIndex) return;
    if (PageIndex >= 0) CommitShownPage();
    PageIndex = V;
    ScrollY = 0;
    PostPlayStart();
    RecordPage();
    TWdPage& page = *Pages.Items(V);
    page.ResetReveal();
    NeedRedraw = FullRedraw = true;
    Invalidate();
}

void TVelaMes::BuildPages(bool Start, int32_t Rebuild, bool Commit) {
    Invalidate();
    Text.clear();
    if (Commit) CommitShownPage();
    RecordPage();
    ClearPages();
    PageIndex = -1;
    MesData.BuildPages(*Word, Pages, Rebuild, BuildFlag, BuildPosition);
    if (Pages.Count() == 0) return;
    NeedRedraw = FullRedraw = true;
    // The history shows its range at once: its first page becomes current with its play start.
    if (Start) SetIndex(0);
}

void TVelaMes::SetScrolly(int32_t V) {
    if (V == ScrollY) return;
    ScrollY = V;
    if (TWdPage* page = CurrentPage()) {
        page->ScrollOffset = V;
        page->ResetWait();
    }
    Invalidate();
}

bool TVelaMes::GetPlaying() const {
    const TWdPage* page = CurrentPage();
    return page && (PageIndex < Pages.Count() - 1 || page->HasMoreText());
}

int32_t TVelaMes::GetPlayState() const {
    const TWdPage* page = CurrentPage();
    return page && page->HasMoreText() ? 0 : 2;
}

// ---- Reveal ----

void TVelaMes::UpdateHold() {
    Word->Hold = Paused || TextPaused;
    if (TWdPage* page = CurrentPage(); page && !Word->Hold) page->ResetWait();
}

void TVelaMes::SetPaused(bool V) {
    if (V == Paused) return;
    Paused = V;
    UpdateHold();
}

void TVelaMes::SetTextpaused(bool V) {
    if (V == TextPaused) return;
    TextPaused = V;
    UpdateHold();
}

void TVelaMes::SetTextdelay(int32_t V) {
    TextDelay = V;
    Word->Speed = V;
}

void TVelaMes::SetDelay(int32_t V) { Word->SetFadeTime(V > 0 ? V : 0); }

// ---- Area and document defaults ----

template <class T>
void TVelaMes::ChangeWord(T TNxWord::*Field, T Value, bool Render) {
    if (Word.get()->*Field == Value) return;
    Invalidate();
    Word.get()->*Field = Value;
    if (Render) NeedRedraw = true;
    Invalidate();
}

void TVelaMes::SetWidth(int32_t V) {
    Invalidate();
    TVelaControl::SetWidth(V);
    Word->Width = V;
    Invalidate();
}

void TVelaMes::SetHeight(int32_t V) {
    Invalidate();
    TVelaControl::SetHeight(V);
    Word->Height = V;
    Invalidate();
}

void TVelaMes::SetFontheight(int32_t V) { ChangeWord(&TNxWord::FontSize, V, true); }
void TVelaMes::SetFontcolor(int32_t V) { ChangeWord(&TNxWord::Color, V, true); }
void TVelaMes::SetFontlinkcolor(int32_t V) { ChangeWord(&TNxWord::LinkColor, V, true); }
void TVelaMes::SetFonthovercolor(int32_t V) { ChangeWord(&TNxWord::HoverColor, V, true); }
void TVelaMes::SetFontbordercolor(int32_t V) { ChangeWord(&TNxWord::BorderColor, V, true); }
void TVelaMes::SetFontshadowcolor(int32_t V) { ChangeWord(&TNxWord::ShadowColor, V, true); }
void TVelaMes::SetFontborder(int32_t V) { ChangeWord(&TNxWord::BorderSize, ClampOutline(V), true); }
void TVelaMes::SetFontshadow(int32_t V) { ChangeWord(&TNxWord::ShadowSize, ClampOutline(V), true); }
void TVelaMes::SetLinespace(int32_t V) { ChangeWord(&TNxWord::RowSpace, V, true); }
void TVelaMes::SetFontchangeabled(bool V) { ChangeWord(&TNxWord::WholeCell, uint8_t(V ? 1 : 0), true); }
void TVelaMes::SetAlpha(int32_t V) { ChangeWord(&TNxWord::Alpha, V, false); }

void TVelaMes::SetFontname(const std::string& S) {
    if (!Word->WholeCell || S == Word->FontName) return;
    Word->FontName = S;
    if (CurrentPage()) NeedRedraw = true;
    Invalidate();
}

void TVelaMes::SetAntialias(bool V) {
    const int32_t level = V ? 3 : 0;
    if (level == Word->AntialiasLevel) return;
    Word->AntialiasLevel = level;
    if (CurrentPage()) NeedRedraw = true;
    Invalidate();
}

void TVelaMes::SetOnnotify(const std::string& S) {
    OnNotify = S;
    Word->EventsEnabled = S.empty() ? 0 : 1;
}

// ---- Tick, drawing, pointer ----

bool TVelaMes::Step() {
    if (StartHold > 0) {
        --StartHold;
        return false;
    }
    // The text waits until the script has taken its play start.
    if (Pending(PR_ONPLAYSTART)) return false;
    TWdPage* page = CurrentPage();
    if (NeedRedraw && page) {
        page->Draw(FullRedraw);
        Invalidate();
    }
    NeedRedraw = FullRedraw = false;
    if (!page) return false;
    PlaceWord();
    bool finished = false;
    std::string revealed;
    page->Advance(int32_t(SceneTickLength()), finished, revealed);
    // Every tick that revealed something queues its own event, so the script sees each in order.
    if (!revealed.empty()) {
        TArrayString args;
        args.Add(revealed);
        Post(OnPlaying, PR_ONPLAYING, &args);
    }
    if (finished) {
        if (TextRead) TextRead->CommitPending(GetName());
        Post(OnPlayEnd, PR_ONPLAYEND, nullptr);
    }
    if (CanShow()) FlushDirtyRects();
    return false;
}

void TVelaMes::Prepare() {
    TCustomDIBX* surface = GetLayerSurface();
    TWdPage* page = CurrentPage();
    if (surface && page && GetVisible() && GetBase()) {
        const TRect area = Bounds(GetOriginX(), GetOriginY(), GetWidth(), GetHeight());
        const TRect clip = surface->GetClipRect();
        if (RectsIntersect(area, clip)) {
            const TRect inner = IntersectRects(area, clip);
            const TRect saved = surface->ClipRect;
            surface->ClearClipRect();
            surface->UnionClipRect(inner);
            PlaceWord();
            Word->Dest = surface;
            Word->ClipRect = inner;
            page->Update();
            Word->Dest = nullptr;
            surface->ClearClipRect();
            if (saved.Right != 0) surface->UnionClipRect(saved);
        }
    }
    TVelaControl::Prepare();
}

TVelaObject* TVelaMes::HitTest(TPoint P, uint32_t Mask) {
    if (!GetVisible() || !PointInRect(GetBoundsRect(), P.X, P.Y)) return nullptr;
    for (size_t i = Placed().size(); i-- > 0;)
        if (TVelaObject* child = Placed()[i]->HitTest(P, Mask)) return child;
    const int32_t mode = GetIgnoremouse();
    if (mode > 7 || !(Mask >> mode & 1)) return nullptr;
    if (!CaptureLink) return this;
    TWdPage* page = CurrentPage();
    if (!page) return nullptr;
    PlaceWord();
    const TWdGlyph* glyph = page->GlyphAt(P.X, P.Y);
    return glyph && !glyph->GetLink().empty() ? this : nullptr;
}

void TVelaMes::AddPressTargets(const TPressTargetSink& Add) {
    TVelaControl::AddPressTargets(Add);
    if (OnLink.empty() || !CanShow() || !TakesLeftPress() || CurrentPage()->HasMoreText()) return;
    PlaceWord();
    CurrentPage()->ListLinkRuns([&](const TRect& Area) { AddTargetArea(Add, Area); });
}

void TVelaMes::HoverAt(TPoint P) {
    PlaceWord();
    Word->ClearDirtyRects();
    CurrentPage()->HoverLinkAt(P.X, P.Y);
    FlushDirtyRects();
}

void TVelaMes::DoMouseMove() {
    if (!CanShow()) return TVelaControl::DoMouseMove();
    // Links answer only once the page stands still.
    const bool still = !Paused && !CurrentPage()->HasMoreText();
    HoverAt(still ? GetBase()->MousePos : TPoint{-1, -1});
}

void TVelaMes::DoMouseOut() {
    if (!CanShow()) return TVelaControl::DoMouseOut();
    HoverAt({-1, -1});
}

void TVelaMes::DoLBtnDown() {
    TWdPage* page = CurrentPage();
    if (OnLink.empty() || !page || !page->HoverGlyph || Pending(PR_ONLINK)) return TVelaControl::DoLBtnDown();
    TArrayString args;
    args.Add(page->GetLinkText());
    const std::string target = page->HoverGlyph->GetLink();
    for (std::string_view line : SplitLines(target)) args.Add(std::string(line));
    Post(OnLink, PR_ONLINK, &args);
    if (TVelaBase* layer = PointerLayer()) layer->LeftPressed = false;
}

void TVelaMes::DoNotify(const std::string& S) {
    if (OnNotify.empty()) return;
    const TArrayString args = LinesOf(S);
    Post(OnNotify, PR_ONNOTIFY, &args);
}

void TVelaMes::FreePrivateDIBs() {
    TVelaControl::FreePrivateDIBs();
    Word->ReleaseImages();
}

void TVelaMes::MakePrivateDIBs() {
    TVelaControl::MakePrivateDIBs();
    Word->AcquireImages();
    if (TWdPage* page = CurrentPage()) {
        page->Draw(false);
        Invalidate();
    }
}

// ---- The record ----

void TVelaMes::SaveToStream(TStream& Stream) {
    TVelaControl::SaveToStream(Stream);
    Word->SaveSettings(Stream);
    if (TWdPage* page = CurrentPage()) {
        page->StoreVariables();
        MesData.Data.SetVars(page->VarText);
    }
    MesData.SaveToStream(Stream);
    WriteStreamByte(Stream, BuildFlag);
    WriteStreamInt(Stream, BuildPosition);
    WriteStreamString(Stream, Text);
    WriteStreamInt(Stream, PageIndex);
    WriteStreamInt(Stream, ScrollY);
    WriteStreamInt(Stream, Value2);
    for (const std::string* s : {&Spare[0], &Spare[1], &Spare[2], &OnPlaying, &OnPlayStart, &OnPlayEnd, &OnLink,
                                 &OnNotify})
        WriteStreamString(Stream, *s);
    WriteStreamByte(Stream, Paused);
    WriteStreamByte(Stream, TextPaused);
    WriteStreamInt(Stream, TextDelay);
    WriteStreamByte(Stream, SourceMode);
    WriteStreamString(Stream, PageFile);
    WriteStreamInt(Stream, CommandIndex);
    WriteStreamString(Stream, OnIdle);
    WriteStreamByte(Stream, CaptureLink);
    TMemoryStream states;
    for (int i = 0; i < Pages.Count(); ++i) Pages.Items(i)->SaveState(states);
    WriteStreamInt(Stream, int32_t(states.Size()));
    Stream.WriteBuffer(states.Memory(), states.Size());
}

// Everything is read before anything changes: a damaged record leaves the window as it was.
void TVelaMes::LoadFromStream(TStream& Stream, int32_t Version) {
    TVelaControl::LoadFromStream(Stream, Version);
    TNxWord settings;
    settings.LoadSettings(Stream, Version);
    TVelaNewMesData data;
    data.LoadFromStream(Stream, Version);
    const uint8_t buildFlag = ReadStreamByte(Stream);
    const int32_t buildPosition = Version >= BuildPositionVersion ? ReadStreamInt(Stream) : 0;
    std::string text = ReadStreamString(Stream);
    const int32_t pageIndex = ReadStreamInt(Stream);
    const int32_t scrollY = ReadStreamInt(Stream);
    const int32_t value2 = ReadStreamInt(Stream);
    std::string strings[8];
    for (std::string& s : strings) s = ReadStreamString(Stream);
    const bool paused = ReadStreamByte(Stream) != 0;
    const bool textPaused = ReadStreamByte(Stream) != 0;
    const int32_t textDelay = ReadStreamInt(Stream);
    const uint8_t sourceMode = ReadStreamByte(Stream);
    std::string pageFile = ReadStreamString(Stream);
    const int32_t commandIndex = ReadStreamInt(Stream);
    std::string onIdle = Version >= OnIdleVersion ? ReadStreamString(Stream) : std::string();
    const bool captureLink = Version >= CaptureLinkVersion && ReadStreamByte(Stream) != 0;
    const int32_t stateSize = ReadStreamCount(Stream, 1);
    std::vector<uint8_t> stateBytes(stateSize);
    Stream.ReadBuffer(stateBytes.data(), stateSize);
    auto states = std::make_unique<TMemoryStream>();
    states->WriteBuffer(stateBytes.data(), stateSize);

    Invalidate();
    ClearPages();
    CopySettings(settings, *Word);
    MesData.Clear();
    MesData.Data = data.Data;
    MesData.Entries = data.Entries;
    BuildFlag = buildFlag;
    BuildPosition = buildPosition;
    Text = std::move(text);
    PageIndex = pageIndex;
    ScrollY = scrollY;
    Value2 = value2;
    for (int i = 0; i < 3; ++i) Spare[i] = std::move(strings[i]);
    OnPlaying = std::move(strings[3]);
    OnPlayStart = std::move(strings[4]);
    OnPlayEnd = std::move(strings[5]);
    OnLink = std::move(strings[6]);
    OnNotify = std::move(strings[7]);
    Paused = paused;
    TextPaused = textPaused;
    TextDelay = textDelay;
    SourceMode = sourceMode;
    PageFile = std::move(pageFile);
    CommandIndex = commandIndex;
    OnIdle = std::move(onIdle);
    CaptureLink = captureLink;
    PendingStates = std::move(states);
    NeedRedraw = FullRedraw = false;
    StartHold = 0;
    Invalidate();
}

void TVelaMes::RestoreAfterLoad() {
    const int32_t index = PageIndex, scrollY = ScrollY, commandIndex = CommandIndex;
    const uint8_t sourceMode = SourceMode;
    const std::string pageFile = PageFile;
    std::unique_ptr<TMemoryStream> states = std::move(PendingStates);
    // The histories come back with the save as they were: the loaded pending page stays pending.
    if (MesData.IsEmpty())
        ShowText(Text, false);
    else
        BuildPages(false, 0, false);
    PageIndex = std::min(index, Pages.Count() - 1);
    ScrollY = scrollY;
    SourceMode = sourceMode;
    PageFile = pageFile;
    CommandIndex = commandIndex;
    if (TWdPage* page = CurrentPage()) {
        page->ResetReveal();
        page->Draw(true);
    }
    if (states) {
        states->SetPosition(0);
        for (int i = 0; i < Pages.Count() && states->Remaining() > 0; ++i) Pages.Items(i)->LoadState(*states);
    }
    NeedRedraw = FullRedraw = false;
    Invalidate();
}
