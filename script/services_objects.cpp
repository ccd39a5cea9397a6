#include "script/services_objects.h"

#include "objects/vitems.h"

TVelaObject* TSceneObjects::Live(const TObjectRef& Ref) { return Bases && Bases->IsLive(Ref) ? Ref.Object : nullptr; }

TTimerData* TSceneObjects::FirstPending() { return Bases ? Bases->GetEvents().FirstPending() : nullptr; }

void TSceneObjects::ClearLevel(int32_t Level) {
    if (Bases) Bases->GetEvents().ClearLevel(Level);
}

void TSceneObjects::ClearTaken() {
    if (Bases) Bases->GetEvents().ClearTaken();
}

void TSceneObjects::ClearEvents() {
    if (Bases) Bases->GetEvents().Clear();
}

TObjectRef TSceneObjects::FindObject(const std::string& Name) {
    TVelaObject* obj = Bases ? Bases->FindObject(Name) : nullptr;
    return obj ? obj->Ref() : TObjectRef{};
}

bool TSceneObjects::IsLive(const TObjectRef& Ref) { return Live(Ref) != nullptr; }

std::string TSceneObjects::ObjectName(const TObjectRef& Ref) {
    TVelaObject* obj = Live(Ref);
    return obj ? obj->GetName() : std::string();
}

std::string TSceneObjects::GetSource(const TObjectRef& Ref) {
    TVelaObject* obj = Live(Ref);
    return obj ? obj->GetSource() : std::string();
}

int32_t TSceneObjects::GetPlayState(const TObjectRef& Ref) {
    TVelaObject* obj = Live(Ref);
    return obj ? obj->GetPlayState() : 2;
}

void TSceneObjects::SetPlayState(const TObjectRef& Ref, int32_t State) {
    if (TVelaObject* obj = Live(Ref)) obj->SetPlayState(State);
}

void TSceneObjects::SetDelay(const TObjectRef& Ref, int32_t Delay) {
    if (TVelaObject* obj = Live(Ref)) obj->SetDelay(Delay);
}

void TSceneObjects::Play(const TObjectRef& Ref) {
    if (TVelaObject* obj = Live(Ref)) obj->Play();
}

void TSceneObjects::Delete(const TObjectRef& Ref) {
    if (TVelaObject* obj = Live(Ref)) obj->Delete();
}

void TSceneObjects::FreeDeleted() {
    if (Bases) Bases->FreeDeleted();
}

void TSceneObjects::Clear() {
    if (Bases) Bases->Clear();
}
