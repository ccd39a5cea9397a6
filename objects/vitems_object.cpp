// The root class of scene objects: naming, ordering, deferred deletion and the base record.
#include "objects/vitems.h"

#include "core/sysutils.h"
#include "script/params_values.h"

#include <atomic>
#include <cmath>
#include <numbers>
#include <utility>

namespace {

std::atomic<uint32_t> LastSerial{0};

}  // namespace

// The numbers from the first From asked for up to Next were all taken when Next passed them; one
// freed since then is in Freed. So the first free number from From on is the first of Freed at or
// after From still free, else the first from Next on. A later From beyond Next is looked for from
// there without the numbers in between being known.
std::string MakeUniqueName(TVelaBaseList& Root, const std::string& Prefix, int32_t From) {
    const auto [entry, made] = Root.NameNumbers.try_emplace(Prefix);
    TVelaBaseList::TNameNumbers& numbers = entry->second;
    if (made) {
        numbers.Next = From;
        try {
            Root.NameStems.insert(TVelaBaseList::NameStem(Prefix));
        } catch (...) {
            Root.NameNumbers.erase(entry);
            throw;
        }
    }
    const auto freeName = [&](int32_t N, std::string& Name) {
        Name = Prefix + std::to_string(N);
        return !Root.ObjectNamed(Name);
    };
    std::string candidate;
    if (From > numbers.Next) {
        for (int32_t n = From;; ++n)
            if (freeName(n, candidate)) return candidate;
    }
    for (auto freed = numbers.Freed.lower_bound(From); freed != numbers.Freed.end(); freed = numbers.Freed.erase(freed))
        if (freeName(*freed, candidate)) return candidate;
    for (;; ++numbers.Next)
        if (freeName(numbers.Next, candidate)) return candidate;
}

TVelaObject::TVelaObject(TVelaBaseList* AOwner, bool UniqueName) : Serial(++LastSerial), Owner(AOwner) {
    if (!Owner) return;
    if (UniqueName) Name = MakeUniqueName(*Owner, "object");
    Owner->AddObject(this);
}

TVelaObject::~TVelaObject() {
    if (!Owner) return;
    Owner->RemoveFromDeleted(this);
    Owner->RemoveObject(this);
}

void TVelaObject::Rename(std::string S) {
    TVelaControl* parent = GetParent();
    const size_t at = parent ? parent->SortedPlace(this) : TVelaControl::NoPlace;
    if (Owner) Owner->UnindexName(*this);
    std::string old = std::exchange(Name, std::move(S));
    if (Owner) Owner->IndexName(*this);
    if (parent) parent->ChildOrderChanged(at, std::move(old));
}

void TVelaObject::SetName(const std::string& S) {
    if (S == Name) return;
    if (TVelaObject* other = Owner ? Owner->ObjectNamed(S) : nullptr) other->Delete();
    Rename(S);
}

void TVelaObject::SetPriority(int32_t P) {
    if (P == Priority) return;
    StorePriority(P);
    if (TVelaControl* parent = GetParent()) parent->ChildPriorityChanged(this);
}

void TVelaObject::StorePriority(int32_t P) {
    if (P == Priority) return;
    Priority = P;
    SubPriority = 0;
    Invalidate();
}

void TVelaObject::SetSubPriority(int32_t K) {
    if (K == SubPriority) return;
    SubPriority = K;
    if (TVelaControl* parent = GetParent()) parent->ChildPriorityChanged(this);
    Invalidate();
}

void TVelaObject::Delete() {
    Invalidate();  // drawing skips nameless objects
    Rename({});
    if (Owner) Owner->MarkDeleted(this);
}

bool TVelaObject::IsDeleted() const { return Marked; }

TCustomDIBX* TVelaObject::GetLayerSurface() {
    TVelaControl* parent = GetParent();
    return parent ? parent->GetLayerSurface() : nullptr;
}

TVelaObject* TVelaObject::GetObject(int Index) const { return Owner ? Owner->GetObject(Index) : nullptr; }

int TVelaObject::GetObjectCount() const { return Owner ? Owner->GetObjectCount() : 0; }

TVelaBase* TVelaObject::GetBase() {
    TVelaControl* parent = GetParent();
    return parent ? parent->GetBase() : nullptr;
}

namespace {

// V rounded to the nearest integer (ties to even), converted as expressions convert.
int32_t RoundToInt(long double V) { return FloatToInt(std::nearbyint(V)); }

constexpr long double Pi = std::numbers::pi_v<long double>;

}  // namespace

long double TVelaObject::GetFloatzoomx() const { return GetZoomx() / 256.0L; }
void TVelaObject::SetFloatzoomx(long double V) { SetZoomx(RoundToInt(V * 256)); }
long double TVelaObject::GetFloatzoomy() const { return GetZoomy() / 256.0L; }
void TVelaObject::SetFloatzoomy(long double V) { SetZoomy(RoundToInt(V * 256)); }

// A full turn is 255 angle units.
long double TVelaObject::GetFloatangle() const { return GetAngle() * 2 * Pi / 255; }
void TVelaObject::SetFloatangle(long double V) { SetAngle(RoundToInt(V / (2 * Pi) * 255)); }

TRect TVelaObject::GetBoundsRect() const {
    const TPoint at = GetOrigin();
    return {at.X, at.Y, at.X + GetWidth(), at.Y + GetHeight()};
}

bool TVelaObject::IntersectsRect(TRect& R) const {
    R = IntersectRects(R, GetBoundsRect());
    return !RectIsEmpty(R);
}

void TVelaObject::AdjustDirtyRect(TRect& R) const {
    if (const TVelaControl* parent = GetParent()) parent->AdjustDirtyRect(R);
}

bool TVelaObject::IsShown() {
    return GetVisible() && Bases && GetBase() == Bases->GetBase(Bases->GetCurrentLayer());
}

void TVelaObject::PlaceNativeControls() {
    for (int i = 0; i < GetControlCount(); ++i) GetControl(i)->PlaceNativeControls();
}

// The base record: name, priority, second order key (from version 104), tag (from 120).
void TVelaObject::SaveToStream(TStream& Stream) {
    WriteStreamString(Stream, Name);
    WriteStreamInt(Stream, Priority);
    WriteStreamInt(Stream, SubPriority);
    WriteStreamString(Stream, Tag);
}

void TVelaObject::LoadFromStream(TStream& Stream, int32_t Version) {
    std::string name = ReadStreamString(Stream);
    Priority = ReadStreamInt(Stream);
    if (Version >= 104) SubPriority = ReadStreamInt(Stream);
    if (Version >= 120) Tag = ReadStreamString(Stream);
    Rename(std::move(name));  // tells the parent of the new order keys
}

TVelaComponent::~TVelaComponent() {
    if (Owner) Owner->GetEvents().RemoveObject(this);
}
