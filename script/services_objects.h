#pragma once
// The object root of the player (Bases) as the script sees it: the events come from its queue,
// names are looked up with its rules, references are checked against its flat list.
#include "script/services.h"

class TVelaObject;

class TSceneObjects : public TScriptObjects {
public:
    TTimerData* FirstPending() override;
    void ClearLevel(int32_t Level) override;
    void ClearTaken() override;
    void ClearEvents() override;
    TObjectRef FindObject(const std::string& Name) override;
    bool IsLive(const TObjectRef& Ref) override;
    std::string ObjectName(const TObjectRef& Ref) override;
    std::string GetSource(const TObjectRef& Ref) override;
    int32_t GetPlayState(const TObjectRef& Ref) override;
    void SetPlayState(const TObjectRef& Ref, int32_t State) override;
    void SetDelay(const TObjectRef& Ref, int32_t Delay) override;
    void Play(const TObjectRef& Ref) override;
    void Delete(const TObjectRef& Ref) override;
    void FreeDeleted() override;
    void Clear() override;

private:
    // The referenced object when it is still in the root, else nullptr.
    static TVelaObject* Live(const TObjectRef& Ref);
};
