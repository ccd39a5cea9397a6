// The film: its ".vmt" file, the track factory, and the clock that applies the tracks and turns
// wipe tracks into transitions of the film's root.
#include "text/frms.h"

#include "core/sysutils.h"
#include "core/vrfiles_manager.h"
#include "objects/vitems.h"
#include "platform/fs.h"
#include "text/frms_boxes.h"
#include "text/frms_effects.h"
#include "text/frms_media.h"
#include "text/wipes.h"

#include <algorithm>
#include <limits>

// ---- The track factory ----

namespace {

// A row per track kind.
const TFrameListRow FrameListRows[] = {
    {FK_WIPE, &NewFrameList<TWipeFrameList>},
    {FK_SOUND, &NewFrameList<TSoundFrameList>},
    // The image, tile, box and label kinds.
    {FK_IMAGE, &NewFrameList<TImageFrameList>},
    {FK_LABEL, &NewFrameList<TLabelFrameList>},
    {FK_BOX, &NewFrameList<TBoxFrameList>},
    {FK_TILE, &NewFrameList<TTileFrameList>},
    // The particle and fire kinds.
    {FK_PARTICLE, &NewFrameList<TParticleFrameList>},
    {FK_FIRE, &NewFrameList<TFireFrameList>},
};

// A track header and its kind byte: the least a stored track takes.
constexpr int64_t MinTrackBytes = 1 + 27;

}  // namespace

std::unique_ptr<TCustomFrameList> CreateFrameList(TFilmManager& Film, uint8_t Kind) {
    const uint8_t kind = Kind & 0x7F;
    for (const TFrameListRow& row : FrameListRows)
        if (row.Kind == kind) return row.Create(Film);
    throw EFilmError(Format("Invalid film track kind %d", kind));
}

// ---- The track list ----

TFilmManager::TFilmManager() = default;

TFilmManager::~TFilmManager() { Clear(); }

TCustomFrameList* TFilmManager::GetTrack(int32_t Index) const {
    return Index >= 0 && Index < Count() ? Tracks[static_cast<size_t>(Index)].get() : nullptr;
}

int32_t TFilmManager::IndexOf(const TCustomFrameList* Track) const {
    return Track && GetTrack(Track->Place.Index) == Track ? Track->Place.Index : -1;
}

TCustomFrameList& TFilmManager::Add(std::unique_ptr<TCustomFrameList> Track) {
    Track->Place.Index = Count();
    Tracks.push_back(std::move(Track));
    return *Tracks.back();
}

TFilmManager::TTrackRow TFilmManager::RowOf(const TCustomFrameList& Track, int32_t Parent) {
    return {Parent, Track.Length, Track.Start, Track.GetKind()};
}

void TFilmManager::LinkParents() {
    std::vector<TTrackRow> rows;
    rows.reserve(Tracks.size());
    for (const auto& track : Tracks) rows.push_back(RowOf(*track, track->ParentIndex));
    LinkRows(rows);
    PlaceRows(rows);
    ApplyRows(rows, false);
}

void TFilmManager::PlaceTracks() {
    std::vector<TTrackRow> rows;
    rows.reserve(Tracks.size());
    for (const auto& track : Tracks) rows.push_back(RowOf(*track, IndexOf(track->Parent)));
    PlaceRows(rows);
    ApplyRows(rows, false);
}

void TFilmManager::LinkRows(std::vector<TTrackRow>& Rows) const {
    // Each track names one parent, so following the links from any track ends at a track
    // without one or runs into a loop; the link that would close a loop is left out.
    enum : uint8_t { Unseen, Walking, Done };
    std::vector<uint8_t> state(Rows.size(), Unseen);
    std::vector<size_t> path;
    for (size_t first = 0; first < Rows.size(); ++first) {
        path.clear();
        for (size_t i = first; state[i] == Unseen;) {
            state[i] = Walking;
            path.push_back(i);
            const int32_t index = Rows[i].Parent;
            Rows[i].Parent = -1;
            if (index < 0 || index >= Count()) break;
            const size_t parent = static_cast<size_t>(index);
            if (state[parent] == Walking) break;  // a loop: this link stays out
            Rows[i].Parent = index;
            i = parent;
        }
        for (size_t i : path) state[i] = Done;
    }
}

void TFilmManager::PlaceRows(std::vector<TTrackRow>& Rows) {
    // Each track climbs to the first placed track above it (or the chain's top) and the tracks
    // passed are placed from the top down, so every track is placed once.
    for (TTrackRow& row : Rows) {
        row.Depth = 0;
        row.Child = -1;
    }
    std::vector<int32_t> climbed;
    for (size_t first = 0; first < Rows.size(); ++first) {
        climbed.clear();
        for (int32_t up = int32_t(first); up >= 0 && Rows[size_t(up)].Depth == 0; up = Rows[size_t(up)].Parent) {
            if (climbed.size() >= size_t(MaxTrackDepth)) throw EReadError();
            climbed.push_back(up);
        }
        for (auto down = climbed.rbegin(); down != climbed.rend(); ++down) {
            TTrackRow& placed = Rows[size_t(*down)];
            if (placed.Parent < 0) {
                placed.Depth = 1;
                placed.PlacedStart = placed.Start;
                placed.Root = placed.KindHead = *down;
                continue;
            }
            const TTrackRow& parent = Rows[size_t(placed.Parent)];
            placed.Depth = parent.Depth + 1;
            if (placed.Depth > MaxTrackDepth) throw EReadError();
            placed.PlacedStart = static_cast<int32_t>(static_cast<uint32_t>(parent.PlacedStart) +
                                                      static_cast<uint32_t>(parent.Length));
            placed.Root = parent.Root;
            placed.KindHead = parent.Kind == placed.Kind ? parent.KindHead : *down;
        }
    }
    WipeEnds.clear();
    for (size_t i = 0; i < Rows.size(); ++i) {
        const TTrackRow& row = Rows[i];
        if (row.Parent >= 0 && Rows[size_t(row.Parent)].Child < 0) Rows[size_t(row.Parent)].Child = int32_t(i);
        if (row.Kind == FK_WIPE) WipeEnds.push_back(int64_t(row.PlacedStart) + row.Length - 1);
    }
    std::sort(WipeEnds.begin(), WipeEnds.end());
}

bool TFilmManager::ApplyRows(std::vector<TTrackRow>& Rows, bool Activate) {
    auto at = [&](int32_t Index) { return Index < 0 ? nullptr : Tracks[size_t(Index)].get(); };
    bool lengthened = false;
    for (size_t i = 0; i < Rows.size(); ++i) {
        TTrackRow& row = Rows[i];
        TCustomFrameList& track = *Tracks[i];
        track.Parent = at(row.Parent);
        TCustomFrameList::TPlace& place = track.Place;
        place.Depth = row.Depth;
        place.Start = row.PlacedStart;
        place.Child = at(row.Child);
        place.Root = at(row.Root);
        place.KindHead = at(row.KindHead);
        if (!Activate) continue;
        track.Activate();
        lengthened |= track.Length != row.Length;
        row.Length = track.Length;
    }
    return lengthened;
}

void TFilmManager::Clear() {
    LastWipe = nullptr;
    // Each track lets go of its own object, last first, with the film already empty and no
    // parent left to ask.
    std::vector<std::unique_ptr<TCustomFrameList>> tracks = std::move(Tracks);
    Tracks.clear();
    for (auto& track : tracks) track->Parent = nullptr;
    while (!tracks.empty()) tracks.pop_back();
    WipeEnds.clear();
    RepeatPos = 0;
    StoredOriginX = StoredOriginY = 0;
    FollowPosition = false;
    Length = 0;
}

// ---- The film file ----

void TFilmManager::LoadFromFile(const std::string& FileName) {
    if (VrFileManager) {
        TMemoryStream stream;
        VrFileManager->ReadFile(stream, FileName);
        LoadFromStream(stream, FileName);
    } else {
        TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
        LoadFromStream(stream, FileName);
    }
}

namespace {
constexpr size_t MagicTagLength = 10;  // "VelaCinema" / "VelaMotion", then three version digits
constexpr size_t MagicLength = sizeof(CinemaFileMagic) - 1;
}  // namespace

void TFilmManager::LoadFromStream(TStream& Stream, const std::string& FileName) {
    Clear();
    std::vector<TTrackRow> rows;
    char magic[MagicLength] = {};
    const int64_t got = Stream.Read(magic, MagicLength);
    const std::string_view tag(magic, MagicTagLength);
    if (tag == std::string_view(CinemaFileMagic, MagicTagLength))
        Kind = 0;
    else if (tag == std::string_view(MotionFileMagic, MagicTagLength))
        Kind = 1;
    else
        return;
    try {
        if (got < static_cast<int64_t>(MagicLength)) throw EReadError();
        const std::string digits(magic + MagicTagLength, MagicLength - MagicTagLength);
        int32_t version = 0;
        if (!TryStrToInt(digits, version))
            throw EFilmError(Format("'%s' is not a valid integer value", digits.c_str()));
        const std::string base = ExtractFilePath(FileName);
        Width = ReadStreamInt(Stream);
        Height = ReadStreamInt(Stream);
        // A stage the title's screen does not hold comes from a damaged film, as a cinema's
        // record larger than its scene does: refused before any picture is made at its size.
        if (Bases && !Bases->FitsSurface(Width, Height)) throw EReadError();
        Color = ReadStreamInt(Stream);
        if (version >= 102) FollowPosition = ReadStreamByte(Stream) != 0;
        if (version >= 104) {
            StoredOriginX = ReadStreamInt(Stream);
            StoredOriginY = ReadStreamInt(Stream);
        }
        if (version >= 106) {
            RepeatPos = ReadStreamInt(Stream);
            if (version < 107) RepeatPos = static_cast<int32_t>(static_cast<uint32_t>(RepeatPos) * 2u);
        }
        const int32_t count = CheckStreamCount(Stream, ReadStreamInt(Stream), MinTrackBytes);
        rows.reserve(size_t(count));
        for (int32_t i = 0; i < count; ++i) {
            TCustomFrameList& track = Add(CreateFrameList(*this, ReadStreamByte(Stream)));
            track.LoadFromStream(Stream, base, version);
            rows.push_back(RowOf(track, track.ParentIndex));
        }
        LinkRows(rows);
        PlaceRows(rows);
        // A picture track without a length takes its picture's: the tracks after it move.
        if (ApplyRows(rows, !NoActivation)) {
            PlaceRows(rows);
            ApplyRows(rows, false);
        }
    } catch (...) {
        Clear();
        throw;
    }
    int64_t length = 0;
    for (const TTrackRow& row : rows) length = std::max(length, int64_t(row.PlacedStart) + row.Length);
    Length = static_cast<int32_t>(std::min<int64_t>(length, std::numeric_limits<int32_t>::max()));
}

void TFilmManager::SaveToStream(TStream& Stream, const std::string& FileName) const {
    const char* magic = Kind == 1 ? MotionFileMagic : CinemaFileMagic;
    Stream.WriteBuffer(magic, MagicLength);
    for (int32_t value : {Width, Height, Color}) WriteStreamInt(Stream, value);
    WriteStreamByte(Stream, FollowPosition ? 1 : 0);
    for (int32_t value : {StoredOriginX, StoredOriginY, RepeatPos, Count()}) WriteStreamInt(Stream, value);
    const std::string base = ExtractFilePath(FileName);
    for (const auto& track : Tracks) {
        WriteStreamByte(Stream, track->GetKind());
        track->SaveToStream(Stream, base);
    }
}

// ---- The stage and the clock ----

void TFilmManager::SetSize(int32_t AWidth, int32_t AHeight) {
    Width = AWidth;
    Height = AHeight;
    if (!Target) return;
    Target->SetWidth(Width);
    Target->SetHeight(Height);
}

void TFilmManager::SetColor(int32_t AColor) {
    Color = AColor;
    if (Target) Target->SetColor(Color);
}

TCustomFrameList* TFilmManager::FindActiveWipe(int32_t T, int32_t& Parity) const {
    TCustomFrameList* active = nullptr;
    for (const auto& track : Tracks)
        if (track->GetKind() == FK_WIPE && track->ActiveAt(T)) active = track.get();
    Parity = 0;
    for (const auto& track : Tracks)
        if (track->GetKind() == FK_WIPE && track.get() != active &&
            int64_t(track->StartTime()) + track->Length - 1 <= T)
            Parity ^= 1;
    return active;
}

int32_t TFilmManager::EndedWipeParity(int32_t T) const {
    return static_cast<int32_t>(std::upper_bound(WipeEnds.begin(), WipeEnds.end(), int64_t(T)) - WipeEnds.begin()) & 1;
}

void TFilmManager::SetTime(int32_t T) {
    for (auto& track : Tracks) track->ApplyAt(T);
    if (PlaysInOwnRoot() && Target) {
        int32_t parity = 0;
        const auto* wipe = static_cast<const TWipeFrameList*>(FindActiveWipe(T, parity));
        if (wipe) {
            // A wipe other than the one run last tick starts its transition anew.
            TCustomWipe* made = Target->BeginTransition(parity, wipe->GetWipeType(), wipe->GetReverse(),
                                                        wipe != LastWipe, T - wipe->StartTime(), wipe->Length);
            if (made) {
                Target->GetBase(0)->Prepare();
                Target->GetBase(1)->Prepare();
                made->SetParam(0, wipe->GetWipeParam1());
                made->SetParam(1, wipe->GetWipeParam2());
                made->SetName(wipe->GetMaskName());
                made->ChangedOnly = wipe->GetWipeFlag();
                try {
                    made->Prepare();
                } catch (...) {
                    // A transition that could not get ready is never stepped: the page shows
                    // without it, and the wipe is not tried again until its settings change.
                    Target->BeginTransition(parity, 0, false, true, 0, 0);
                    LastWipe = wipe;
                    CurrentTime = T;
                    throw;
                }
            }
        } else {
            Target->BeginTransition(parity, 0, false, LastWipe != nullptr, 0, 0);
        }
        Target->GetBase(Target->GetCurrentLayer())->SortControls();
        LastWipe = wipe;
    }
    CurrentTime = T;
}

void TFilmManager::ApplyTracks(TVelaControl& ATarget, int32_t T) {
    MotionTarget = &ATarget;
    SetTime(T);
    MotionTarget = nullptr;
}

void TFilmManager::SetRunning(bool Value) {
    Running = Value;
    if (Value) return;
    for (auto& track : Tracks)
        if (track->GetKind() == FK_SOUND) static_cast<TSoundFrameList&>(*track).Pause();
}

void TFilmManager::SetVisible(bool Value) {
    if (Value == Visible) return;
    Visible = Value;
    for (auto& track : Tracks) track->SetVisible(Value);
}

void TFilmManager::RestartSounds() {
    if (PlaysInOwnRoot()) {
        SetSize(Width, Height);
        SetColor(Color);
    }
    for (auto& track : Tracks)
        if (track->GetKind() == FK_SOUND) static_cast<TSoundFrameList&>(*track).CreateSound();
}

bool TFilmManager::HasWipeOrFlag() const {
    return std::any_of(Tracks.begin(), Tracks.end(),
                       [](const auto& track) { return track->GetKind() == FK_WIPE || track->OtherLayer; });
}

TCustomFrameList* TFilmManager::FindStartTrack() const {
    for (const auto& track : Tracks)
        if (track->StartTime() == 0) return track.get();
    return nullptr;
}

// ---- What the tracks make ----

std::string TFilmManager::ObjectNamePrefix() const {
    return Owner ? SystemNameMark + Owner->GetName() + SystemNameMark : std::string(1, SystemNameMark);
}

TVelaObject* TFilmManager::CreateTrackObject(uint8_t Code) const {
    if (!Target) return nullptr;
    TVelaObject* obj = Target->CreateObject(Code);
    if (obj) obj->SetName(MakeUniqueName(*Target, ObjectNamePrefix()));
    return obj;
}

int32_t TFilmManager::TrackLayer(const TCustomFrameList& Track) const {
    return EndedWipeParity(Track.StartTime()) ^ (Track.OtherLayer ? 1 : 0);
}

void TFilmManager::PlaceObject(TVelaObject& Obj, const TCustomFrameList& Track) const {
    TVelaControl* parent = Owner;
    if (!parent && Target) parent = Target->GetBase(TrackLayer(Track));
    if (parent && Obj.GetParent() != parent) Obj.SetParent(parent);
}

// ---- Media names ----

std::vector<std::string> TFilmManager::ImageTrackFiles(const std::string& FileName) {
    NoActivation = true;
    LoadFromFile(FileName);
    std::vector<std::string> files;
    for (const auto& track : Tracks)
        if (track->GetKind() == FK_IMAGE) files.push_back(track->GetFileName());
    return files;
}

void TFilmManager::CollectFileNames(std::vector<std::string>& List) const {
    for (const auto& track : Tracks) track->CollectFileNames(List);
}

bool AddFilmFileName(std::vector<std::string>& List, const std::string& Name) {
    if (Name.empty() || !platform::fs::FileExists(Name)) return false;
    if (std::any_of(List.begin(), List.end(), [&](const std::string& S) { return AnsiSameText(S, Name); }))
        return false;
    List.push_back(Name);
    return true;
}

void AddSpriteFileNames(std::vector<std::string>& List, const std::string& Name) {
    if (!AddFilmFileName(List, Name) || AnsiLowerCase(ExtractFileExt(Name)) != ".vmt") return;
    TMemoryStream stream;
    stream.LoadFromFile(Name);
    TFilmManager film;
    film.NoActivation = true;  // only its names are wanted
    film.LoadFromStream(stream, Name);
    film.CollectFileNames(List);
}

std::unique_ptr<TVelaFilm> NewMotionFilm() {
    auto film = std::make_unique<TFilmManager>();
    film->MotionMode = true;
    return film;
}
