#pragma once
// What the script engine needs of the rest of the player, behind narrow interfaces: the object
// root (its event queue, the objects found by name and the few operations the commands apply to
// them), and the host (the loop clock and the tick's length, the content test of the project,
// the trace hook, warnings, the close request, and the resets of subsystems that keep game
// data). Each has a headless default (an empty queue, no objects, no trace, nothing shown) that
// the player replaces with its own once those parts exist. Beside them the program-wide
// terminating flag.
#include "core/header.h"

#include <cstdint>
#include <memory>
#include <string>

// A scene object. Its class belongs to the object model; the script only passes it on.
class TVelaObject;

// A reference to a scene object that can be checked: the object and the serial number the
// object root gave it when it was made. Serials are never reused, so a reference to an object
// since freed never passes for a live one, even when a new object takes its address.
struct TObjectRef {
    TVelaObject* Object = nullptr;
    uint32_t Serial = 0;

    explicit operator bool() const { return Object != nullptr; }
    bool operator==(const TObjectRef&) const = default;
};

// A queued event, as the object root's queue holds it: the handler text (a page name, or a page and a label joined by ":"), the
// object that sent it, the level (0 while pending, else the level of the handler that took it),
// its arguments and its kind (the property id of the handler property that raised it).
struct TTimerData {
    std::string Handler;
    TObjectRef Sender;
    int32_t Level = 0;
    TArrayString Args;
    uint8_t Kind = 0;
};

// The object root as the script sees it. This base is the headless root: no events, no objects.
class TScriptObjects {
public:
    virtual ~TScriptObjects() = default;

    // The event queue, first in first out: the first event not yet taken (Level 0), nullptr
    // when none. The record stays valid until the queue is changed through this interface.
    virtual TTimerData* FirstPending() { return nullptr; }
    // Removes every event taken at Level.
    virtual void ClearLevel(int32_t /*Level*/) {}
    // Removes every event taken by a handler (Level not 0).
    virtual void ClearTaken() {}
    // Drops every queued event, pending or taken.
    virtual void ClearEvents() {}

    // The object of that name (the lookup rules of the object root); an empty reference when
    // there is none.
    virtual TObjectRef FindObject(const std::string& /*Name*/) { return {}; }
    // Whether the referenced object still exists in the root.
    virtual bool IsLive(const TObjectRef& /*Ref*/) { return false; }
    // The name of the referenced object; "" for an empty reference or one no longer live.
    virtual std::string ObjectName(const TObjectRef& /*Ref*/) { return {}; }

    // Operations on one object. For an empty reference or one no longer live the setters do
    // nothing and the getters give the value an object without that property gives.
    // The object's source file name (its PR_SOURCE text).
    virtual std::string GetSource(const TObjectRef& /*Ref*/) { return {}; }
    // The play state: 2 unless the object plays media or is a menu. Commands set 0 or 1 (stopped
    // or playing) after making a media object, 1 to open a menu, 3 to close a menu or to fade
    // media out over its delay, 2 before deleting media.
    virtual int32_t GetPlayState(const TObjectRef& /*Ref*/) { return 2; }
    virtual void SetPlayState(const TObjectRef& /*Ref*/, int32_t /*State*/) {}
    // The PR_DELAY setter (ms).
    virtual void SetDelay(const TObjectRef& /*Ref*/, int32_t /*Delay*/) {}
    // Starts playback of a media object.
    virtual void Play(const TObjectRef& /*Ref*/) {}
    // Deferred deletion: the object is no longer found by name at once and is freed later.
    virtual void Delete(const TObjectRef& /*Ref*/) {}
    // After each command: frees the objects deleted meanwhile that nothing but the script has
    // seen, so that a script deleting what it makes gives the memory back without waiting.
    virtual void FreeDeleted() {}

    // Frees every object and makes two fresh screen layers.
    virtual void Clear() {}
};

// The rest of the player as the script sees it. This base is the headless host.
class TScriptHost {
public:
    virtual ~TScriptHost() = default;

    // The accumulated milliseconds of all ticks run: the clock of the script.
    virtual uint32_t LoopTime() { return 0; }
    // The length of the current tick in milliseconds, which waits use up.
    virtual uint32_t FrameTime() { return 0; }
    // Whether content of that name can be read (the project's test, which may ask for a
    // disc). This base asks the file manager; false when there is none.
    virtual bool FileExists(const std::string& Name);
    // The script trace: whether a trace hook is present, and one traced line for it.
    virtual bool TraceEnabled() { return false; }
    virtual void LogWrite(const std::string& /*Text*/) {}
    // A warning for the user (caption "警告"), shown before the call returns.
    virtual void ShowWarning(const std::string& /*Text*/) {}
    // Asks the main window to close.
    virtual void RequestClose() {}
    // Asked now and then while the script runs on without waiting: whether the player is to end
    // (the window was closed meanwhile); the runner then leaves the tick's work. This base: never.
    virtual bool EndRequested() { return false; }
    // An error that ends the player: the terminating flag is set, the main window is asked to
    // close and Text is shown as an error (this base shows it as a warning); the player then
    // ends with a failure status.
    virtual void EndWithError(const std::string& Text);
    // Resets for a restart of the game: the game-data tables go (the status tables stay), and
    // the message history formats go back to the one unnamed default format. This base drops
    // the game-data tables of DBManager.
    virtual void ClearGameTables();
    virtual void ClearHistoryFormats() {}
};

// The services of the run, between CreateScriptServices and FreeScriptServices. Each accessor
// raises EVelaError "内部エラー" outside that time.
void CreateScriptServices();
void FreeScriptServices();
TScriptObjects& ScriptObjects();
TScriptHost& ScriptHost();
// Replaces a service; nullptr puts the headless default back.
void SetScriptObjects(std::unique_ptr<TScriptObjects> Objects);
void SetScriptHost(std::unique_ptr<TScriptHost> Host);

// The program-wide terminating flag: while it is set the runner stops and each tick ends right
// after the script step.
bool Terminating();
void SetTerminating(bool Value);
