#pragma once
// The install set: the "install.dat" beside each disc's content archive, naming the title's
// set and the disc it lies on, with installation settings. Most fields are only carried from
// file to file; they are named by their place in the file.
#include "core/streams.h"
#include "core/stringlist.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class TVelaInstallSet {
public:
    // Fields in file order; a field marked "from N" is present in files of version N and later.
    int32_t DiscNumber = 0;  // the disc this file lies on, counted from 0
    std::string SetId;       // the same on every disc of a title
    std::string String3, String4, String5;
    uint8_t ByteA = 0;
    std::string String7;
    uint8_t ByteB = 0;
    // EntryCount (resize with SetEntryCount) is stored here, its entries' values further on.
    std::string String10;
    int32_t Int11 = 0;
    uint8_t ByteC = 0, ByteD = 0;
    std::string String14, String15;
    std::vector<std::array<int64_t, 4>> EntryValues;  // four values per entry
    int64_t Value17 = 0, Value18 = 0, Value19 = 0, Value20 = 0;
    uint8_t ByteE = 0;
    uint8_t ByteF = 0;            // from 101
    TStringList EntryNames;       // from 102; empty names are dropped when read
    uint8_t FullyInstalled = 0;   // from 103: the content archive beside the program suffices
    uint8_t ByteG = 0;            // from 104
    uint8_t ByteH = 0;            // from 105
    TStringList OtherNames;       // from 106
    std::string String28;         // from 107
    std::string String29, String30;  // from 108

    int32_t EntryCount() const { return static_cast<int32_t>(EntryValues.size()); }
    // Sets the number of entries; new values are 0.
    void SetEntryCount(int32_t Count);

    // Index of Name in EntryNames, compared without regard to case; -1 when absent.
    int IndexOfEntry(const std::string& Name) const { return EntryNames.IndexOf(Name); }
    // Index of Name in EntryNames, appended when absent.
    int AddEntry(const std::string& Name);

    // Writes "is108" and every field.
    void SaveToStream(TStream& Stream) const;
    // Reads any version; fields a version does not hold keep their values. Raises EReadError
    // on short or absurd data, leaving the set unchanged.
    void LoadFromStream(TStream& Stream);
    // Written under another name and renamed into place, so a failed write never leaves a
    // torn file behind.
    void SaveToFile(const std::string& FileName) const;
    void LoadFromFile(const std::string& FileName);

private:
    void ReadFields(TStream& Stream, int Version);
};
