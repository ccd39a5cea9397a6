#pragma once
// Read marks: which message pages the reader has already seen, kept across games in the status
// data. A mark names the script page file the text came from, the index of the text command in
// that page and the number of the message page within that text. A message window notes the
// page it shows as pending and commits the mark when the page is left.
//
// Stored form (little-endian; a string is an int32 byte count and the bytes): int32 item count;
// per item its page file name, int32 entry count M, M command indexes, M page indexes; then the
// pending mark: page file (string), command index, page index, window name (string).
#include "core/hash.h"
#include "core/streams.h"

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

// The marks of one page file (the item's name).
class TVelaRead : public THashCollectionItem {
public:
    // Entry i of both is one mark, in the order they came; they always have the same length.
    const std::vector<int32_t>& GetCommandIndexes() const { return CommandIndexes; }
    const std::vector<int32_t>& GetPageIndexes() const { return PageIndexes; }
    // Replaces the marks (as stored: the same mark may come twice).
    void SetMarks(std::vector<int32_t> Commands, std::vector<int32_t> Pages);
    void Add(int32_t CommandIndex, int32_t PageIndex);
    bool Has(int32_t CommandIndex, int32_t PageIndex) const;

private:
    std::vector<int32_t> CommandIndexes;
    std::vector<int32_t> PageIndexes;
    // The marks again, each once, looked up by Has.
    std::unordered_set<uint64_t> Marks;
};

class TVelaReadList : public THashCollection {
public:
    TVelaReadList();

    TVelaRead& Items(int Index) const { return static_cast<TVelaRead&>(THashCollection::Items(Index)); }
    // The item of that page file name (without regard to case); nullptr when none.
    TVelaRead* Find(const std::string& PageFile) const;

    bool IsRead(const std::string& PageFile, int32_t CommandIndex, int32_t PageIndex) const;
    // Overwrites any earlier pending mark.
    void SetPending(const std::string& WindowName, const std::string& PageFile, int32_t PageIndex,
                    int32_t CommandIndex);
    // Stores the pending mark when it was set by that window (compared case-sensitively); a mark
    // already there leaves the pending one in place.
    void CommitPending(const std::string& WindowName);
    // Every item and the pending mark.
    void Clear() override;

    void SaveToStream(TStream& Stream) const;
    // Status data below version 100 holds no marks: the list is left empty. A damaged record
    // raises EReadError and leaves the list as it was.
    void LoadFromStream(TStream& Stream, int32_t Version);

    std::string PendingPage;  // empty: no pending mark
    int32_t PendingCommand = 0;
    int32_t PendingPageIndex = 0;
    std::string PendingWindow;

private:
    void SaveMark(TStream& Stream, const TVelaRead& Item) const;
    void LoadMark(TStream& Stream);
};

// Status data versions from which the read marks are stored.
inline constexpr int32_t ReadMarksStatusVersion = 100;

// The one list of read marks, made at start-up of the object layer.
extern TVelaReadList* TextRead;
