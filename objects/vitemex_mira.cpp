// The image cache.
#include "objects/vitemex_mira.h"

#include "core/sysutils.h"
#include "core/vrfiles_manager.h"
#include "graphics/dxdibx.h"
#include "graphics/miras.h"
#include "media/screenman.h"
#include "script/services.h"

#include <algorithm>

TMiraCollection* MiraMan = nullptr;

namespace {

constexpr int32_t PlaceholderSize = 8;

// The key's variant suffixes.
const std::string MaskSuffix = "?m", TrimSuffix = "?t";

// Remainder of Value by Size in 0 .. Size - 1 (Size above 0).
int32_t Wrap(int32_t Value, int32_t Size) {
    const int32_t r = Value % Size;
    return r < 0 ? r + Size : r;
}

// The part [From, To) of a tiling run from Begin to End that lies inside [ClipFrom, ClipTo), in
// the tiling's own (unmirrored) coordinates.
void VisibleSpan(int32_t Begin, int32_t End, int32_t ClipFrom, int32_t ClipTo, bool Mirror, int32_t& From,
                 int32_t& To) {
    From = std::max(Begin, Mirror ? Begin + End - ClipTo : ClipFrom);
    To = std::min(End, Mirror ? Begin + End - ClipFrom : ClipTo);
}

// Copies the pixels, colour key and alpha of a decoded frame into a cache frame.
void CopyFrame(const TMiraFrame& Source, TMiraItemFrame& Frame, bool MaskVariant) {
    Source.DrawToDIBX(*Frame.Surface);
    Frame.Surface->TransparentColor = Source.TransColor < 0 ? -1 : Frame.Surface->ColorToPixel(Source.TransColor);
    if (Source.HasAlpha() || MaskVariant) {
        Frame.NeedMask();
        Source.AlphaToDIBX(*Frame.Mask);
    }
    Frame.TransColor = Source.TransColor;
}

// The corner of the frame's content, the frame cropped to it.
TPoint CropFrame(TMiraFrame& Source) {
    TRect content;
    Source.CropToContent(content);
    return {content.Left, content.Top};
}

}  // namespace

std::unique_ptr<TCustomDIBX> NewImageSurface() {
    std::unique_ptr<TCustomDIBX> surface;
    if (ScreenMan && !ScreenMan->MemorySurface)
        surface = std::make_unique<TDxDIBX>(ScreenMan->Form, ScreenMan->DisplayBitCount);
    else
        surface = std::make_unique<TDIBX>();
    surface->SetSize(1, 1, ScreenBitCount());
    return surface;
}

void DrawBlended(TCustomDIBX& Dest, int32_t X, int32_t Y, TCustomDIBX& Source, const TRect& SrcRect,
                 TCustomDIBX* Mask, bool MirrorX, bool MirrorY, int32_t Alpha) {
    if (Mask) {
        if (Alpha < 255)
            Dest.DrawAlphaMask(X, Y, Source, SrcRect, MirrorX, MirrorY, *Mask, Alpha);
        else if (Alpha > 255)
            Dest.DrawAddMask(X, Y, Source, SrcRect, MirrorX, MirrorY, *Mask, Alpha - 256);
        else
            Dest.DrawMask(X, Y, Source, SrcRect, MirrorX, MirrorY, *Mask);
        return;
    }
    const bool keyed = Source.TransparentColor != -1;
    if (Alpha < 255)
        Dest.DrawAlpha(X, Y, Source, SrcRect, keyed, MirrorX, MirrorY, Alpha);
    else if (Alpha > 255)
        Dest.DrawAdd(X, Y, Source, SrcRect, keyed, MirrorX, MirrorY, Alpha - 256);
    else
        Dest.Draw(X, Y, Source, SrcRect, keyed, MirrorX, MirrorY);
}

// ---- TMiraItemFrame ----

void TMiraItemFrame::NeedMask() {
    if (!Mask) Mask = std::make_unique<TDIBX>();
}

void TMiraItemFrame::FreeSurface() {
    if (auto* display = dynamic_cast<TDxDIBX*>(Surface.get())) display->FreeSurface();
}

void TMiraItemFrame::Draw(TCustomDIBX& Dest, int32_t X, int32_t Y, const TRect& SrcRect, bool MirrorX, bool MirrorY,
                          int32_t Alpha) const {
    DrawBlended(Dest, X, Y, *Surface, SrcRect, Mask.get(), MirrorX, MirrorY, Alpha);
}

void TMiraItemFrame::DrawTiled(TCustomDIBX& Dest, const TRect& DestRect, const TRect& SrcRect, int32_t OffsetX,
                               int32_t OffsetY, bool MirrorX, bool MirrorY, int32_t Alpha) const {
    const int32_t w = SrcRect.Right - SrcRect.Left, h = SrcRect.Bottom - SrcRect.Top;
    if (w <= 0 || h <= 0) return;
    // Only the pieces that can reach the clip rectangle are walked: a piece cut at the clip
    // edge draws the same pixels as the whole piece clipped by the draw.
    const TRect clip = Dest.GetClipRect();
    int32_t left, right, top, bottom;
    VisibleSpan(DestRect.Left, DestRect.Right, clip.Left, clip.Right, MirrorX, left, right);
    VisibleSpan(DestRect.Top, DestRect.Bottom, clip.Top, clip.Bottom, MirrorY, top, bottom);
    // The tile's row and column at the first visible pixel.
    int32_t row = Wrap(int32_t(int64_t(OffsetY) % h + (int64_t(top) - DestRect.Top) % h), h);
    for (int32_t y = top; y < bottom; row = 0) {
        const int32_t bandHeight = std::min(h - row, bottom - y);
        const int32_t placedY = MirrorY ? DestRect.Bottom - (y - DestRect.Top) - bandHeight : y;
        int32_t column = Wrap(int32_t(int64_t(OffsetX) % w + (int64_t(left) - DestRect.Left) % w), w);
        for (int32_t x = left; x < right; column = 0) {
            const int32_t pieceWidth = std::min(w - column, right - x);
            const int32_t placedX = MirrorX ? DestRect.Right - (x - DestRect.Left) - pieceWidth : x;
            Draw(Dest, placedX, placedY, Bounds(SrcRect.Left + column, SrcRect.Top + row, pieceWidth, bandHeight),
                 MirrorX, MirrorY, Alpha);
            x += pieceWidth;
        }
        y += bandHeight;
    }
}

// ---- TMiraItem ----

TMiraCollection& TMiraItem::Owner() const { return static_cast<TMiraCollection&>(*Collection()); }

std::string TMiraItem::FileName(bool& MaskVariant, bool& TrimVariant) const {
    // The suffixes come off in the reverse order of MakeKey.
    std::string name = Name();
    TrimVariant = name.ends_with(TrimSuffix);
    if (TrimVariant) name.resize(name.size() - TrimSuffix.size());
    MaskVariant = name.ends_with(MaskSuffix);
    if (MaskVariant) name.resize(name.size() - MaskSuffix.size());
    return name;
}

std::unique_ptr<TMiraFrameList> TMiraItem::Decode(const std::string& File, bool MaskVariant) const {
    TMiraCollection& owner = Owner();
    auto list = std::make_unique<TMiraFrameList>(owner.IdentCode);
    if (owner.ImageMode == 1) list->ReduceBits = ScreenBitCount();
    owner.GetSource().Load(*list, File);
    if (MaskVariant) list->AlphaFromTransColor(false);
    return list;
}

void TMiraItem::SetName(const std::string& Value) {
    THashCollectionItem::SetName(Value);
    Frames.Clear();
    Width = Height = Duration = 0;
    bool maskVariant, trimVariant;
    const std::string file = FileName(maskVariant, trimVariant);
    if (!Owner().GetSource().FileExists(file, false)) {
        // One invisible frame: every pixel is the colour key.
        auto frame = std::make_unique<TMiraItemFrame>();
        frame->Surface->SetSize(PlaceholderSize, PlaceholderSize, ScreenBitCount());
        frame->Surface->FillRect(frame->Surface->GetBoundsRect(), 0);
        frame->Surface->TransparentColor = 0;
        frame->TransColor = 0;
        if (maskVariant) frame->NeedMask();
        Frames.Add(std::move(frame));
        return;
    }
    const std::unique_ptr<TMiraFrameList> list = Decode(file, maskVariant);
    if (list->Count() == 0) return;
    const TMiraFrame& first = *list->GetFrame(0);
    Width = first.Image.Width();
    Height = first.Image.Height();
    for (int i = 0; i < list->Count(); ++i) {
        TMiraFrame& source = *list->GetFrame(i);
        TMiraItemFrame& frame = *Frames.Items(Frames.Add(std::make_unique<TMiraItemFrame>()));
        if (trimVariant) {
            const TPoint corner = CropFrame(source);
            frame.OffsetX = corner.X;
            frame.OffsetY = corner.Y;
        }
        CopyFrame(source, frame, maskVariant);
        frame.Delay = source.Delay == 0 ? 1 : source.Delay;
        Duration += frame.Delay;
    }
}

void TMiraItem::Release(const void* User) {
    if (Users.erase(User) == 0) return;
    if (Users.empty()) Collection()->Delete(CachedIndex());
}

void TMiraItem::FreeSurfaces() {
    for (int i = 0; i < Frames.Count(); ++i) Frames.Items(i)->FreeSurface();
}

void TMiraItem::Reload(bool Recreate) {
    bool maskVariant, trimVariant;
    const std::string file = FileName(maskVariant, trimVariant);
    if (!Owner().GetSource().FileExists(file, true)) return;
    const std::unique_ptr<TMiraFrameList> list = Decode(file, maskVariant);
    const int count = std::min(list->Count(), Frames.Count());
    for (int i = 0; i < count; ++i) {
        TMiraFrame& source = *list->GetFrame(i);
        const bool keyed = source.TransColor >= 0 || source.HasAlpha();
        if (!keyed && !Recreate) continue;
        TMiraItemFrame& frame = *Frames.Items(i);
        const TPoint corner = trimVariant && keyed ? CropFrame(source) : TPoint{0, 0};
        frame.OffsetX = corner.X;
        frame.OffsetY = corner.Y;
        if (Recreate) frame.Surface = NewImageSurface();
        CopyFrame(source, frame, maskVariant);
    }
}

void TMiraItem::Deleting() {
    Owner().Spare.erase(this);
    THashCollectionItem::Deleting();
}

// ---- TMiraSource ----

bool TMiraSource::FileExists(const std::string& File, bool Reloading) {
    if (Reloading) return VrFileManager && VrFileManager->FileExists(File);
    return ScriptHost().FileExists(File);
}

void TMiraSource::Load(TMiraFrameList& List, const std::string& File) {
    if (!VrFileManager) return;
    TMemoryStream stream;
    VrFileManager->ReadFile(stream, File);
    List.LoadFromStreamByName(stream, File, false, false, false);
}

// ---- TMiraCollection ----

TMiraCollection::TMiraCollection() : THashCollection(ItemClass<TMiraItem>), Source(std::make_unique<TMiraSource>()) {}

TMiraCollection::~TMiraCollection() {
    Spare.clear();
    Clear();
}

std::string TMiraCollection::MakeKey(const std::string& Name, bool MaskVariant, bool TrimVariant) {
    return Name + (MaskVariant ? MaskSuffix : "") + (TrimVariant ? TrimSuffix : "");
}

TMiraItem& TMiraCollection::Acquire(const void* User, const std::string& Name, bool MaskVariant, bool TrimVariant) {
    const std::string key = MakeKey(Name, MaskVariant, TrimVariant);
    const int index = IndexOf(key);
    TMiraItem& item = index >= 0 ? GetItem(index) : static_cast<TMiraItem&>(AddNamed(key));
    item.Users.insert(User);
    Spare.erase(&item);
    return item;
}

void TMiraCollection::Purge(const std::string& Name) {
    for (const bool trim : {false, true})
        for (const bool mask : {false, true}) {
            const int index = IndexOf(MakeKey(Name, mask, trim));
            if (index < 0) continue;
            if (Spare.contains(&GetItem(index))) Delete(index);
        }
}

void TMiraCollection::SetMode(uint8_t Value) {
    if (Value == ImageMode) return;
    ImageMode = Value;
    Reload(false);
}

void TMiraCollection::FreeSurfaces() {
    for (int i = 0; i < Count(); ++i) GetItem(i).FreeSurfaces();
}

void TMiraCollection::Reload(bool Recreate) {
    for (int i = 0; i < Count(); ++i) GetItem(i).Reload(Recreate);
}

void TMiraCollection::SaveToStream(TStream& Stream) const { Stream.WriteBuffer(&ImageMode, 1); }

void TMiraCollection::LoadFromStream(TStream& Stream, int32_t Version) {
    if (Version > 100) Stream.ReadBuffer(&ImageMode, 1);
}
