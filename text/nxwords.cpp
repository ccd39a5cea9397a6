#include "text/nxwords.h"

#include "objects/vitemex_imagelist.h"
#include "script/params_parser.h"
#include "text/fontpixels.h"

#include <algorithm>
#include <unordered_set>

namespace {

const char* const kFallbackFace = "ＭＳ ゴシック";

// Appends the plain texts of Glyph's children from the first while the visible ones have been
// revealed; false once a visible child below alpha 1 ends the text.
bool AppendPlainText(const TWdComposite& Glyph, std::string& Text) {
    for (const TWdGlyph* child : Glyph.Children) {
        if (auto composite = dynamic_cast<const TWdComposite*>(child)) {
            if (!AppendPlainText(*composite, Text)) return false;
        } else if (dynamic_cast<const TWdReal*>(child) && child->GetAlpha() < 1) {
            return false;
        } else {
            Text += child->GetPlainText();
        }
    }
    return true;
}

// Resolves the index range of the document's range operations: a negative or too large Last is
// the last glyph.
int LastIndex(const TNxWord& Word, int Last) {
    return (Last < 0 || Last >= Word.GlyphCount()) ? Word.GlyphCount() - 1 : Last;
}

// The face of a style: its own, else the document's, else the fallback face.
std::string StyleFace(const TNxWord& Word, const TDecorate* Decorate) {
    if (Decorate && !Decorate->FontName.empty()) return Decorate->FontName;
    return Word.FontName.empty() ? kFallbackFace : Word.FontName;
}

// The style accessors of characters and variable glyphs: both keep one reference of the
// document's table, read it and change it through the table.
template <class Field, class Value>
void ChangeStyle(TNxWord& Word, TDecorate*& Ref, Field TDecorateValues::*Member, const Value& New) {
    TDecorateValues values = *Ref;
    values.*Member = New;
    Word.Decorates.Change(Ref, values);
}

int32_t SizeOrDefault(int32_t Own, int32_t Default) { return Own < 0 ? Default : Own; }

}  // namespace

// ---- Styles ----

uint64_t TDecorateKey::Hash(const TDecorateValues& Values) {
    uint64_t h = std::hash<std::string>{}(Values.FontName) * 31 + std::hash<std::string>{}(Values.Ruby);
    for (const int64_t field : {int64_t{Values.Color}, int64_t{Values.BorderColor}, int64_t{Values.ShadowColor},
                                int64_t{Values.FontSize}, int64_t{Values.Style}, int64_t{Values.NoBreak},
                                int64_t{Values.BorderSize}, int64_t{Values.ShadowSize}})
        h = h * 1000003 ^ uint64_t(field);
    // The index places by the low bits: the high bits of the fields (a colour's blue) are
    // folded into them.
    h = (h ^ h >> 31) * 0x9E3779B97F4A7C15;
    return h ^ h >> 29;
}

void TDecorateList::LinkSame(TDecorate& Decorate) {
    TDecorate* first = Find(Decorate);
    if (!first) {
        Decorate.prevSame_ = &Decorate;
        firsts_.Add(&Decorate);
        return;
    }
    TDecorate* last = first->prevSame_;
    last->nextSame_ = &Decorate;
    Decorate.prevSame_ = last;
    first->prevSame_ = &Decorate;
}

void TDecorateList::UnlinkSame(TDecorate& Decorate) {
    TDecorate* next = Decorate.nextSame_;
    if (Decorate.prevSame_->nextSame_ != &Decorate) {
        // The first of its values: the next one, if any, stands for them in its place.
        firsts_.Remove(&Decorate);
        if (next) {
            next->prevSame_ = Decorate.prevSame_;
            firsts_.Add(next);
        }
    } else {
        Decorate.prevSame_->nextSame_ = next;
        (next ? next : Find(Decorate))->prevSame_ = Decorate.prevSame_;
    }
    Decorate.prevSame_ = Decorate.nextSame_ = nullptr;
}

int TDecorateList::Add(std::unique_ptr<TDecorate> Decorate) {
    TDecorate& added = *Decorate;
    added.index_ = TObjList<TDecorate>::Add(std::move(Decorate));
    LinkSame(added);
    return added.index_;
}

void TDecorateList::Delete(int Index) {
    TDecorate& gone = *Items(Index);
    UnlinkSame(gone);
    const std::unique_ptr<TDecorate> freed = Extract(Index);  // freed with the table renumbered
    for (int i = Index; i < Count(); ++i) Items(i)->index_ = i;
}

void TDecorateList::Clear() {
    firsts_.Clear();
    TObjList<TDecorate>::Clear();
}

int TDecorateList::IndexOf(const TDecorate* Decorate) const {
    return Decorate && GetItem(Decorate->index_) == Decorate ? Decorate->index_ : -1;
}

void TDecorateList::ClearWithGlyphs(TObjList<TWdGlyph>& Glyphs) {
    keepReleased_ = true;
    Glyphs.Clear();
    keepReleased_ = false;
    Clear();
}

TDecorate* TDecorateList::GetItem(int Index) const { return (Index >= 0 && Index < Count()) ? Items(Index) : nullptr; }

TDecorate* TDecorateList::Find(const TDecorateValues& Values) const {
    TDecorate* first = nullptr;
    firsts_.ForEachNamed(Values, [&first](TDecorate* Found) { first = Found; });
    return first;
}

TDecorate* TDecorateList::FindOrAdd(const TDecorateValues& Values) {
    TDecorate* found = Find(Values);
    if (!found) {
        auto added = std::make_unique<TDecorate>();
        static_cast<TDecorateValues&>(*added) = Values;
        found = added.get();
        Add(std::move(added));
    }
    ++found->RefCount;
    return found;
}

void TDecorateList::Release(TDecorate* Decorate) {
    if (!Decorate || --Decorate->RefCount > 0) return;
    if (Measured == Decorate) Measured = nullptr;
    if (keepReleased_) return;
    int index = IndexOf(Decorate);
    if (index >= 0) Delete(index);
}

void TDecorateList::Change(TDecorate*& Ref, const TDecorateValues& Values) {
    if (TDecorate* other = Find(Values); other && other != Ref) {
        ++other->RefCount;
        Release(Ref);
        Ref = other;
    } else if (Ref->RefCount > 1) {
        TDecorate* own = FindOrAdd(Values);
        --Ref->RefCount;
        Ref = own;
    } else {
        // No other style holds Values: Ref takes them in its place in the table.
        if (!(static_cast<const TDecorateValues&>(*Ref) == Values)) {
            UnlinkSame(*Ref);
            static_cast<TDecorateValues&>(*Ref) = Values;
            LinkSame(*Ref);
        }
        if (Measured == Ref) Measured = nullptr;
    }
}

std::string TDecorateList::GetFontName(const TDecorate* Decorate) const { return StyleFace(*Word, Decorate); }

int32_t TDecorateList::GetFontSize(const TDecorate* Decorate) const { return Decorate ? Decorate->FontSize : 0; }

uint8_t TDecorateList::GetStyle(const TDecorate* Decorate) const { return Decorate ? Decorate->Style : 0; }

// ---- The glyph base ----

TWdGlyph::~TWdGlyph() = default;

TWdPage* TWdGlyph::GetPage() { return Parent ? Parent->GetPage() : nullptr; }
int32_t TWdGlyph::GetKind() const { return wkBase; }
int TWdGlyph::GetCount() const { return 0; }
TWdGlyph* TWdGlyph::GetItem(int) const { return nullptr; }
int32_t TWdGlyph::GetWidth() const { return Width; }
int32_t TWdGlyph::GetHeight() const { return Height; }
std::string TWdGlyph::GetFontName() const { return {}; }
void TWdGlyph::SetFontName(const std::string&) {}
int32_t TWdGlyph::GetFontSize() const { return 0; }
void TWdGlyph::SetFontSize(int32_t) {}
uint8_t TWdGlyph::GetFontStyle() const { return 0; }
void TWdGlyph::SetFontStyle(uint8_t) {}
int32_t TWdGlyph::GetColor() const { return 0; }
void TWdGlyph::SetColor(int32_t) {}
int32_t TWdGlyph::GetBorderColor() const { return 0; }
void TWdGlyph::SetBorderColor(int32_t) {}
int32_t TWdGlyph::GetBorderSize() const { return 0; }
void TWdGlyph::SetBorderSize(int32_t) {}
uint8_t TWdGlyph::GetNoBreak() const { return 0; }
void TWdGlyph::SetNoBreak(uint8_t) {}
std::string TWdGlyph::GetRuby() const { return {}; }
void TWdGlyph::SetRuby(const std::string&) {}
uint16_t TWdGlyph::GetCode() const { return 0; }
void TWdGlyph::SetCode(uint16_t) {}
uint8_t TWdGlyph::GetAlign() const { return 0; }
void TWdGlyph::SetAlign(uint8_t) {}
int32_t TWdGlyph::GetLeftBound() const { return 0; }
void TWdGlyph::SetLeftBound(int32_t) {}
int32_t TWdGlyph::GetRightBound() const { return 0; }
void TWdGlyph::SetRightBound(int32_t) {}
int32_t TWdGlyph::GetAbsLeft() const { return X + (Parent ? Parent->GetAbsLeft() : 0); }
int32_t TWdGlyph::GetAbsTop() const { return Y + (Parent ? Parent->GetAbsTop() : 0); }

std::string TWdGlyph::GetText() const {
    uint16_t code = GetCode();
    if (code >= 256) return std::string{char(code >> 8), char(code & 0xFF)};
    return std::string(1, char(code));
}

int32_t TWdGlyph::GetAbsBaseline() const { return 0; }
std::string TWdGlyph::GetLink() const { return {}; }
void TWdGlyph::SetLink(const std::string&) {}
bool TWdGlyph::GetHover() const { return false; }
void TWdGlyph::SetHover(bool) {}
int32_t TWdGlyph::GetAlpha() const { return 0; }
void TWdGlyph::SetAlpha(int32_t) {}
int32_t TWdGlyph::GetWait() const { return 0; }
void TWdGlyph::SetWait(int32_t) {}
bool TWdGlyph::GetClear() const { return false; }
void TWdGlyph::SetClear(bool) {}
std::string TWdGlyph::GetSource() const { return {}; }
void TWdGlyph::SetSource(const std::string&) {}
std::string TWdGlyph::GetPlainText() const { return {}; }
int32_t TWdGlyph::GetShadowSize() const { return 0; }
void TWdGlyph::SetShadowSize(int32_t) {}
int32_t TWdGlyph::GetShadowColor() const { return 0; }
void TWdGlyph::SetShadowColor(int32_t) {}
int32_t TWdGlyph::GetCharCount() const { return 0; }
TWdGlyph* TWdGlyph::GetFirst() const { return nullptr; }
TWdGlyph* TWdGlyph::GetLast() const { return nullptr; }

void TWdGlyph::SetBounds(int32_t AX, int32_t AY, int32_t AWidth, int32_t AHeight) {
    X = AX;
    Y = AY;
    Width = AWidth;
    Height = AHeight;
}

int TWdGlyph::IndexOf(const TWdGlyph*) const { return -1; }
void TWdGlyph::Add(TWdGlyph*) {}
void TWdGlyph::AddOwned(std::unique_ptr<TWdGlyph>) {}
std::unique_ptr<TWdGlyph> TWdGlyph::RemoveOwned(TWdGlyph*) { return nullptr; }
void TWdGlyph::Delete(int) {}
void TWdGlyph::Clear() {}
void TWdGlyph::Measure() {}
void TWdGlyph::Arrange() {}
void TWdGlyph::Draw(bool) {}
void TWdGlyph::EraseBackground() {}
void TWdGlyph::Update() {}
TWdGlyph* TWdGlyph::GlyphAt(int32_t, int32_t) { return nullptr; }
void TWdGlyph::SetAlphaAll(int32_t) {}

void TWdGlyph::Invalidate() {
    int32_t left = GetAbsLeft(), top = GetAbsTop();
    Word->AddDirtyRect(TRect{left, top, left + Width, top + Height});
}

void TWdGlyph::HideAll() { SetAlpha(0); }
void TWdGlyph::SaveToStream(TStream&) const {}
void TWdGlyph::LoadFromStream(TStream&, int32_t) {}
void TWdGlyph::ExpandVariable(bool) {}
void TWdGlyph::CollapseVariable() {}
void TWdGlyph::SaveState(TStream&) const {}
void TWdGlyph::LoadState(TStream&) {}
bool TWdGlyph::HasImage() const { return false; }
void TWdGlyph::AdvanceImage(int32_t) {}
void TWdGlyph::ReleaseImage() {}
void TWdGlyph::AcquireImage() {}
TWdGlyph* TWdGlyph::FirstChar() { return GetCharCount() > 0 ? this : nullptr; }
TWdGlyph* TWdGlyph::LastChar() { return GetCharCount() > 0 ? this : nullptr; }

void TWdGlyph::Assign(const TWdGlyph& Source) { SetBounds(Source.X, Source.Y, Source.Width, Source.Height); }

void TWdGlyph::CollectVariables(TStringList&, TAnsiTextSet&) {}
void TWdGlyph::StartFade(int32_t) {}
bool TWdGlyph::StepFade(int32_t) { return false; }

TWdGlyph* TWdGlyph::PrevInLine() const {
    TWdGlyph* prev = Word->GetGlyph(Word->IndexOfGlyph(this) - 1);
    return (prev && prev->GetKind() == wkReturn) ? nullptr : prev;
}

TWdGlyph* TWdGlyph::NextInLine() const {
    if (GetKind() == wkReturn) return nullptr;
    int index = Word->IndexOfGlyph(this);
    return index < 0 ? nullptr : Word->GetGlyph(index + 1);
}

// ---- Composites ----

TWdComposite::~TWdComposite() = default;

int TWdComposite::GetCount() const { return int(Children.size()); }

TWdGlyph* TWdComposite::GetItem(int Index) const {
    return (Index >= 0 && Index < GetCount()) ? Children[size_t(Index)] : nullptr;
}

std::string TWdComposite::GetText() const {
    std::string text;
    for (const TWdGlyph* child : Children) text += child->GetText();
    return text;
}

std::string TWdComposite::GetPlainText() const {
    std::string text;
    AppendPlainText(*this, text);
    return text;
}

TWdGlyph* TWdComposite::GetFirst() const { return Children.empty() ? nullptr : Children.front(); }
TWdGlyph* TWdComposite::GetLast() const { return Children.empty() ? nullptr : Children.back(); }

int TWdComposite::IndexOf(const TWdGlyph* Child) const {
    return Child && Child->Parent == this && GetItem(Child->ParentIndex) == Child ? Child->ParentIndex : -1;
}

void TWdComposite::Add(TWdGlyph* Child) {
    Child->ParentIndex = GetCount();
    Children.push_back(Child);
    Child->Parent = this;
}

void TWdComposite::AddOwned(std::unique_ptr<TWdGlyph> Child) { Owned.push_back(std::move(Child)); }

std::unique_ptr<TWdGlyph> TWdComposite::RemoveOwned(TWdGlyph* Child) {
    auto found = std::find_if(Owned.begin(), Owned.end(), [Child](const auto& owned) { return owned.get() == Child; });
    if (found == Owned.end()) return nullptr;
    std::unique_ptr<TWdGlyph> removed = std::move(*found);
    Owned.erase(found);
    return removed;
}

void TWdComposite::Delete(int Index) {
    TWdGlyph* child = GetItem(Index);
    if (!child) RaiseListIndexError(Index);
    Children.erase(Children.begin() + Index);
    for (int i = Index; i < GetCount(); ++i) Children[size_t(i)]->ParentIndex = i;
    RemoveOwned(child);
}

void TWdComposite::Clear() {
    Children.clear();
    std::vector<std::unique_ptr<TWdGlyph>> owned = std::move(Owned);  // leaves Owned empty
    owned.clear();
}

void TWdComposite::Draw(bool Hide) {
    for (TWdGlyph* child : Children) child->Draw(Hide);
}
void TWdComposite::Update() {
    for (TWdGlyph* child : Children) child->Update();
}
void TWdComposite::SetAlphaAll(int32_t Value) {
    for (TWdGlyph* child : Children) child->SetAlphaAll(Value);
}
void TWdComposite::HideAll() {
    for (TWdGlyph* child : Children) child->HideAll();
}
void TWdComposite::SaveState(TStream& Stream) const {
    for (TWdGlyph* child : Children) child->SaveState(Stream);
}
void TWdComposite::LoadState(TStream& Stream) {
    for (TWdGlyph* child : Children) child->LoadState(Stream);
}
void TWdComposite::ReleaseImage() {
    for (TWdGlyph* child : Children) child->ReleaseImage();
}
void TWdComposite::AcquireImage() {
    for (TWdGlyph* child : Children) child->AcquireImage();
}
void TWdComposite::CollectVariables(TStringList& List, TAnsiTextSet& Names) {
    for (TWdGlyph* child : Children) child->CollectVariables(List, Names);
}

TWdGlyph* TWdComposite::FirstChar() {
    for (TWdGlyph* child : Children)
        if (TWdGlyph* found = child->FirstChar()) return found;
    return nullptr;
}

TWdGlyph* TWdComposite::LastChar() {
    for (auto child = Children.rbegin(); child != Children.rend(); ++child)
        if (TWdGlyph* found = (*child)->LastChar()) return found;
    return nullptr;
}

// ---- Rows and pages ----

uint8_t TWdRow::GetAlign() const { return Align; }
void TWdRow::SetAlign(uint8_t Value) { Align = Value; }
int32_t TWdRow::GetLeftBound() const { return LeftBound; }
void TWdRow::SetLeftBound(int32_t Value) { LeftBound = Value; }
int32_t TWdRow::GetRightBound() const { return RightBound; }
void TWdRow::SetRightBound(int32_t Value) { RightBound = Value; }

TWdPage* TWdPage::GetPage() { return this; }
int32_t TWdPage::GetWidth() const { return Word->Width; }
int32_t TWdPage::GetAbsLeft() const { return Word->OriginX; }
int32_t TWdPage::GetAbsTop() const { return Word->OriginY - (Word->Paging ? 0 : ScrollOffset); }
int32_t TWdPage::GetAbsBaseline() const { return GetAbsTop(); }

void TWdPage::Clear() {
    TWdComposite::Clear();
    HoverGlyph = nullptr;
    Done = false;
    FadingList.clear();
    ImageList.clear();
    Word->Caret = TPoint{0, 0};
    Word->CaretHeight = 0;
}

// ---- Visible glyphs ----

std::string TWdReal::GetLink() const { return Link; }
void TWdReal::SetLink(const std::string& Value) { Link = Value; }
bool TWdReal::GetHover() const { return Hover; }
void TWdReal::SetHover(bool Value) { Hover = Value; }
int32_t TWdReal::GetAlpha() const { return Alpha; }
void TWdReal::SetAlpha(int32_t Value) { Alpha = std::clamp(Value, 0, 255); }
int32_t TWdReal::GetWait() const { return Wait; }
void TWdReal::SetWait(int32_t Value) { Wait = Value; }
void TWdReal::SetAlphaAll(int32_t Value) { SetAlpha(Value); }

void TWdReal::Assign(const TWdGlyph& Source) {
    TWdGlyph::Assign(Source);
    if (auto real = dynamic_cast<const TWdReal*>(&Source)) {
        Link = real->Link;
        Hover = real->Hover;
        Alpha = real->Alpha;
        Wait = real->Wait;
        FadeDuration = real->FadeDuration;
        FadeElapsed = real->FadeElapsed;
        FadeStartAlpha = real->FadeStartAlpha;
    }
}

TWdChar::TWdChar(TNxWord* AWord, const TDecorateValues& Values)
    : TWdReal(AWord), Decorate(AWord->Decorates.FindOrAdd(Values)) {}

TWdChar::~TWdChar() { Word->Decorates.Release(Decorate); }

int32_t TWdChar::GetKind() const { return wkChar; }
std::string TWdChar::GetFontName() const { return StyleFace(*Word, Decorate); }
void TWdChar::SetFontName(const std::string& Value) { ChangeStyle(*Word, Decorate, &TDecorateValues::FontName, Value); }
int32_t TWdChar::GetFontSize() const { return Decorate->FontSize; }
void TWdChar::SetFontSize(int32_t Value) { ChangeStyle(*Word, Decorate, &TDecorateValues::FontSize, Value); }
uint8_t TWdChar::GetFontStyle() const { return Decorate->Style; }
void TWdChar::SetFontStyle(uint8_t Value) { ChangeStyle(*Word, Decorate, &TDecorateValues::Style, Value); }
int32_t TWdChar::GetColor() const { return Decorate->Color; }
void TWdChar::SetColor(int32_t Value) { ChangeStyle(*Word, Decorate, &TDecorateValues::Color, Value); }
int32_t TWdChar::GetBorderColor() const { return Decorate->BorderColor; }
void TWdChar::SetBorderColor(int32_t Value) { ChangeStyle(*Word, Decorate, &TDecorateValues::BorderColor, Value); }
int32_t TWdChar::GetBorderSize() const { return SizeOrDefault(Decorate->BorderSize, Word->BorderSize); }
void TWdChar::SetBorderSize(int32_t Value) { ChangeStyle(*Word, Decorate, &TDecorateValues::BorderSize, Value); }
uint8_t TWdChar::GetNoBreak() const { return Decorate->NoBreak; }
void TWdChar::SetNoBreak(uint8_t Value) { ChangeStyle(*Word, Decorate, &TDecorateValues::NoBreak, Value); }
std::string TWdChar::GetRuby() const { return Decorate->Ruby; }
void TWdChar::SetRuby(const std::string& Value) { ChangeStyle(*Word, Decorate, &TDecorateValues::Ruby, Value); }
uint16_t TWdChar::GetCode() const { return Code; }
void TWdChar::SetCode(uint16_t Value) { Code = Value; }
std::string TWdChar::GetPlainText() const { return GetText(); }
int32_t TWdChar::GetShadowSize() const { return SizeOrDefault(Decorate->ShadowSize, Word->ShadowSize); }
void TWdChar::SetShadowSize(int32_t Value) { ChangeStyle(*Word, Decorate, &TDecorateValues::ShadowSize, Value); }
int32_t TWdChar::GetShadowColor() const { return Decorate->ShadowColor; }
void TWdChar::SetShadowColor(int32_t Value) { ChangeStyle(*Word, Decorate, &TDecorateValues::ShadowColor, Value); }
int32_t TWdChar::GetCharCount() const { return 1; }
void TWdChar::SetDecorate(const TDecorateValues& Values) { Word->Decorates.Change(Decorate, Values); }

void TWdChar::Assign(const TWdGlyph& Source) {
    TWdReal::Assign(Source);
    if (auto ch = dynamic_cast<const TWdChar*>(&Source)) {
        Code = ch->Code;
        DrawnRect = ch->DrawnRect;
        SetDecorate(*ch->Decorate);
    }
}

int32_t TWdVarChar::GetCharCount() const { return 0; }
void TWdVarChar::SaveState(TStream&) const {}
void TWdVarChar::LoadState(TStream&) {}

TWdImg::TWdImg(TNxWord* AWord) : TWdReal(AWord) {}
TWdImg::~TWdImg() = default;
int32_t TWdImg::GetKind() const { return wkImg; }
uint8_t TWdImg::GetAlign() const { return Align; }
void TWdImg::SetAlign(uint8_t Value) { Align = Value; }
std::string TWdImg::GetSource() const { return ImageName; }
void TWdImg::SetSource(const std::string& Value) { ImageName = Value; }
int32_t TWdImg::GetCharCount() const { return 1; }

// ---- Operator glyphs ----

int32_t TWdOpeReturn::GetKind() const { return wkReturn; }
int32_t TWdOpeReturn::GetHeight() const { return 0; }
bool TWdOpeReturn::GetClear() const { return ClearFlag; }
void TWdOpeReturn::SetClear(bool Value) { ClearFlag = Value; }
std::string TWdOpeReturn::GetPlainText() const { return "\r\n"; }
int32_t TWdOpeReturn::GetCharCount() const { return 1; }

void TWdOpeReturn::Assign(const TWdGlyph& Source) {
    TWdGlyph::Assign(Source);
    ClearFlag = Source.GetClear();
}

bool TWdVarReturn::GetClear() const { return false; }
int32_t TWdVarReturn::GetCharCount() const { return 0; }

int32_t TWdOpeAlign::GetKind() const { return wkAlign; }
uint8_t TWdOpeAlign::GetAlign() const { return Align; }
void TWdOpeAlign::SetAlign(uint8_t Value) { Align = Value; }
int32_t TWdOpeAlign::GetCharCount() const { return 1; }

void TWdOpeAlign::Assign(const TWdGlyph& Source) {
    TWdGlyph::Assign(Source);
    Align = Source.GetAlign();
}

int32_t TWdOpeIndent::GetKind() const { return wkIndent; }
int32_t TWdOpeIndent::GetCharCount() const { return 1; }
int32_t TWdOpeUndent::GetKind() const { return wkUndent; }
int32_t TWdOpeUndent::GetCharCount() const { return 1; }

int32_t TWdOpeEvent::GetKind() const { return wkEvent; }
int32_t TWdOpeEvent::GetWait() const { return EndFlag ? 1 : 0; }
std::string TWdOpeEvent::GetSource() const { return Text; }
void TWdOpeEvent::SetSource(const std::string& Value) { Text = Value; }
int32_t TWdOpeEvent::GetCharCount() const { return 1; }

// ---- Variable glyphs ----

TWdOpeVar::TWdOpeVar(TNxWord* AWord) : TWdGlyph(AWord), Decorate(AWord->Decorates.FindOrAdd(TDecorateValues{})) {}

TWdOpeVar::~TWdOpeVar() { Word->Decorates.Release(Decorate); }

int32_t TWdOpeVar::GetKind() const { return wkVar; }
std::string TWdOpeVar::GetFontName() const { return StyleFace(*Word, Decorate); }
void TWdOpeVar::SetFontName(const std::string& Value) {
    ChangeStyle(*Word, Decorate, &TDecorateValues::FontName, Value);
}
int32_t TWdOpeVar::GetFontSize() const { return Decorate->FontSize; }
void TWdOpeVar::SetFontSize(int32_t Value) { ChangeStyle(*Word, Decorate, &TDecorateValues::FontSize, Value); }
uint8_t TWdOpeVar::GetFontStyle() const { return Decorate->Style; }
void TWdOpeVar::SetFontStyle(uint8_t Value) { ChangeStyle(*Word, Decorate, &TDecorateValues::Style, Value); }
int32_t TWdOpeVar::GetColor() const { return Decorate->Color; }
void TWdOpeVar::SetColor(int32_t Value) { ChangeStyle(*Word, Decorate, &TDecorateValues::Color, Value); }
int32_t TWdOpeVar::GetBorderColor() const { return Decorate->BorderColor; }
void TWdOpeVar::SetBorderColor(int32_t Value) { ChangeStyle(*Word, Decorate, &TDecorateValues::BorderColor, Value); }
int32_t TWdOpeVar::GetBorderSize() const { return SizeOrDefault(Decorate->BorderSize, Word->BorderSize); }
void TWdOpeVar::SetBorderSize(int32_t Value) { ChangeStyle(*Word, Decorate, &TDecorateValues::BorderSize, Value); }
uint8_t TWdOpeVar::GetNoBreak() const { return Decorate->NoBreak; }
void TWdOpeVar::SetNoBreak(uint8_t Value) { ChangeStyle(*Word, Decorate, &TDecorateValues::NoBreak, Value); }
std::string TWdOpeVar::GetRuby() const { return Decorate->Ruby; }
void TWdOpeVar::SetRuby(const std::string& Value) { ChangeStyle(*Word, Decorate, &TDecorateValues::Ruby, Value); }
std::string TWdOpeVar::GetLink() const { return Link; }
void TWdOpeVar::SetLink(const std::string& Value) { Link = Value; }
int32_t TWdOpeVar::GetWait() const { return Wait; }
void TWdOpeVar::SetWait(int32_t Value) { Wait = Value; }
std::string TWdOpeVar::GetSource() const { return Expression; }
void TWdOpeVar::SetSource(const std::string& Value) { Expression = Value; }
int32_t TWdOpeVar::GetShadowSize() const { return SizeOrDefault(Decorate->ShadowSize, Word->ShadowSize); }
void TWdOpeVar::SetShadowSize(int32_t Value) { ChangeStyle(*Word, Decorate, &TDecorateValues::ShadowSize, Value); }
int32_t TWdOpeVar::GetShadowColor() const { return Decorate->ShadowColor; }
void TWdOpeVar::SetShadowColor(int32_t Value) { ChangeStyle(*Word, Decorate, &TDecorateValues::ShadowColor, Value); }
int32_t TWdOpeVar::GetCharCount() const { return 1; }
void TWdOpeVar::SetDecorate(const TDecorateValues& Values) { Word->Decorates.Change(Decorate, Values); }

int32_t TWdOpeHistChar::GetKind() const { return wkHistChar; }

// ---- The document ----

TNxWord::TNxWord() : Decorates(this) {}

// The glyphs give their styles back to the table, so they go first.
TNxWord::~TNxWord() { Decorates.ClearWithGlyphs(Glyphs); }

TWdGlyph* TNxWord::GetGlyph(int Index) const {
    return (Index >= 0 && Index < GlyphCount()) ? Glyphs.Items(Index) : nullptr;
}

void TNxWord::ClearGlyphs() {
    Decorates.ClearWithGlyphs(Glyphs);
    Decorates.Measured = nullptr;
    Variables.Clear();
    StyleIndexBase = 0;
}

int TNxWord::IndexOfGlyph(const TWdGlyph* Glyph) const {
    return Glyph && GetGlyph(Glyph->WordIndex) == Glyph ? Glyph->WordIndex : -1;
}

void TNxWord::InsertGlyph(int Index, std::unique_ptr<TWdGlyph> Glyph) {
    Glyphs.Insert(Index, std::move(Glyph));
    RenumberGlyphs(Index);
}

void TNxWord::InsertGlyphs(int Index, std::vector<std::unique_ptr<TWdGlyph>>&& Inserted) {
    Glyphs.InsertRange(Index, std::move(Inserted));
    RenumberGlyphs(Index);
}

void TNxWord::AddGlyph(std::unique_ptr<TWdGlyph> Glyph) {
    Glyph->WordIndex = GlyphCount();
    Glyphs.Add(std::move(Glyph));
}

void TNxWord::DeleteGlyph(int Index) {
    const std::unique_ptr<TWdGlyph> gone = Glyphs.Extract(Index);  // freed with the list renumbered
    RenumberGlyphs(Index);
}

void TNxWord::DeleteGlyphs(const std::vector<TWdGlyph*>& Gone) {
    std::unordered_set<const TWdGlyph*> held;
    int from = GlyphCount();
    for (const TWdGlyph* glyph : Gone)
        if (const int index = IndexOfGlyph(glyph); index >= 0 && held.insert(glyph).second)
            from = std::min(from, index);
    if (held.empty()) return;
    Glyphs.DeleteIf([&held](const TWdGlyph* Glyph) { return held.count(Glyph) > 0; }, held.size());
    RenumberGlyphs(from);
}

void TNxWord::RenumberGlyphs(int From) {
    for (int i = std::max(From, 0); i < GlyphCount(); ++i) Glyphs.Items(i)->WordIndex = i;
}

int TNxWord::GlyphIndexAtTextPos(int32_t Pos) const {
    int index = 0;
    while (Pos > 0 && index < GlyphCount()) Pos -= Glyphs.Items(index++)->GetCharCount();
    return index < GlyphCount() ? index : -1;
}

int32_t TNxWord::GetTextPos(const TWdGlyph* Glyph) const {
    int32_t pos = 0;
    for (int i = 0; i < GlyphCount() && Glyphs.Items(i) != Glyph; ++i) pos += Glyphs.Items(i)->GetCharCount();
    return pos;
}

void TNxWord::AddDirtyRect(const TRect& R) {
    if (!RectIsEmpty(R)) DirtyRects.push_back(R);
}

void TNxWord::ClearDirtyRects() { DirtyRects.clear(); }

void TNxWord::FireEvent(const std::string& Text) {
    if (OnEvent) OnEvent(*this, Text);
}

void TNxWord::SetFadeTime(int32_t Value) { FadeTime = Value; }

void TNxWord::ReleaseImages() {
    for (int i = 0; i < GlyphCount(); ++i) Glyphs.Items(i)->ReleaseImage();
}

void TNxWord::AcquireImages() {
    for (int i = 0; i < GlyphCount(); ++i) Glyphs.Items(i)->AcquireImage();
}

void TNxWord::ExpandVariables(int First, int Last, bool Force) {
    // The values are asked for from the last glyph back, as one expansion after the other
    // would; the glyphs of all the expansions then go into the list in one pass.
    struct TExpansion {
        TWdOpeVar* Var;
        int Before;
        std::vector<std::unique_ptr<TWdGlyph>> Glyphs;
    };
    std::vector<TExpansion> expansions;
    const auto place = [&] {
        std::vector<std::pair<int, std::vector<TWdGlyph*>>> made;
        std::vector<std::pair<int, std::vector<std::unique_ptr<TWdGlyph>>>> ranges;
        for (auto e = expansions.rbegin(); e != expansions.rend(); ++e) {
            std::vector<TWdGlyph*> expanded = e->Var->Expanded;
            for (const auto& glyph : e->Glyphs) expanded.push_back(glyph.get());
            made.emplace_back(e->Before, std::move(expanded));
            ranges.emplace_back(e->Before, std::move(e->Glyphs));
        }
        if (ranges.empty()) return;
        Glyphs.InsertRanges(std::move(ranges));
        for (size_t k = 0; k < made.size(); ++k)
            expansions[expansions.size() - 1 - k].Var->Expanded = std::move(made[k].second);
        RenumberGlyphs(made.front().first);
    };
    try {
        for (int i = LastIndex(*this, Last); i >= std::max(First, 0); --i) {
            auto* var = dynamic_cast<TWdOpeVar*>(Glyphs.Items(i));
            if (!var) continue;
            TExpansion expansion{var, i + 1 + int(var->Expanded.size()), {}};
            if (var->MakeExpansion(Force, expansion.Glyphs)) expansions.push_back(std::move(expansion));
        }
    } catch (...) {
        place();  // the expansions made before the failing one stay, as they would have
        throw;
    }
    place();
}

void TNxWord::CollapseVariables(int First, int Last) {
    // Collapsing deletes expansion glyphs, so the variable glyphs are gathered first.
    std::vector<TWdGlyph*> variables;
    for (int i = std::max(First, 0); i <= LastIndex(*this, Last); ++i)
        if (dynamic_cast<TWdOpeVar*>(Glyphs.Items(i))) variables.push_back(Glyphs.Items(i));
    for (TWdGlyph* variable : variables) variable->CollapseVariable();
}

void TNxWord::CopyGlyphs(TNxWord& Target, int First, int Last) const {
    for (int i = std::max(First, 0); i <= LastIndex(*this, Last); ++i) {
        const TWdGlyph& source = *Glyphs.Items(i);
        std::unique_ptr<TWdGlyph> copy = CreateGlyph(&Target, source.GetKind());
        if (!copy) continue;
        TWdGlyph& added = *copy;
        Target.AddGlyph(std::move(copy));
        added.Assign(source);
    }
}

void TNxWord::SaveSettings(TStream& Stream) const {
    WriteStreamInt(Stream, OriginX);
    WriteStreamInt(Stream, OriginY);
    WriteStreamInt(Stream, FontSize);
    WriteStreamString(Stream, FontName);
    WriteStreamInt(Stream, Color);
    WriteStreamInt(Stream, Height);
    WriteStreamInt(Stream, Width);
    WriteStreamInt(Stream, AntialiasLevel);
    WriteStreamInt(Stream, RowSpace);
    WriteStreamByte(Stream, Paging);
    WriteStreamInt(Stream, LinkColor);
    WriteStreamInt(Stream, HoverColor);
    WriteStreamInt(Stream, FadeTime);
    WriteStreamInt(Stream, BorderColor);
    WriteStreamInt(Stream, Alpha);
    WriteStreamByte(Stream, Hold);
    WriteStreamInt(Stream, Caret.X);
    WriteStreamInt(Stream, Caret.Y);
    WriteStreamInt(Stream, Speed);
    WriteStreamByte(Stream, EventsEnabled);
    WriteStreamInt(Stream, ShadowColor);
    WriteStreamInt(Stream, BorderSize);
    WriteStreamInt(Stream, ShadowSize);
    WriteStreamByte(Stream, WholeCell);
}

void TNxWord::LoadSettings(TStream& Stream, int32_t Version) {
    OriginX = ReadStreamInt(Stream);
    OriginY = ReadStreamInt(Stream);
    FontSize = ReadStreamInt(Stream);
    FontName = ReadStreamString(Stream);
    Color = ReadStreamInt(Stream);
    Height = ReadStreamInt(Stream);
    Width = ReadStreamInt(Stream);
    AntialiasLevel = ReadStreamInt(Stream);
    RowSpace = ReadStreamInt(Stream);
    Paging = ReadStreamByte(Stream);
    LinkColor = ReadStreamInt(Stream);
    HoverColor = ReadStreamInt(Stream);
    FadeTime = ReadStreamInt(Stream);
    BorderColor = ReadStreamInt(Stream);
    Alpha = ReadStreamInt(Stream);
    Hold = ReadStreamByte(Stream);
    Caret.X = ReadStreamInt(Stream);
    Caret.Y = ReadStreamInt(Stream);
    Speed = ReadStreamInt(Stream);
    EventsEnabled = ReadStreamByte(Stream);
    if (Version >= 110) ShadowColor = ReadStreamInt(Stream);
    if (Version >= 111) {
        BorderSize = ReadStreamInt(Stream);
        ShadowSize = ReadStreamInt(Stream);
    }
    if (Version >= 141) WholeCell = ReadStreamByte(Stream);
    CheckStoredGlyphSizes(FontSize, BorderSize, ShadowSize);
}
