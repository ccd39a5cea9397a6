#pragma once
// The cursor over the main window's panel: the cursor files the scene names, shown through the
// display.
#include "objects/vitems.h"
#include "platform/display.h"

#include <string>

class TDisplayCursorHost : public TCursorHost {
public:
    explicit TDisplayCursorHost(platform::Display& ADisplay) : Display(ADisplay) {}

    // Makes the content file available on disk through the file manager, reads it as a cursor
    // file and shows it. A file that cannot be found or read shows the default cursor and no
    // message: the pointer step would repeat one at every tick.
    void LoadCursor(const std::string& FileName) override;
    void DefaultCursor() override { Display.setDefaultCursor(); }

private:
    platform::Display& Display;
};
