// vwipe: frames of one screen transition between two pictures, side by side in one strip image,
// for checking a transition by eye and for attaching to bug reports. The pictures are drawn
// through the player's own transitions on its own surfaces.
#include "core/vrfiles_manager.h"
#include "graphics/dibx.h"
#include "graphics/miras.h"
#include "text/wipes.h"
#include "tools/toolkit.h"

#include <charconv>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace toolkit;

constexpr const char* kUsage =
    "usage: vwipe TYPE OLD NEW OUT.bmp [--frames N] [--bits B] [--param0 V] [--param1 V] [--mask FILE]\n"
    "             [--reverse] [--changed]\n"
    "    N frames (2..64, default 8) of transition TYPE (1..38) from picture OLD to picture NEW, left to\n"
    "    right in one 24-bit BMP; frame i shows the time i/N of the whole. OLD and NEW are BMP, PNG or\n"
    "    Mira files of one size, drawn at B bits (15, 16 or 32; default 32). --param0 and --param1 set\n"
    "    the transition's parameters, --mask FILE its mask image (read from FILE's folder), --reverse\n"
    "    its direction, --changed moves only the pixels that differ.\n";

struct TArguments {
    std::vector<std::string> Words;
    std::map<std::string, std::string> Options;
};

TArguments Parse(const std::vector<std::string>& Args) {
    TArguments parsed;
    for (size_t i = 0; i < Args.size(); ++i) {
        if (!Args[i].starts_with("--")) {
            parsed.Words.push_back(Args[i]);
            continue;
        }
        const std::string name = Args[i].substr(2);
        if (name == "reverse" || name == "changed")
            parsed.Options[name] = "1";
        else if (i + 1 < Args.size() && (name == "frames" || name == "bits" || name == "param0" ||
                                         name == "param1" || name == "mask"))
            parsed.Options[name] = Args[++i];
        else
            throw EUsage();
    }
    if (parsed.Words.size() != 4) throw EUsage();
    return parsed;
}

// A whole decimal number, all of Text, within Lo..Hi.
int32_t Number(const std::string& Text, int32_t Lo, int32_t Hi, const std::string& What) {
    int32_t value = 0;
    const auto [end, error] = std::from_chars(Text.data(), Text.data() + Text.size(), value);
    if (error != std::errc() || end != Text.data() + Text.size() || value < Lo || value > Hi)
        throw EToolError(What + " must be a whole number from " + std::to_string(Lo) + " to " + std::to_string(Hi));
    return value;
}

// The picture of Arg (frame 0 of a Mira file) at Bits bits.
void Load(TDIBX& Picture, const std::string& Arg, int32_t Bits) {
    TMiraFrameList list(0);
    list.LoadFromFile(ProgramPathOf(HostPathOf(Arg)), true, false, false);
    if (list.Count() == 0 || list.GetFrame(0)->Image.Empty())
        throw EToolError(Arg + ": holds no BMP, PNG or Mira picture");
    Picture.SetSize(1, 1, Bits);
    CopyToDIBX(list.GetFrame(0)->Image, Picture);
}

void Run(const std::vector<std::string>& Args) {
    const TArguments args = Parse(Args);
    auto option = [&](const std::string& Name, int32_t Default, int32_t Lo, int32_t Hi) {
        const auto given = args.Options.find(Name);
        return given == args.Options.end() ? Default : Number(given->second, Lo, Hi, "--" + Name);
    };
    const int32_t type = Number(args.Words[0], 1, 38, "TYPE");
    const int32_t frames = option("frames", 8, 2, 64);
    const int32_t bits = option("bits", 32, 15, 32);
    if (bits != 15 && bits != 16 && bits != 32) throw EToolError("--bits must be 15, 16 or 32");
    TDIBX oldPicture, newPicture, screen;
    Load(oldPicture, args.Words[1], bits);
    Load(newPicture, args.Words[2], bits);
    const int32_t width = oldPicture.GetWidth(), height = oldPicture.GetHeight();
    if (newPicture.GetWidth() != width || newPicture.GetHeight() != height)
        throw EToolError(args.Words[2] + ": must be the size of " + args.Words[1]);
    if (int64_t{width} * frames > 32767) throw EToolError("the strip would be wider than 32767 pixels");
    screen.SetSize(width, height, bits);
    screen.Assign(oldPicture);

    CreateVrFileSystem();
    struct TFileSystemEnd {
        ~TFileSystemEnd() { FreeVrFileSystem(); }
    } fileSystemEnd;
    const std::unique_ptr<TCustomWipe> wipe = CreateWipe(type, screen, oldPicture, newPicture);
    if (!wipe) throw EToolError("TYPE " + std::to_string(type) + ": no such transition is built in");
    wipe->Length = frames;
    wipe->SetReverse(args.Options.contains("reverse"));
    if (args.Options.contains("param0")) wipe->SetParam(0, option("param0", 0, INT32_MIN, INT32_MAX));
    if (args.Options.contains("param1")) wipe->SetParam(1, option("param1", 0, INT32_MIN, INT32_MAX));
    if (const auto mask = args.Options.find("mask"); mask != args.Options.end()) {
        const std::filesystem::path host = HostPathOf(mask->second);
        VrFileManager->Add(ProgramPathOf(host.parent_path()) + "\\");
        wipe->SetName(ExactCp932(host.filename().native()));
    }
    wipe->ChangedOnly = args.Options.contains("changed");
    wipe->Prepare();

    TDIBX strip;
    strip.SetSize(width * frames, height, bits);
    for (int32_t i = 0; i < frames; ++i) {
        wipe->Elapsed = i;
        wipe->Step();
        strip.Draw(width * i, 0, screen, screen.GetBoundsRect(), false, false, false);
    }
    const std::string out = ProgramPathOf(HostPathOf(args.Words[3]));
    if (AnsiLowerCase(ExtractFileExt(out)) != ".bmp") throw EToolError(args.Words[3] + ": OUT must end in .bmp");
    strip.SaveToFile(out);
}

}  // namespace

int main(int argc, char** argv) { return toolkit::RunTool("vwipe", kUsage, argc, argv, Run); }
