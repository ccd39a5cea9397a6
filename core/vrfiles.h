#pragma once
// The content archive: a scrambled index of named entries followed by the entries' data, each
// entry a zlib stream or stored as is. An archive is a plain file, a data file whose index lies
// in a side file (".ext"), or the tail of a carrying program found through a six-byte trailer.
// The same format holds the save data.
//
// Index layout (little-endian; offsets count from the first byte of the index):
//   "vf", int32 version          absent in version 0
//   int32 N
//   N names                      int32 length and the bytes; scrambled from version 100
//   N + 1 offsets                uint32 below version 101, int64 from 101; scrambled from 100
//   N stored-raw flags, N int32 file times, N CRC-32 values     from version 101
//   N crc modes                  from version 102
//   the entries' data            entry i occupies [offset i, offset i + 1)
//
// Linux programs carry no module resources, so archives stored as resources are not supported.
#include "core/bigstreams.h"
#include "core/hash.h"
#include "core/streams.h"
#include "core/stringlist.h"
#include "platform/errors.h"

#include <climits>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

// A damaged or unreadable archive, a missing entry or a failed entry write.
class EVrFileError : public EVelaError {
public:
    using EVelaError::EVelaError;
};

// The name of the entry that closes a collection read from an index; its Offset is the end of
// the data. It is never listed and never written.
inline constexpr const char* kVrSentinelName = "\\EOF\\";

// The content file Name on disk beneath Folder, the folder of its entry opened: Name read as a
// title's name (ReadTitleName, a plain relative one: a title reads no hidden file or folder),
// each part matched without regard to case and opened beneath the one above it with no link on
// the way or at the entry (the kernel refuses one, so nothing leads out of Folder or into a
// hidden folder), a regular file there; nothing otherwise. Every file of a title's folders is
// found and read so.
std::optional<platform::fs::EntryFolder> ContentEntryInFolder(const std::string& Folder, const std::string& Name);
// Folder + Name where ContentEntryInFolder finds the file, for what opens a file by its path;
// empty otherwise.
std::string ContentFileInFolder(const std::string& Folder, const std::string& Name);

class TVrFileCollection;

// One entry, keyed by its name: a relative path with "\" separators, as stored.
class TVrFile : public THashCollectionItem {
public:
    // Where the first stored byte lies in the archive stream, from the collection's data base
    // (TVrFileCollection::StoredAt).
    int64_t Offset = 0;
    int64_t Size = 0;    // stored bytes (compressed or raw)
    uint8_t StoredRaw = 0;  // 1: stored as is; 0: a zlib stream
    int32_t FileTime = 0;   // the source file's packed date-time, 0 when not set
    uint32_t Crc32 = 0;
    uint8_t CrcMode = 0;  // 0: the CRC covers the stored bytes; 1: the uncompressed bytes
    // Crc32 was read from an index that holds CRCs, or taken when the entry was written.
    bool CrcKnown = false;
    // For an entry added in memory: the data, to be filled before writing.
    std::unique_ptr<TMemoryStream> DataSource;

    TVrFileCollection& Owner() const;

    // Writes the entry's stored bytes at Stream's position and sets StoredRaw, Crc32 and (for a
    // file on disk) FileTime. The data comes from DataSource, else from the file BaseFolder +
    // Name on disk.
    void WriteData(TNxBigStream& Stream);

    // A rename or a move changes the written image from the entry's place on (WriteFile).
    void SetName(const std::string& Value) override;
    void SetIndex(int Value) override;

protected:
    // So do an entry added or deleted.
    void Added() override;
    void Deleting() override;

private:
    // Writes Plain (from its first byte) compressed when Compress, else as is. With
    // RawWhenLarger, a compressed form above 9/10 of Plain's size is given up for the raw bytes.
    void WriteStored(TNxBigStream& Stream, TStream& Plain, bool Compress, bool RawWhenLarger);
};

class TVrFileCollection : public THashCollection {
public:
    TVrFileCollection();
    ~TVrFileCollection() override;

    TVrFile& GetFile(int Index) const { return static_cast<TVrFile&>(Items(Index)); }
    // The folder of the archive file, or the folder itself when the archive is a folder; ends
    // in "\" when not empty.
    const std::string& BaseFolder() const { return baseFolder_; }
    // The name given to Open.
    const std::string& FileName() const { return fileName_; }
    // The open archive file; nullptr for a folder.
    TNxBigStream* ArchiveStream() const { return archiveStream_.get(); }
    // Where File's first stored byte lies in ArchiveStream. The entries of an archive read count
    // from its first byte; those of a file this collection wrote count from where its data
    // starts, so that an index grown by one entry leaves the others' offsets as they are.
    int64_t StoredAt(const TVrFile& File) const { return dataBase_ + File.Offset; }

    // Opens an archive file, or a folder whose files are read from disk. A damaged archive
    // raises EVrFileError and leaves the collection empty and closed.
    void Open(const std::string& FileName);

    // The entry's uncompressed bytes into Dest (a memory Dest is emptied first, keeping its
    // room), Dest then at position 0. An entry not in the archive is read from BaseFolder + Name on disk, never from
    // outside BaseFolder. EVrFileError "%s:ファイルがありません" when neither holds it; a
    // damaged entry raises EVrFileError naming the archive and the entry; one whose inflated bytes pass
    // the memory budget raises EMemoryBudget into a memory Dest and the archive's EVrFileError
    // "%s:アーカイブが壊れています" into any other.
    void ReadFile(TStream& Dest, const std::string& Name);

    TVrFile& AddFile(const std::string& Name) { return static_cast<TVrFile&>(AddNamed(Name)); }
    // An entry whose data the caller writes into its (new, empty) DataSource.
    TVrFile& AddStream(const std::string& Name);
    // Frees the entry of that name, when there is one, and closes up the entries after it (a walk
    // over them), so that entries are found by position without a search.
    void DeleteFile(const std::string& Name);
    // Writes the collection (WriteIndex) in place of the archive file FileName, by way of a file
    // beside it (WriteFileReplacing), then reads from that file as Open would have found it,
    // without reading the index again: the entries in the order written, each DataSource freed,
    // then the sentinel. The other entries' stored bytes are carried over as stored. The
    // collection keeps the image of the file it wrote (its index and its entries' stored bytes),
    // so that the next write takes the entries before the first one added, deleted, renamed or
    // moved since from it as they are, and builds the index and stored bytes only from there
    // (an entry's fields are not to be changed in place meanwhile); the first write after Open
    // copies the stored bytes from the archive read. A failed write leaves the file as it was,
    // the collection reading from it (without the image), and raises; a written file that cannot
    // be opened again leaves the collection empty and closed, and raises.
    void WriteFile(const std::string& FileName);

    // A read-only window onto the entry's stored bytes in the archive file (for media played
    // straight from it); nullptr without an archive file or such an entry, and for an entry
    // added in memory.
    std::unique_ptr<TStream> OpenRangeStream(const std::string& Name);

    // Appends the file-name part of every entry (the sentinel aside) whose folder part equals
    // Folder without regard to case, unless Strings already holds it.
    void GetFileList(const std::string& Folder, TStringList& Strings) const;

private:
    friend class TVrFile;
    struct TImage;
    // Empties the collection, closes the archive file and drops the image written.
    void Reset();
    // The entries from File's place on, or from Position when earlier, now differ from the image.
    void Changed(const TVrFile& File, int Position = INT_MAX);
    // Makes the image that of the entries (the sentinel taken out): those before the first
    // changed are kept, the others' stored bytes put after them; how many were kept. After a
    // failure the image is not to be used.
    size_t UpdateImage();
    // The names Open takes from FileName.
    void SetFileName(const std::string& FileName);
    // ContentFileInFolder(BaseFolder, Name).
    std::string DiskFileName(const std::string& Name) const;
    // The entry's stored bytes, inflated when compressed, into Dest.
    void ReadEntry(const TVrFile& File, TStream& Dest);
    void CopyStored(const TVrFile& File, TStream& Dest);
    // Copies one carried-over entry larger than a run through a buffer of a run's size.
    void CopyLargeEntry(TVrFile& File, TNxBigStream& Stream, int64_t IndexStart, std::vector<int64_t>& Offsets);
    // Writes Files[0] at Stream's position and appends its offset from IndexStart to Offsets; an
    // entry of the image written last is copied from it; an entry of the archive read, with those
    // after it whose stored bytes follow its own there, is copied as stored (its CRC taken when
    // the index gave none and it covers the stored bytes), the run read at once. How many entries
    // were written; a failing one has no offset appended.
    size_t WriteEntries(std::span<TVrFile* const> Files, TNxBigStream& Stream, int64_t IndexStart,
                        std::vector<int64_t>& Offsets);
    // Writes every one of Files through WriteEntries, a failing one raising as WriteIndex says.
    void WriteAllEntries(std::span<TVrFile* const> Files, TNxBigStream& Stream, int64_t IndexStart,
                         std::vector<int64_t>& Offsets);
    // Writes Files as WriteIndex does; their offsets from the index start and the end of the data.
    std::vector<int64_t> WriteArchive(std::span<TVrFile* const> Files, TNxBigStream& Stream);
    friend bool WriteIndex(TVrFileCollection& Collection, TNxBigStream& Stream);

    std::string baseFolder_;
    std::string fileName_;
    std::unique_ptr<TNxBigStream> archiveStream_;
    // Where the entries' offsets count from in archiveStream_ (StoredAt).
    int64_t dataBase_ = 0;
    // The file WriteFile wrote last, while the collection reads from it.
    std::unique_ptr<TImage> image_;
    // The entries before this place are the image's first ones, unchanged.
    int unchanged_ = 0;
};

// Reads the index at Stream's position and appends its entries and the sentinel, Offsets made
// absolute positions in Stream. Every count, length and offset is checked against Stream:
// EVrFileError on a damaged index or a version above the one this program writes, and the
// collection is then left as it was.
void ReadIndex(TVrFileCollection& Collection, TNxBigStream& Stream);

// Writes the whole collection (sentinel entries skipped) at Stream's position: the index with
// placeholder tables, each entry's data, then the tables. Offsets count from the index start.
// Stream is left just after the tables. A failing entry raises EVrFileError with the message
// "エラー:" + its name, a line break and the original message.
bool WriteIndex(TVrFileCollection& Collection, TNxBigStream& Stream);

// Whether a disk file is stored compressed, by the extension of its name: ".mra" images when
// the Mira header probe says so; raw for sound, video and data extensions; else compressed
// below 5 MiB.
bool ShouldCompress(TFileStream& Stream);

// The CRC-32 of zlib (reflected polynomial 0xEDB88320) over the whole stream from position 0.
uint32_t StreamCrc32(TStream& Stream);

// The header record of Mira images (40 bytes, little-endian as stored): stored whole after the
// classic magic from version 103, filled from the root attributes in the XML form.
struct TMiraHeader {
    int32_t Version = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Bpp = 0;
    int32_t Count = 0;
    uint8_t SyncPal = 0;
    uint8_t Randomized = 0;
    uint8_t CompType = 0;  // 0 zlib, 1 none, 2 JPEG
    uint8_t Padding1 = 0;
    int32_t BGColor = 0;
    int32_t BlockWidth = 0;
    int32_t BlockHeight = 0;
    uint8_t NotFillBG = 0;
    uint8_t CompLevel = 0;
    uint8_t Padding2[2] = {};
};
static_assert(sizeof(TMiraHeader) == 40);

// The classic Mira magic at Stream's position: reads up to seven bytes and returns the number
// read; Digits gets the three characters after "Mira" when the bytes begin with it, else stays
// empty. Digits = "" also for a stream shorter than the magic.
int64_t ReadMiraMagic(TStream& Stream, std::string& Digits);
// The header record after the classic magic (version 103 and later): its int32 length S, then S
// bytes of which the first 40 fill Header; a shorter record leaves the rest 0, bytes beyond 40
// are skipped. EReadError when the stream holds less.
void ReadMiraHeaderRecord(TStream& Stream, TMiraHeader& Header);

// Reads the Mira magic ("Mira" and three characters read as an integer) at Stream's position
// and, from version 103, the header length and record: true when the record's compression
// type says the planes are stored uncompressed. Never raises; false for short streams.
bool ProbeMiraHeader(TStream& Stream);

// Whether the file ends with a carrier trailer: its last two bytes are "qz" and the int32 before
// them is a position inside the file, ahead of the trailer. Never raises.
bool HasArchiveTrailer(const std::string& FileName);
