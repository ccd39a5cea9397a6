// The glyphs that tie message text to the rest of the player: variables shown as characters
// (expanded through the script's expressions), event glyphs and inline images from the image
// cache.
#include "text/nxwords.h"

#include "core/jstrm.h"
#include "core/streams.h"
#include "core/sysutils.h"
#include "objects/vitemex_imagelist.h"
#include "objects/vitemex_mira.h"
#include "script/params_parser.h"
#include "script/params_values.h"
#include "text/fontpixels.h"

#include <algorithm>

namespace {

// The value of an expression run: false without a result.
bool RunExpression(TVelaParser& Parser, std::string& Value) {
    Parser.Execute();
    const TCustomParam* result = Parser.Result();
    if (!result) return false;
    Value = result->AsStr();
    return true;
}

// What a variable glyph shows: its compiled expression's value; else the value its document's
// variable list keeps for it (0x01 standing for a line break); else its text compiled and run
// now. False when there is nothing to show.
bool VariableValue(const TWdOpeVar& Var, std::string& Value) {
    if (Var.Expression.empty()) return Var.Parser && RunExpression(*Var.Parser, Value);
    const TKeptVariables& kept = Var.Word->Variables;
    if (const int line = kept.IndexOfName(Var.Expression); line >= 0) {
        const std::string& text = kept.Strings(line);
        Value = text.substr(text.find('=') + 1);
        std::replace(Value.begin(), Value.end(), '\x01', '\r');
        return true;
    }
    const std::string text = JStrTrim(Var.Expression);
    if (text.empty()) return false;
    TVelaParser parser;
    CompileExpression(text, parser);
    return RunExpression(parser, Value);
}

// Whether the image cache can find a picture's file.
bool ImageFileExists(const std::string& Name) { return MiraMan && MiraMan->GetSource().FileExists(Name, true); }

// The level an inline image draws with under the document's alpha: the glyph's own at 255,
// scaled below, and above 255 an added level (256 + intensity).
int32_t ImageDrawLevel(int32_t WordAlpha, int32_t GlyphAlpha) {
    WordAlpha = std::clamp(WordAlpha, 0, 511);
    if (WordAlpha == 255) return GlyphAlpha;
    if (WordAlpha < 256) return GlyphAlpha * WordAlpha / 256;
    return GlyphAlpha * (WordAlpha - 256) / 256 + 256;
}

}  // namespace

// ---- Variables ----

void TKeptVariables::Clear() {
    TStringList::Clear();
    lines_.clear();
    indexed_ = 0;
}

int TKeptVariables::IndexOfName(std::string_view Name) const {
    for (; indexed_ < Count(); ++indexed_) {
        const std::string& line = Strings(indexed_);
        const size_t eq = line.find('=');
        if (eq != std::string::npos) lines_.try_emplace(line.substr(0, eq), indexed_);
    }
    const auto found = lines_.find(Name);
    return found == lines_.end() ? -1 : found->second;
}

bool TWdOpeVar::MakeExpansion(bool, std::vector<std::unique_ptr<TWdGlyph>>& Glyphs) {
    std::string value;
    if (!VariableValue(*this, value) || Word->IndexOfGlyph(this) < 0) return false;
    for (const int code : CharCodes(value)) {
        std::unique_ptr<TWdGlyph> glyph;
        if (code == '\r') {
            glyph = std::make_unique<TWdVarReturn>(Word);
        } else if (code >= 32) {
            auto ch = std::make_unique<TWdVarChar>(Word, *Decorate);
            ch->Code = uint16_t(code);
            ch->Link = Link;
            ch->Wait = Wait;
            glyph = std::move(ch);
        } else {
            continue;  // other control characters show nothing
        }
        Glyphs.push_back(std::move(glyph));
    }
    return true;
}

bool TWdOpeHistChar::MakeExpansion(bool Force, std::vector<std::unique_ptr<TWdGlyph>>& Glyphs) {
    return Force && TWdOpeVar::MakeExpansion(Force, Glyphs);
}

void TWdOpeVar::ExpandVariable(bool Force) {
    // The glyphs are made first and go into the document together, so that a long value does
    // not move the glyphs after it once per character.
    std::vector<std::unique_ptr<TWdGlyph>> glyphs;
    if (!MakeExpansion(Force, glyphs)) return;
    std::vector<TWdGlyph*> expanded = Expanded;
    expanded.reserve(expanded.size() + glyphs.size());
    for (const auto& glyph : glyphs) expanded.push_back(glyph.get());
    Word->InsertGlyphs(Word->IndexOfGlyph(this) + 1 + int(Expanded.size()), std::move(glyphs));
    Expanded = std::move(expanded);
}

void TWdOpeVar::CollapseVariable() {
    Word->DeleteGlyphs(Expanded);
    Expanded.clear();
}

void TWdOpeVar::SaveState(TStream& Stream) const {
    int32_t alpha = 0;
    if (!Expanded.empty()) {
        TWdGlyph* first = Expanded.front();
        const TWdPage* page = first->GetPage();
        alpha = page ? page->GetSaveAlpha(first) : first->GetAlpha();
    }
    WriteStreamInt(Stream, alpha);
}

void TWdOpeVar::LoadState(TStream& Stream) {
    const int32_t alpha = ReadStreamInt(Stream);
    for (TWdGlyph* glyph : Expanded) glyph->SetAlpha(alpha);
}

void TWdOpeVar::Assign(const TWdGlyph& Source) {
    TWdGlyph::Assign(Source);
    const auto* var = dynamic_cast<const TWdOpeVar*>(&Source);
    if (!var) return;
    SetDecorate(*var->Decorate);
    Link = var->Link;
    Expression = var->Expression;
    Wait = var->Wait;
    if (Expression.empty() && var->Parser) {
        Parser = std::make_unique<TVelaParser>();
        Parser->Assign(*var->Parser);
    }
}

// The value shown is kept whether it was computed now or came from the document's list, so
// that a page remembers every variable it shows.
void TWdOpeVar::CollectVariables(TStringList& List, TAnsiTextSet& Names) {
    if (Names.count(Expression) > 0) return;
    // The line's name is what comes before its first "=".
    Names.insert(Expression.substr(0, Expression.find('=')));
    std::string shown;
    for (const TWdGlyph* glyph : Expanded)
        shown += dynamic_cast<const TWdVarChar*>(glyph) ? glyph->GetText() : std::string(1, '\x01');
    List.Add(Expression + "=" + shown);
}

// ---- Events ----

void TWdOpeEvent::Assign(const TWdGlyph& Source) {
    TWdGlyph::Assign(Source);
    if (const auto* event = dynamic_cast<const TWdOpeEvent*>(&Source)) {
        Text = event->Text;
        EndFlag = event->EndFlag;
    }
}

// ---- Inline images ----

void TWdImg::Measure() {
    if (!ImageFileExists(ImageName)) {
        ImageList.reset();
        Width = Height = 0;
        return;
    }
    if (!ImageList) ImageList = std::make_unique<TVelaImageList>();
    ImageList->LoadImage(ImageName, false);
    const TVelaImageData* first = ImageList->GetItem(0);
    const TCustomDIBX* picture = first ? first->GetDIB() : nullptr;
    Width = picture ? picture->GetWidth() : 0;
    Height = picture ? picture->GetHeight() : 0;
}

void TWdImg::Update() {
    TCustomDIBX* dest = Word->Dest;
    if (!dest || !ImageList) return;
    TVelaImageData* frame = ImageList->GetItem(ImageList->Current);
    TCustomDIBX* picture = frame ? frame->GetDIB() : nullptr;
    if (!picture) return;
    DrawBlended(*dest, GetAbsLeft(), GetAbsTop(), *picture, picture->GetBoundsRect(), frame->GetFrameLayer(), false,
                false, ImageDrawLevel(Word->Alpha, Alpha));
}

bool TWdImg::HasImage() const { return ImageList != nullptr; }

void TWdImg::AdvanceImage(int32_t Elapsed) {
    if (ImageList && ImageList->StepAnimation(Elapsed)) Invalidate();
}

void TWdImg::ReleaseImage() {
    if (ImageList) ImageList->FreePrivateDIBs();
}

void TWdImg::AcquireImage() {
    if (ImageList) ImageList->MakePrivateDIBs();
}

void TWdImg::Assign(const TWdGlyph& Source) {
    TWdReal::Assign(Source);
    if (const auto* img = dynamic_cast<const TWdImg*>(&Source)) {
        ImageName = img->ImageName;
        Align = img->Align;
    }
    ImageList.reset();  // loaded again at the next measure
}
