#pragma once
// A name a title gives for a file or a folder (a content file, a folder text, an archive's entry,
// a picture to save, a file to extract), read once into its components. What the write gate
// judges, records and opens is that list beneath the folder it starts from: nothing downstream
// parses the name again, so no two readings of one name can differ.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TTitleName {
    std::string Drive;         // "C:" when the name begins with a drive, else empty
    bool Rooted = false;       // it begins with a separator (after its drive)
    std::vector<std::string> Parts;  // the components, none empty

    // Neither a drive nor a leading separator: a name below the folder it is taken in.
    bool Relative() const { return Drive.empty() && !Rooted; }
};

// The components of Name: "\" and "/" both separate (as on the title's home system; a trail
// byte 0x5C of a Shift-JIS character is no separator), empty components are skipped, and a drive
// ("C:") is taken only as the first. Nothing when a component holds ":" or a control character,
// is a dot name (".", ".." or a hidden name such as ".ssh": the home folder's settings, keys and
// autostart entries have such names), or Name is longer than 260 bytes (no Windows path is; the
// host's work grows with a path's depth).
std::optional<TTitleName> ReadTitleName(std::string_view Name);

// Whether Name is a plain name below a folder: ReadTitleName takes it and it is Relative. A
// title reads and writes no other.
bool IsPlainRelativePath(std::string_view Name);
