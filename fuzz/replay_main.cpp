// "fuzz_replay HARNESS FOLDER...": replays every file of the corpus folders through the harness of
// that name (every harness is linked into this one program), so that each seed and each fixed
// crash stays a regression test. An escaping
// exception or a sanitizer report fails the run, and so does an input that passes the limits the
// fuzzing runs set: 10 s of time or 2 GB of resident memory (an input that only costs gigabytes
// or minutes must not pass slowly). The time counted is the process's processor time, so that
// the limit holds on a loaded machine, where an input's wall time is several times its work;
// an input that waits without working ends at 60 s of wall time. The input's name is printed
// before it runs, and the processor time it took after; the run ends with the slowest input,
// which should stay far below the limit (a tenth of it), so that a loaded machine never fails a
// replay that passes on a quiet one.
#include "fuzz/harness.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int64_t kSecondNs = int64_t(1000) * 1000 * 1000;
constexpr int64_t kTimeLimitNs = 10 * kSecondNs;  // processor time
constexpr int64_t kWaitLimitNs = 60 * kSecondNs;  // wall time
constexpr int64_t kMemoryLimit = int64_t(2) << 30;

// When the running input began, on the wall clock and in the process's processor time; the
// first is 0 between inputs.
std::atomic<int64_t> inputStart{0};
std::atomic<int64_t> inputStartWork{0};

int64_t NowNs(clockid_t Clock) {
    timespec now{};
    clock_gettime(Clock, &now);
    return int64_t(now.tv_sec) * kSecondNs + now.tv_nsec;
}

int64_t ResidentBytes() {
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return int64_t(resident) * sysconf(_SC_PAGESIZE);
}

// Ends the run when the running input passes a limit; the input's name was printed before it.
[[noreturn]] void Watch() {
    for (;;) {
        const timespec step{0, 20 * 1000 * 1000};
        nanosleep(&step, nullptr);
        const int64_t start = inputStart.load();
        if (start && NowNs(CLOCK_PROCESS_CPUTIME_ID) - inputStartWork.load() > kTimeLimitNs) {
            std::fprintf(stderr, "replay: the input took more than 10 s of processor time\n");
            std::_Exit(1);
        }
        if (start && NowNs(CLOCK_MONOTONIC) - start > kWaitLimitNs) {
            std::fprintf(stderr, "replay: the input ran longer than 60 s\n");
            std::_Exit(1);
        }
        if (const int64_t resident = ResidentBytes(); resident > kMemoryLimit) {
            std::fprintf(stderr, "replay: the input took %lld MB of memory, more than 2048 MB\n",
                         static_cast<long long>(resident >> 20));
            std::_Exit(1);
        }
    }
}

std::map<std::string, fuzz::TTestOneInput>& Harnesses() {
    static std::map<std::string, fuzz::TTestOneInput> harnesses;
    return harnesses;
}

}  // namespace

bool fuzz::RegisterHarness(const char* Name, TTestOneInput Test) {
    Harnesses().emplace(Name, Test);
    return true;
}

int main(int argc, char** argv) {
    const auto harness = argc > 2 ? Harnesses().find(argv[1]) : Harnesses().end();
    if (harness == Harnesses().end()) {
        std::fprintf(stderr, "usage: fuzz_replay HARNESS FOLDER...\nharnesses:");
        for (const auto& [name, test] : Harnesses()) std::fprintf(stderr, " %s", name.c_str());
        std::fprintf(stderr, "\n");
        return 2;
    }
    std::vector<std::filesystem::path> inputs;
    for (int i = 2; i < argc; ++i)
        for (const auto& entry : std::filesystem::directory_iterator(argv[i]))
            if (entry.is_regular_file()) inputs.push_back(entry.path());
    std::sort(inputs.begin(), inputs.end());
    std::thread(Watch).detach();
    std::string slowest;
    int64_t slowestWork = -1;
    for (const auto& path : inputs) {
        std::ifstream file(path, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(file), {}};
        std::printf("%s\n", path.filename().c_str());
        std::fflush(stdout);
        const int64_t startWork = NowNs(CLOCK_PROCESS_CPUTIME_ID);
        inputStartWork = startWork;
        inputStart = NowNs(CLOCK_MONOTONIC);
        fuzz::RunInput(harness->second, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        inputStart = 0;
        const int64_t work = NowNs(CLOCK_PROCESS_CPUTIME_ID) - startWork;
        std::printf("  %.2f s\n", double(work) / double(kSecondNs));
        if (work > slowestWork) {
            slowestWork = work;
            slowest = path.filename().string();
        }
    }
    std::printf("%zu inputs replayed\n", inputs.size());
    if (slowestWork >= 0)
        std::printf("slowest input of %s: %s, %.2f s\n", harness->first.c_str(), slowest.c_str(),
                    double(slowestWork) / double(kSecondNs));
    return inputs.empty() ? 1 : 0;
}
