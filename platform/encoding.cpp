#include "platform/encoding.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace platform {
namespace {

using RefusedLength = size_t (*)(const unsigned char* p, size_t left);

// A refused CP932 character: a lead byte takes a following trail byte with it.
size_t Cp932Refused(const unsigned char* p, size_t left) {
    bool lead = (p[0] >= 0x81 && p[0] <= 0x9F) || (p[0] >= 0xE0 && p[0] <= 0xFC);
    bool trail = left >= 2 && p[1] >= 0x40 && p[1] <= 0xFC && p[1] != 0x7F;
    return lead && trail ? 2 : 1;
}

// A refused UTF-8 character: the whole well-formed sequence, else the one bad byte.
size_t Utf8Refused(const unsigned char* p, size_t left) {
    size_t len = p[0] < 0x80 ? 1 : (p[0] >> 5) == 0x6 ? 2 : (p[0] >> 4) == 0xE ? 3 : (p[0] >> 3) == 0x1E ? 4 : 1;
    if (len > left) return 1;
    for (size_t i = 1; i < len; ++i)
        if ((p[i] & 0xC0) != 0x80) return 1;
    return len;
}

// A refused EUC-JP character: a lead byte takes the byte after it with it (two after 0x8F).
size_t EucJpRefused(const unsigned char* p, size_t left) {
    size_t len = p[0] == 0x8F ? 3 : p[0] >= 0x8E ? 2 : 1;
    return len < left ? len : left;
}

// Opens one direction of conversion for a run of texts: opening one costs more than converting
// a short text.
class TConverter {
public:
    TConverter(const char* To, const char* From) : cd_(iconv_open(To, From)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv cannot convert between CP932 and UTF-8");
    }
    ~TConverter() { iconv_close(cd_); }
    TConverter(const TConverter&) = delete;
    TConverter& operator=(const TConverter&) = delete;

    // Runs iconv over the whole input; a sequence it refuses becomes Replacement and is skipped.
    std::string Convert(std::string_view text, std::string_view replacement, RefusedLength refused) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // a fresh start, whatever the last text left
        std::string out;
        out.reserve(text.size() * 3 / 2 + 4);
        char* in = const_cast<char*>(text.data());
        size_t inLeft = text.size();
        char buffer[4096];
        while (inLeft > 0) {
            char* outPtr = buffer;
            size_t outLeft = sizeof buffer;
            size_t rc = iconv(cd_, &in, &inLeft, &outPtr, &outLeft);
            out.append(buffer, outPtr - buffer);
            if (rc != static_cast<size_t>(-1) || errno == E2BIG) continue;
            // EILSEQ, or EINVAL for a sequence cut short at the end.
            out.append(replacement);
            size_t skip = refused(reinterpret_cast<const unsigned char*>(in), inLeft);
            in += skip;
            inLeft -= skip;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        return out;
    }

private:
    iconv_t cd_;
};

constexpr std::string_view Utf8Replacement = "\xEF\xBF\xBD";

}  // namespace

std::string Cp932ToUtf8(std::string_view text) {
    // ASCII is the same in both, and most paths are nothing else: no converter is opened for them.
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::string(text);
    return TConverter("UTF-8", "CP932").Convert(text, Utf8Replacement, Cp932Refused);
}

std::vector<std::string> Cp932ToUtf8(const std::vector<std::string>& texts) {
    TConverter converter("UTF-8", "CP932");
    std::vector<std::string> converted;
    converted.reserve(texts.size());
    for (const std::string& text : texts) converted.push_back(converter.Convert(text, Utf8Replacement, Cp932Refused));
    return converted;
}

std::string TerminalText(std::string_view text) { return TerminalEscaped(Cp932ToUtf8(text)); }

std::string TerminalEscaped(std::string_view utf8) {
    static constexpr char hex[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        const bool c1 = byte == 0xC2 && i + 1 < utf8.size() && (static_cast<unsigned char>(utf8[i + 1]) & 0xE0) == 0x80;
        if (utf8.substr(i, 2) == "\r\n" || byte == '\n') {
            if (byte == '\r') ++i;
            shown += "\n  ";
        } else if (byte < 0x20 || byte == 0x7F) {
            shown += "\\x";
            shown += hex[byte >> 4];
            shown += hex[byte & 15];
        } else if (c1) {
            const auto control = static_cast<unsigned char>(utf8[++i]);
            shown += "\\u00";
            shown += hex[control >> 4];
            shown += hex[control & 15];
        } else {
            shown += utf8[i];
        }
    }
    return shown;
}

std::string Utf8ToCp932(std::string_view text) { return TConverter("CP932", "UTF-8").Convert(text, "?", Utf8Refused); }

std::string EucJpToCp932(std::string_view text) { return TConverter("CP932", "EUC-JP").Convert(text, "?", EucJpRefused); }

}  // namespace platform
