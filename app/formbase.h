#pragma once
// The base of the main window: a count of the windows made on it, the window's place kept over
// a full-screen spell, and the minimise command. The cosine table and Max / Min of the shell.
//
// The taskbar needs nothing of it: the window system gives each window its own entry.
#include "platform/display.h"

#include <array>
#include <cstdint>

class TMainFormBase {
public:
    explicit TMainFormBase(platform::Display& Form);
    TMainFormBase(const TMainFormBase&) = delete;
    TMainFormBase& operator=(const TMainFormBase&) = delete;
    virtual ~TMainFormBase();

    // How many windows on this base exist.
    static int32_t WindowCount();

    // Keeps the window's normal place, whether it shows and whether it is maximised.
    void StoreWindow();
    // Puts a kept place back (maximised again, in full screen once back in a window) and forgets
    // it; nothing when none is kept.
    void RestoreWindow();
    // A command of the window's system menu: SC_MINIMIZE minimises the window (true); the window
    // system handles every other one itself (false).
    bool SysCommand(uint32_t Command);

    static constexpr uint32_t SC_MINIMIZE = 0xF020;

private:
    platform::Display& form_;
    bool saved_ = false;
    platform::WindowPlacement placement_;
};

// Entry i is cos(i / 256 x 2 pi).
const std::array<double, 256>& CosTable();

inline int32_t Max(int32_t A, int32_t B) { return A > B ? A : B; }
inline int32_t Min(int32_t A, int32_t B) { return A < B ? A : B; }
