#pragma once
// What the harnesses share: the entry that runs each input under the title's memory budget, the
// check that stops the run, the input as a memory stream, a work file for readers that take a
// file, the globals of one run made and freed around an input, and what no input changes (the
// built-in function table, the fake fonts), made once per process.
#include "core/installset.h"
#include "core/membudget.h"
#include "core/streams.h"
#include "core/vrfiles_manager.h"
#include "media/screenman.h"
#include "objects/vitems.h"
#include "platform/fs.h"
#include "script/commands.h"
#include "script/pages.h"
#include "script/params_funcs.h"
#include "script/params_vars.h"
#include "script/services.h"
#include "script/services_objects.h"
#include "text/fontpixels.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <type_traits>

namespace fuzz {

inline void Check(bool Condition) {
    if (!Condition) std::abort();
}

// The screen (pixels a side): the scene reader refuses larger scenes, so that no input spends its
// time filling large layers.
inline constexpr int32_t MaxSceneExtent = 64;

// The title's memory for one input, over what the process holds as the input starts (the fuzzing
// engine's own corpus and tables are counted too, and grow as it runs): well below the 2 GB the
// fuzzing runs watch for, so that a reader or a script driven into it is refused, not killed, and
// small enough that an input reaches the refusal in a fraction of a second (faulting in each block
// of it is work too).
inline constexpr int64_t InputMemoryLimit = int64_t(64) << 20;

inline TMemoryStream StreamOf(const void* Data, size_t Size) {
    TMemoryStream stream;
    stream.WriteBuffer(Data, static_cast<int64_t>(Size));
    stream.SetPosition(0);
    return stream;
}

inline std::string BytesOf(TMemoryStream& Stream) {
    return std::string(reinterpret_cast<const char*>(Stream.Memory()), static_cast<size_t>(Stream.Size()));
}

// What Item's SaveToStream writes.
template <class T>
std::string Written(T& Item) {
    TMemoryStream stream;
    Item.SaveToStream(stream);
    return BytesOf(stream);
}

// A new T in the scene, left without an automatic name where its constructor offers the choice.
template <class T>
T* NewSceneObject() {
    if constexpr (std::is_constructible_v<T, TVelaBaseList*, bool>) return new T(Bases, false);
    else return new T(Bases);
}

// A scene object's record from fuzz input: the first byte picks the save version, the rest is the
// record, read into a new T on the first layer. Answers nullptr when the read raises one of the
// engine's own errors; a record that reads is written out, read back into a second T and must
// write the same, unless it names a system object: the player never saves one (some of its flags
// answer its parent's), so its record is not expected to come back.
template <class T>
T* LoadSceneRecord(const uint8_t* Data, size_t Size) {
    if (Size < 1) return nullptr;
    const int32_t version = 100 + Data[0] % (GameSaveVersion - 99);
    auto* item = NewSceneObject<T>();
    item->SetParent(Bases->GetBase(0));
    TMemoryStream stream = StreamOf(Data + 1, Size - 1);
    try {
        item->LoadFromStream(stream, version);
    } catch (const EVelaError&) {
        return nullptr;
    }
    if (IsSystemName(item->GetName())) return item;
    const std::string written = Written(*item);
    TMemoryStream again = StreamOf(written.data(), written.size());
    auto* copy = NewSceneObject<T>();
    copy->LoadFromStream(again, GameSaveVersion);
    Check(Written(*copy) == written);
    delete copy;
    return item;
}

// Steps the scene, draws the first layer whole and hit-tests it on a grid of points.
inline void StepDrawAndHitTest() {
    Bases->Step();
    Bases->GetBase(0)->InvalidateAll();
    Bases->Prepare();
    for (int32_t y = 0; y < MaxSceneExtent; y += 7)
        for (int32_t x = 0; x < MaxSceneExtent; x += 7) Bases->GetBase(0)->HitTest({x, y}, 0xFF);
}

// A file of the process's private temporary folder (program path), removed with the folder
// when the run ends.
inline std::string WorkFile(const std::string& Name) {
    static const std::string folder = [] {
        std::atexit(platform::fs::RemoveTempFolder);
        return platform::fs::TempFolder();
    }();
    return folder + Name;
}

// Glyphs from the fake font service for a harness that draws text: one manager for the whole
// process, since listing the installed fonts takes longer than most inputs.
inline void UseFakeFonts() {
    static TFontPixelManager* const fonts = new TFontPixelManager(platform::CreateFakeFontService);
    FontPixelManager = fonts;
}

// The globals a script needs, as the player makes them: the file manager with its memory
// collection, the script services (headless host), the variable table, the built-in functions,
// the command factory, the default page, the object root seen by the script, and a screen of
// MaxSceneExtent a side in memory. Freed in the player's shut-down order, all but the built-in
// function table: it holds nothing of an input and takes longer to make than most inputs to run,
// so it is made by the first world and kept. The terminating flag is cleared both ways.
class TWorld {
public:
    TWorld() {
        SetTerminating(false);
        CreateVrFileSystem();
        VrFileManager->SetCdRoots({});
        VrFileManager->Add("");
        CreateScriptServices();
        CreateParamMan();
        CreateSysFuncMan();
        CreateCommandFactory();
        CreateDefaultPage();
        VelaInitialize();
        Bases->SetWidth(MaxSceneExtent);
        Bases->SetHeight(MaxSceneExtent);
        panel_.SetBounds(0, 0, MaxSceneExtent, MaxSceneExtent);
        ScreenMan = new TScreenManager(nullptr, &panel_, MaxSceneExtent, MaxSceneExtent, 0, 0);
        SetScriptObjects(std::make_unique<TSceneObjects>());
    }
    ~TWorld() {
        FreeDefaultPage();
        FreeCommandFactory();
        FreeParamMan();
        SetScriptObjects(nullptr);
        delete ScreenMan;
        ScreenMan = nullptr;
        VelaFinalize();
        FreeScriptServices();
        FreeVrFileSystem();
        SetTerminating(false);
    }
    TWorld(const TWorld&) = delete;
    TWorld& operator=(const TWorld&) = delete;

    // Puts a file into the file manager's memory collection.
    void AddFile(const std::string& Name, const void* Data, size_t Size) {
        VrFileManager->GetCollection(0).AddStream(Name).DataSource->WriteBuffer(Data, static_cast<int64_t>(Size));
    }
    void AddFile(const std::string& Name, const std::string& Bytes) { AddFile(Name, Bytes.data(), Bytes.size()); }
    // The files of a title installed whole: "install.dat" of the set "t" and the project file.
    void AddTitle(const void* ProjectFile, size_t Size) {
        TVelaInstallSet set;
        set.SetId = "t";
        set.FullyInstalled = 1;
        AddFile("install.dat", Written(set));
        AddFile("vela.vpb", ProjectFile, Size);
    }

private:
    TBasePanel panel_;
};

}  // namespace fuzz

// In the replay program every harness is linked into one program: each one's test takes a name
// of its own there (TestOneInput_bmp_read) and is registered under the harness's name.
#ifdef VELA_REPLAY_HARNESS
#define VELA_JOIN_NAME(A, B) A##B
#define VELA_HARNESS_TEST(Name) VELA_JOIN_NAME(TestOneInput_, Name)
#define TestOneInput VELA_HARNESS_TEST(VELA_REPLAY_HARNESS)
#endif

// The harness's test of one input, which each harness defines: 0, or -1 to keep the input out of
// libFuzzer's corpus.
int TestOneInput(const uint8_t* Data, size_t Size);

namespace fuzz {

using TTestOneInput = int (*)(const uint8_t* Data, size_t Size);

// Runs Test on one input as a title's readers and commands run, inside a TBudgetRefusal with
// InputMemoryLimit to spend (set afresh, so that a refusal of the input before is forgotten), and a
// refusal that leaves it ends the input: a reader running away ends at the budget, not at the
// fuzzing run's watch.
inline int RunInput(TTestOneInput Test, const uint8_t* Data, size_t Size) {
    SetMemoryLimit(MemoryCharged() + InputMemoryLimit);
    try {
        const TBudgetRefusal refusing;
        return Test(Data, Size);
    } catch (const EMemoryBudget&) {
        return 0;
    }
}

// The replay program's table of harnesses; true.
bool RegisterHarness(const char* Name, TTestOneInput Test);

}  // namespace fuzz

#ifdef VELA_REPLAY_HARNESS
#define VELA_QUOTE_NAME(Name) #Name
#define VELA_HARNESS_NAME(Name) VELA_QUOTE_NAME(Name)
namespace {
[[maybe_unused]] const bool harnessRegistered =
    fuzz::RegisterHarness(VELA_HARNESS_NAME(VELA_REPLAY_HARNESS), TestOneInput);
}
#elif !defined(VELA_REPLAY)
// The entry libFuzzer calls, defined here for every harness and emitted ("used") though nothing in
// a harness calls it: libFuzzer's driver does.
extern "C" [[gnu::used]] inline int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    return fuzz::RunInput(TestOneInput, Data, Size);
}
#endif
