#pragma once
// Shared helpers of the test suites: independent reference data from the Python scripts of
// tests/tools, and paths of committed fixtures.
#include "core/membudget.h"
#include "core/streams.h"
#include "graphics/dib.h"
#include "platform/errors.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Runs `python3 tests/tools/<script> args...` (a script given by an absolute path: that one) and
// returns what it printed, byte for byte.
// Fails the current test when the script does not exit cleanly.
std::string PythonOutput(const std::string& script, const std::vector<std::string>& args = {});

// Splits the output of a reference script into its lines (without the line ends).
std::vector<std::string> Lines(const std::string& text);

// Bytes from a hex text ("03 00 61", spaces optional), and the reverse ("0300 61" -> "030061").
std::string FromHex(const std::string& hex);
std::string ToHex(const std::string& bytes);

// A program run to its end with the arguments given: its exit status (-1 when it did not exit),
// what it wrote to its standard output and to its standard error.
struct ProgramRun {
    int status;
    std::string out, err;
};
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args);

// A fresh folder of its own under the process's private temporary folder (host path, ends in "/").
std::string FreshHostFolder();

// The bytes of a host file ("" when it cannot be read).
std::string FileText(const std::string& HostPath);
// Writes Bytes to a host file, making its folders first.
void WriteHostFile(const std::string& HostPath, const std::string& Bytes);

// Size bytes of a pseudo-random run, the same for the same Seed.
std::string RandomBytes(size_t Size, unsigned Seed = 7);

// For its life no entry can be made in the host folder, not even by root, whom modes do not
// stop: its mode is 0555 and for root it is also immutable. Held() tells whether that took (the
// file system may not keep the flag).
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(std::string folder);
    ~ReadOnlyFolder();
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
    bool Held() const;

private:
    std::string folder_;
};

// UTF-8 text written as u8"..." in a test, as the bytes the platform layer takes.
inline std::string U8(std::u8string_view s) { return std::string(s.begin(), s.end()); }

// Sets (or with nullptr removes) an environment variable for the life of the object, then
// puts the old value back.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_, old_;
    bool hadOld_;
};

// For its life, SDL opens real windows of its offscreen driver whose pixels stay in memory (no
// OpenGL renderer behind the window surface), and plays no sound.
struct RealWindowEnvironment {
    ScopedEnvironment headless{"VELA_HEADLESS", nullptr};
    ScopedEnvironment video{"SDL_VIDEODRIVER", "offscreen"};
    ScopedEnvironment audio{"SDL_AUDIODRIVER", "dummy"};
    ScopedEnvironment software{"SDL_FRAMEBUFFER_ACCELERATION", "0"};
};

// The mean difference of the red, green and blue channels of two pictures of one size, each
// pixel compared by its colour (whatever the depths and colour tables).
double MeanColourDifference(const TDIB& A, const TDIB& B);

// The amplitude of the Hz component of the left channel of interleaved stereo PCM at 44100 Hz,
// over the frames from FromMs to ToMs.
double ToneAmplitude(const std::vector<int16_t>& Pcm, double Hz, int32_t FromMs, int32_t ToMs);

// The bytes a memory stream holds, and a memory stream holding bytes (positioned at 0).
std::string Bytes(TMemoryStream& Stream);
TMemoryStream StreamOf(const std::string& Data);

// A record of a reference listing (lines "version stored-hex as-read-hex"): the save version
// it was stored under, its bytes as stored and in the newest form a reader saves of it.
struct ReferenceRecord {
    int32_t version = 0;
    std::string stored, asRead;
};
std::vector<ReferenceRecord> ReferenceRecords(const std::string& script, const std::vector<std::string>& args = {});

// Reads the record into Object, which must take every byte, and expects Object to save the
// record's newest form.
template <class T>
void ExpectReadsAsReferenced(T& Object, const ReferenceRecord& Record) {
    TMemoryStream in = StreamOf(Record.stored);
    Object.LoadFromStream(in, Record.version);
    EXPECT_EQ(in.Remaining(), 0);
    TMemoryStream out;
    Object.SaveToStream(out);
    EXPECT_EQ(ToHex(Bytes(out)), ToHex(Record.asRead));
}

// The message of the error Action raises (the engine's own or the budget's refusal), "" when it
// raises none.
template <class F>
std::string ErrorOf(F Action) {
    try {
        Action();
    } catch (const EVelaError& e) {
        return e.what();
    } catch (const EMemoryBudget& e) {
        return e.what();
    }
    return "";
}
