#pragma once
// The one gate of the files a title writes on the disk, wherever its folder lies: the user's
// desktop, home or downloads folder, or the folder of the player itself.
//
// - A name the title gives is read once into its components (core/titlename) beneath the folder
//   it starts from (platform::fs::Beneath): that is what is judged here, recorded, and opened,
//   beneath the folder's descriptor, so that the kernel keeps the write where it was judged.
// - The player's files are never a title's: nothing is written into the folder of the running
//   program or of its companion library, nor into any folder inside them.
// - Nothing is written into a folder the desktop or the shell takes settings or programs from
//   (platform::IsDesktopSettingsFolder): a title folder there is played read-only.
// - A file that stood before the title wrote it is the user's, in any folder, the title's own
//   included: it is replaced only after the user said yes. The title's own files are free to
//   replace: its archives, its install.dat, its save data and what the player wrote for it, kept
//   in the title's written-files list across its runs (found by the title folder itself, each
//   entry the folder, the components below it and the file written there).
// - Its folders are made against its disk budget (ForceTitleFolders), after the gate said yes.
#include "platform/beneath.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

// What a write of a title's file may do.
enum class TTitleWrite {
    Refused,  // the target lies among the player's own files or the desktop's settings
    Free,     // nothing stands at the target, or the title's own file does
    Ask,      // the user's file stands there: replaced only with a yes
};

// The title's folder (the file manager's base folder) held open; nothing without one.
std::shared_ptr<const platform::fs::HeldFolder> TitleFolder();

// The place of Name, a name the title gives (ReadTitleName), beneath Root; nothing when Name is
// not a plain relative name of a file or there is no Root.
std::optional<platform::fs::Beneath> TitlePlace(std::shared_ptr<const platform::fs::HeldFolder> Root,
                                                std::string_view Name);

// Whether the title may write the file Target, judged where the kernel finds it beneath its
// root (a link at Target itself is replaced, never followed; folders missing on the way are
// judged by the one they would be made in). A refusal is said on standard error, as Who's.
TTitleWrite JudgeTitleWrite(const std::string& Who, const platform::fs::Beneath& Target);
// Target was written for the title: it is the title's own from now on, in this run and the next.
void TitleWrote(const platform::fs::Beneath& Target);
// Whether a film's capture may be written at Target: only where the gate leaves it free, so a
// capture never replaces a file of the user's.
bool MayWriteCapture(const platform::fs::Beneath& Target);
