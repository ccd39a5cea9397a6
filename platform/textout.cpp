#include "platform/textout.h"

#include "platform/display.h"
#include "platform/encoding.h"

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

std::unique_ptr<TextOutSink> MakeClipboardTextOut(Display& D) { return std::make_unique<ClipboardTextOut>(D); }

}  // namespace platform
