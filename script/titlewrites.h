#pragma once
// The one gate of the files a title writes on the disk, wherever its folder lies: the user's
// desktop, home or downloads folder, or the folder of the player itself.
//
// - The player's files are never a title's: nothing is written into the folder of the running
//   program or of its companion library.
// - A file that stood before the title wrote it is the user's, in any folder, the title's own
//   included: it is replaced only after the user said yes. The title's own files are free to
//   replace: its archives, its install.dat, its save data and what the player wrote for it, kept
//   in the title's written-files list across its runs.
// - What a title names below one of its folders is plain (IsPlainRelativePath); its folders are
//   made against its disk budget (ForceTitleFolders).
#include <string>

// What a write of a title's file may do.
enum class TTitleWrite {
    Refused,  // the target lies among the player's own files
    Free,     // nothing stands at the target, or the title's own file does
    Ask,      // the user's file stands there: replaced only with a yes
};

// Whether the title may write the file Target (a program path), judged on the host where Target
// really lies (the links and "." of its folder resolved; a link at Target itself is replaced,
// never followed). A refusal is said on standard error, as Who's.
TTitleWrite JudgeTitleWrite(const std::string& Who, const std::string& Target);
// Target was written for the title: it is the title's own from now on, in this run and the next.
void TitleWrote(const std::string& Target);
