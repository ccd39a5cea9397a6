// vimage: pictures through the player's own image surface. It converts between BMP, TGA, ICO and
// CUR files (and writes PAM for comparing decoders), reduces colours, applies the bitmap effects
// and tells what a file holds. Paths on the command line and text on the terminal are UTF-8; the engine's error
// texts are Shift-JIS and are converted for the terminal.
#include "core/streams.h"
#include "core/sysutils.h"
#include "graphics/dibsfc.h"
#include "tools/toolkit.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace toolkit;

constexpr const char* kUsage =
    "usage: vimage convert IN OUT                      OUT's format by its extension: .bmp (else), .tga, .ico,\n"
    "                                                  .cur, or .pam (8-bit RGBA, alpha 255 where IN has none)\n"
    "       vimage info FILE                           size, depth, palette, colour count and alpha\n"
    "       vimage greyscale IN OUT [--bits N]         greys at N bits (1, 4, 8, 16, 24, 32; default 8)\n"
    "       vimage blur IN OUT RADIUS [--bits N]       box blur at N bits (default 24)\n"
    "       vimage negative IN OUT                     inverted colours, depth kept\n"
    "       vimage reduce IN OUT [--bits N] [--method M] [--dither] [--colors K]\n"
    "           to N bits (1, 4, 8, 15, 16, 24, 32; default 8) under the colour limit K (default 2^N);\n"
    "           method 0 depth conversion (default), 1 octree (with --dither the fixed palette),\n"
    "           2 and 3 median cut by extent and by variance; --dither diffuses the error\n"
    "IN is read as a TGA, icon or cursor file by its extension, else as a BMP file.\n";

// ---- Arguments ----

// A command's words and its options: "--NAME VALUE", or the flag "--dither".
struct TArguments {
    std::vector<std::string> Words;
    std::map<std::string, std::string> Options;
};

TArguments Parse(const std::vector<std::string>& Args) {
    TArguments parsed;
    for (size_t i = 1; i < Args.size(); ++i) {
        if (!Args[i].starts_with("--")) {
            parsed.Words.push_back(Args[i]);
            continue;
        }
        const std::string name = Args[i].substr(2);
        if (name == "dither")
            parsed.Options[name] = "1";
        else if (i + 1 < Args.size())
            parsed.Options[name] = Args[++i];
        else
            throw EUsage();
    }
    return parsed;
}

// The command takes Words words and no option outside Known.
void Expect(const TArguments& Args, size_t Words, std::initializer_list<std::string_view> Known) {
    if (Args.Words.size() != Words) throw EUsage();
    for (const auto& [name, value] : Args.Options)
        if (std::find(Known.begin(), Known.end(), name) == Known.end()) throw EUsage();
}

// A whole decimal number, all of Text, within Lo..Hi.
int32_t Number(const std::string& Text, int32_t Lo, int32_t Hi, const std::string& What) {
    int32_t value = 0;
    const auto [end, error] = std::from_chars(Text.data(), Text.data() + Text.size(), value);
    if (error != std::errc() || end != Text.data() + Text.size() || value < Lo || value > Hi)
        throw EToolError(What + " must be a whole number from " + std::to_string(Lo) + " to " + std::to_string(Hi));
    return value;
}

// The value of option "--NAME" within Lo..Hi; Default when not given.
int32_t Option(const TArguments& Args, const std::string& Name, int32_t Default, int32_t Lo, int32_t Hi) {
    const auto given = Args.Options.find(Name);
    return given == Args.Options.end() ? Default : Number(given->second, Lo, Hi, "--" + Name);
}

// The depth of option "--bits", one of Allowed; Default when not given.
int32_t Depth(const TArguments& Args, int32_t Default, std::initializer_list<int32_t> Allowed) {
    const int32_t bits = Option(Args, "bits", Default, 1, 32);
    if (std::find(Allowed.begin(), Allowed.end(), bits) == Allowed.end())
        throw EToolError("--bits " + std::to_string(bits) + ": not a depth this command makes");
    return bits;
}

// ---- Files ----

void Load(TDIBSurface& Picture, const std::string& Arg) {
    Picture.LoadFromFile(ProgramPathOf(HostPathOf(Arg)));
    if (Picture.Empty()) throw EToolError(Arg + ": holds no picture this reader knows");
}

// The picture as an 8-bit RGBA PAM file, rows from the top; opacity from Alpha, else 255.
std::string PamOf(const TDIBSurface& Picture) {
    std::string out = Format("P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n",
                             Picture.Width(), Picture.Height());
    std::vector<TRGBQuad> colors(size_t(Picture.Width()));
    for (int32_t y = 0; y < Picture.Height(); ++y) {
        Picture.RowColors(y, colors.data());
        const uint8_t* alpha = Picture.Alpha ? Picture.Alpha->ScanLineReadOnly(y) : nullptr;
        for (int32_t x = 0; x < Picture.Width(); ++x) {
            const TRGBQuad c = colors[size_t(x)];
            out += char(QuadRed(c)), out += char(QuadGreen(c)), out += char(QuadBlue(c));
            out += char(alpha ? alpha[x] : 255);
        }
    }
    return out;
}

// Writes the picture in the format of Arg's extension; the old file stays whole on failure.
void Save(const TDIBSurface& Picture, const std::string& Arg) {
    const std::string path = ProgramPathOf(HostPathOf(Arg));
    if (AnsiLowerCase(ExtractFileExt(path)) != ".pam") return Picture.SaveToFile(path);
    const std::string pam = PamOf(Picture);
    WriteFileReplacing(path, [&](TStream& Stream) { Stream.WriteBuffer(pam.data(), int64_t(pam.size())); });
}

// ---- Commands ----

void Info(const std::string& Arg) {
    TDIBSurface picture;
    Load(picture, Arg);
    std::printf("size: %d x %d\ndepth: %d bits\n", picture.Width(), picture.Height(), picture.GetBitCountEx());
    if (picture.PaletteCount() == 0)
        std::printf("palette: none\n");
    else if (const int32_t unused = picture.UsedPaletteLength(); unused < 0)
        std::printf("palette: %d entries, all used\n", picture.PaletteCount());
    else
        std::printf("palette: %d entries, the first unused %d\n", picture.PaletteCount(), unused);
    std::printf("colours: %d\nalpha: %s\n", picture.CountColors(), picture.Alpha ? "yes" : "no");
}

// Loads IN (the first word), changes the picture and saves it as OUT (the second word).
template <class ChangeFn>
void Change(const TArguments& Args, ChangeFn Fn) {
    TDIBSurface picture;
    Load(picture, Args.Words[0]);
    Fn(picture);
    Save(picture, Args.Words[1]);
}

void Run(const std::vector<std::string>& Args) {
    if (Args.empty()) throw EUsage();
    const std::string& command = Args[0];
    const TArguments args = Parse(Args);
    if (command == "convert") {
        Expect(args, 2, {});
        Change(args, [](TDIBSurface&) {});
    } else if (command == "info") {
        Expect(args, 1, {});
        Info(args.Words[0]);
    } else if (command == "greyscale") {
        Expect(args, 2, {"bits"});
        const int32_t bits = Depth(args, 8, {1, 4, 8, 16, 24, 32});
        Change(args, [&](TDIBSurface& Picture) { Picture.Greyscale(bits); });
    } else if (command == "blur") {
        Expect(args, 3, {"bits"});
        const int32_t bits = Depth(args, 24, {1, 4, 8, 16, 24, 32});
        const int32_t radius = Number(args.Words[2], 0, 1 << 20, "RADIUS");
        Change(args, [&](TDIBSurface& Picture) { Picture.Blur(bits, radius); });
    } else if (command == "reduce") {
        Expect(args, 2, {"method", "bits", "dither", "colors"});
        const int32_t bits = Depth(args, 8, {1, 4, 8, 15, 16, 24, 32});
        const int32_t method = Option(args, "method", 0, 0, 3);
        const int32_t colors = Option(args, "colors", bits <= 8 ? 1 << bits : 0, 0, 256);
        const bool dither = args.Options.contains("dither");
        Change(args, [&](TDIBSurface& Picture) { Picture.ReduceColors(method, bits, dither, colors); });
    } else if (command == "negative") {
        Expect(args, 2, {});
        Change(args, [](TDIBSurface& Picture) { Picture.Negative(); });
    } else {
        throw EUsage();
    }
}

}  // namespace

int main(int argc, char** argv) { return toolkit::RunTool("vimage", kUsage, argc, argv, Run); }
