// vimage: pictures through the player's own image surface. It converts between BMP, PNG, Mira, TGA,
// ICO and CUR files (and writes PAM for comparing decoders), builds layered and animated Mira files,
// reduces colours, applies the bitmap effects and tells what a file holds. Paths on the command
// line and text on the terminal are UTF-8; the engine's error texts are Shift-JIS and are converted
// for the terminal.
#include "core/streams.h"
#include "core/sysutils.h"
#include "graphics/dibsfc.h"
#include "graphics/miras.h"
#include "graphics/pngpics.h"
#include "tools/toolkit.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace toolkit;

constexpr const char* kUsage =
    "usage: vimage convert IN OUT                      OUT's format by its extension: .bmp (else), .png, .mra,\n"
    "                                                  .tga, .ico, .cur, or .pam (8-bit RGBA, alpha 255 where IN\n"
    "                                                  has none, 0 on a PNG's transparent colour)\n"
    "       vimage build OUT.mra --delay MS LAYER... [--delay MS LAYER...]...\n"
    "           a Mira file of frames: each --delay starts a frame shown MS milliseconds whose layers are the\n"
    "           pictures after it, bottom first, each of the size, depth and colour table of the first; a\n"
    "           picture's alpha becomes its layer's alpha plane\n"
    "       vimage info FILE                           size, depth, palette, colour count and alpha; the\n"
    "                                                  frames and layers of a Mira file\n"
    "       vimage greyscale IN OUT [--bits N]         greys at N bits (1, 4, 8, 16, 24, 32; default 8)\n"
    "       vimage blur IN OUT RADIUS [--bits N]       box blur at N bits (default 24)\n"
    "       vimage negative IN OUT                     inverted colours, depth kept\n"
    "       vimage reduce IN OUT [--bits N] [--method M] [--dither] [--colors K]\n"
    "           to N bits (1, 4, 8, 15, 16, 24, 32; default 8) under the colour limit K (default 2^N);\n"
    "           method 0 depth conversion (default), 1 octree (with --dither the fixed palette),\n"
    "           2 and 3 median cut by extent and by variance; --dither diffuses the error\n"
    "A .png OUT of any command takes [--filter F] [--level L] [--interlace] [--grey] [--idat N]:\n"
    "    row filter F 0 adaptive, 1 none (default), 2 sub, 3 up, 4 average, 5 Paeth; zlib level L 0..9;\n"
    "    Adam7 interlacing; greys; N bytes a chunk of image data (256..100000, default 32768)\n"
    "A .mra OUT takes [--comp T] [--quality Q]: planes zlib-compressed (T 0, default), stored raw (1), or\n"
    "    image planes as JPEG files of quality Q (2; Q 1..100, default 70) and alpha planes zlib-compressed\n"
    "A .mra IN gives frame K (--frame K, default 0) composed, with its alpha.\n"
    "--code N (0..4294967295, default 0) is the identification code that .mra files are read and written\n"
    "    under; written with a code other than 0, rows are stored raw in the order the code shuffles.\n"
    "IN is read as a PNG, Mira, TGA, icon or cursor file by its extension, else as a BMP file.\n";

// The options of a PNG OUT and of a Mira OUT, taken by every command that writes a picture.
constexpr std::array<std::string_view, 5> kPngOptions = {"filter", "level", "interlace", "grey", "idat"};
constexpr std::array<std::string_view, 2> kMiraOptions = {"comp", "quality"};

// ---- Arguments ----

// A command's words and its options: "--NAME VALUE", or the flags "--dither", "--interlace" and
// "--grey". Given holds both in the order given (a word with an empty name).
struct TArguments {
    std::vector<std::string> Words;
    std::map<std::string, std::string> Options;
    std::vector<std::pair<std::string, std::string>> Given;
};

TArguments Parse(const std::vector<std::string>& Args) {
    TArguments parsed;
    for (size_t i = 1; i < Args.size(); ++i) {
        if (!Args[i].starts_with("--")) {
            parsed.Words.push_back(Args[i]);
            parsed.Given.emplace_back("", Args[i]);
            continue;
        }
        const std::string name = Args[i].substr(2);
        if (name == "dither" || name == "interlace" || name == "grey")
            parsed.Options[name] = "1";
        else if (i + 1 < Args.size())
            parsed.Options[name] = Args[++i];
        else
            throw EUsage();
        parsed.Given.emplace_back(name, parsed.Options[name]);
    }
    return parsed;
}

// The command takes Words words and no option outside Known and "--code" (and the PNG and Mira
// options when it writes a picture).
void Expect(const TArguments& Args, size_t Words, std::initializer_list<std::string_view> Known, bool Writes = true) {
    if (Args.Words.size() != Words) throw EUsage();
    const auto known = [](const auto& List, const std::string& Name) {
        return std::find(List.begin(), List.end(), Name) != List.end();
    };
    for (const auto& [name, value] : Args.Options)
        if (!known(Known, name) && name != "code" &&
            !(Writes && (known(kPngOptions, name) || known(kMiraOptions, name))))
            throw EUsage();
}

// A whole decimal number, all of Text, within Lo..Hi.
template <class T = int32_t>
T Number(const std::string& Text, T Lo, T Hi, const std::string& What) {
    T value = 0;
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

// The identification code of "--code"; 0 when not given.
uint32_t IdentCode(const TArguments& Args) {
    const auto given = Args.Options.find("code");
    return given == Args.Options.end() ? 0 : Number<uint32_t>(given->second, 0, UINT32_MAX, "--code");
}

// Options that only an OUT of the format Kind takes are refused for another.
void RefuseOptions(const TArguments& Args, std::span<const std::string_view> Names, const char* Kind) {
    for (const std::string_view name : Names)
        if (Args.Options.contains(std::string(name)))
            throw EToolError("--" + std::string(name) + " is for a " + Kind + " OUT");
}

// ---- Files ----

bool IsPng(const std::string& Path) { return AnsiLowerCase(ExtractFileExt(Path)) == ".png"; }
bool IsMira(const std::string& Path) { return AnsiLowerCase(ExtractFileExt(Path)) == ".mra"; }

// Every frame of a Mira file, composed, under the code of "--code", without display preparation;
// a file without frames is refused.
void LoadMira(TMiraFrameList& List, const std::string& Arg, const std::string& Path, bool KeepLayers) {
    List.LoadFromFile(Path, false, KeepLayers, false);
    if (List.Count() == 0) throw EToolError(Arg + ": the Mira file holds no frames");
}

// A PNG's image with its opacity: 255 - the alpha bitmap, or 0 on the transparent colour (a
// palette index, a grey's sample or a colour) and 255 elsewhere.
void LoadPng(TDIBSurface& Picture, const std::string& Path) {
    TPngPicture png;
    TFileStream file(Path, fmOpenRead);
    png.LoadFromStream(file);
    Picture.CopyFrom(png.Image());
    const int32_t key = png.TransparentColour();
    if (!png.HasAlpha && key == -1) return;
    Picture.NeedAlpha();
    const bool byIndex = Picture.BitCount() <= 8 && (png.Grey || (key & png::kPaletteIndexColor));
    const TRGBQuad keyColour = RGBQuad(uint8_t(key), uint8_t(key >> 8), uint8_t(key >> 16));
    for (int32_t y = 0; y < Picture.Height(); ++y) {
        uint8_t* opacity = Picture.Alpha->ScanLine(y);
        const uint8_t* alpha = png.HasAlpha ? png.AlphaBitmap().ScanLineReadOnly(y) : nullptr;
        for (int32_t x = 0; x < Picture.Width(); ++x) {
            const uint32_t pixel = Picture.GetPixel(x, y);
            const bool keyed = byIndex ? pixel == uint32_t(key & 0xFF) : Picture.ValueColor(pixel) == keyColour;
            opacity[x] = alpha ? uint8_t(255 - alpha[x]) : keyed ? 0 : 255;
        }
    }
}

// The picture of Arg; of a Mira file the frame that "--frame" picks, composed, with its alpha.
void Load(TDIBSurface& Picture, const std::string& Arg, const TArguments& Args) {
    const std::string path = ProgramPathOf(HostPathOf(Arg));
    if (IsMira(path)) {
        TMiraFrameList list(IdentCode(Args));
        LoadMira(list, Arg, path, false);
        const int32_t frame = Option(Args, "frame", 0, 0, INT32_MAX);
        if (frame >= list.Count())
            throw EToolError(Arg + ": --frame " + std::to_string(frame) + ": the file holds frames 0 to " +
                             std::to_string(list.Count() - 1));
        Picture.CopyFrom(list.GetFrame(frame)->Image);
    } else if (Args.Options.contains("frame")) {
        throw EToolError("--frame is for a .mra IN");
    } else if (IsPng(path)) {
        LoadPng(Picture, path);
    } else {
        Picture.LoadFromFile(path);
    }
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

// The picture as a PNG with the options given; its opacity as the alpha bitmap.
void SavePng(const TDIBSurface& Picture, const std::string& Path, const TArguments& Args) {
    TPngPicture png;
    png.Assign(Picture);
    png.FilterMode = Option(Args, "filter", 1, 0, 5);
    png.CompressionLevel = Option(Args, "level", -1, 0, 9);
    png.Interlace = Args.Options.contains("interlace");
    png.Grey = Args.Options.contains("grey");
    png.IDATSize = Option(Args, "idat", 32768, 0, INT32_MAX);
    if (Picture.Alpha) {
        png.HasAlpha = true;
        png.AlphaBitmap().SetSize(Picture.Width(), Picture.Height(), 8);
        for (int32_t y = 0; y < Picture.Height(); ++y) {
            const uint8_t* opacity = Picture.Alpha->ScanLineReadOnly(y);
            uint8_t* alpha = png.AlphaBitmap().ScanLine(y);
            for (int32_t x = 0; x < Picture.Width(); ++x) alpha[x] = uint8_t(255 - opacity[x]);
        }
    }
    WriteFileReplacing(Path, [&](TStream& Stream) { png.SaveToStream(Stream); });
}

// The frame list as a Mira file with the compression of "--comp" and "--quality"; a list with an
// identification code is stored shuffled and uncompressed.
void SaveMira(const TMiraFrameList& List, const std::string& Path, const TArguments& Args) {
    const int32_t comp = Option(Args, "comp", 0, 0, 2), quality = Option(Args, "quality", 70, 1, 100);
    if (List.IdentCode != 0 && Args.Options.contains("comp") && comp != 1)
        throw EToolError("--comp " + std::to_string(comp) + ": a picture shuffled under --code is stored uncompressed");
    WriteFileReplacing(Path, [&](TStream& Stream) { List.SaveToStream(Stream, comp, quality); });
}

// Writes the picture in the format of Arg's extension; the old file stays whole on failure.
void Save(const TDIBSurface& Picture, const std::string& Arg, const TArguments& Args) {
    const std::string path = ProgramPathOf(HostPathOf(Arg));
    if (!IsMira(path)) RefuseOptions(Args, kMiraOptions, ".mra");
    if (IsPng(path)) return SavePng(Picture, path, Args);
    RefuseOptions(Args, kPngOptions, ".png");
    if (IsMira(path)) {
        // One frame without layers: the writer stores its image as the one layer.
        TMiraFrameList list(IdentCode(Args));
        TMiraFrame& frame = *list.AddFrame();
        frame.Image.CopyFrom(Picture);
        return SaveMira(list, path, Args);
    }
    if (AnsiLowerCase(ExtractFileExt(path)) != ".pam") return Picture.SaveToFile(path);
    const std::string pam = PamOf(Picture);
    WriteFileReplacing(path, [&](TStream& Stream) { Stream.WriteBuffer(pam.data(), int64_t(pam.size())); });
}

// ---- Commands ----

// A transparent pixel value, or "none".
std::string KeyText(int32_t Key) { return Key < 0 ? "none" : std::to_string(Key); }

// The frames of a Mira file and the layers of each, bottom first.
void InfoMira(const std::string& Arg, const std::string& Path, const TArguments& Args) {
    TMiraFrameList list(IdentCode(Args));
    LoadMira(list, Arg, Path, true);
    std::printf("frames: %d\nbackground: $%06X\n", list.Count(), uint32_t(list.BGColor) & 0xFFFFFF);
    for (int32_t i = 0; i < list.Count(); ++i) {
        const TMiraFrame& frame = *list.GetFrame(i);
        std::printf("frame %d \"%s\": %d x %d, %d bits, %d ms, transparent pixel %s, alpha %s, layers: %d\n", i,
                    ForTerminal(frame.Name).c_str(), frame.GetWidth(), frame.GetHeight(), frame.GetDepth(),
                    frame.Delay, KeyText(frame.TransColor < 0 ? -1 : frame.TransPixel).c_str(),
                    frame.HasAlpha() ? "yes" : "no", frame.Count());
        for (int32_t j = 0; j < frame.Count(); ++j) {
            const TMiraLayer& layer = *frame.GetLayer(j);
            std::printf("  layer %d \"%s\": %s, opacity %d, transparent pixel %s, alpha plane %s\n", j,
                        ForTerminal(layer.Name).c_str(), layer.Visible ? "visible" : "hidden", layer.Alpha,
                        KeyText(layer.TransColor).c_str(),
                        !layer.Image.Alpha ? "none" : layer.AlphaOn ? "in use" : "not in use");
        }
    }
}

void Info(const std::string& Arg, const TArguments& Args) {
    const std::string path = ProgramPathOf(HostPathOf(Arg));
    if (IsMira(path)) return InfoMira(Arg, path, Args);
    TDIBSurface picture;
    Load(picture, Arg, Args);
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
    Load(picture, Args.Words[0], Args);
    Fn(picture);
    Save(picture, Args.Words[1], Args);
}

// Layer Arg of Frame: the first layer sets the frame's size, depth and colour table, which every
// later one must have.
void AddLayer(TMiraFrame& Frame, const std::string& Arg, const TArguments& Args) {
    TDIBSurface picture;
    Load(picture, Arg, Args);
    const int32_t bits = picture.GetBitCountEx();
    if (Frame.Count() == 0) {
        Frame.TransPixel = -1;
        Frame.SetupImage(picture.Width(), picture.Height(), bits, picture.ImageColorTable().data(), 256);
    }
    const TDIBSurface& image = Frame.Image;
    if (picture.Width() != image.Width() || picture.Height() != image.Height() || bits != image.GetBitCountEx() ||
        (bits <= 8 && !std::equal(image.ImageColorTable().begin(), image.ImageColorTable().begin() + (1 << bits),
                                  picture.ImageColorTable().begin())))
        throw EToolError(Arg + Format(": a layer must have the size, depth and colour table of its frame's first "
                                      "(%d x %d, %d bits)",
                                      image.Width(), image.Height(), image.GetBitCountEx()));
    TMiraLayer& layer = *Frame.AddLayer();
    layer.Image.CopyFrom(picture);
    layer.AlphaOn = picture.Alpha != nullptr;
    layer.Name = ChangeFileExt(ExtractFileName(ProgramPathOf(HostPathOf(Arg))), "");
}

// "build OUT --delay MS LAYER...": a frame for each "--delay", the pictures after it its layers.
void Build(const TArguments& Args) {
    TMiraFrameList list(IdentCode(Args));
    TMiraFrame* frame = nullptr;
    size_t words = 0;
    for (const auto& [name, value] : Args.Given) {
        if (name == "delay") {
            if (frame && frame->Count() == 0) throw EUsage();
            frame = list.AddFrame();
            frame->Delay = Number(value, 0, INT32_MAX, "--delay");
        } else if (name.empty() && words++ > 0) {  // the words after OUT
            if (!frame) throw EUsage();
            AddLayer(*frame, value, Args);
        }
    }
    if (!frame || frame->Count() == 0) throw EUsage();
    const std::string path = ProgramPathOf(HostPathOf(Args.Words[0]));
    if (!IsMira(path)) throw EToolError(Args.Words[0] + ": build writes a .mra file");
    RefuseOptions(Args, kPngOptions, ".png");
    SaveMira(list, path, Args);
}

void Run(const std::vector<std::string>& Args) {
    if (Args.empty()) throw EUsage();
    const std::string& command = Args[0];
    const TArguments args = Parse(Args);
    if (command == "convert") {
        Expect(args, 2, {"frame"});
        Change(args, [](TDIBSurface&) {});
    } else if (command == "build") {
        if (args.Words.size() < 2) throw EUsage();
        Expect(args, args.Words.size(), {"delay"});
        Build(args);
    } else if (command == "info") {
        Expect(args, 1, {}, false);
        Info(args.Words[0], args);
    } else if (command == "greyscale") {
        Expect(args, 2, {"bits", "frame"});
        const int32_t bits = Depth(args, 8, {1, 4, 8, 16, 24, 32});
        Change(args, [&](TDIBSurface& Picture) { Picture.Greyscale(bits); });
    } else if (command == "blur") {
        Expect(args, 3, {"bits", "frame"});
        const int32_t bits = Depth(args, 24, {1, 4, 8, 16, 24, 32});
        const int32_t radius = Number(args.Words[2], 0, 1 << 20, "RADIUS");
        Change(args, [&](TDIBSurface& Picture) { Picture.Blur(bits, radius); });
    } else if (command == "reduce") {
        Expect(args, 2, {"method", "bits", "dither", "colors", "frame"});
        const int32_t bits = Depth(args, 8, {1, 4, 8, 15, 16, 24, 32});
        const int32_t method = Option(args, "method", 0, 0, 3);
        const int32_t colors = Option(args, "colors", bits <= 8 ? 1 << bits : 0, 0, 256);
        const bool dither = args.Options.contains("dither");
        Change(args, [&](TDIBSurface& Picture) { Picture.ReduceColors(method, bits, dither, colors); });
    } else if (command == "negative") {
        Expect(args, 2, {"frame"});
        Change(args, [](TDIBSurface& Picture) { Picture.Negative(); });
    } else {
        throw EUsage();
    }
}

}  // namespace

int main(int argc, char** argv) { return toolkit::RunTool("vimage", kUsage, argc, argv, Run); }
