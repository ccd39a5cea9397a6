#include "script/titlewrites.h"

#include "core/diskbudget.h"
#include "core/header.h"
#include "core/streams.h"
#include "core/sysutils.h"
#include "core/titlename.h"
#include "core/vrfiles_manager.h"
#include "media/velabind.h"
#include "platform/display.h"
#include "platform/fs.h"
#include "platform/system.h"
#include "script/project.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

using platform::fs::Beneath;
using platform::fs::EntryFolder;
using platform::fs::FileId;
using platform::fs::HeldFolder;

// The file at a program path itself (a link there not followed); nothing when no regular file
// stands there.
std::optional<FileId> IdOfFile(const std::string& File) {
    if (File.empty()) return std::nullopt;
    const std::optional<platform::fs::FileStamp> stamp = platform::fs::StampOfFile(File);
    return stamp ? std::optional(FileId{stamp->Device, stamp->Inode}) : std::nullopt;
}

// The folders the player's own files lie in: the running program's and its companion library's.
const std::vector<FileId>& PlayerFolders() {
    static const std::vector<FileId> folders = [] {
        std::vector<FileId> found;
        const std::string programFolder = ExtractFilePath(platform::fs::ProgramFile());
        for (const std::string& folder : {programFolder, CompanionFolder(programFolder)})
            if (const std::shared_ptr<const HeldFolder> held = HeldFolder::Open(folder)) found.push_back(held->Id());
        return found;
    }();
    return folders;
}

// The files the player wrote for the title of one title folder, in any folder: each by the
// folder it was named beneath and the host names below it, with the file written there. Kept
// in the player's own data folder under the title folder's device and inode, never under a name
// the title could choose; one record a NUL, each the ids and the names after "/" (a host name
// holds neither "/" nor NUL, so no name can forge another record). At most kMaxEntries; the
// file is read only up to kMaxBytes and charged to the title's disk budget as it grows.
class TWrittenFiles {
public:
    static constexpr size_t kMaxEntries = 10000;
    static constexpr int64_t kMaxBytes = 8 * 1024 * 1024;

    // The list of the running title, read again when the title folder changed.
    static TWrittenFiles& OfTitle() {
        static TWrittenFiles list;
        if (const std::shared_ptr<const HeldFolder> title = TitleFolder(); title != list.title_) list.Load(title);
        return list;
    }

    bool Holds(const std::string& Key, FileId File) const {
        const auto found = files_.find(Key);
        return found != files_.end() && found->second == File;
    }

    void Add(const std::string& Key, FileId File) {
        if (!place_) return;
        const auto found = files_.find(Key);
        if (found != files_.end() && found->second == File) return;
        if (found == files_.end() && files_.size() >= kMaxEntries) {
            Say("is full: the files the title writes from now on are asked for");
            return;
        }
        files_[Key] = File;
        const std::string record = Record(Key, File);
        // Records of files written again pile up: past the bound the list is written anew.
        if (records_ >= kMaxEntries || written_ + static_cast<int64_t>(record.size()) > kMaxBytes) {
            Rewrite();
            return;
        }
        int error = 0;
        const std::optional<EntryFolder> folder = EntryFolder::Reach(*place_, nullptr, error);
        platform::fs::HostFile out;
        if (!folder || !out.Open(*folder, platform::fs::HostFile::Mode::Append) ||
            out.Write(record.data(), static_cast<int64_t>(record.size())) != static_cast<int64_t>(record.size())) {
            Say("cannot be kept: " + (folder ? out.ErrorText() : std::string(std::strerror(error))));
            return;
        }
        ++records_;
        written_ += static_cast<int64_t>(record.size());
        ChargeTitleFile(place_->Root->HostPath() + "/" + place_->Parts[0], written_);
    }

private:
    void Load(std::shared_ptr<const HeldFolder> Title) {
        title_ = std::move(Title);
        place_.reset();
        files_.clear();
        records_ = 0;
        written_ = 0;
        if (!title_) return;
        const std::string folder = GetWrittenListFolder();
        const std::shared_ptr<const HeldFolder> held = folder.empty() ? nullptr : HeldFolder::Open(folder);
        if (!held) return;
        place_ = Beneath{held, {Format("%" PRIx64 "-%" PRIx64 ".lst", title_->Id().Device, title_->Id().Inode)}};
        int error = 0;
        const std::optional<EntryFolder> at = EntryFolder::Reach(*place_, nullptr, error);
        const std::optional<EntryFolder::Entry> entry = at ? at->LookAt() : std::nullopt;
        if (!entry) return;
        if (!entry->Regular || entry->Size > kMaxBytes) {
            // Nothing counts as written: every file that stands is asked for, and the first file
            // written makes the list anew.
            Say("is not read: it is not a file of at most 8 MiB");
            written_ = kMaxBytes;
            return;
        }
        std::string text(static_cast<size_t>(entry->Size), '\0');
        platform::fs::HostFile in;
        if (!in.Open(*at, platform::fs::HostFile::Mode::Read)) return;
        const int64_t read = in.Read(text.data(), static_cast<int64_t>(text.size()));
        text.resize(read > 0 ? static_cast<size_t>(read) : 0);
        written_ = static_cast<int64_t>(text.size());
        for (size_t start = 0; start < text.size();) {
            const size_t end = std::min(text.find('\0', start), text.size());
            Parse(std::string_view(text).substr(start, end - start));
            start = end + 1;
        }
    }

    // One record: "ROOTDEV ROOTINO FILEDEV FILEINO/name/name..."; one that is not is left out.
    void Parse(std::string_view Record) {
        const size_t slash = Record.find('/');
        if (slash == std::string_view::npos) return;
        uint64_t ids[4];
        const std::string head(Record.substr(0, slash));
        if (std::sscanf(head.c_str(), "%" SCNx64 " %" SCNx64 " %" SCNx64 " %" SCNx64, &ids[0], &ids[1], &ids[2],
                        &ids[3]) != 4)
            return;
        ++records_;
        std::string key = KeyOf(ids[0], ids[1], Record.substr(slash));
        if (files_.size() < kMaxEntries || files_.contains(key)) files_[std::move(key)] = FileId{ids[2], ids[3]};
    }

    static std::string KeyOf(uint64_t Device, uint64_t Inode, std::string_view Names) {
        return Format("%" PRIx64 " %" PRIx64, Device, Inode) + std::string(Names);
    }
    static std::string Record(const std::string& Key, FileId File) {
        const size_t slash = Key.find('/');
        return Key.substr(0, slash) + Format(" %" PRIx64 " %" PRIx64, File.Device, File.Inode) + Key.substr(slash) +
               '\0';
    }

    void Rewrite() {
        std::string text;
        for (const auto& [key, file] : files_) text += Record(key, file);
        try {
            WriteFileReplacing(*place_, [&](TStream& Out) { Out.WriteBuffer(text.data(), static_cast<int64_t>(text.size())); });
        } catch (const EVelaError& E) {
            Say(std::string("cannot be kept: ") + E.what());
            return;
        }
        records_ = files_.size();
        written_ = static_cast<int64_t>(text.size());
    }

    // A line about the list on standard error, once a run for each thing said.
    void Say(const std::string& What) {
        if (said_.insert(What).second) platform::PrintMessage("velaplay", "the list of the title's written files " + What);
    }

    std::shared_ptr<const HeldFolder> title_;
    std::optional<Beneath> place_;
    std::unordered_map<std::string, FileId> files_;
    size_t records_ = 0;
    int64_t written_ = 0;
    std::unordered_set<std::string> said_;
};

// The key of a place in the list: its root's ids and the host names walked below it.
std::string ListKey(const Beneath& Target, const EntryFolder& Folder) {
    std::string key = Format("%" PRIx64 " %" PRIx64, Target.Root->Id().Device, Target.Root->Id().Inode);
    for (const std::string& name : Folder.HostParts()) key += "/" + name;
    return key;
}

// Whether the file File is one of the title's own: an archive the file manager holds, the
// install set beside its content, its save data, or a file the player wrote for it at Key.
bool IsTitlesOwn(const std::string& Key, FileId File) {
    const auto is = [&](const std::string& Path) { return IdOfFile(Path) == File; };
    if (VrFileManager) {
        for (int i = 0; i < VrFileManager->Count(); ++i)
            if (is(VrFileManager->GetCollection(i).FileName())) return true;
        if (!VrFileManager->BaseFolder().empty() && is(VrFileManager->BaseFolder() + "install.dat")) return true;
    }
    return (Project && is(Project->GetSaveFileName())) || TWrittenFiles::OfTitle().Holds(Key, File);
}

}  // namespace

std::shared_ptr<const HeldFolder> TitleFolder() {
    // The one held before while the same folder stands at the base folder's name.
    static std::shared_ptr<const HeldFolder> held;
    const std::string base = VrFileManager ? VrFileManager->BaseFolder() : std::string();
    std::shared_ptr<const HeldFolder> now = base.empty() ? nullptr : HeldFolder::Open(base);
    if (!now || !held || now->Id() != held->Id()) held = std::move(now);
    return held;
}

std::optional<Beneath> TitlePlace(std::shared_ptr<const HeldFolder> Root, std::string_view Name) {
    std::optional<TTitleName> name = ReadTitleName(Name);
    if (!Root || !name || !name->Relative() || name->Parts.empty()) return std::nullopt;
    return Beneath{std::move(Root), std::move(name->Parts)};
}

TTitleWrite JudgeTitleWrite(const std::string& Who, const Beneath& Target) {
    // The deepest folder of the way that stands: the entry's own when every folder does, else the
    // one the first missing folder would be made in.
    int error = 0;
    const std::optional<EntryFolder> folder = EntryFolder::ReachStanding(Target, error);
    const auto refuse = [&](const char* Why) {
        platform::PrintMessage(Who, Target.Shown() + Why);
        return TTitleWrite::Refused;
    };
    if (!folder) return refuse(" is not a place a title may write");
    const std::vector<FileId> up = folder->FoldersUp();
    if (std::ranges::any_of(up, [](FileId Id) { return std::ranges::find(PlayerFolders(), Id) != PlayerFolders().end(); }))
        return refuse(" lies among the player's own files: a title may not write it");
    if (platform::IsDesktopSettingsFolder(Target.Root->HostPath()) || platform::IsDesktopSettingsFolder(folder->HostPath()))
        return refuse(" lies among the desktop's settings or programs: a title may not write it");
    if (folder->HostParts().size() != Target.Parts.size()) return TTitleWrite::Free;  // its folder is to be made
    const std::optional<EntryFolder::Entry> standing = folder->LookAt();
    if (!standing || !(standing->Regular || standing->Link)) return TTitleWrite::Free;
    return IsTitlesOwn(ListKey(Target, *folder), standing->Id) ? TTitleWrite::Free : TTitleWrite::Ask;
}

bool MayWriteCapture(const Beneath& Target) { return JudgeTitleWrite("CaptureFrame", Target) == TTitleWrite::Free; }

void TitleWrote(const Beneath& Target) {
    int error = 0;
    const std::optional<EntryFolder> folder = EntryFolder::Reach(Target, nullptr, error);
    const std::optional<EntryFolder::Entry> written = folder ? folder->LookAt() : std::nullopt;
    if (written && written->Regular) TWrittenFiles::OfTitle().Add(ListKey(Target, *folder), written->Id);
}
