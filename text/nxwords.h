#pragma once
// Message text as a document: a flat list of glyphs (characters, inline images, line breaks and
// invisible operator glyphs) owned by a TNxWord, a shared table of text styles, the defaults
// every glyph falls back to, and the surfaces laid-out pages draw onto. Markup or a compiled
// text stream fills the glyph list; the layout distributes the glyphs over rows and pages; the
// reveal shows one page at a time.
//
// Where the operations are defined:
// - nxwords_layout.cpp: TDecorateList::MeasureChar; TWdGlyph::CanBreakBefore, CanEndLine and
//   UnbreakableWidth; TWdRow::Add and Arrange; TWdPage::Arrange; TWdChar::Measure; TWdClipList;
//   LayoutPages.
// - nxwords_reveal.cpp: TWdRow::Update and GlyphAt; TWdPage's Draw, GlyphAt, SaveState,
//   LoadState and the reveal (Advance to GetSaveAlpha); TWdReal's Draw, EraseBackground,
//   SaveState, LoadState, StartFade and StepFade; TWdChar's Draw and Update.
// - nxwords_glyphs.cpp: TWdOpeVar's ExpandVariable, CollapseVariable, SaveState, LoadState,
//   Assign and CollectVariables; TWdOpeHistChar::ExpandVariable; TWdOpeEvent::Assign; TWdImg's
//   Measure, Update, HasImage, AdvanceImage, ReleaseImage, AcquireImage and Assign.
// - nxwords_markup.cpp: SplitMarkup and BuildGlyphs.
// - nxwords_stream.cpp: CreateGlyph, the LoadFromStream of the document and the style table,
//   and every glyph's SaveToStream and LoadFromStream.
// - nxwords.cpp: everything else.
//
// Character codes are Shift-JIS: a single byte is its value, a double-byte character lead byte
// x 256 + trail byte. Colours are 24-bit values with red in the low byte, -1 = the document's.
// Style bits: 1 bold, 2 italic, 4 underline, 8 strike-out. Alignment codes: 0 none, 1 left,
// 2 right, 3 centre, 4 top, 5 bottom.
//
// Compiled form (little-endian; a string is an int32 byte length and its bytes): "NxWord" and
// the version as three ASCII digits (a stream without it is version 0 and starts with the style
// table); int32 style count and the style records; uint32 glyph count; per glyph a kind byte
// (low 7 bits) and the kind's body.
#include "core/header.h"
#include "core/stringlist.h"
#include "core/sysutils.h"
#include "graphics/dibx.h"
#include "objects/nameindex.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

class TNxWord;
class TWdGlyph;
class TWdPage;
class TVelaParser;
class TVelaImageList;

// Glyph kinds: GetKind, and the kind byte of the compiled form. No glyph has kind 8.
enum : int32_t {
    wkBase = 0,  // the base and TWdSpace
    wkChar = 1,  // TWdChar and TWdVarChar
    wkAlign = 2,
    wkReturn = 3,  // TWdOpeReturn and TWdVarReturn
    wkIndent = 4,
    wkUndent = 5,
    wkEvent = 6,
    wkVar = 7,
    wkImg = 9,
    wkHistChar = 10,
};

// ---- Styles ----

// The ten values that make a style; two glyphs share a style exactly when all ten are equal.
// The defaults are those of a new character.
struct TDecorateValues {
    int32_t Color = -1;        // -1 = the document's text colour
    int32_t BorderColor = -1;  // -1 = the document's
    int32_t ShadowColor = -1;  // -1 = the document's
    int32_t FontSize = 0;      // 0 = the document's
    uint8_t Style = 0;
    std::string FontName;  // empty = the document's
    uint8_t NoBreak = 0;
    std::string Ruby;  // empty = none
    int32_t BorderSize = 0;  // negative = the document's
    int32_t ShadowSize = 0;  // negative = the document's
    bool operator==(const TDecorateValues&) const = default;
};

// One style of the table, shared by reference count.
class TDecorate : public TDecorateValues {
public:
    int32_t RefCount = 0;

    // Stored record: reference count, colour, border colour, font size (int32); style bits,
    // no-break flag (byte); border (a flag byte before version 100: non-zero = size 1; from 100
    // the int32 size); face, ruby (strings); from version 100 shadow size and shadow colour
    // (int32; before 100 they stay 0).
    void LoadFromStream(TStream& Stream, int32_t Version);

private:
    friend class TDecorateList;
    friend struct TDecorateKey;
    int index_ = -1;                 // the style's place in its table, kept by the table
    uint32_t firstAt_ = 0;           // kept by the table's index of the first styles
    TDecorate* prevSame_ = nullptr;  // the styles of the table holding the same values, in table
    TDecorate* nextSame_ = nullptr;  // order; the first one's prevSame_ is the last one
};

// A style's values as the key of the table's index.
struct TDecorateKey {
    static const TDecorateValues& Of(const TDecorate& Decorate) { return Decorate; }
    static uint64_t Hash(const TDecorateValues& Values);
    static uint32_t& At(TDecorate& Decorate) { return Decorate.firstAt_; }
};

// The document's style table (owns its styles) with the measuring state of the layout. A style
// is found from its values and its place from the style, without walking the table.
class TDecorateList : public TObjList<TDecorate> {
public:
    explicit TDecorateList(TNxWord* AWord) : Word(AWord) {}

    // Appends a style holding the values it has; returns its index.
    int Add(std::unique_ptr<TDecorate> Decorate);
    // Frees the style at Index.
    void Delete(int Index);
    void Clear() override;
    // The style's index, -1 when it is not this table's.
    int IndexOf(const TDecorate* Decorate) const;
    // Frees the glyphs, then every style: those the glyphs leave without references stay until
    // all go together, instead of leaving the table one by one.
    void ClearWithGlyphs(TObjList<TWdGlyph>& Glyphs);

    TNxWord* Word;
    // The style last measured and the font made for it (height = size, weight 700 when bold
    // else 400, italic, underline with the underline bit or a link, strike-out; the face from
    // the installed fonts, else "ＭＳ ゴシック").
    const TDecorate* Measured = nullptr;
    bool MeasuredLink = false;
    TLogFont MeasureFont{};

    // nullptr out of range.
    TDecorate* GetItem(int Index) const;
    // The first style holding Values, nullptr when none does.
    TDecorate* Find(const TDecorateValues& Values) const;
    // A found style gains one reference; otherwise a new style with one reference is appended.
    TDecorate* FindOrAdd(const TDecorateValues& Values);
    // One reference less; at 0 the style is removed and freed. Nothing for nullptr.
    void Release(TDecorate* Decorate);
    // Gives the glyph whose style is Ref the values Values: another style holding them gains a
    // reference and Ref's is released; else a shared Ref gets a style of its own through
    // FindOrAdd; else Ref's style is changed in place.
    void Change(TDecorate*& Ref, const TDecorateValues& Values);
    // The face of a style (the document's, then "ＭＳ ゴシック", for an empty one), the size
    // (0 = the document's) and style bits (0 without a style).
    std::string GetFontName(const TDecorate* Decorate) const;
    int32_t GetFontSize(const TDecorate* Decorate) const;
    uint8_t GetStyle(const TDecorate* Decorate) const;
    // The cell of a character in a style: height the size (plus the ruby line), width from the
    // ABC widths or the size in whole-cell mode, italic, border and shadow added.
    void MeasureChar(const TDecorate* Decorate, uint16_t Code, int32_t& Width, int32_t& Height, bool HasLink);
    // Appends the style table of a compiled text of Version, each record a new style.
    void LoadFromStream(TStream& Stream, int32_t Version);

private:
    // Only the operations above keep the look-ups right.
    using TObjList<TDecorate>::Insert;
    using TObjList<TDecorate>::Extract;
    using TObjList<TDecorate>::DeleteIf;
    // Puts the style last among those holding its values / takes it out of them.
    void LinkSame(TDecorate& Decorate);
    void UnlinkSame(TDecorate& Decorate);

    // The first style of each set of values.
    TNameIndex<TDecorate, TDecorateKey> firsts_;
    bool keepReleased_ = false;  // set while ClearWithGlyphs frees the glyphs
};

// ---- The glyph tree ----

// The abstract glyph: its document, its place in its parent and its size. Every operation of
// the base does nothing and answers 0, nullptr or an empty string.
class TWdGlyph {
public:
    explicit TWdGlyph(TNxWord* AWord) : Word(AWord) {}
    TWdGlyph(const TWdGlyph&) = delete;
    TWdGlyph& operator=(const TWdGlyph&) = delete;
    virtual ~TWdGlyph();

    TNxWord* Word;  // not owned
    int32_t X = 0, Y = 0;  // relative to the parent
    int32_t Width = 0, Height = 0;
    TWdGlyph* Parent = nullptr;  // the row or page holding the glyph, not owned
    int ParentIndex = -1;  // the glyph's place among the parent's children, kept by the parent
    int WordIndex = -1;    // the glyph's place in the document's list, kept by the document

    // The page holding the glyph (the parent's; a page answers itself).
    virtual TWdPage* GetPage();
    virtual int32_t GetKind() const;
    virtual int GetCount() const;
    // nullptr out of range.
    virtual TWdGlyph* GetItem(int Index) const;
    virtual int32_t GetWidth() const;
    virtual int32_t GetHeight() const;

    virtual std::string GetFontName() const;
    virtual void SetFontName(const std::string& Value);
    virtual int32_t GetFontSize() const;
    virtual void SetFontSize(int32_t Value);
    virtual uint8_t GetFontStyle() const;
    virtual void SetFontStyle(uint8_t Value);
    virtual int32_t GetColor() const;
    virtual void SetColor(int32_t Value);
    virtual int32_t GetBorderColor() const;
    virtual void SetBorderColor(int32_t Value);
    virtual int32_t GetBorderSize() const;
    virtual void SetBorderSize(int32_t Value);
    virtual uint8_t GetNoBreak() const;
    virtual void SetNoBreak(uint8_t Value);
    virtual std::string GetRuby() const;
    virtual void SetRuby(const std::string& Value);
    virtual uint16_t GetCode() const;
    virtual void SetCode(uint16_t Value);
    virtual uint8_t GetAlign() const;
    virtual void SetAlign(uint8_t Value);
    virtual int32_t GetLeftBound() const;
    virtual void SetLeftBound(int32_t Value);
    virtual int32_t GetRightBound() const;
    virtual void SetRightBound(int32_t Value);
    // Own x (y) plus the parent's absolute value.
    virtual int32_t GetAbsLeft() const;
    virtual int32_t GetAbsTop() const;
    // The code as text: two bytes, lead byte first, for a code of 256 or more; else one byte.
    // A composite gives its children's texts.
    virtual std::string GetText() const;
    virtual int32_t GetAbsBaseline() const;
    virtual std::string GetLink() const;
    virtual void SetLink(const std::string& Value);
    virtual bool GetHover() const;
    virtual void SetHover(bool Value);
    virtual int32_t GetAlpha() const;
    virtual void SetAlpha(int32_t Value);  // clamps to 0..255
    virtual int32_t GetWait() const;
    virtual void SetWait(int32_t Value);
    // The clear flag of a line break (a page break).
    virtual bool GetClear() const;
    virtual void SetClear(bool Value);
    // Event text, variable expression, image name or history text.
    virtual std::string GetSource() const;
    virtual void SetSource(const std::string& Value);
    // Characters as text, a line break as CR LF; a composite its children's from the first
    // while their alpha is at least 1.
    virtual std::string GetPlainText() const;
    virtual int32_t GetShadowSize() const;
    virtual void SetShadowSize(int32_t Value);
    virtual int32_t GetShadowColor() const;
    virtual void SetShadowColor(int32_t Value);
    // The text positions the glyph counts.
    virtual int32_t GetCharCount() const;
    virtual TWdGlyph* GetFirst() const;
    virtual TWdGlyph* GetLast() const;
    virtual void SetBounds(int32_t AX, int32_t AY, int32_t AWidth, int32_t AHeight);
    virtual int IndexOf(const TWdGlyph* Child) const;
    virtual void Add(TWdGlyph* Child);
    virtual void AddOwned(std::unique_ptr<TWdGlyph> Child);
    // Hands an owned child back; nullptr when it is not owned here.
    virtual std::unique_ptr<TWdGlyph> RemoveOwned(TWdGlyph* Child);
    virtual void Delete(int Index);
    virtual void Clear();
    // Sets width and height.
    virtual void Measure();
    // Places the children.
    virtual void Arrange();
    // Renders into the document's page image; with Hide set a visible glyph's alpha is first 0.
    virtual void Draw(bool Hide);
    // Clears the glyph's rectangle on the document's page image.
    virtual void EraseBackground();
    // Composes the drawn glyph onto the document's destination surface.
    virtual void Update();
    virtual TWdGlyph* GlyphAt(int32_t AX, int32_t AY);
    virtual void SetAlphaAll(int32_t Value);
    // Adds the absolute rectangle to the document's areas to redraw.
    virtual void Invalidate();
    // Alpha 0.
    virtual void HideAll();
    // The compiled body, without the kind byte.
    virtual void SaveToStream(TStream& Stream) const;
    virtual void LoadFromStream(TStream& Stream, int32_t Version);
    virtual void ExpandVariable(bool Force);
    virtual void CollapseVariable();
    // The reveal state kept in save data.
    virtual void SaveState(TStream& Stream) const;
    virtual void LoadState(TStream& Stream);
    virtual bool HasImage() const;
    virtual void AdvanceImage(int32_t Elapsed);
    virtual void ReleaseImage();
    virtual void AcquireImage();
    // The glyph itself when it counts a text position, else nullptr; a composite the first
    // (last) such child.
    virtual TWdGlyph* FirstChar();
    virtual TWdGlyph* LastChar();
    // Copies place, size and the class's own fields from a glyph of the same kind.
    virtual void Assign(const TWdGlyph& Source);
    // Appends a "name=shown text" line for each variable glyph whose name no line has yet (Names
    // holds the names of List's lines).
    virtual void CollectVariables(TStringList& List, TAnsiTextSet& Names);
    // Fade-out: StepFade reports true when it has ended (alpha 0).
    virtual void StartFade(int32_t Duration);
    virtual bool StepFade(int32_t Elapsed);

    TRect GetRect() const { return TRect{X, Y, X + Width, Y + Height}; }
    // The previous glyph of the document; nullptr for the first or when it is a line break.
    TWdGlyph* PrevInLine() const;
    // The next glyph of the document; nullptr for the last or when this one is a line break.
    TWdGlyph* NextInLine() const;
    // Line-break rules of the layout.
    bool CanBreakBefore(const TWdGlyph* Prev) const;
    bool CanEndLine() const;
    // The width of the run that starts here (Index is this glyph's document index) and must not
    // be split; Count receives its glyph count.
    int32_t UnbreakableWidth(int Index, int& Count) const;
};

// A glyph with children: an ordered child list that does not own its items, and an owned list.
class TWdComposite : public TWdGlyph {
public:
    explicit TWdComposite(TNxWord* AWord) : TWdGlyph(AWord) {}
    ~TWdComposite() override;

    std::vector<TWdGlyph*> Children;
    std::vector<std::unique_ptr<TWdGlyph>> Owned;

    int GetCount() const override;
    TWdGlyph* GetItem(int Index) const override;
    std::string GetText() const override;
    std::string GetPlainText() const override;
    TWdGlyph* GetFirst() const override;
    TWdGlyph* GetLast() const override;
    // The child's place, -1 when this is not its parent (a glyph laid out again belongs to its
    // newest row).
    int IndexOf(const TWdGlyph* Child) const override;
    void Add(TWdGlyph* Child) override;
    void AddOwned(std::unique_ptr<TWdGlyph> Child) override;
    std::unique_ptr<TWdGlyph> RemoveOwned(TWdGlyph* Child) override;
    // Removes the child at Index (freed when owned here); the children after it move up.
    void Delete(int Index) override;
    // Removes every child and frees the owned ones.
    void Clear() override;
    void Draw(bool Hide) override;
    void Update() override;
    void SetAlphaAll(int32_t Value) override;
    void HideAll() override;
    void SaveState(TStream& Stream) const override;
    void LoadState(TStream& Stream) override;
    void ReleaseImage() override;
    void AcquireImage() override;
    TWdGlyph* FirstChar() override;
    TWdGlyph* LastChar() override;
    void CollectVariables(TStringList& List, TAnsiTextSet& Names) override;
};

// One laid-out line.
class TWdRow : public TWdComposite {
public:
    explicit TWdRow(TNxWord* AWord) : TWdComposite(AWord) {}

    int32_t LeftBound = 0, RightBound = 0;  // from the flow-around areas
    uint8_t Align = 1;
    // Running height maxima kept by Add: characters, top-aligned, centre-aligned, the others.
    int32_t CharHeight = 0, TopHeight = 0, CenterHeight = 0, OtherHeight = 0;

    uint8_t GetAlign() const override;
    void SetAlign(uint8_t Value) override;
    int32_t GetLeftBound() const override;
    void SetLeftBound(int32_t Value) override;
    int32_t GetRightBound() const override;
    void SetRightBound(int32_t Value) override;
    // Appends the child (parent := this row) and keeps the height maxima.
    void Add(TWdGlyph* Child) override;
    void Arrange() override;
    void Update() override;
    TWdGlyph* GlyphAt(int32_t AX, int32_t AY) override;
};

// One laid-out page: its rows (children and owned) and the reveal state.
class TWdPage : public TWdComposite {
public:
    explicit TWdPage(TNxWord* AWord) : TWdComposite(AWord) {}

    // Reveal state.
    int32_t ScrollOffset = 0;  // pixels, used when the document's paging flag is off
    TWdGlyph* HoverGlyph = nullptr;  // first glyph of the hovered link run
    std::vector<TWdGlyph*> FadingList;  // revealed, still below alpha 255; not owned
    int32_t WaitCount = 0;  // ms
    int32_t RowIndex = 0, GlyphIndex = 0;  // the next glyph to reveal
    int32_t SkipCount = 1;  // ticks skipped
    std::string EventText;  // pending event texts joined by TAB
    int32_t FadeCount = 0;  // in 1/256 ms
    bool Done = false;
    std::vector<TWdGlyph*> ImageList;  // revealed glyphs with an image; not owned
    bool AfterEvent = false;
    std::string VarText;

    TWdPage* GetPage() override;
    int32_t GetWidth() const override;  // the document's width
    int32_t GetAbsLeft() const override;
    int32_t GetAbsTop() const override;
    int32_t GetAbsBaseline() const override;
    // Also forgets the hover, the done flag, the fading and image lists and the document's caret.
    void Clear() override;
    void Arrange() override;
    void Draw(bool Hide) override;
    TWdGlyph* GlyphAt(int32_t AX, int32_t AY) override;
    void SaveState(TStream& Stream) const override;
    void LoadState(TStream& Stream) override;

    TWdRow* GetRow(int Index) const { return static_cast<TWdRow*>(GetItem(Index)); }
    // One tick of reveal of Elapsed ms. Finished is true once, at the first call that finds
    // the page completely revealed; Revealed receives the plain text revealed in this call, "*"
    // for each image.
    void Advance(int32_t Elapsed, bool& Finished, std::string& Revealed);
    bool HasMoreText() const;
    bool IsRevealDone() const;
    void ResetWait();
    void ResetReveal();
    // Hit test and link highlight; a negative coordinate means no glyph.
    void HoverLinkAt(int32_t AX, int32_t AY);
    // Each shown run of a link within a row (as HoverLinkAt finds them), its area on the
    // destination cut to the text area; runs wholly outside it are left out.
    void ListLinkRuns(const std::function<void(const TRect& Area)>& Visit) const;
    // Sets the hover flag of the link run that starts at First and repaints the run.
    void SetLinkRunHover(TWdGlyph* First, bool Value);
    std::string GetLinkText() const;
    void StoreVariables();
    // 255 while the glyph is fading in, else its alpha.
    int32_t GetSaveAlpha(const TWdGlyph* Glyph) const;

private:
    // The fading list as a set while SaveState runs, for the glyphs' look-ups.
    mutable std::unordered_set<const TWdGlyph*> savingFading_;
};

// A visible glyph.
class TWdReal : public TWdGlyph {
public:
    explicit TWdReal(TNxWord* AWord) : TWdGlyph(AWord) {}

    std::string Link;  // empty = no link
    bool Hover = false;
    int32_t Alpha = 0;  // 0..255
    int32_t Wait = 0;   // ms before it is revealed; negative = an absolute wait
    int32_t FadeDuration = 0, FadeElapsed = 0, FadeStartAlpha = 0;

    std::string GetLink() const override;
    void SetLink(const std::string& Value) override;
    bool GetHover() const override;
    void SetHover(bool Value) override;
    int32_t GetAlpha() const override;
    void SetAlpha(int32_t Value) override;
    int32_t GetWait() const override;
    void SetWait(int32_t Value) override;
    void Draw(bool Hide) override;
    void EraseBackground() override;
    void SetAlphaAll(int32_t Value) override;
    void SaveToStream(TStream& Stream) const override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;
    void SaveState(TStream& Stream) const override;
    void LoadState(TStream& Stream) override;
    void Assign(const TWdGlyph& Source) override;
    void StartFade(int32_t Duration) override;
    bool StepFade(int32_t Elapsed) override;
};

// One character with a style of the document's table.
class TWdChar : public TWdReal {
public:
    // Starts with the style of Values (the table's FindOrAdd).
    explicit TWdChar(TNxWord* AWord, const TDecorateValues& Values = TDecorateValues{});
    ~TWdChar() override;

    TDecorate* Decorate = nullptr;  // one reference of the document's table
    uint16_t Code = 0;
    TRect DrawnRect{0, 0, 0, 0};  // the rectangle last drawn

    int32_t GetKind() const override;
    std::string GetFontName() const override;
    void SetFontName(const std::string& Value) override;
    int32_t GetFontSize() const override;
    void SetFontSize(int32_t Value) override;
    uint8_t GetFontStyle() const override;
    void SetFontStyle(uint8_t Value) override;
    int32_t GetColor() const override;
    void SetColor(int32_t Value) override;
    int32_t GetBorderColor() const override;
    void SetBorderColor(int32_t Value) override;
    int32_t GetBorderSize() const override;
    void SetBorderSize(int32_t Value) override;
    uint8_t GetNoBreak() const override;
    void SetNoBreak(uint8_t Value) override;
    std::string GetRuby() const override;
    void SetRuby(const std::string& Value) override;
    uint16_t GetCode() const override;
    void SetCode(uint16_t Value) override;
    std::string GetPlainText() const override;
    int32_t GetShadowSize() const override;
    void SetShadowSize(int32_t Value) override;
    int32_t GetShadowColor() const override;
    void SetShadowColor(int32_t Value) override;
    int32_t GetCharCount() const override;
    void Measure() override;
    void Draw(bool Hide) override;
    void Update() override;
    // Body: link, wait, code (2 bytes), style index.
    void SaveToStream(TStream& Stream) const override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;
    void Assign(const TWdGlyph& Source) override;

    // Gives the glyph the style Values (the table's Change).
    void SetDecorate(const TDecorateValues& Values);
};

// A character inserted by a variable's expansion; it counts no text position.
class TWdVarChar : public TWdChar {
public:
    using TWdChar::TWdChar;
    int32_t GetCharCount() const override;
    void SaveState(TStream& Stream) const override;
    void LoadState(TStream& Stream) override;
};

// An inline image from the image cache.
class TWdImg : public TWdReal {
public:
    explicit TWdImg(TNxWord* AWord);
    ~TWdImg() override;

    std::string ImageName;
    std::unique_ptr<TVelaImageList> ImageList;  // nullptr until measured
    uint8_t Align = 5;  // 3 centre, 4 top, 5 bottom

    int32_t GetKind() const override;
    uint8_t GetAlign() const override;
    void SetAlign(uint8_t Value) override;
    std::string GetSource() const override;
    void SetSource(const std::string& Value) override;
    int32_t GetCharCount() const override;
    void Measure() override;
    void Update() override;
    // Body: link, wait, image name, alignment (byte).
    void SaveToStream(TStream& Stream) const override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;
    bool HasImage() const override;
    void AdvanceImage(int32_t Elapsed) override;
    void ReleaseImage() override;
    void AcquireImage() override;
    void Assign(const TWdGlyph& Source) override;
};

// A blank the layout inserts for an indent (owned by its row).
class TWdSpace : public TWdGlyph {
public:
    TWdSpace(TNxWord* AWord, int32_t AWidth) : TWdGlyph(AWord) { Width = AWidth; }
};

// A line break; with the clear flag a page break.
class TWdOpeReturn : public TWdGlyph {
public:
    using TWdGlyph::TWdGlyph;

    bool ClearFlag = false;

    int32_t GetKind() const override;
    int32_t GetHeight() const override;  // 0
    bool GetClear() const override;
    void SetClear(bool Value) override;
    std::string GetPlainText() const override;  // CR LF
    int32_t GetCharCount() const override;
    // Body: clear flag (byte).
    void SaveToStream(TStream& Stream) const override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;
    void Assign(const TWdGlyph& Source) override;
};

// A line break inserted by a variable's expansion: never clears, counts no text position.
class TWdVarReturn : public TWdOpeReturn {
public:
    using TWdOpeReturn::TWdOpeReturn;
    bool GetClear() const override;
    int32_t GetCharCount() const override;
};

// Sets the alignment of the rows that follow.
class TWdOpeAlign : public TWdGlyph {
public:
    using TWdGlyph::TWdGlyph;

    uint8_t Align = 1;

    int32_t GetKind() const override;
    uint8_t GetAlign() const override;
    void SetAlign(uint8_t Value) override;
    int32_t GetCharCount() const override;
    // Body: alignment (byte).
    void SaveToStream(TStream& Stream) const override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;
    void Assign(const TWdGlyph& Source) override;
};

// Starts an indent at the current x.
class TWdOpeIndent : public TWdGlyph {
public:
    using TWdGlyph::TWdGlyph;
    int32_t GetKind() const override;
    int32_t GetCharCount() const override;
};

// Ends the indent.
class TWdOpeUndent : public TWdGlyph {
public:
    using TWdGlyph::TWdGlyph;
    int32_t GetKind() const override;
    int32_t GetCharCount() const override;
};

// Hands its text to the document's event handler when revealed.
class TWdOpeEvent : public TWdGlyph {
public:
    using TWdGlyph::TWdGlyph;

    bool EndFlag = false;
    std::string Text;

    int32_t GetKind() const override;
    int32_t GetWait() const override;  // 1 with the end flag, else 0
    std::string GetSource() const override;
    void SetSource(const std::string& Value) override;
    int32_t GetCharCount() const override;
    // Body: the text, a leading byte 0x01 for the end flag.
    void SaveToStream(TStream& Stream) const override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;
    void Assign(const TWdGlyph& Source) override;
};

// Shows the value of a script expression as characters inserted after it.
class TWdOpeVar : public TWdGlyph {
public:
    explicit TWdOpeVar(TNxWord* AWord);
    ~TWdOpeVar() override;

    std::unique_ptr<TVelaParser> Parser;  // used when Expression is empty
    std::string Expression;  // the history text itself for TWdOpeHistChar
    std::vector<TWdGlyph*> Expanded;  // the glyphs of the last expansion (the document's)
    TDecorate* Decorate = nullptr;  // one reference of the document's table
    int32_t Wait = 0;
    std::string Link;

    int32_t GetKind() const override;
    std::string GetFontName() const override;
    void SetFontName(const std::string& Value) override;
    int32_t GetFontSize() const override;
    void SetFontSize(int32_t Value) override;
    uint8_t GetFontStyle() const override;
    void SetFontStyle(uint8_t Value) override;
    int32_t GetColor() const override;
    void SetColor(int32_t Value) override;
    int32_t GetBorderColor() const override;
    void SetBorderColor(int32_t Value) override;
    int32_t GetBorderSize() const override;
    void SetBorderSize(int32_t Value) override;
    uint8_t GetNoBreak() const override;
    void SetNoBreak(uint8_t Value) override;
    std::string GetRuby() const override;
    void SetRuby(const std::string& Value) override;
    std::string GetLink() const override;
    void SetLink(const std::string& Value) override;
    int32_t GetWait() const override;
    void SetWait(int32_t Value) override;
    std::string GetSource() const override;
    void SetSource(const std::string& Value) override;
    int32_t GetShadowSize() const override;
    void SetShadowSize(int32_t Value) override;
    int32_t GetShadowColor() const override;
    void SetShadowColor(int32_t Value) override;
    int32_t GetCharCount() const override;
    // Body: style index; from version 101 wait and link; from 102 the expression as text,
    // before it the compiled expression. Written at the newest form, the text trimmed.
    void SaveToStream(TStream& Stream) const override;
    void LoadFromStream(TStream& Stream, int32_t Version) override;
    // Inserts the glyphs MakeExpansion makes after those of the last expansion.
    void ExpandVariable(bool Force) override;
    void CollapseVariable() override;
    void SaveState(TStream& Stream) const override;
    void LoadState(TStream& Stream) override;
    void Assign(const TWdGlyph& Source) override;
    void CollectVariables(TStringList& List, TAnsiTextSet& Names) override;

    void SetDecorate(const TDecorateValues& Values);
    // The glyphs that show the value now, into Glyphs; false, making none, when there is nothing
    // to show or the glyph is not its document's.
    virtual bool MakeExpansion(bool Force, std::vector<std::unique_ptr<TWdGlyph>>& Glyphs);
};

// Shows a text kept for the history; expands only when forced.
class TWdOpeHistChar : public TWdOpeVar {
public:
    using TWdOpeVar::TWdOpeVar;
    int32_t GetKind() const override;
    bool MakeExpansion(bool Force, std::vector<std::unique_ptr<TWdGlyph>>& Glyphs) override;
};

// The glyph of a compiled kind: 1 TWdChar, 2 TWdOpeAlign, 3 TWdOpeReturn, 4 TWdOpeIndent,
// 5 TWdOpeUndent, 6 TWdOpeEvent, 7 TWdOpeVar, 9 TWdImg, 10 TWdOpeHistChar; nullptr for others.
std::unique_ptr<TWdGlyph> CreateGlyph(TNxWord* Word, int32_t Kind);

// ---- Layout helpers ----

// The flow-around areas of one layout run.
class TWdClipList {
public:
    explicit TWdClipList(int32_t AFullWidth) : FullWidth(AFullWidth) {}

    int32_t FullWidth;

    // Places a Width x Height area at Top against the right (RightSide) or left bound free
    // there, and answers it.
    TRect AddRect(int32_t Top, int32_t Width, bool RightSide, int32_t Height);
    // The bounds free at Top: from 0 and the full width, narrowed by every area spanning Top.
    // Asked at tops that do not go back, each area is looked at until the tops pass its bottom.
    void GetBounds(int32_t Top, int32_t& Left, int32_t& Right);
    void Clear();

private:
    struct TArea {
        TRect Rect;
        bool RightSide;  // hugs the right bound, else the left
    };
    std::vector<TArea> areas_;
    // The areas whose bottom the tops asked have not passed; all of them again when a top goes
    // back.
    std::vector<size_t> open_;
    int32_t lastTop_ = INT32_MIN;
};

using TWdPageList = TObjList<TWdPage>;

// ---- The document ----

// The values a document's variables showed when its text was kept: lines "name=value", a
// value's line ends kept as \x01. Lines are appended or all cleared.
class TKeptVariables : public TStringList {
public:
    void Clear() override;
    // The first line whose name (what comes before its first "=") is Name without regard to
    // case; -1 when none. The lines added since the last look-up are indexed once.
    int IndexOfName(std::string_view Name) const;

private:
    using TStringList::Delete;
    using TStringList::Insert;
    using TStringList::SetString;
    mutable TAnsiTextMap<int> lines_;  // the first line of each name among the indexed lines
    mutable int indexed_ = 0;
};

// A new document's font size.
inline constexpr int32_t DefaultFontSize = 12;

class TNxWord {
public:
    using TEventHandler = std::function<void(TNxWord& Word, const std::string& Text)>;

    TNxWord();
    TNxWord(const TNxWord&) = delete;
    TNxWord& operator=(const TNxWord&) = delete;
    ~TNxWord();

    int32_t FontSize = DefaultFontSize;
    std::string FontName = "ＭＳ ゴシック";
    int32_t Color = 0;
    TObjList<TWdGlyph> Glyphs;
    int32_t Height = 0;  // of the text area
    int32_t Width = 0;   // of the text area; 0 = unlimited
    TDecorateList Decorates;
    TDIBX PageImage;  // the page image
    TDIBX SubImage;   // the second surface
    int32_t RowSpace = 0;  // added below each row
    int32_t OriginX = 0, OriginY = 0;  // of the page on the destination
    TCustomDIBX* Dest = nullptr;  // set by the message window, not owned
    uint8_t Paging = 0;  // 1: rows that do not fit the height start a new page
    int32_t LinkColor = 0xFF0000;
    int32_t HoverColor = 0x008000;
    int32_t FadeTime = 1;  // ms
    int32_t BorderColor = 0x808080;
    TRect ClipRect{0, 0, 0, 0};  // of the redraw in progress, set by the message window
    int32_t Alpha = 255;  // 0..511; above 255 inline images draw additively
    uint8_t Hold = 0;  // while set no further glyph is revealed
    TPoint Caret{0, 0};
    int32_t CaretHeight = 0;
    int32_t Speed = 256;  // in 1/256: 256 = the glyphs' own waits
    uint8_t EventsEnabled = 0;
    TDIBX MaskImage;  // 8 bits: the page's coverage
    int32_t AntialiasLevel = 3;  // 0..3
    int32_t ShadowColor = 0;
    int32_t BorderSize = 0;
    int32_t ShadowSize = 0;
    TKeptVariables Variables;
    uint8_t WholeCell = 1;  // characters measure one font size wide
    TEventHandler OnEvent;
    std::vector<TRect> DirtyRects;  // the areas to redraw
    int32_t StyleIndexBase = 0;  // added to the style indexes of a compiled text

    int GlyphCount() const { return Glyphs.Count(); }
    // nullptr out of range.
    TWdGlyph* GetGlyph(int Index) const;
    // Frees every glyph, clears the style table and the variable list, base 0.
    void ClearGlyphs();
    // The glyph's place in the list; -1 when it is not this document's.
    int IndexOfGlyph(const TWdGlyph* Glyph) const;
    void InsertGlyph(int Index, std::unique_ptr<TWdGlyph> Glyph);
    // Inserts the glyphs, in their order, before position Index in one move of those after it.
    void InsertGlyphs(int Index, std::vector<std::unique_ptr<TWdGlyph>>&& Inserted);
    void AddGlyph(std::unique_ptr<TWdGlyph> Glyph);
    // Frees the glyph at Index.
    void DeleteGlyph(int Index);
    // Frees those of the glyphs that are this document's, in one pass over the list.
    void DeleteGlyphs(const std::vector<TWdGlyph*>& Gone);
    // The index of the glyph at text position Pos; -1 past the end.
    int GlyphIndexAtTextPos(int32_t Pos) const;
    // The text position of a glyph: the counts of the glyphs before it.
    int32_t GetTextPos(const TWdGlyph* Glyph) const;
    // Appends a non-empty rectangle to the areas to redraw.
    void AddDirtyRect(const TRect& R);
    void ClearDirtyRects();
    // Calls the event handler when one is set.
    void FireEvent(const std::string& Text);
    void SetFadeTime(int32_t Value);
    void ReleaseImages();
    void AcquireImages();
    // ExpandVariable on each glyph from Last down to First (a negative or too large Last = the
    // last glyph).
    void ExpandVariables(int First, int Last, bool Force);
    void CollapseVariables(int First, int Last);
    // Appends to Target a copy (CreateGlyph and Assign) of each glyph from First to Last.
    void CopyGlyphs(TNxWord& Target, int First, int Last) const;

    // The settings record kept in save data; LoadSettings reads the shadow colour from version
    // 110, the border and shadow sizes from 111 and the whole-cell flag from 141.
    void SaveSettings(TStream& Stream) const;
    void LoadSettings(TStream& Stream, int32_t Version);
    // Appends the compiled text at the stream's position (it does not clear the document).
    void LoadFromStream(TStream& Stream);

private:
    // Gives the glyphs from From on their places in the list again.
    void RenumberGlyphs(int From);
};

// ---- Markup and layout entry points ----

// Replaces Lines by the tokens of the marked-up text they hold.
void SplitMarkup(TNxWord& Word, TStringList& Lines);
// Clears the document and fills it from marked-up Lines.
void BuildGlyphs(TNxWord& Word, const TStringList& Lines);
// Lays out the glyphs from First to the one at text position EndPos (negative or beyond the
// end: the last) into new pages appended to Pages.
void LayoutPages(TNxWord& Word, TWdPageList& Pages, int First, int32_t EndPos);
