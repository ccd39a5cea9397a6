#include "platform/textout.h"

#include "platform/display.h"
#include "platform/encoding.h"

#include <algorithm>
#include <charconv>
#include <utility>

namespace platform {

namespace {

struct TextOutService {
    std::vector<std::unique_ptr<TextOutSink>> sinks;
    std::string shown;
};

TextOutService& Service() {
    static TextOutService service;
    return service;
}

// Text as a JSON string: quotes, backslashes and control characters escaped; UTF-8 is kept.
void AppendJsonString(std::string& Out, std::string_view Utf8) {
    static constexpr char hex[] = "0123456789abcdef";
    Out += '"';
    for (const char c : Utf8) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
            case '"': Out += "\\\""; break;
            case '\\': Out += "\\\\"; break;
            case '\n': Out += "\\n"; break;
            case '\r': Out += "\\r"; break;
            case '\t': Out += "\\t"; break;
            default:
                if (u < 0x20 || u == 0x7F) {
                    Out += "\\u00";
                    Out += hex[u >> 4];
                    Out += hex[u & 15];
                } else {
                    Out += c;
                }
        }
    }
    Out += '"';
}

class ClipboardTextOut : public TextOutSink {
public:
    explicit ClipboardTextOut(Display& D) : display_(D) {}
    void Deliver(const TextOutItem& Item) override {
        if (Item.kind == TextOutItem::Kind::Message) display_.setClipboardText(Item.text);
    }

private:
    Display& display_;
};

}  // namespace

void AddTextOutSink(std::unique_ptr<TextOutSink> Sink) {
    if (Sink) Service().sinks.push_back(std::move(Sink));
}

void ClearTextOutSinks() {
    TextOutService& service = Service();
    service.sinks.clear();
    service.shown.clear();
}

void SendTextOut(const TextOutItem& Item) {
    TextOutService& service = Service();
    if (Item.kind == TextOutItem::Kind::Message) service.shown = Item.text;
    for (const auto& sink : service.sinks) sink->Deliver(Item);
}

const std::string& ShownTextOutMessage() { return Service().shown; }

std::string TextOutJson(const TextOutItem& Item) {
    std::string out;
    if (Item.kind == TextOutItem::Kind::Choice) {
        out = "{\"kind\": \"choice\", \"items\": [";
        const std::vector<std::string> items = Cp932ToUtf8(Item.items);
        for (size_t i = 0; i < items.size(); ++i) {
            if (i > 0) out += ", ";
            AppendJsonString(out, items[i]);
        }
        out += "]}\n";
        return out;
    }
    out = "{\"kind\": \"message\", \"window\": ";
    AppendJsonString(out, Cp932ToUtf8(Item.window));
    out += ", \"text\": ";
    AppendJsonString(out, Cp932ToUtf8(Item.text));
    out += ", \"ruby\": [";
    for (size_t i = 0; i < Item.ruby.size(); ++i) {
        if (i > 0) out += ", ";
        out += "{\"base\": ";
        AppendJsonString(out, Cp932ToUtf8(Item.ruby[i].base));
        out += ", \"reading\": ";
        AppendJsonString(out, Cp932ToUtf8(Item.ruby[i].reading));
        out += '}';
    }
    out += "]}\n";
    return out;
}

std::string TextOutPlain(const TextOutItem& Item) {
    if (Item.kind == TextOutItem::Kind::Message) return Cp932ToUtf8(Item.text);
    std::string joined;
    for (size_t i = 0; i < Item.items.size(); ++i) {
        if (i > 0) joined += '\n';
        joined += Item.items[i];
    }
    return Cp932ToUtf8(joined);
}

namespace {

std::string Lower(std::string_view Text) {
    std::string lower(Text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return lower;
}

bool IsSchemeCharacter(char C) {
    return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') || C == '+' || C == '-' ||
           C == '.';
}

}  // namespace

std::optional<TextOutOrigin> ParseTextOutOrigin(std::string_view Url) {
    const size_t colon = Url.find("://");
    if (colon == 0 || colon == std::string_view::npos) return std::nullopt;
    const std::string_view scheme = Url.substr(0, colon);
    const char first = char(scheme[0] | 0x20);
    if (first < 'a' || first > 'z' || !std::all_of(scheme.begin(), scheme.end(), IsSchemeCharacter))
        return std::nullopt;
    std::string_view authority = Url.substr(colon + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (authority.find('@') != std::string_view::npos) return std::nullopt;
    // An IPv6 address keeps its brackets; the port comes after the last colon outside them.
    const size_t hostEnd = authority.starts_with('[') ? authority.find(']') : authority.find(':');
    if (hostEnd == std::string_view::npos && authority.starts_with('[')) return std::nullopt;
    const size_t portAt = authority.starts_with('[') ? hostEnd + 1 : hostEnd;
    TextOutOrigin origin{Lower(scheme), Lower(authority.substr(0, portAt)), ""};
    if (origin.host.empty()) return std::nullopt;
    if (portAt < authority.size()) {
        if (authority[portAt] != ':') return std::nullopt;
        const std::string_view digits = authority.substr(portAt + 1);
        int32_t port = 0;
        const auto [stop, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
        if (digits.empty() || error != std::errc() || stop != digits.data() + digits.size() || port < 1 ||
            port > 65535)
            return std::nullopt;
        origin.port = std::to_string(port);
    } else if (origin.scheme == "http") {
        origin.port = "80";
    } else if (origin.scheme == "https") {
        origin.port = "443";
    }
    return origin;
}

bool TextOutOriginTaken(std::string_view Origin, const std::vector<TextOutOrigin>& Named) {
    if (Origin.empty() || Origin == "null" || Lower(Origin).starts_with("file://")) return true;
    const std::optional<TextOutOrigin> origin = ParseTextOutOrigin(Origin);
    if (!origin) return false;
    if (origin->scheme == "http" &&
        (origin->host == "localhost" || origin->host == "127.0.0.1" || origin->host == "[::1]"))
        return true;
    return std::find(Named.begin(), Named.end(), *origin) != Named.end();
}

std::unique_ptr<TextOutSink> MakeClipboardTextOut(Display& D) { return std::make_unique<ClipboardTextOut>(D); }

}  // namespace platform
