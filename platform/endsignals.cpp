// SIGTERM and SIGINT caught by the program: the handler only sets flags (lock-free atomics are
// safe there), the display reads them on the main thread.
#include "platform/endsignals.h"

#include <SDL.h>
#include <signal.h>

#include <atomic>
#include <cerrno>

namespace platform {
namespace {

static_assert(std::atomic<bool>::is_always_lock_free);
std::atomic<bool> Waiting{false};  // a signal not yet taken
std::atomic<bool> Came{false};     // a signal has come since the catching began

void Caught(int Number) {
    if (!Came.exchange(true)) {
        Waiting.store(true);
        return;
    }
    // Raised again under the default action, delivered as the handler returns.
    const int saved = errno;
    signal(Number, SIG_DFL);
    raise(Number);
    errno = saved;
}

}  // namespace

void CatchEndSignals() {
    // SDL leaves them alone: its video or audio start would otherwise take them over.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    struct sigaction action {};
    action.sa_handler = Caught;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGTERM);
    sigaddset(&action.sa_mask, SIGINT);
    action.sa_flags = SA_RESTART;  // a system call the signal comes in goes on
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

bool EndSignalWaiting() { return Waiting.load(); }

bool TakeEndSignal() { return Waiting.exchange(false); }

bool EndSignalCame() { return Came.load(); }

}  // namespace platform
