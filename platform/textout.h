#pragma once
// Text out to a reader's tools: every message a title shows, and the items of every selection
// menu it opens, handed as plain text with the readings of its ruby to the sinks the user asked
// for (a WebSocket server on 127.0.0.1, the desktop's clipboard, standard output as JSON Lines).
// The engine hands each item to SendTextOut and knows nothing of the sinks; a sink converts the
// code page 932 text to UTF-8 as it goes out. Main thread only.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class Display;

// The bounds of text out, kept here for every sink: a message's text (with its readings) is cut
// at MaxTextOutBytes; a reader (a WebSocket client, standard output) may have TextOutBacklog
// bytes waiting for it (past that a client is dropped, and standard output loses lines), and
// MaxTextOutClients may be connected to one server at once. TextOutHandshakes connections may be
// in their handshake at once (a connection past that is closed as it comes), each for at most
// TextOutHandshakeSeconds; the server holds no more than TextOutServerDescriptors descriptors.
inline constexpr size_t MaxTextOutBytes = 64 * 1024;
inline constexpr size_t TextOutBacklog = 1024 * 1024;
inline constexpr int MaxTextOutClients = 8;
inline constexpr int TextOutHandshakes = 32;
inline constexpr int TextOutHandshakeSeconds = 5;
// The clients, the handshakes, the listening socket and what the library keeps for itself.
inline constexpr int TextOutServerDescriptors = MaxTextOutClients + TextOutHandshakes + 8;
// The WebSocket server's port when the target names none.
inline constexpr uint16_t DefaultTextOutPort = 6677;

// One base of a message with its reading.
struct TextOutRuby {
    std::string base, reading;
    bool operator==(const TextOutRuby&) const = default;
};

// What a title shows, code page 932 inside: a message of a window (lines joined by "\n"), or
// the items of a selection menu that opens.
struct TextOutItem {
    enum class Kind : uint8_t { Message, Choice };
    Kind kind = Kind::Message;
    std::string window;              // a message's window
    std::string text;                // a message's text
    std::vector<TextOutRuby> ruby;   // a message's readings, in order
    std::vector<std::string> items;  // a choice's items
};

// Where items go.
class TextOutSink {
public:
    virtual ~TextOutSink() = default;
    // Never blocks on a reader.
    virtual void Deliver(const TextOutItem& Item) = 0;
};

void AddTextOutSink(std::unique_ptr<TextOutSink> Sink);
// Frees every sink (a server's thread ends and its clients are closed) and forgets the message
// shown.
void ClearTextOutSinks();
// Hands Item to every sink; a message becomes the one shown.
void SendTextOut(const TextOutItem& Item);
// The text of the last message handed out ("" before the first).
const std::string& ShownTextOutMessage();

// The item as one JSON object on one line, UTF-8, ending in "\n":
// {"kind": "message", "window": W, "text": T, "ruby": [{"base": B, "reading": R}, ...]} or
// {"kind": "choice", "items": [...]}.
std::string TextOutJson(const TextOutItem& Item);
// The item as the plain UTF-8 text a reader's tool takes: a message's text, or a choice's items
// joined by "\n".
std::string TextOutPlain(const TextOutItem& Item);

// Standard output as JSON Lines, written by a thread of its own so that the title never waits
// for the reader: past TextOutBacklog bytes waiting, new lines are lost (said once on standard
// error), and a reader that closes the output ends the target (said once); neither ends the
// player. From then on the process's standard output goes to standard error, so that nothing
// else comes between the lines. nullptr (said on standard error) when it cannot be had.
std::unique_ptr<TextOutSink> MakeStdoutTextOut();
// The desktop's text clipboard of Display (which outlives the sink) holds each message as it
// comes; choices leave it as it is.
std::unique_ptr<TextOutSink> MakeClipboardTextOut(Display& Display);

// The origin of a web page, as a browser names it in a WebSocket handshake: scheme, host and
// port. Scheme and host in lower case; the port a number, that of http or https when the URL
// gives none ("" for another scheme without one).
struct TextOutOrigin {
    std::string scheme, host, port;
    bool operator==(const TextOutOrigin&) const = default;
};
// The origin of Url, "scheme://host[:port]" followed by nothing or by a path, query or fragment
// (left out); nothing when Url has none: no scheme, no host, a user name, a port that is no
// number 1..65535.
std::optional<TextOutOrigin> ParseTextOutOrigin(std::string_view Url);
// Whether a client whose handshake gives Origin ("" when it gives none: a program, not a page)
// is taken: a program, a local page (file:, "null", http on localhost, 127.0.0.1 or [::1], any
// port), or a page of an origin of Named. Any other page would read what the user reads.
bool TextOutOriginTaken(std::string_view Origin, const std::vector<TextOutOrigin>& Named);

// A WebSocket server (RFC 6455) on 127.0.0.1 that sends each item as one text frame to every
// client connected, serviced on a thread of its own. Clients come and go at any time, at most
// MaxTextOutClients at once; a client with more than TextOutBacklog bytes waiting is
// dropped. A client from a page of another origin than the local ones and Origins is refused
// (HTTP 403). Connections in their handshake are bounded as the constants above say.
class TextOutServer : public TextOutSink {
public:
    // Listens on Port (0: a free one); nullptr when it cannot, Error then saying why.
    static std::unique_ptr<TextOutServer> Start(uint16_t Port, std::string& Error,
                                                std::vector<TextOutOrigin> Origins = {});
    ~TextOutServer() override;
    // Queues the frame for every client and wakes the server's thread.
    void Deliver(const TextOutItem& Item) override;
    // Queues one text frame of UTF-8 bytes.
    void SendFrame(const std::string& Frame);
    uint16_t Port() const;
    // The clients connected now.
    int ClientCount() const;

    struct State;

private:
    explicit TextOutServer(std::unique_ptr<State> S);
    std::unique_ptr<State> state_;
};

}  // namespace platform
