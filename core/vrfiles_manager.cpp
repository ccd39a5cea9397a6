#include "core/vrfiles_manager.h"

#include "core/installset.h"
#include "core/membudget.h"
#include "core/sysutils.h"
#include "core/titlename.h"
#include "platform/fs.h"

#include <algorithm>
#include <utility>

TVrFileManager* VrFileManager = nullptr;
TExitDeleteList* ExitDeleteList = nullptr;

void TExitDeleteList::Add(const platform::fs::Beneath& File) {
    if (File.Root && listed_.insert(File.Shown()).second) files_.push_back(File);
}

void TExitDeleteList::DeleteAll() {
    for (const platform::fs::Beneath& file : files_) {
        int error = 0;
        if (const std::optional<platform::fs::EntryFolder> folder = platform::fs::EntryFolder::Reach(file, nullptr, error))
            folder->Remove();
    }
    files_.clear();
    listed_.clear();
}
TStringList* VrPendingFiles = nullptr;

namespace {

// ---- Paths ----

bool IsAsciiLetterOrDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The extension a work file of Name gets: that of Name's last part, with its dot, when it is a
// plain one; empty otherwise, so that nothing of Name can lead the file out of its folder.
std::string WorkFileExtension(std::string_view Name) {
    const std::string_view last = Name.substr(AfterLastDelimiter(Name, "\\:"));
    const size_t dot = last.rfind('.');  // a trail byte is never a "."
    if (dot == std::string_view::npos || dot + 1 == last.size()) return {};
    for (char c : last.substr(dot + 1))
        if (!IsAsciiLetterOrDigit(c)) return {};
    return std::string(last.substr(dot));
}

void LoadDiskFile(TStream& Dest, const std::string& Path) {
    if (auto* memory = dynamic_cast<TMemoryStream*>(&Dest)) {
        memory->LoadFromFile(Path);
    } else {
        TFileStream file(Path, fmOpenRead | fmShareDenyWrite);
        CopyStreamData(Dest, file, 0);
    }
    Dest.SetPosition(0);
}

[[noreturn]] void RaiseMissing(const std::string& Name) {
    throw EVrFileError(Format("%s:ファイルがありません", Name.c_str()));
}

// Adds S to Strings unless Listed, the names Strings holds, has it already (without regard to
// case).
void AddNew(TStringList& Strings, TAnsiTextSet& Listed, const std::string& S) {
    if (Listed.insert(S).second) Strings.Add(S);
}

// Text with every "%d" replaced by Number and "%%" by "%"; the rest is taken as it is, so the
// text (which comes with the content) is never a format.
std::string FillDiscNumber(std::string_view Text, int32_t Number) {
    std::string out;
    for (size_t i = 0; i < Text.size(); ++i) {
        const char next = i + 1 < Text.size() ? Text[i + 1] : '\0';
        if (IsLeadByte(Text[i]) && i + 1 < Text.size()) {
            out += Text.substr(i++, 2);
        } else if (Text[i] == '%' && (next == 'd' || next == '%')) {
            out += next == 'd' ? IntToStr(Number) : "%";
            ++i;
        } else {
            out += Text[i];
        }
    }
    return out;
}

// ---- Work files ----

// Deletes a work file, but only one inside the private temporary folder; failures are ignored.
void DeleteWorkFile(const std::string& Path) {
    try {
        if (platform::fs::IsInsideFolder(platform::fs::TempFolder(), Path)) platform::fs::DeleteFile(Path);
    } catch (const EVelaError&) {
        // no temporary folder: nothing of ours to delete
    }
}

// ---- Mounts ----

bool IsOctalDigit(char c) { return c >= '0' && c <= '7'; }

// A field of the mounts table, its "\ooo" escapes (space, tab, line end, "\") decoded.
std::string DecodeMountField(std::string_view Field) {
    std::string out;
    for (size_t i = 0; i < Field.size(); ++i) {
        if (Field[i] == '\\' && i + 3 < Field.size() && IsOctalDigit(Field[i + 1]) && IsOctalDigit(Field[i + 2]) &&
            IsOctalDigit(Field[i + 3])) {
            out += static_cast<char>((Field[i + 1] - '0') << 6 | (Field[i + 2] - '0') << 3 | (Field[i + 3] - '0'));
            i += 3;
        } else {
            out += Field[i];
        }
    }
    return out;
}

// The Index-th (from 0) blank-separated field of a line, still escaped; empty when there is none.
std::string_view MountField(std::string_view Line, int Index) {
    constexpr std::string_view kBlanks = " \t";
    size_t start = Line.find_first_not_of(kBlanks);
    for (; Index > 0 && start != std::string_view::npos; --Index)
        start = Line.find_first_not_of(kBlanks, Line.find_first_of(kBlanks, start));
    if (start == std::string_view::npos) return {};
    return Line.substr(start, Line.find_first_of(kBlanks, start) - start);
}

}  // namespace

// ---- Locks ----

TVrLockData::~TVrLockData() {
    if (VrPendingFiles)
        VrPendingFiles->Add(FileName);
    else
        DeleteWorkFile(FileName);
}

const TVrLockData* TVrLockList::Find(const std::string& Name) const {
    const auto found = active_.find(Name);
    return found == active_.end() ? nullptr : found->second.get();
}

TVrLockData* TVrLockList::Move(TLocks& From, TLocks& To, const std::string& Name) {
    auto node = From.extract(Name);
    if (node.empty()) return nullptr;
    return To.insert(std::move(node)).position->second.get();
}

TVrLockData* TVrLockList::Lock(const std::string& Name) {
    if (const auto found = active_.find(Name); found != active_.end()) {
        ++found->second->LockCount;
        return found->second.get();
    }
    TVrLockData* lock = Move(released_, active_, Name);
    if (lock) {
        lock->LockCount = 1;
        lock->Remaining = 0;
    }
    return lock;
}

int32_t TVrLockList::TakeId() {
    const int32_t id = nextId_;
    do ++nextId_;
    while (ids_.contains(nextId_));
    return id;
}

TVrLockData& TVrLockList::Add(std::unique_ptr<TVrLockData> Lock) {
    TVrLockData& lock = *Lock;
    ids_.insert(lock.Id);
    active_.emplace(lock.Name, std::move(Lock));
    return lock;
}

bool TVrLockList::Release(const std::string& Name) {
    const auto found = active_.find(Name);
    if (found == active_.end()) return false;
    if (--found->second->LockCount <= 0) {
        found->second->Remaining = kReleaseDelay;
        Move(active_, released_, Name);
    }
    return true;
}

void TVrLockList::Tick(uint32_t ElapsedMs) {
    for (auto it = released_.begin(); it != released_.end();) {
        TVrLockData& lock = *it->second;
        lock.Remaining -= ElapsedMs;
        if (lock.Remaining >= 1) {
            ++it;
            continue;
        }
        ids_.erase(lock.Id);
        it = released_.erase(it);
    }
}

void TVrLockList::Clear() {
    active_.clear();
    released_.clear();
    ids_.clear();
}

// ---- The manager ----

TVrFileManager::TVrFileManager() {
    cdRoots_ = DiscMountRoots(platform::fs::MountTable());
}

TVrFileManager::~TVrFileManager() {
    locks_.Clear();
    Clear();
}

int TVrFileManager::Add(const std::string& FileName) {
    for (int i = 0; i < Count(); ++i)
        if (AnsiSameText(GetCollection(i).BaseFolder(), FileName)) return -1;
    // The archive's index and what OnChange reads of it are the title's: the budget refuses them
    // past its limit, whoever adds the archive.
    const TBudgetRefusal reading;
    auto archive = std::make_unique<TVrFileCollection>();
    archive->Open(FileName);
    TVrFileCollection& added = *archive;
    const int index = archives_.Add(std::move(archive));
    ++changes_;
    if (OnChange) OnChange(*this, &added);
    return index;
}

void TVrFileManager::Delete(int Index) {
    if (OnRemove) OnRemove(*this, GetCollection(Index));
    archives_.Delete(Index);
    ++changes_;
}

void TVrFileManager::Clear() {
    while (Count() > 0) Delete(0);
}

TVrFile* TVrFileManager::FindFile(const std::string& Name) const {
    for (int i = 0; i < Count(); ++i)
        if (const int index = GetCollection(i).IndexOf(Name); index >= 0) return &GetCollection(i).GetFile(index);
    return nullptr;
}

void TVrFileManager::SetBaseFolder(const std::string& Folder) {
    baseFolder_ = Folder.empty() ? Folder : AppendBackslash(Folder);
    ++changes_;
    if (OnChange) OnChange(*this, nullptr);
}

std::string TVrFileManager::BaseFolderFile(const std::string& Name) const { return ContentFileInFolder(baseFolder_, Name); }

std::string TVrFileManager::DiscFile(const std::string& Name) const {
    for (const std::string& root : cdRoots_)
        if (std::string path = ContentFileInFolder(root, Name); !path.empty()) return path;
    return {};
}

TVrFileCollection* TVrFileManager::ArchiveWithData(const std::string& Name) const {
    for (int i = 0; i < Count(); ++i) {
        TVrFileCollection& archive = GetCollection(i);
        const int index = archive.IndexOf(Name);
        if (index >= 0 && (archive.ArchiveStream() || archive.GetFile(index).DataSource)) return &archive;
    }
    return nullptr;
}

bool TVrFileManager::FileExists(const std::string& Name) const {
    if (Name.empty()) return false;
    return FindFile(Name) || !BaseFolderFile(Name).empty() || !DiscFile(Name).empty();
}

void TVrFileManager::ReadFile(TStream& Dest, const std::string& Name) {
    if (auto* memory = dynamic_cast<TMemoryStream*>(&Dest)) memory->SetSize(0);
    if (const std::string path = BaseFolderFile(Name); !path.empty()) return LoadDiskFile(Dest, path);
    if (TVrFileCollection* archive = ArchiveWithData(Name)) return archive->ReadFile(Dest, Name);
    if (const std::string path = DiscFile(Name); !path.empty()) return LoadDiskFile(Dest, path);
    RaiseMissing(Name);
}

std::string TVrFileManager::GetLocalFileName(const std::string& Name) {
    if (std::string path = BaseFolderFile(Name); !path.empty()) return path;
    if (FindFile(Name)) return LockWorkFile(Name);
    if (std::string path = DiscFile(Name); !path.empty()) return path;
    return Name;
}

std::string TVrFileManager::LockWorkFile(const std::string& Name) {
    if (const TVrLockData* lock = locks_.Lock(Name)) return lock->FileName;
    return ExtractWorkFile(Name);
}

std::string TVrFileManager::ExtractWorkFile(const std::string& Name) {
    const int32_t id = locks_.TakeId();
    const std::string path =
        platform::fs::TempFolder() + Format("~qz%.8X", static_cast<unsigned>(id)) + WorkFileExtension(Name);
    platform::fs::DeleteFile(path);  // whatever an earlier run of this process left there
    std::unique_ptr<TFileStream> file;
    try {
        file = std::make_unique<TFileStream>(path, fmCreate);
    } catch (const EFCreateError&) {
        throw EVrFileError("作業用ファイルが作れません");
    }
    try {
        ReadFile(*file, Name);
        file.reset();
    } catch (...) {
        file.reset();
        platform::fs::DeleteFile(path);
        throw;
    }
    return locks_.Add(std::make_unique<TVrLockData>(Name, id, path)).FileName;
}

std::unique_ptr<TStream> TVrFileManager::OpenRangeStream(const std::string& Name) {
    if (const std::string path = BaseFolderFile(Name); !path.empty())
        return std::make_unique<TFileRangeStream>(path, 0, 0);
    for (int i = 0; i < Count(); ++i)
        if (auto stream = GetCollection(i).OpenRangeStream(Name)) return stream;
    if (const std::string path = DiscFile(Name); !path.empty()) return std::make_unique<TFileRangeStream>(path, 0, 0);
    RaiseMissing(Name);
}

void TVrFileManager::ListDiskFolder(const std::string& Root, const std::string& Folder, TStringList& Strings,
                                    TAnsiTextSet& Listed) {
    const std::string folder = Root + Folder;
    if (!IsPlainRelativePath(Folder) || !platform::fs::DirectoryExists(folder) || !platform::fs::IsPlainlyInside(Root, folder))
        return;
    TStringList found;
    EnumFiles(folder, faReadOnly | faHidden | faSysFile | faVolumeID | faArchive, true, "", false, false, false, found,
              true);
    for (int i = 0; i < found.Count(); ++i)
        if (std::string name = found.Strings(i).substr(Root.size()); IsPlainRelativePath(name))
            AddNew(Strings, Listed, name);
}

void TVrFileManager::GetFileList(const std::string& Folder, TStringList& Strings) const {
    TAnsiTextSet listed;
    for (int i = 0; i < Strings.Count(); ++i) listed.insert(Strings.Strings(i));
    for (int i = 0; i < Count(); ++i) {
        TStringList names;
        GetCollection(i).GetFileList(Folder, names);
        for (int n = 0; n < names.Count(); ++n) AddNew(Strings, listed, Folder + names.Strings(n));
    }
    if (!baseFolder_.empty()) ListDiskFolder(baseFolder_, Folder, Strings, listed);
    for (const std::string& root : cdRoots_) ListDiskFolder(root, Folder, Strings, listed);
}

std::string TVrFileManager::ExtractFolder(const std::string& Name) {
    const bool rooted = Name.starts_with("\\\\") || (Name.size() >= 2 && Name[1] == ':');
    return Name.substr(0, AfterLastDelimiter(Name, rooted ? "\\:" : "\\"));
}

bool TVrFileManager::RequestDisc(int32_t DiscNo) {
    for (int i = Count() - 1; i >= 0; --i) {
        const std::string_view folder = GetCollection(i).BaseFolder();
        for (const std::string& root : cdRoots_) {
            if (!AnsiSameText(folder.substr(0, root.size()), root)) continue;
            Delete(i);
            break;
        }
    }
    const std::string prompt = FillDiscNumber(DiscPrompt, DiscNo);
    for (;;) {
        if (Ask(prompt, false)) {
            if (FindDisc(DiscNo - 1)) return true;
        } else if (Ask(QuitText, true)) {
            break;
        }
    }
    if (OnQuitRequest) OnQuitRequest();
    return false;
}

bool TVrFileManager::FindDisc(int32_t Index) {
    bool found = false;
    for (const std::string& root : cdRoots_) {
        const std::string archive = root + "game.dat", install = root + "install.dat";
        if (!platform::fs::FileExists(archive) || !platform::fs::FileExists(install)) continue;
        TVelaInstallSet set;
        try {
            set.LoadFromFile(install);
        } catch (const EVelaError&) {
            continue;  // not a disc of ours
        }
        if (set.SetId != InstallSetId || set.DiscNumber != Index) continue;
        Add(archive);
        found = true;
    }
    return found;
}

// ---- Mounts ----

std::vector<std::string> DiscMountRoots(std::string_view MountsText) {
    std::vector<std::string> roots;
    while (!MountsText.empty()) {
        const size_t end = std::min(MountsText.find('\n'), MountsText.size());
        const std::string_view line = MountsText.substr(0, end);
        MountsText.remove_prefix(std::min(end + 1, MountsText.size()));
        const std::string mountPoint = DecodeMountField(MountField(line, 1));
        const std::string device = DecodeMountField(MountField(line, 0)), type = DecodeMountField(MountField(line, 2));
        if (!mountPoint.starts_with('/') || !platform::fs::IsDiscMount(device, type)) continue;
        // A name a program path cannot hold (a "\", a character outside code page 932) would
        // lead somewhere else.
        std::string root = platform::fs::ToProgramPath(mountPoint + "/");
        if (platform::fs::ToHostPath(root) != mountPoint + "/") continue;
        if (std::find(roots.begin(), roots.end(), root) == roots.end()) roots.push_back(std::move(root));
    }
    return roots;
}

// ---- The file system of the run ----

void CreateVrFileSystem() {
    if (!VrPendingFiles) VrPendingFiles = new TStringList;
    if (!VrFileManager) VrFileManager = new TVrFileManager;
}

void FreeVrFileSystem() {
    delete std::exchange(VrFileManager, nullptr);
    if (!VrPendingFiles) return;
    DeleteWorkFiles();
    delete std::exchange(VrPendingFiles, nullptr);
}

void DeleteWorkFiles() {
    if (!VrPendingFiles) return;
    for (int i = 0; i < VrPendingFiles->Count(); ++i) DeleteWorkFile(VrPendingFiles->Strings(i));
    VrPendingFiles->Clear();
}
