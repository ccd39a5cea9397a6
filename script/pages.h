#pragma once
// Script pages: one page file's commands, the type of value the page returns when called, the
// per-opcode property masks of the object-creating commands, and the file's format version;
// and the stepper that runs one command of a page.
//
// Page file (little-endian): int32 Version, u8 ReturnType, int32 mask count N, int32 mask size
// S, N mask records of S bytes (record i belongs to opcode i), int32 command count M, then M
// commands, each an opcode byte and its record (commands.h).
#include "script/commands.h"

#include <array>
#include <cstdint>
#include <string>

class TCallMan;

// The oldest page version read (the newest is MaxFileVersion). A newer page is left unread after
// its version and runs as an empty page; an older one is refused.
inline constexpr int32_t MinPageVersion = 103;

// 176 bits: bit i (bit i mod 8 of byte i div 8) set means that the record of an
// object-creating command carries an expression for property id i.
inline constexpr int PropMaskSize = 22;
using TPropMask = std::array<uint8_t, PropMaskSize>;
using TPropMasks = std::array<TPropMask, CommandCount>;
// The masks of a page made in memory.
extern const TPropMasks DefaultPropMasks;

// A page file that cannot be read: Name + ":ページファイルが壊れています".
class EPageError : public EVelaError {
public:
    using EVelaError::EVelaError;
};

class TPage {
public:
    // An empty page: ReturnType 1, version MemoryPageVersion, the default masks.
    TPage();
    TPage(const TPage&) = delete;
    TPage& operator=(const TPage&) = delete;
    // Frees the commands, then the variable named the character 0x01 followed by Name.
    ~TPage();

    uint8_t ReturnType = PT_INT;
    TComList Commands{this};
    TPropMasks Masks = DefaultPropMasks;
    int32_t Version = MemoryPageVersion;

    const std::string& GetName() const { return name_; }
    void SetDefaultMasks() { Masks = DefaultPropMasks; }

    // Reads the page file Name through the file manager. A version above MaxFileVersion leaves
    // the page empty with the default masks. A version below MinPageVersion is refused as an
    // error that ends the player (Name + "\r\nリビルドしてください"); the page stays empty. Errors of the file manager and of the factory pass on ("不正なコマンド" for an
    // opcode above 60); a count or record the file cannot hold gives EPageError.
    void LoadFromFile(const std::string& Name);

    // Runs the command at PC once for the runner, which passes its own begun flag and PC; Page
    // starts as this page and comes back nullptr when the page has ended (PC outside the
    // commands) or as the page the command moved to. An error inside the command ends the
    // player (its text after the page's name and the command's line id, "start.vsb(12):") and
    // is not passed on.
    void Step(TCallMan& Runner, TPage*& Page, bool& EventPoint, bool& Begun, int32_t& PC);

private:
    void ReadFrom(TStream& Stream);

    std::string name_;
};

// The page whose masks serve command lists without a page, made once before any script runs.
extern TPage* DefaultPage;
void CreateDefaultPage();
void FreeDefaultPage();
