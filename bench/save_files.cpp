// Files a title makes the player write, at two sizes ten times apart (see tenfold.h), on the
// title of save_files/ beside this file (a 64 x 48 screen, so that a screenshot's picture costs
// little beside its file), played headless:
//   BM_GameSaveNewSlots: game saves (what GameSave asks and the tick performs), each into a slot
//     of its own, from no save file: 100 and 1,000 slots; beside 1,000 saves into one slot, and
//     beside the host alone rewriting files of the sizes those saves wrote, in the same way.
//   BM_SaveScreenNewFiles: SaveScreen into new files of the title's folder, each name looked up
//     without regard to case among those written before it: 300 and 3,000 files, the second
//     size beside the first's.
// Each run starts from a folder without the files of the one before; they are removed untimed.
#include "app/view.h"
#include "bench/tenfold.h"
#include "core/vrfiles_manager.h"
#include "media/velabind.h"
#include "objects/vitems.h"
#include "platform/clock.h"
#include "platform/display.h"
#include "platform/fs.h"
#include "script/params_parser.h"
#include "script/project.h"
#include "script/services.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kSlots = 100, kShots = 300;

// The player as the program starts it on the title, its first ticks run here.
struct TPlayer {
    platform::HeadlessDisplay Display;
    std::unique_ptr<TFormView> Form;

    TPlayer() {
        BindVelaLibrary(platform::fs::ToProgramPath(VELA_COMPANION_FOLDER "/"));
        CreateVrFileSystem();
        Form = std::make_unique<TFormView>(Display, platform::fs::ToProgramPath(VELA_SAVE_TITLE "/velaplay"),
                                           std::vector<std::string>{});
        Form->UseLoopThread = false;
        Form->FormCreate();
        for (uint32_t now = TLoopThread::TickLength; now <= 3 * TLoopThread::TickLength; now += TLoopThread::TickLength)
            RunTick(Form->Clock, now, TLoopThread::TickLength, [this] { Form->DoLoop(); });
    }
    ~TPlayer() {
        Form.reset();
        FreeVrFileSystem();
        UnbindVelaLibrary();
    }
    bool Started() const { return !Terminating() && Project && Project->Runner && Bases && VrFileManager; }
};

// Game saves into Count slots: each a slot of its own from slot 0 on, else all into slot 0; the
// nanoseconds taken. The save file's size after each save is appended to Sizes when given, untimed.
uint64_t SaveSlots(int Count, bool NewSlots, std::vector<int64_t>* Sizes = nullptr) {
    const std::string file = *platform::fs::ToHostPath(Project->GetSaveFileName());
    uint64_t taken = 0;
    for (int32_t i = 0; i < Count; ++i) {
        Project->PendingSave = NewSlots ? i : 0;
        Project->SaveCaption = "slot " + std::to_string(i);
        const uint64_t start = platform::ClockNs();
        Project->ProcessPending();
        taken += platform::ClockNs() - start;
        if (Sizes) Sizes->push_back(static_cast<int64_t>(std::filesystem::file_size(file)));
    }
    return taken;
}

// The host alone rewriting the save file with Sizes bytes in turn, as a save rewrites it: each a
// new file beside it, synced when one stands at its name, renamed over it; the nanoseconds taken,
// none when a step failed. The file is removed after.
uint64_t BareRewrites(const std::vector<int64_t>& Sizes) {
    const std::string file = *platform::fs::ToHostPath(Project->GetSaveFileName()), part = file + ".$$$";
    const std::vector<char> bytes(static_cast<size_t>(*std::ranges::max_element(Sizes)), 'v');
    bool done = true;
    const uint64_t start = platform::ClockNs();
    for (size_t i = 0; i < Sizes.size(); ++i) {
        const int fd = open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        bool step = fd >= 0 && write(fd, bytes.data(), static_cast<size_t>(Sizes[i])) == Sizes[i] &&
                    (i == 0 || fsync(fd) == 0);
        if (fd >= 0) step = close(fd) == 0 && step;
        done = step && rename(part.c_str(), file.c_str()) == 0 && done;
    }
    const uint64_t taken = platform::ClockNs() - start;
    std::remove(file.c_str());
    return done ? taken : 0;
}

// The save file removed and the slots forgotten; whether it listed Count slots.
bool ClearSaves(int Count) {
    const bool listed = Project->SlotCaptions.Count() == Count;
    platform::fs::DeleteFile(Project->GetSaveFileName());
    Project->ReadSaveList();
    return listed;
}

// Both sizes from no save file, then the larger count of saves into one slot: "x_one_slot" is the
// larger size's time over that. "bare_large_ms" is the host's own rewrite of the files the larger
// size wrote, and "bare_share" the part of what the larger size takes beyond the saves into one
// slot that the host's own rewrites take beyond theirs: what grows with the slots and is the
// host's work on the bytes of the file.
void BM_GameSaveNewSlots(benchmark::State& State) {
    TPlayer player;
    if (!player.Started()) return State.SkipWithError("the title did not start");
    ClearSaves(0);
    uint64_t small = 0, large = 0, oneSlot = 0, bareLarge = 0, bareOne = 0;
    bool written = true;
    for (auto _ : State) {
        std::vector<int64_t> largeSizes, oneSizes;
        small += SaveSlots(kSlots, true);
        State.PauseTiming();
        written = ClearSaves(kSlots) && written;
        State.ResumeTiming();
        large += SaveSlots(10 * kSlots, true, &largeSizes);
        State.PauseTiming();
        written = ClearSaves(10 * kSlots) && written;
        State.ResumeTiming();
        oneSlot += SaveSlots(10 * kSlots, false, &oneSizes);
        State.PauseTiming();
        written = ClearSaves(1) && written;
        const uint64_t bareL = BareRewrites(largeSizes), bareO = BareRewrites(oneSizes);
        written = bareL > 0 && bareO > 0 && written;
        bareLarge += bareL;
        bareOne += bareO;
        State.ResumeTiming();
    }
    ReportTenfold(State, small, large);
    State.counters["x_one_slot"] = TenfoldRatio(oneSlot, large);
    State.counters["bare_large_ms"] = double(bareLarge) * 1e-6 / double(State.iterations());
    State.counters["bare_share"] =
        (double(bareLarge) - double(bareOne)) / std::max(double(large) - double(oneSlot), 1.0);
    if (!written) State.SkipWithError("the slots were not written");
}

// The pictures of a size are named after it.
std::string ShotName(int Count, int Index) { return "shot" + std::to_string(Count) + "_" + std::to_string(Index) + ".mra"; }

// SaveScreen into Count new files of the title's folder; the nanoseconds taken.
uint64_t SaveScreens(int Count) {
    std::vector<TVelaParser> calls(static_cast<size_t>(Count));
    for (int i = 0; i < Count; ++i)
        CompileExpression("SaveScreen(\"" + ShotName(Count, i) + "\")", calls[size_t(i)]);
    const uint64_t start = platform::ClockNs();
    for (TVelaParser& call : calls) call.Execute();
    return platform::ClockNs() - start;
}

// The pictures of both sizes removed; whether they were there.
bool ClearShots(bool Written) {
    const std::string folder = VrFileManager->BaseFolder();
    bool all = true;
    for (const int count : {kShots, 10 * kShots})
        for (int i = 0; i < count; ++i) all = platform::fs::DeleteFile(folder + ShotName(count, i)) == Written && all;
    return all;
}

void BM_SaveScreenNewFiles(benchmark::State& State) {
    TPlayer player;
    if (!player.Started()) return State.SkipWithError("the title did not start");
    ClearShots(false);
    uint64_t small = 0, large = 0;
    for (auto _ : State) {
        small += SaveScreens(kShots);
        large += SaveScreens(10 * kShots);
    }
    // Removed only after both: a file made soon after many were removed can wait on the host,
    // whose file system may pass over each inode freed in the last moments to find a free one.
    const bool written = ClearShots(true);
    ReportTenfold(State, small, large);
    if (!written) State.SkipWithError("the pictures were not written");
}

}  // namespace

BENCHMARK(BM_GameSaveNewSlots)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SaveScreenNewFiles)->Unit(benchmark::kMillisecond)->Iterations(1);
