#include "tests/common/fixture.h"

#include "platform/fs.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <sys/wait.h>

namespace {
std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}
}  // namespace

std::string PythonOutput(const std::string& script, const std::vector<std::string>& args) {
    const std::string path = script.starts_with('/') ? script : std::string(VELA_TEST_TOOLS) + "/" + script;
    std::string command = Quote(VELA_PYTHON) + " " + Quote(path);
    for (const auto& a : args) command += " " + Quote(a);
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        ADD_FAILURE() << "cannot run " << command;
        return {};
    }
    std::string out;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    int status = pclose(pipe);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ADD_FAILURE() << command << " failed";
    return out;
}

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args) {
    const std::string errFile = FreshHostFolder() + "stderr";
    std::string command = Quote(program);
    for (const auto& a : args) command += " " + Quote(a);
    FILE* pipe = popen((command + " 2>" + Quote(errFile)).c_str(), "r");
    std::string out;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    const int status = pclose(pipe);
    std::ifstream err(errFile, std::ios::binary);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out, std::string(std::istreambuf_iterator<char>(err), {})};
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<ReferenceRecord> ReferenceRecords(const std::string& script, const std::vector<std::string>& args) {
    std::vector<ReferenceRecord> records;
    for (const std::string& line : Lines(PythonOutput(script, args))) {
        std::istringstream fields(line);
        ReferenceRecord r;
        std::string stored, asRead;
        fields >> r.version >> stored >> asRead;
        r.stored = FromHex(stored);
        r.asRead = FromHex(asRead);
        records.push_back(std::move(r));
    }
    return records;
}

std::string FromHex(const std::string& hex) {
    std::string out, digits;
    for (char c : hex)
        if (isxdigit(static_cast<unsigned char>(c))) digits += c;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
    return out;
}

std::string ToHex(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string Bytes(TMemoryStream& Stream) {
    return std::string(reinterpret_cast<const char*>(Stream.Memory()), static_cast<size_t>(Stream.Size()));
}

TMemoryStream StreamOf(const std::string& Data) {
    TMemoryStream stream;
    stream.WriteBuffer(Data.data(), static_cast<int64_t>(Data.size()));
    stream.SetPosition(0);
    return stream;
}

std::string FileText(const std::string& HostPath) {
    std::ifstream file(HostPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

void WriteHostFile(const std::string& HostPath, const std::string& Bytes) {
    std::filesystem::create_directories(std::filesystem::path(HostPath).parent_path());
    std::ofstream(HostPath, std::ios::binary) << Bytes;
}

std::string RandomBytes(size_t Size, unsigned Seed) {
    std::mt19937 random(Seed);
    std::string bytes(Size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

std::string FreshHostFolder() {
    static std::atomic<int> counter{0};
    auto temp = platform::fs::ToHostPath(platform::fs::TempFolder());
    std::string folder = *temp + "t" + std::to_string(counter++) + "/";
    mkdir(folder.c_str(), 0777);
    return folder;
}

namespace {
// The private temporary folder goes away with the test program.
class TempFolderCleanup : public testing::Environment {
    void TearDown() override { platform::fs::RemoveTempFolder(); }
};
[[maybe_unused]] testing::Environment* const cleanup = testing::AddGlobalTestEnvironment(new TempFolderCleanup);
}  // namespace

namespace {
// Sets or clears the immutable flag of a host folder; whether the file system took it.
bool SetImmutable(const std::string& Folder, bool On) {
    const int fd = open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = On ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    done = done && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    close(fd);
    return done;
}
}  // namespace

ReadOnlyFolder::ReadOnlyFolder(std::string folder) : folder_(std::move(folder)) {
    chmod(folder_.c_str(), 0555);
    if (geteuid() == 0) SetImmutable(folder_, true);
}

ReadOnlyFolder::~ReadOnlyFolder() {
    if (geteuid() == 0) SetImmutable(folder_, false);
    chmod(folder_.c_str(), 0755);
}

bool ReadOnlyFolder::Held() const {
    const std::string probe = folder_ + "/probe";
    if (mkdir(probe.c_str(), 0700) != 0) return true;
    rmdir(probe.c_str());
    return false;
}

ScopedEnvironment::ScopedEnvironment(const char* name, const char* value) : name_(name) {
    const char* old = getenv(name);
    hadOld_ = old != nullptr;
    if (old) old_ = old;
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

ScopedEnvironment::~ScopedEnvironment() {
    if (hadOld_)
        setenv(name_.c_str(), old_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

double ToneAmplitude(const std::vector<int16_t>& Pcm, double Hz, int32_t FromMs, int32_t ToMs) {
    const size_t from = size_t(FromMs) * 441 / 10, to = std::min(Pcm.size() / 2, size_t(ToMs) * 441 / 10);
    double re = 0, im = 0;
    for (size_t i = from; i < to; ++i) {
        const double phase = 2 * M_PI * Hz * double(i) / 44100;
        re += Pcm[2 * i] * std::cos(phase);
        im += Pcm[2 * i] * std::sin(phase);
    }
    return to > from ? 2 * std::hypot(re, im) / double(to - from) : 0;
}

double MeanColourDifference(const TDIB& A, const TDIB& B) {
    int64_t sum = 0;
    for (int32_t y = 0; y < A.Height(); ++y)
        for (int32_t x = 0; x < A.Width(); ++x) {
            const TRGBQuad a = A.ValueColor(A.GetPixel(x, y)), b = B.ValueColor(B.GetPixel(x, y));
            sum += std::abs(QuadRed(a) - QuadRed(b)) + std::abs(QuadGreen(a) - QuadGreen(b)) +
                   std::abs(QuadBlue(a) - QuadBlue(b));
        }
    return double(sum) / (3.0 * A.Width() * A.Height());
}
