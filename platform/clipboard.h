#pragma once
// The program's own clipboard: data of numbered formats handed between parts of the process.
// The desktop clipboard reached through SDL carries only text, so pictures put on the clipboard
// stay inside the process. Every call may come from any thread.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The bitmap format: a BMP file's bytes.
inline constexpr uint32_t CF_BITMAP = 2;

// The number of a format known by name: the same name (letter case ignored) always gives the same
// number, from 0xC000 up.
uint32_t RegisterClipboardFormat(const std::string& Name);

// Empties the clipboard of every format.
void EmptyClipboard();
// Replaces the data of Format.
void SetClipboardData(uint32_t Format, std::vector<uint8_t> Data);
// The data of Format; nothing when the clipboard holds none.
std::optional<std::vector<uint8_t>> GetClipboardData(uint32_t Format);

}  // namespace platform
