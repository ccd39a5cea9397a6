// vfpack: the content archive from the command line. It packs a folder with the player's own
// writer (so each entry is compressed or stored by the player's rule), lists and extracts
// archives (carriers and data files with a side index too), and appends an archive to a program
// as a carrier. Paths on the command line and text on the terminal are UTF-8; names inside an
// archive are Shift-JIS.
#include "core/bigstreams.h"
#include "core/header.h"
#include "core/stringlist.h"
#include "core/sysutils.h"
#include "core/vrfiles.h"
#include "platform/encoding.h"
#include "platform/fs.h"
#include "platform/system.h"
#include "tools/toolkit.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace toolkit;

namespace stdfs = std::filesystem;

constexpr const char* kUsage =
    "usage: vfpack pack ARCHIVE FOLDER         pack every file under FOLDER into ARCHIVE\n"
    "       vfpack list ARCHIVE                one line per entry: name, stored size, raw or compressed, CRC-32\n"
    "       vfpack extract ARCHIVE FOLDER      write every entry as a file under FOLDER\n"
    "       vfpack append PROGRAM ARCHIVE OUT  write OUT: PROGRAM followed by ARCHIVE and the carrier trailer\n"
    "list and extract also read a carrier (a program followed by an archive).\n";

// The carrier trailer: the int32 position of the index in the carrier, then the mark.
constexpr char kTrailerMark[2] = {'q', 'z'};
constexpr int64_t kTrailerSize = 6;
constexpr char kArchiveMagic[2] = {'v', 'f'};

// ---- Paths ----

// The host path of a program path on drive Z:, which every path of this tool is.
std::string HostOf(const std::string& ProgramPath) { return platform::fs::ToHostPath(ProgramPath).value(); }

// Where an output file goes: its folder (a program path ending in "\") and its name.
struct TOutputPath {
    std::string Folder;
    std::string Name;
};

TOutputPath OutputPathOf(const std::string& Arg) {
    const stdfs::path host = HostPathOf(Arg);
    if (!host.has_filename()) throw EToolError(Arg + ": names a folder, not a file");
    return {AppendBackslash(ProgramPathOf(host.parent_path())), ExactCp932(host.filename().native())};
}

// ---- Writing outputs safely ----

// The parts on disk of a big file (one above 1 GiB continues in numbered parts); none when the
// file does not exist.
std::vector<std::string> PartFiles(const std::string& FileName) {
    std::vector<std::string> parts;
    if (!platform::fs::FileExists(FileName)) return parts;
    TNxBigFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    for (int n = 0; platform::fs::FileExists(file.GetPartFileName(n)); ++n) parts.push_back(file.GetPartFileName(n));
    return parts;
}

// A private folder inside an output folder. Outputs are written there and renamed over their
// targets once complete, so that a failed run never leaves a torn file where a good one was.
// The folder goes, with whatever is left in it, with the object.
class TStaging {
public:
    explicit TStaging(const std::string& Folder) : folder_(Folder) {
        std::string pattern = HostOf(Folder) + ".vfpack-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            const int error = errno;
            throw EToolError("cannot write in " + HostOf(Folder) + ": " + std::strerror(error));
        }
        host_ = pattern;
        path_ = AppendBackslash(platform::fs::ToProgramPath(host_));
    }
    ~TStaging() {
        std::error_code ignored;
        stdfs::remove_all(host_, ignored);
    }
    TStaging(const TStaging&) = delete;
    TStaging& operator=(const TStaging&) = delete;

    std::string Path(const std::string& Name) const { return path_ + Name; }

    // Renames the staged file Staged over Target.
    void Commit(const std::string& Staged, const std::string& Target) const {
        if (!platform::fs::RenameFile(Staged, Target)) {
            const int error = errno;
            throw EToolError("cannot write " + HostOf(Target) + ": " + std::strerror(error));
        }
    }

    // Puts the staged big file Name in place of the file of that name in the output folder, part
    // by part, then deletes the further parts an older, longer file had.
    void CommitBigFile(const std::string& Name) const {
        const std::vector<std::string> staged = PartFiles(Path(Name)), old = PartFiles(folder_ + Name);
        for (const std::string& part : staged) Commit(part, folder_ + part.substr(path_.size()));
        for (size_t n = staged.size(); n < old.size(); ++n) platform::fs::DeleteFile(old[n]);
    }

private:
    std::string folder_;
    std::string host_;
    std::string path_;
};

// Writes the output through Write in a staging folder, gives it Permissions when set, then puts
// it in place.
void WriteOutput(const TOutputPath& Output, const std::function<void(TNxBigStream&)>& Write,
                 std::optional<stdfs::perms> Permissions = std::nullopt) {
    TStaging staging(Output.Folder);
    const std::string staged = staging.Path(Output.Name);
    {
        TNxBigFileStream stream(staged, fmCreate);
        Write(stream);
    }  // each part reaches the disk before it is renamed
    if (Permissions) stdfs::permissions(HostOf(staged), *Permissions);
    staging.CommitBigFile(Output.Name);
}

// ---- Archives ----

// Opens an archive file: a plain archive, a carrier, or a data file with a side index.
void OpenArchive(TVrFileCollection& Archive, const std::string& Arg) {
    const std::string path = ProgramPathOf(HostPathOf(Arg));
    if (!platform::fs::FileExists(path)) throw EToolError(Arg + ": no such file");
    Archive.Open(path);
}

// The entries of an open archive come first; the closing sentinel is the last item.
int EntryCount(const TVrFileCollection& Archive) { return Archive.Count() - 1; }

// ---- Entry names ----

// Why an entry name (in UTF-8) may not be a path under a folder; empty when it may. On the host
// both "\" and "/" separate parts. Whatever is packed can be extracted again.
std::string UnsafeNameReason(std::string_view Name) {
    if (Name.find(':') != std::string_view::npos) return "it names a drive or holds a colon";
    if (std::any_of(Name.begin(), Name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
        return "it holds a control character";
    for (size_t start = 0;;) {
        const size_t end = Name.find_first_of("\\/", start);
        const std::string_view part = Name.substr(start, end - start);
        if (part.empty()) return "it begins with a separator or has an empty part";
        if (part == "." || part == "..") return "it has a \".\" or \"..\" part";
        if (end == std::string_view::npos) return {};
        start = end + 1;
    }
}

// ---- pack ----

// Adds an entry for every regular file under Folder (a program path ending in "\"), named by its
// path relative to Folder. Listing turns characters Shift-JIS lacks into "?", so every listed
// name must lead back to the very host name it came from and be fit for an entry; no file may be
// a link to outside Folder; and no two names may be the same to the player, which compares them
// without regard to case.
void AddFolderFiles(TVrFileCollection& Files, const std::string& Folder) {
    const std::string hostFolder = HostOf(Folder);
    TStringList listed;
    EnumFiles(Folder, faArchive | faDirectory, false, "", false, true, true, listed, true);
    for (int i = 0; i < listed.Count(); ++i) {
        const std::string name = listed.Strings(i).substr(Folder.size());
        std::string host = platform::Cp932ToUtf8(name);
        std::replace(host.begin(), host.end(), '\\', '/');
        std::error_code ignored;
        if (!stdfs::exists(hostFolder + host, ignored))
            throw EToolError(hostFolder + host + ": a name on this path has no Shift-JIS (CP932) form");
        if (name.back() == '\\') continue;  // a folder: its files follow
        if (const std::string why = UnsafeNameReason(host); !why.empty())
            throw EToolError(hostFolder + host + ": not allowed as an entry name: " + why);
        if (!platform::fs::IsInside(hostFolder, hostFolder + host))
            throw EToolError(hostFolder + host + ": a link to outside the folder");
        if (const int other = Files.IndexOf(name); other >= 0)
            throw EToolError(ForTerminal(Files.GetFile(other).Name()) + " and " + ForTerminal(name) +
                             ": the player cannot tell these names apart (letter case aside)");
        Files.AddFile(name);
    }
}

void Pack(const std::string& ArchiveArg, const std::string& FolderArg) {
    const TOutputPath output = OutputPathOf(ArchiveArg);
    const std::string folder = AppendBackslash(ProgramPathOf(HostPathOf(FolderArg)));
    if (!platform::fs::DirectoryExists(folder)) throw EToolError(FolderArg + ": no such folder");
    TVrFileCollection files;
    files.Open(folder);  // entries without data of their own are read from this folder
    AddFolderFiles(files, folder);
    WriteOutput(output, [&](TNxBigStream& stream) { WriteIndex(files, stream); });
}

// ---- list ----

void List(const std::string& ArchiveArg) {
    TVrFileCollection archive;
    OpenArchive(archive, ArchiveArg);
    for (int i = 0; i < EntryCount(archive); ++i) {
        const TVrFile& file = archive.GetFile(i);
        std::printf("%s\t%lld\t%s\t%08X\n", ForTerminal(file.Name()).c_str(), static_cast<long long>(file.Size),
                    file.StoredRaw ? "raw" : "compressed", file.Crc32);
    }
}

// ---- extract ----

// The program path each entry is written to. Every name is checked before anything is written:
// a name that does not convert back exactly, an unsafe name, a name the player cannot tell from a
// later one, or a path that resolves outside Folder (through a linked folder, say) refuses the
// whole archive.
std::vector<std::string> ExtractTargets(const TVrFileCollection& Archive, const std::string& Folder) {
    const std::string hostFolder = HostOf(Folder);
    std::vector<std::string> targets;
    for (int i = 0; i < EntryCount(Archive); ++i) {
        const std::string& name = Archive.GetFile(i).Name();
        const std::string utf8 = platform::Cp932ToUtf8(name);
        std::string why =
            platform::Utf8ToCp932(utf8) == name ? UnsafeNameReason(utf8) : "it is not exact Shift-JIS text";
        if (why.empty() && Archive.IndexOf(name) != i) why = "a later entry has the same name (letter case aside)";
        targets.push_back(Folder + name);
        if (why.empty() && !platform::fs::IsInside(hostFolder, HostOf(targets.back())))
            why = "it leads outside the folder";
        if (!why.empty()) throw EToolError("entry \"" + ForTerminal(name) + "\" refused: " + why);
    }
    return targets;
}

void Extract(const std::string& ArchiveArg, const std::string& FolderArg) {
    TVrFileCollection archive;
    OpenArchive(archive, ArchiveArg);
    const std::string folder = AppendBackslash(ProgramPathOf(HostPathOf(FolderArg)));
    const std::vector<std::string> targets = ExtractTargets(archive, folder);
    if (!platform::ForceDirectories(folder)) throw EToolError(FolderArg + ": cannot make the folder");
    TStaging staging(folder);
    const std::string staged = staging.Path("entry");
    for (int i = 0; i < EntryCount(archive); ++i) {
        const stdfs::path host = HostOf(targets[i]);
        std::error_code error;
        stdfs::create_directories(host.parent_path(), error);
        if (error) throw EToolError(host.parent_path().native() + ": " + error.message());
        {
            TFileStream out(staged, fmCreate);
            archive.ReadFile(out, archive.GetFile(i).Name());
            out.Flush();
        }
        staging.Commit(staged, targets[i]);
    }
}

// ---- append ----

void CopyAll(TNxBigStream& Dest, TNxBigStream& Source, int64_t Count) {
    Source.SetPosition(0);
    if (Count > 0 && Dest.CopyFrom(Source, Count) != Count) throw EWriteError();
}

bool StartsWithMagic(TNxBigStream& Stream) {
    char magic[2] = {};
    Stream.SetPosition(0);
    return Stream.Read(magic, 2) == 2 && std::memcmp(magic, kArchiveMagic, 2) == 0;
}

// The size of the archive that begins at the first byte of Stream: where its index says its data
// ends. Only such a plain archive can be appended as it is, its offsets counting from its index;
// a carrier or a data file with a side index is refused.
int64_t PlainArchiveSize(TNxBigStream& Stream, const std::string& Arg) {
    TVrFileCollection index;
    try {
        Stream.SetPosition(0);
        ReadIndex(index, Stream);
    } catch (const EVelaError&) {
        throw EToolError(Arg + ": not a plain archive (a carrier, or data with a side index); pack its files again");
    }
    return index.GetFile(index.Count() - 1).Offset;  // the sentinel's offset is the end of the data
}

void Append(const std::string& ProgramArg, const std::string& ArchiveArg, const std::string& OutArg) {
    const stdfs::path programHost = HostPathOf(ProgramArg);
    const std::string programPath = ProgramPathOf(programHost);
    if (!platform::fs::FileExists(programPath)) throw EToolError(ProgramArg + ": no such file");
    TVrFileCollection archive;
    OpenArchive(archive, ArchiveArg);  // a damaged archive is refused with the reader's message
    TNxBigFileStream archiveStream(archive.FileName(), fmOpenRead | fmShareDenyWrite);
    const int64_t archiveSize = PlainArchiveSize(archiveStream, ArchiveArg);
    TNxBigFileStream program(programPath, fmOpenRead | fmShareDenyWrite);
    if (StartsWithMagic(program))
        throw EToolError(ProgramArg + ": begins with \"vf\" like an archive; the player would miss the trailer");
    // The player reads a file above 1 GiB as numbered parts, and a program cannot be split.
    const int64_t programSize = program.GetSize();
    if (programSize + archiveSize + kTrailerSize > TNxBigFileStream::kDefaultPartSize)
        throw EToolError(OutArg + ": a carrier cannot exceed 1 GiB");
    const auto position = static_cast<int32_t>(programSize);
    WriteOutput(
        OutputPathOf(OutArg),
        [&](TNxBigStream& out) {
            CopyAll(out, program, programSize);
            CopyAll(out, archiveStream, archiveSize);
            if (out.Write(&position, sizeof position) != sizeof position || out.Write(kTrailerMark, 2) != 2)
                throw EWriteError();
        },
        stdfs::status(programHost).permissions() & stdfs::perms::all);
}

void Run(const std::vector<std::string>& Args) {
    if (Args.empty() || std::any_of(Args.begin(), Args.end(), [](const std::string& a) { return a.empty(); }))
        throw EUsage();
    const std::string& command = Args[0];
    if (command == "pack" && Args.size() == 3)
        Pack(Args[1], Args[2]);
    else if (command == "list" && Args.size() == 2)
        List(Args[1]);
    else if (command == "extract" && Args.size() == 3)
        Extract(Args[1], Args[2]);
    else if (command == "append" && Args.size() == 4)
        Append(Args[1], Args[2], Args[3]);
    else
        throw EUsage();
}

}  // namespace

int main(int argc, char** argv) { return toolkit::RunTool("vfpack", kUsage, argc, argv, Run); }
