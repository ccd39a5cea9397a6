#pragma once
// The base of the DirectX wrapper objects, and message filters on the player's windows.
#include "platform/display.h"
#include "platform/errors.h"

#include <cstdint>
#include <functional>

class EDxWrapperError : public EVelaError {
public:
    using EVelaError::EVelaError;
};

// Keeps the last result code of the wrapped device; a code other than 0 calls Check.
class TDxWrapper {
public:
    virtual ~TDxWrapper() = default;
    int32_t ResultCode() const { return FDXResult; }
    void SetResultCode(int32_t Value) {
        FDXResult = Value;
        if (Value != 0) Check();
    }

protected:
    virtual void Check() {}

private:
    int32_t FDXResult = 0;
};

// A window of the player as its filters see it: every event it receives goes through
// WindowProc, which the window sets to its own handling.
class TWindowControl {
public:
    using TWindowProc = std::function<void(const platform::InputEvent&)>;
    void Perform(const platform::InputEvent& Message) const {
        if (WindowProc) WindowProc(Message);
    }
    TWindowProc WindowProc;
};

// Sees every event of a window first: Handler gets Data, the event and the handling it had
// before, to pass the event on (or not). Freeing the filter puts that handling back.
class TControlSubClass {
public:
    using THandler = void (*)(void* Data, const platform::InputEvent& Message, const TWindowControl::TWindowProc& DefaultProc);
    TControlSubClass(TWindowControl& Control, THandler Handler, void* Data);
    ~TControlSubClass();
    TControlSubClass(const TControlSubClass&) = delete;
    TControlSubClass& operator=(const TControlSubClass&) = delete;

private:
    TWindowControl& FControl;
    TWindowControl::TWindowProc FDefaultProc;
};
