#pragma once
// The title's memory budget: one limit for the player's whole heap, so that neither a small
// hostile file nor a runaway script makes the player take more than it for the whole title.
// The limit is VELA_MEMORY_LIMIT mebibytes when that is set, else a quarter of the machine's
// physical memory, at most 2 GiB.
//
// Every allocation of the program, the companion library and the C libraries they use is
// counted in one place here: the C allocation functions (malloc, free, calloc, realloc and the
// aligned forms) and the global operator new and delete are replaced, each counting what it
// takes and gives back, so containers, objects, strings, temporaries and what a decoder, a font
// or the synthesiser allocates at the player's request are charged without anyone writing a
// charge. (Under a sanitizer its runtime keeps the heap: its allocation hooks count, and the
// replaced new refuses before handing over to the runtime's own.) Each thread keeps its own
// count and settles it with the shared total in steps of 64 KiB, so that an allocation pays no
// atomic operation; what a thread frees counts off whichever thread made it, and a thread that
// ends hands its count over.
//
// An allocation past the limit is refused only on a thread inside a TBudgetRefusal (the
// commands, readers and ticks of the title), only from new, and never while an exception
// unwinds; anywhere else it is made and counted, and the next refusable allocation refuses. A C
// library's allocation is never refused: one that passes the limit inside a TBudgetRefusal has
// the thread's next new refused. A refused new raises EMemoryBudget; a refused new
// (std::nothrow) answers nullptr, a refusal its caller tells.
#include <cstdint>
#include <exception>
#include <new>

// The error when the title's memory is used up: a std::bad_alloc, so that code making do
// without an allocation the host refuses makes do alike without one the budget refuses.
class EMemoryBudget : public std::bad_alloc {
public:
    EMemoryBudget();
    const char* what() const noexcept override;
};

// The message of EMemoryBudget, also given for an allocation the host refused.
extern const char MemoryBudgetMessage[];

// The text an error shows: MemoryBudgetMessage once the budget has refused (whatever a reader
// made of the refusal) or for an allocation the host refused, else its own.
const char* ErrorText(const std::exception& E);

inline constexpr int64_t kMaxDefaultMemoryLimit = int64_t(2) << 30;

// From this size the heap maps each block afresh, its pages faulted in and cleared by the host as
// they are first written, and hands the block back to the host when it is freed.
inline constexpr int64_t kMappedBlock = int64_t(32) << 20;

// The environment variable Name read as a whole number of mebibytes from 1 to 1048576; false
// when it is set to anything else. Bytes is the limit it gives, or Default when it is not set or
// empty. The title's budgets read their limits so.
bool MebibytesFromEnvironment(const char* Name, int64_t Default, int64_t& Bytes);
// VELA_MEMORY_LIMIT read so.
bool MemoryLimitFromEnvironment(int64_t& Bytes);
// The limit in force (read from the environment at first use when nothing set it).
int64_t MemoryLimit();
// The bytes charged now: the shared total with this thread's own count settled into it (other
// threads' counts may be up to one step behind).
int64_t MemoryCharged();
// A new limit, and a fresh start: a refusal under the old one is forgotten. What is charged
// stays charged.
void SetMemoryLimit(int64_t Bytes);
// Whether the budget refused an allocation or a charge since the limit was last set.
bool MemoryRefused();

// While one lives on a thread, an allocation there that passes the limit is refused.
class TBudgetRefusal {
public:
    TBudgetRefusal();
    ~TBudgetRefusal();
    TBudgetRefusal(const TBudgetRefusal&) = delete;
    TBudgetRefusal& operator=(const TBudgetRefusal&) = delete;
};

// While one lives on a thread, nothing there is refused, whatever refusing scopes are open around
// it: what tells the user why the player ends (a refusal's own message among them) is made
// however much the title holds.
class TBudgetRefusalLifted {
public:
    TBudgetRefusalLifted();
    ~TBudgetRefusalLifted();
    TBudgetRefusalLifted(const TBudgetRefusalLifted&) = delete;
    TBudgetRefusalLifted& operator=(const TBudgetRefusalLifted&) = delete;

private:
    int opened_;  // the refusing scopes open when it began
};

// Explicit charges, for what the budget should hold beside the heap. TryChargeMemory
// takes Bytes (0 or more) from the budget; false, taking nothing, when that would pass the limit.
bool TryChargeMemory(int64_t Bytes) noexcept;
void ReleaseMemory(int64_t Bytes) noexcept;

// An explicit charge held by one owner, given back when the owner goes.
class TMemoryCharge {
public:
    TMemoryCharge() = default;
    TMemoryCharge(const TMemoryCharge&) = delete;
    TMemoryCharge& operator=(const TMemoryCharge&) = delete;
    ~TMemoryCharge() {
        if (bytes_) ReleaseMemory(bytes_);
    }

    int64_t Bytes() const { return bytes_; }
    // The charge becomes Bytes: growth is taken first (false, nothing changed, when it does not
    // fit), shrinking gives back.
    bool TryResize(int64_t Bytes) noexcept;

private:
    int64_t bytes_ = 0;
};

// Memory held for reuse (a freed block kept for the next that needs it) stays charged, and is
// given back before the budget refuses anything: the budget then calls Release, which frees what
// it holds without taking any lock an allocating thread may hold and answers whether it freed
// anything. The one given last is called.
void SetMemoryRelease(bool (*Release)() noexcept);

// For tests of what a worker does when the machine has no memory left: while Bytes is above 0,
// every block of Bytes or more asked for on a thread outside a TBudgetRefusal is refused as the
// host refuses one (std::bad_alloc, or nullptr from the forms that must not throw); 0 ends it.
void SimulateHostRefusal(int64_t Bytes);

// A terminate handler for a refusal that met code which cannot pass an exception on: the
// budget's message on standard error and exit status 1, as any refusal ends the player.
void EndOnRefusalAtTerminate();
