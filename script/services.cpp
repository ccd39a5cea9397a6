#include "script/services.h"

#include "core/vrfiles_manager.h"
#include "script/dbs.h"

namespace {

struct TScriptServices {
    std::unique_ptr<TScriptObjects> Objects = std::make_unique<TScriptObjects>();
    std::unique_ptr<TScriptHost> Host = std::make_unique<TScriptHost>();
};

TScriptServices* Services = nullptr;
uint8_t TerminatingFlag = 0;

TScriptServices& Current() {
    if (!Services) throw EVelaError("内部エラー");
    return *Services;
}

}  // namespace

bool TScriptHost::FileExists(const std::string& Name) {
    return VrFileManager && VrFileManager->FileExists(Name);
}

void TScriptHost::ClearGameTables() {
    if (DBManager) DBManager->ClearGameTables();
}

void TScriptHost::EndWithError(const std::string& Text) {
    SetTerminating(true);
    RequestClose();
    ShowWarning(Text);
}

void CreateScriptServices() {
    if (!Services) Services = new TScriptServices;
    TerminatingFlag = 0;
}

void FreeScriptServices() {
    delete Services;
    Services = nullptr;
}

TScriptObjects& ScriptObjects() { return *Current().Objects; }
TScriptHost& ScriptHost() { return *Current().Host; }

void SetScriptObjects(std::unique_ptr<TScriptObjects> Objects) {
    Current().Objects = Objects ? std::move(Objects) : std::make_unique<TScriptObjects>();
}

void SetScriptHost(std::unique_ptr<TScriptHost> Host) {
    Current().Host = Host ? std::move(Host) : std::make_unique<TScriptHost>();
}

bool Terminating() { return TerminatingFlag != 0; }
void SetTerminating(bool Value) { TerminatingFlag = Value ? 1 : 0; }
