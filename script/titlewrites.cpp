#include "script/titlewrites.h"

#include "core/header.h"
#include "core/streams.h"
#include "core/sysutils.h"
#include "core/vrfiles_manager.h"
#include "media/velabind.h"
#include "platform/display.h"
#include "platform/fs.h"
#include "script/project.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>
#include <unordered_set>

namespace {

// Where a file really lies: its folder's host path resolved (links, "." and "..") and its own
// name on the host, unresolved; nothing when the host cannot tell. One spelling of a file for
// every name that leads to it.
std::optional<std::string> RealPlace(const std::string& File) {
    const std::optional<std::string> folder = platform::fs::FullHostPath(ExtractFilePath(File));
    const std::optional<std::string> host = platform::fs::ToHostPath(File);
    if (!folder || !host || host->ends_with('/')) return std::nullopt;
    return (folder->ends_with('/') ? *folder : *folder + "/") + host->substr(host->rfind('/') + 1);
}

// The resolved host folders the player's own files lie in: the running program's and its
// companion library's.
const std::unordered_set<std::string>& PlayerFolders() {
    static const std::unordered_set<std::string> folders = [] {
        std::unordered_set<std::string> found;
        const std::string programFolder = ExtractFilePath(platform::fs::ProgramFile());
        for (const std::string& folder : {programFolder, CompanionFolder(programFolder)})
            if (const std::optional<std::string> real = platform::fs::FullHostPath(folder)) found.insert(*real);
        return found;
    }();
    return folders;
}

// The files the player wrote for the running title in any folder (host paths as RealPlace gives
// them, one a line in its list file): those it may replace without asking.
class TWrittenFiles {
public:
    // The list of the running title, read again when the title changed.
    static TWrittenFiles& OfTitle() {
        static TWrittenFiles list;
        const std::string file = Project ? GetWrittenListFile(Project->GetSaveFileName()) : std::string();
        if (file != list.file_) list.Load(file);
        return list;
    }
    bool Contains(const std::string& HostPath) const { return paths_.contains(HostPath); }
    // Adds a file to the list and to its file.
    void Add(const std::string& HostPath) {
        if (!paths_.insert(HostPath).second || file_.empty()) return;
        platform::fs::HostFile out;
        const std::string line = HostPath + "\n";
        if (!out.Open(file_, platform::fs::HostFile::Mode::Append) ||
            out.Write(line.data(), static_cast<int64_t>(line.size())) != static_cast<int64_t>(line.size()))
            std::fprintf(stderr, "the list of written files cannot be kept: %s\n", out.ErrorText().c_str());
    }

private:
    void Load(const std::string& File) {
        file_ = File;
        paths_.clear();
        if (!platform::fs::FileExists(File)) return;
        TMemoryStream data;
        try {
            data.LoadFromFile(File);
        } catch (const EVelaError&) {
            return;  // Nothing counts as written: every file is asked for.
        }
        const std::string_view text(reinterpret_cast<const char*>(data.Memory()), static_cast<size_t>(data.Size()));
        for (size_t start = 0; start < text.size();) {
            const size_t end = std::min(text.find('\n', start), text.size());
            if (end > start) paths_.emplace(text.substr(start, end - start));
            start = end + 1;
        }
    }

    std::string file_;
    std::unordered_set<std::string> paths_;
};

// Whether the file at Place (as RealPlace gives it) is one of the title's own: an archive the
// file manager holds, the install set beside its content, its save data, or a file the player
// wrote for it.
bool IsTitlesOwn(const std::string& Place) {
    const auto at = [&](const std::string& File) { return !File.empty() && RealPlace(File) == Place; };
    if (VrFileManager) {
        for (int i = 0; i < VrFileManager->Count(); ++i)
            if (at(VrFileManager->GetCollection(i).FileName())) return true;
        if (!VrFileManager->BaseFolder().empty() && at(VrFileManager->BaseFolder() + "install.dat")) return true;
    }
    return (Project && at(Project->GetSaveFileName())) || TWrittenFiles::OfTitle().Contains(Place);
}

}  // namespace

TTitleWrite JudgeTitleWrite(const std::string& Who, const std::string& Target) {
    const std::optional<std::string> place = RealPlace(Target);
    const char* refusal = !place ? " is not a place a title may write"
                          : PlayerFolders().contains(place->substr(0, std::max<size_t>(place->rfind('/'), 1)))
                              ? " lies among the player's own files: a title may not write it"
                              : nullptr;
    if (refusal) {
        platform::PrintMessage(Who, platform::fs::ShownPath(Target) + refusal);
        return TTitleWrite::Refused;
    }
    const bool stands = platform::fs::StampOfFile(Target) || platform::fs::IsLink(Target);
    return !stands || IsTitlesOwn(*place) ? TTitleWrite::Free : TTitleWrite::Ask;
}

void TitleWrote(const std::string& Target) {
    if (const std::optional<std::string> place = RealPlace(Target)) TWrittenFiles::OfTitle().Add(*place);
}
