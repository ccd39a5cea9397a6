#include "app/cursor.h"

#include "core/vrfiles_manager.h"
#include "graphics/cursorfile.h"

namespace {

// The cursor file of a content name, read from the disk file the file manager provides; a work
// file made for it is released again once read.
TCursorImage ReadContentCursor(TVrFileManager& Files, const std::string& FileName) {
    struct TRelease {
        TVrFileManager& Files;
        const std::string& Name;
        ~TRelease() { Files.ReleaseLocalFile(Name); }
    };
    const std::string local = Files.GetLocalFileName(FileName);
    const TRelease release{Files, FileName};
    TFileStream stream(local, fmOpenRead | fmShareDenyWrite);
    return ReadCursorFile(stream);
}

// Shows the cursor file of a content name; false when it cannot be read or shown.
bool ShowContentCursor(platform::Display& Display, TVrFileManager& Files, const std::string& FileName) {
    try {
        TCursorImage image = ReadContentCursor(Files, FileName);
        platform::PixelBuffer pixels;
        pixels.pixels = reinterpret_cast<uint8_t*>(image.Pixels.data());
        pixels.width = image.Width;
        pixels.height = image.Height;
        pixels.pitch = image.Width * 4;
        return Display.setCursor(pixels, image.HotX, image.HotY);
    } catch (const EVelaError&) {
        return false;
    }
}

}  // namespace

void TDisplayCursorHost::LoadCursor(const std::string& FileName) {
    if (!VrFileManager || !ShowContentCursor(Display, *VrFileManager, FileName)) Display.setDefaultCursor();
}
