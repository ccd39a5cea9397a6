#pragma once
// SIGTERM and SIGINT, the host's requests to end the program. The program catches them itself
// rather than leave them to whichever library starts first (SDL turns them into an event of its
// own queue, which a headless run never reads); the display takes one as a close of its window.

namespace platform {

// From the first call on, a SIGTERM or SIGINT is kept for TakeEndSignal. Once one has come, the
// next ends the program as the signal's default does: a player the first could not end still
// ends.
void CatchEndSignals();
// Whether a caught SIGTERM or SIGINT waits; TakeEndSignal takes it.
bool EndSignalWaiting();
bool TakeEndSignal();
// Whether a SIGTERM or SIGINT has come, taken or not: the program is ending. The desktop's boxes
// close and no other opens (they answer as closed).
bool EndSignalCame();

}  // namespace platform
