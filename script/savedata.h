#pragma once
// Save data: the entries of "save.dat" and the parts of their records that belong to the rest of
// the player. The project writes and reads the records (project.h, savedata.cpp).
//
// Game record "GAMESAVEDATA" + slot (little-endian; a string is an int32 byte count and the
// bytes): u32 save version (GameSaveVersion written); caption; continue page ("" for none); u32
// continue PC; the scene; the message history; the runner (TCallMan); the game variables; the
// game data tables (from version 123).
//
// Status record "STATUSSAVEDATA": "Status" and the version in three digits ("Status103"); the
// status variables; the read marks; the image cache's mode; the status data tables (from
// version 103). A record without the header is version 0, read from its first byte.
#include "core/header.h"
#include "core/stringlist.h"
#include "core/vrfiles.h"
#include "platform/fs.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

inline constexpr char GameSaveEntry[] = "GAMESAVEDATA";
inline constexpr char StatusSaveEntry[] = "STATUSSAVEDATA";
// Files a title keeps in the save archive have names beginning with this.
inline constexpr char SavedFilePrefix[] = "save:";

// The oldest game record read.
inline constexpr int32_t MinGameSaveVersion = 107;
// Game records from this version on hold the game data tables, and the message history in the
// history manager's form.
inline constexpr int32_t TablesSaveVersion = 123;
inline constexpr int32_t HistoryManagerSaveVersion = 135;
// Status records from this version on hold the status data tables.
inline constexpr int32_t StatusTablesVersion = 103;

// Data table kinds.
inline constexpr int32_t GameTables = 0;
inline constexpr int32_t StatusTables = 1;

// The caption of each listed save slot, in the order listed, the slot number as each line's
// object. A slot's first line is found without walking the list.
class TSlotCaptions {
public:
    int Count() const { return lines_.Count(); }
    const std::string& Strings(int Index) const { return lines_.Strings(Index); }
    int32_t Objects(int Index) const { return static_cast<int32_t>(lines_.Objects(Index)); }
    void Clear();
    // Lists a line for the slot after the others.
    void AddObject(const std::string& Caption, int32_t Slot);
    // The caption of the slot's first line; "" when it is not listed.
    std::string Caption(int32_t Slot) const;
    // Replaces the caption of the slot's first line, or lists a line for it.
    void SetCaption(int32_t Slot, const std::string& Caption);

private:
    TStringList lines_;
    std::unordered_map<int32_t, int> firstLines_;  // slot -> its first line
};

// The save file's entries as last read or written, kept between saves so that a save rewrites the
// file without reading its index again (once written, from the image of it the entries keep).
// They are read again when the file at the path is no longer the one they describe (replaced or
// written by another process, or a link put there), and after any failure.
class TSaveArchive {
public:
    // Changes the entries through Change and writes them in place of the save file Path
    // (TVrFileCollection::WriteFile). A failure leaves the file as it was and raises.
    void Rewrite(const std::string& Path, const std::function<void(TVrFileCollection&)>& Change);

private:
    // The entries of the save file Path: none when no regular file stands there (a link is never
    // read). Raises what TVrFileCollection::Open raises.
    TVrFileCollection& Entries(const std::string& Path);

    TVrFileCollection saves_;
    std::string path_;
    // The file at path_ that saves_ describes; nothing for none, saves_ then empty.
    std::optional<platform::fs::FileStamp> stamp_;
    bool kept_ = false;  // saves_ describes what stands at path_ as stamp_ says
};

// The parts of the save records that the scene, the message history, the read marks, the image
// cache and the data tables write and read. Each Load reads what its Save writes, for records of
// the version given, and raises an EVelaError on short or absurd input.
//
// This base is the headless player, which has none of those parts but the image cache and the data tables: it
// writes what each other part's stored form is when empty, and reads back only that form,
// refusing content it could not hold. The scene's stored form always holds its two layers, so
// the headless scene writes and reads nothing.
class TSaveSections {
public:
    virtual ~TSaveSections() = default;

    // The object root: the scene, its event queue and focus.
    virtual void SaveObjects(TStream& /*Stream*/) {}
    virtual void LoadObjects(TStream& /*Stream*/, int32_t /*Version*/) {}
    // Brings every message window up to date after a game load.
    virtual void AfterLoad() {}

    // The message history: below HistoryManagerSaveVersion the old form of one history.
    // Headless: an int32 count of history formats, 0; the old form is refused.
    virtual void SaveHistory(TStream& Stream);
    virtual void LoadHistory(TStream& Stream, int32_t Version);

    // The data tables of a kind (GameTables, StatusTables): those of DBManager, or none when
    // there is no table manager (the tables read are then dropped).
    virtual void SaveTables(TStream& Stream, int32_t Kind);
    virtual void LoadTables(TStream& Stream, int32_t Kind);

    // The read marks: read from status version 100 on. Headless: int32 mark count 0, then the
    // pending mark: page "", int32 command 0, int32 page index 0, window "".
    virtual void SaveReadMarks(TStream& Stream);
    virtual void LoadReadMarks(TStream& Stream, int32_t Version);

    // The image cache's mode byte: read from status version 101 on. Without a cache: 0, and
    // the byte read is dropped.
    virtual void SaveImageMode(TStream& Stream);
    virtual void LoadImageMode(TStream& Stream, int32_t Version);
};
