// Frame players: the frame switch, the per-tick frame step with its end handling, motion mode
// over the control's film, and the animated image object with its source and record.
#include "objects/vitemex_images.h"

#include "core/sysutils.h"
#include "objects/vitems_kinds.h"

// ---- The frame player ----

TVelaImageData* TVelaCustomImages::ShownItem() const {
    TVelaImageList* list = CurrentImageList();
    return list ? list->GetItem(FrameIndex) : nullptr;
}

int32_t TVelaCustomImages::GetIndex() const { return GetMotion() ? GetMotion()->GetFrame() : FrameIndex; }

void TVelaCustomImages::SetIndex(int32_t V) {
    if (TVelaMotion* motion = GetMotion())
        motion->SetElapsed(static_cast<int32_t>(int64_t(V) * 1000 / 60));
    else
        ShowFrame(V);
}

int32_t TVelaCustomImages::GetCount() const {
    if (GetMotion()) return GetMotion()->GetFrameCount();
    TVelaImageList* list = CurrentImageList();
    return list ? list->Count() : 0;
}

void TVelaCustomImages::ShowFrame(int32_t V) {
    if (V == FrameIndex) return;
    if (ShownItem())
        Invalidate();
    else
        Remaining = 0;
    FrameIndex = V;
    if (TVelaImageData* item = ShownItem()) {
        item->SetBrightness(Brightness);
        ShowPictures(*item);
        TransColor = item->GetTransColor();
        Remaining += item->GetDelay();
        const int count = CurrentImageList()->Count();
        if (V == count - 1 && count > 1) {
            LastFrameWait.Execute();
            if (const TCustomParam* wait = LastFrameWait.Result()) Remaining += wait->AsInt();
        }
        // Shown after no frame, the picture may not have been drawn where it now is.
        Invalidate();
    }
    if (SizeFollowsPicture()) {
        UpdateWidth();
        UpdateHeight();
    }
}

void TVelaCustomImages::SetBrightness(int32_t V) {
    if (V == Brightness) return;
    Brightness = V;
    if (TVelaImageData* item = ShownItem()) {
        item->SetBrightness(V);
        SetSurface(item->GetDIB());
        Invalidate();
    }
}

bool TVelaCustomImages::GetPlaying() const {
    if (GetMotion()) return TVelaControl::GetPlaying();
    const TVelaImageList* list = CurrentImageList();
    if (!GetRepeat() && ShownItem() && FrameIndex == list->Count() - 1 && Remaining <= 0) return false;
    return !Paused && !GetAnipaused();
}

bool TVelaCustomImages::Step() {
    if (TVelaCustomImage::Step()) return true;
    if (GetMotion() || !ShownItem() || !GetVisible() || Paused || GetAnipaused()) return false;
    if (Remaining > 0) Remaining -= static_cast<int32_t>(SceneTickLength());
    // The last-frame wait runs script code, which may change the list: it is asked again each
    // round.
    while (Remaining <= 0 && ShownItem()) {
        const int count = CurrentImageList()->Count();
        if (FrameIndex >= count - 1) return FramesRanOut();
        if (count <= 2) Remaining = 0;
        ShowFrame(FrameIndex + 1);
    }
    return false;
}

bool TVelaCustomImages::FramesRanOut() {
    if (GetRepeat()) {
        Remaining = 0;
        ShowFrame(0);
        return false;
    }
    if (GetAutoscrap()) return true;
    const std::string handler = GetOnplayend();
    if (!handler.empty() && Owner && !Owner->GetEvents().IsQueued(this, PR_ONPLAYEND))
        Owner->GetEvents().Add(this, handler, nullptr, PR_ONPLAYEND);
    return false;
}

void TVelaCustomImages::ShowPictures(const TVelaImageData& Item) {
    SurfaceOverride = Item.GetDIB();
    MaskOverride = Item.GetFrameLayer();
}

void TVelaCustomImages::DropPictures() {
    SurfaceOverride = nullptr;
    MaskOverride = nullptr;
    PicturesReleased();
}

void TVelaCustomImages::FreePrivateDIBs() {
    DropPictures();
    TVelaCustomImage::FreePrivateDIBs();
    for (TVelaImageList* list : OwnImageLists()) list->FreePrivateDIBs();
}

void TVelaCustomImages::MakePrivateDIBs() {
    for (TVelaImageList* list : OwnImageLists()) list->MakePrivateDIBs();
    if (TVelaImageData* item = ShownItem()) ShowPictures(*item);
    TVelaCustomImage::MakePrivateDIBs();
}

// The frame fields follow the picture record; the index is the film's frame in motion mode.
void TVelaCustomImages::SaveToStream(TStream& Stream) {
    TVelaCustomImage::SaveToStream(Stream);
    for (int32_t v : {Remaining, GetIndex(), Brightness}) WriteStreamInt(Stream, v);
    WriteStreamByte(Stream, Paused);
    LastFrameWait.SaveToStream(Stream);
}

void TVelaCustomImages::LoadFromStream(TStream& Stream, int32_t Version) {
    TVelaCustomImage::LoadFromStream(Stream, Version);
    for (int32_t* v : {&Remaining, &FrameIndex, &Brightness}) *v = ReadStreamInt(Stream);
    Paused = ReadStreamByte(Stream) != 0;
    LastFrameWait.LoadFromStream(Stream);
}

// ---- The image object ----

TVelaImages::TVelaImages(TVelaBaseList* AOwner, bool UniqueName) : TVelaCustomImages(AOwner, UniqueName) {
    for (int32_t i = 0; i < StateCount(); ++i) ImageLists.push_back(std::make_unique<TVelaImageList>());
}

TVelaImages::~TVelaImages() {
    Invalidate();
    DropPictures();
}

TVelaImageList* TVelaImages::StateList(int32_t S) const {
    return S >= 0 && S < static_cast<int32_t>(ImageLists.size()) ? ImageLists[S].get() : nullptr;
}

TVelaImageList* TVelaImages::CurrentImageList() const { return StateList(CurrentState()); }

std::vector<TVelaImageList*> TVelaImages::OwnImageLists() const {
    std::vector<TVelaImageList*> lists;
    for (const auto& list : ImageLists) lists.push_back(list.get());
    return lists;
}

void TVelaImages::SetSource(const std::string& S) {
    if (S == Source) return;
    Source = S;
    if (CurrentState() == 0) {
        ShowFrame(-1);
        DropPictures();
    }
    PicturesReleased();
    ImageLists[0]->Clear();
    FreeMotion();
    const std::string kind = AnsiLowerCase(ExtractFileExt(S));
    if (kind == ".mra") {
        ImageLists[0]->LoadImage(S, false);
    } else if (kind == ".vmt") {
        LoadFilm(S);
        StartFilm();
    } else {
        SetBounds(GetLeft(), GetTop(), 0, 0);
    }
    if (CurrentState() == 0 && ImageLists[0]->Count() > 0) ShowFrame(0);
}

void TVelaImages::SetRepeat(bool V) {
    Repeat = V;
    if (!V) return;
    if (TVelaMotion* motion = GetMotion()) {
        if (motion->GetFinished()) StartFilm();
    } else if (!ShownItem()) {
        ShowFrame(0);
    }
}

void TVelaImages::SaveToStream(TStream& Stream) {
    TVelaCustomImages::SaveToStream(Stream);
    WriteStreamByte(Stream, Repeat);
    WriteStreamByte(Stream, Autoscrap);
    for (const std::string* s : {&Source, &OnPlayEnd, &OnIdle}) WriteStreamString(Stream, *s);
}

// The source reloads the picture (or the film); the saved frame is shown again at the end.
void TVelaImages::LoadFromStream(TStream& Stream, int32_t Version) {
    TVelaCustomImages::LoadFromStream(Stream, Version);
    const int32_t frame = FrameIndex;
    Repeat = ReadStreamByte(Stream) != 0;
    Autoscrap = ReadStreamByte(Stream) != 0;
    SetSource(ReadStreamString(Stream));
    OnPlayEnd = ReadStreamString(Stream);
    if (Version >= 104) OnIdle = ReadStreamString(Stream);
    SetIndex(frame);
}
