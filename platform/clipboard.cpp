#include "platform/clipboard.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>

namespace platform {

namespace {

struct Clipboard {
    std::mutex mutex;
    std::vector<std::string> names;  // format 0xC000 + i
    std::map<uint32_t, std::vector<uint8_t>> data;
};

Clipboard& TheClipboard() {
    static Clipboard clipboard;
    return clipboard;
}

std::string Folded(std::string S) {
    std::transform(S.begin(), S.end(), S.begin(), [](unsigned char C) { return char(std::tolower(C)); });
    return S;
}

}  // namespace

uint32_t RegisterClipboardFormat(const std::string& Name) {
    Clipboard& c = TheClipboard();
    const std::lock_guard lock(c.mutex);
    const std::string key = Folded(Name);
    auto it = std::find(c.names.begin(), c.names.end(), key);
    if (it == c.names.end()) it = c.names.insert(it, key);
    return 0xC000 + uint32_t(it - c.names.begin());
}

void EmptyClipboard() {
    Clipboard& c = TheClipboard();
    const std::lock_guard lock(c.mutex);
    c.data.clear();
}

void SetClipboardData(uint32_t Format, std::vector<uint8_t> Data) {
    Clipboard& c = TheClipboard();
    const std::lock_guard lock(c.mutex);
    c.data[Format] = std::move(Data);
}

std::optional<std::vector<uint8_t>> GetClipboardData(uint32_t Format) {
    Clipboard& c = TheClipboard();
    const std::lock_guard lock(c.mutex);
    const auto it = c.data.find(Format);
    if (it == c.data.end()) return std::nullopt;
    return it->second;
}

}  // namespace platform
