// The WebSocket server of text out, on libwebsockets. The server's thread runs the library's
// service loop and alone touches its connections; the main thread only appends frames to each
// client's queue under the lock and wakes the loop (lws_cancel_service), which then asks for a
// write on every client that has frames waiting and closes those that were dropped. A client
// that does not read keeps its frames queued until their bytes pass the backlog: it is then
// dropped, its queue freed, and the tick never waits for it.
// What a peer can make the server hold is bounded by the library's own means where it has them:
// the descriptors of its thread (fd_limit_per_thread), the header buffers (max_http_header_pool)
// and the time a connection may take to send its handshake's headers (timeout_secs_ah_idle). The
// connections in their handshake are counted here, from their making to their handshake's end
// or their close, and one past the bound is closed as it is accepted. A client whose handshake
// names the origin of a page neither local nor named by the user is answered 403.
#include "platform/textout.h"

#include <libwebsockets.h>

#include <atomic>
#include <deque>
#include <list>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace platform {

namespace {

struct Client {
    lws* wsi = nullptr;
    std::deque<std::string> frames;  // each with LWS_PRE bytes before the payload
    size_t queued = 0;               // payload bytes waiting
    bool dropped = false;
};

}  // namespace

struct TextOutServer::State {
    lws_context* context = nullptr;
    uint16_t port = 0;
    std::thread thread;
    std::atomic<bool> stopping{false};
    mutable std::mutex lock;
    std::list<Client> clients;  // at most MaxTextOutClients
    int handshakes = 0;         // connections in their handshake; server thread only
    std::vector<TextOutOrigin> origins;
    lws_protocols protocols[2]{};

    ~State() {
        if (thread.joinable()) {
            stopping = true;
            lws_cancel_service(context);
            thread.join();
        }
        if (context) lws_context_destroy(context);
    }

    void Run() {
        while (!stopping)
            if (lws_service(context, 0) < 0) break;
    }

    // The loop was woken: writes asked for, dropped clients closed. Server thread.
    void Wake() {
        const std::lock_guard guard(lock);
        for (Client& c : clients) {
            if (c.dropped)
                lws_set_timeout(c.wsi, PENDING_TIMEOUT_CLOSE_SEND, LWS_TO_KILL_ASYNC);
            else if (!c.frames.empty())
                lws_callback_on_writable(c.wsi);
        }
    }

    // Sends the client's next frame; false closes the connection. Server thread.
    bool Write(Client& C) {
        std::string frame;
        bool more = false;
        {
            const std::lock_guard guard(lock);
            if (C.dropped) return false;
            if (C.frames.empty()) return true;
            frame = std::move(C.frames.front());
            C.frames.pop_front();
            C.queued -= frame.size() - LWS_PRE;
            more = !C.frames.empty();
        }
        const size_t size = frame.size() - LWS_PRE;
        auto* payload = reinterpret_cast<unsigned char*>(frame.data()) + LWS_PRE;
        if (lws_write(C.wsi, payload, size, LWS_WRITE_TEXT) < int(size)) return false;
        if (more) lws_callback_on_writable(C.wsi);
        return true;
    }

    void Queue(const std::string& Payload) {
        {
            const std::lock_guard guard(lock);
            for (Client& c : clients) {
                if (c.dropped) continue;
                if (c.queued + Payload.size() > TextOutBacklog) {
                    Drop(c);
                    continue;
                }
                try {
                    std::string frame(LWS_PRE, '\0');
                    frame += Payload;
                    c.frames.push_back(std::move(frame));
                    c.queued += Payload.size();
                } catch (const std::exception&) {
                    // No room for the frame: the client misses it for good, so it goes.
                    Drop(c);
                }
            }
        }
        lws_cancel_service(context);
    }

    // A connection made: in its handshake until EndHandshake. Server thread.
    void BeginHandshake(lws* Wsi) {
        ++handshakes;
        lws_set_opaque_user_data(Wsi, this);
    }
    // The connection's handshake is over, done or not. Server thread.
    void EndHandshake(lws* Wsi) {
        if (lws_get_opaque_user_data(Wsi) != this) return;
        lws_set_opaque_user_data(Wsi, nullptr);
        --handshakes;
    }

    // Whether the handshake's Origin header, if any, names a page that may read. Server thread.
    bool OriginTaken(lws* Wsi) const {
        const int length = lws_hdr_total_length(Wsi, WSI_TOKEN_ORIGIN);
        if (length <= 0) return true;
        std::string origin(size_t(length) + 1, '\0');
        if (lws_hdr_copy(Wsi, origin.data(), length + 1, WSI_TOKEN_ORIGIN) != length) return false;
        origin.resize(size_t(length));
        return TextOutOriginTaken(origin, origins);
    }

    static void Drop(Client& C) {
        C.dropped = true;
        C.queued = 0;
        std::deque<std::string>().swap(C.frames);
    }
};

namespace {

int Callback(lws* wsi, lws_callback_reasons reason, void* user, void* in, size_t len) {
    lws_context* context = lws_get_context(wsi);
    auto* state = context ? static_cast<TextOutServer::State*>(lws_context_user(context)) : nullptr;
    auto** slot = static_cast<Client**>(user);
    if (!state) return lws_callback_http_dummy(wsi, reason, user, in, len);
    switch (reason) {
        case LWS_CALLBACK_FILTER_NETWORK_CONNECTION: return state->handshakes >= TextOutHandshakes ? -1 : 0;
        case LWS_CALLBACK_SERVER_NEW_CLIENT_INSTANTIATED: state->BeginHandshake(wsi); return 0;
        case LWS_CALLBACK_WSI_DESTROY: state->EndHandshake(wsi); return 0;
        case LWS_CALLBACK_FILTER_PROTOCOL_CONNECTION: {
            // A client past the bound is refused before the handshake is answered; a page of a
            // foreign origin is told so.
            if (!state->OriginTaken(wsi)) {
                lws_return_http_status(wsi, HTTP_STATUS_FORBIDDEN, nullptr);
                return -1;
            }
            const std::lock_guard guard(state->lock);
            return int(state->clients.size()) >= MaxTextOutClients ? -1 : 0;
        }
        case LWS_CALLBACK_ESTABLISHED: {
            state->EndHandshake(wsi);
            const std::lock_guard guard(state->lock);
            if (int(state->clients.size()) >= MaxTextOutClients) return -1;
            try {
                state->clients.emplace_back().wsi = wsi;
            } catch (const std::exception&) {
                return -1;
            }
            *slot = &state->clients.back();
            return 0;
        }
        case LWS_CALLBACK_CLOSED: {
            const std::lock_guard guard(state->lock);
            if (*slot) state->clients.remove_if([&](const Client& c) { return &c == *slot; });
            *slot = nullptr;
            return 0;
        }
        case LWS_CALLBACK_SERVER_WRITEABLE: return *slot && !state->Write(**slot) ? -1 : 0;
        case LWS_CALLBACK_EVENT_WAIT_CANCELLED: state->Wake(); return 0;
        case LWS_CALLBACK_RECEIVE: return 0;  // what a client sends is not read
        default: return lws_callback_http_dummy(wsi, reason, user, in, len);
    }
}

}  // namespace

std::unique_ptr<TextOutServer> TextOutServer::Start(uint16_t Port, std::string& Error,
                                                    std::vector<TextOutOrigin> Origins) {
    lws_set_log_level(0, nullptr);
    auto state = std::make_unique<State>();
    state->origins = std::move(Origins);
    state->protocols[0] = lws_protocols{"text", Callback, sizeof(Client*), 1024, 0, nullptr, 0};
    lws_context_creation_info info{};
    info.user = state.get();
    info.gid = -1;
    info.uid = -1;
    // The listening vhost is made apart from the context: a context that fails to bind does not
    // free all it took.
    info.options = LWS_SERVER_OPTION_EXPLICIT_VHOSTS;
    info.fd_limit_per_thread = TextOutServerDescriptors;
    info.max_http_header_pool = TextOutHandshakes;
    state->context = lws_create_context(&info);
    if (!state->context) {
        Error = "127.0.0.1:" + std::to_string(Port) + " cannot be had (libwebsockets did not start)";
        return nullptr;
    }
    info.port = Port;
    info.iface = "127.0.0.1";
    info.protocols = state->protocols;
    info.options = LWS_SERVER_OPTION_FAIL_UPON_UNABLE_TO_BIND | LWS_SERVER_OPTION_DISABLE_IPV6;
    info.timeout_secs_ah_idle = TextOutHandshakeSeconds;
    info.keepalive_timeout = TextOutHandshakeSeconds;
    lws_vhost* vhost = lws_create_vhost(state->context, &info);
    if (!vhost) {
        Error = "127.0.0.1:" + std::to_string(Port) + " cannot be had (in use or not allowed)";
        return nullptr;
    }
    const int port = lws_get_vhost_listen_port(vhost);
    state->port = uint16_t(port > 0 ? port : Port);
    try {
        state->thread = std::thread([s = state.get()] { s->Run(); });
    } catch (const std::exception&) {
        Error = "no thread could be made for it";
        return nullptr;
    }
    return std::unique_ptr<TextOutServer>(new TextOutServer(std::move(state)));
}

TextOutServer::TextOutServer(std::unique_ptr<State> S) : state_(std::move(S)) {}

TextOutServer::~TextOutServer() = default;

void TextOutServer::Deliver(const TextOutItem& Item) { SendFrame(TextOutPlain(Item)); }

void TextOutServer::SendFrame(const std::string& Frame) { state_->Queue(Frame); }

uint16_t TextOutServer::Port() const { return state_->port; }

int TextOutServer::ClientCount() const {
    const std::lock_guard guard(state_->lock);
    return int(state_->clients.size());
}

}  // namespace platform
