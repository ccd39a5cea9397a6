// vgif: GIF files through the player's own GIF codec. It lists a file's structure, decodes its
// frames to BMP files, encodes BMP files of 1, 4 or 8 bits into a GIF with the LZW or the
// run-length encoder, and optimises animations. Paths on the command line and text on the
// terminal are UTF-8; the codec's warnings go to standard error.
#include "core/streams.h"
#include "graphics/dib.h"
#include "graphics/gifpics.h"
#include "tools/toolkit.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace toolkit;
using namespace gif;

constexpr const char* kUsage =
    "usage: vgif info FILE                   the screen, the global colour table and each frame's\n"
    "                                        extensions, place, size, interlace and colour table\n"
    "       vgif decode FILE PREFIX          each frame as an 8-bit BMP of its indices with the colour\n"
    "                                        table in force: PREFIX0.bmp, PREFIX1.bmp, ...\n"
    "       vgif encode OUT BMP... [--rle] [--delay CS] [--loop N] [--interlace]\n"
    "           a frame of each BMP of 1, 4 or 8 bits, its colour table cut after the last index used;\n"
    "           the first table is the global one, a frame with another keeps its own; --delay in\n"
    "           hundredths of a second, --loop N a loop extension (0 endless)\n"
    "       vgif optimise IN OUT [--rle] [--steps S]\n"
    "           S a sum of 1 crop, 2 merge, 4 clean-up, 8 colour tables (default 15)\n"
    "--rle writes the pixels with the run-length encoder instead of LZW.\n";

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
        if (name == "rle" || name == "interlace")
            parsed.Options[name] = "1";
        else if (i + 1 < Args.size())
            parsed.Options[name] = Args[++i];
        else
            throw EUsage();
    }
    return parsed;
}

void Expect(const TArguments& Args, size_t MinWords, size_t MaxWords, std::initializer_list<std::string> Known) {
    if (Args.Words.size() < MinWords || Args.Words.size() > MaxWords) throw EUsage();
    for (const auto& [name, value] : Args.Options)
        if (std::find(Known.begin(), Known.end(), name) == Known.end()) throw EUsage();
}

int32_t Option(const TArguments& Args, const std::string& Name, int32_t Default, int32_t Lo, int32_t Hi) {
    const auto given = Args.Options.find(Name);
    if (given == Args.Options.end()) return Default;
    int32_t value = 0;
    const std::string& text = given->second;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < Lo || value > Hi)
        throw EToolError("--" + Name + " must be a whole number from " + std::to_string(Lo) + " to " +
                         std::to_string(Hi));
    return value;
}

// An image whose warnings go to standard error.
struct TToolImage : TGifImage {
    TToolImage() {
        OnWarning = [](TGifImage&, int32_t, const std::string& Message) {
            std::fprintf(stderr, "vgif: warning: %s\n", ForTerminal(Message).c_str());
        };
    }
};

void Load(TGifImage& Image, const std::string& Arg) {
    TFileStream stream(ProgramPathOf(HostPathOf(Arg)), fmOpenRead | fmShareDenyWrite);
    Image.Read(stream);
}

void Save(TGifImage& Image, const std::string& Arg, const TArguments& Args) {
    Image.Compression = Args.Options.contains("rle") ? gcRLE : gcLZW;
    WriteFileReplacing(ProgramPathOf(HostPathOf(Arg)), [&](TStream& Stream) { Image.Write(Stream); });
}

// ---- info ----

std::string Printable(const uint8_t* Bytes, size_t Count) {
    return ForTerminal(std::string(reinterpret_cast<const char*>(Bytes), Count));
}

void Info(const std::string& Arg) {
    TToolImage image;
    Load(image, Arg);
    const TGifHeader& header = image.Header();
    std::printf("version: GIF%.3s\nscreen: %d x %d, background %d, aspect %d\nglobal colours: %d%s\nframes: %d\n",
                header.ReadVersion.data(), header.Width, header.Height, header.BackgroundColorIndex, header.AspectRatio,
                header.ColorMap().Count(), header.ColorMap().Sorted ? " (sorted)" : "", image.Images().Count());
    int32_t index = 0;
    for (const auto& frame : image.Images()) {
        std::printf("frame %d: ", index++);
        if (frame->Empty())
            std::printf("no image\n");
        else
            std::printf("at %d,%d, %d x %d, %s, local colours %d\n", frame->Left, frame->Top, frame->Width,
                        frame->Height, frame->Interlaced() ? "interlaced" : "not interlaced",
                        frame->ColorMap().Count());
        for (const auto& extension : frame->Extensions()) {
            const TGifExtensionClass kind = extension->Kind();
            if (kind == &TGifGraphicControlExtension::Class) {
                const auto& g = static_cast<const TGifGraphicControlExtension&>(*extension);
                std::printf("  graphic control: disposal %d, delay %d, transparent %s, user input %s\n", g.Disposal(),
                            g.Delay, g.Transparent() ? std::to_string(g.TransparentColorIndex).c_str() : "none",
                            g.UserInput() ? "yes" : "no");
            } else if (kind == &TGifCommentExtension::Class) {
                for (const std::string& text : static_cast<const TGifCommentExtension&>(*extension).Text)
                    std::printf("  comment: \"%s\"\n", ForTerminal(text).c_str());
            } else if (kind == &TGifTextExtension::Class) {
                const auto& t = static_cast<const TGifTextExtension&>(*extension);
                std::printf("  plain text: %zu string(s)\n", t.Text.size());
            } else if (kind == &TGifLoopExtension::Class) {
                const auto& l = static_cast<const TGifLoopExtension&>(*extension);
                std::printf("  loop: %d%s\n", l.Loops, l.Loops == 0 ? " (endless)" : "");
            } else {
                const auto& a = static_cast<const TGifApplicationExtension&>(*extension);
                const size_t blocks =
                    kind == &TGifUnknownAppExtension::Class ? static_cast<const TGifUnknownAppExtension&>(a).Blocks.size() : 0;
                std::printf("  application \"%s\": %zu block(s)\n", Printable(a.Identifier.data(), 11).c_str(), blocks);
            }
        }
    }
}

// ---- decode ----

void Decode(const std::string& Arg, const std::string& Prefix) {
    TToolImage image;
    Load(image, Arg);
    int32_t index = 0;
    for (const auto& frame : image.Images()) {
        if (frame->Empty()) continue;
        ::TDIB bitmap;
        TGifColorMap& map = frame->ActiveColorMap();
        for (int32_t c = 0; c < 256; ++c) {
            const TGifColor color = c < map.Count() ? map.Data()[c] : TGifColor{};
            bitmap.ColorTable[size_t(c)] = RGBQuad(color.Red, color.Green, color.Blue);
        }
        bitmap.SetSize(frame->Width, frame->Height, 8);
        for (int32_t y = 0; y < frame->Height; ++y)
            std::copy_n(frame->Scanline(y), frame->Width, bitmap.ScanLine(y));
        const std::string path = ProgramPathOf(HostPathOf(Prefix + std::to_string(index++) + ".bmp"));
        WriteFileReplacing(path, [&](TStream& Stream) { bitmap.SaveToStream(Stream); });
    }
}

// ---- encode ----

void Encode(const TArguments& Args) {
    TToolImage image;
    const int32_t delay = Option(Args, "delay", -1, 0, 65535);
    const int32_t loops = Option(Args, "loop", -1, 0, 65535);
    for (size_t i = 1; i < Args.Words.size(); ++i) {
        const std::string& arg = Args.Words[i];
        ::TDIB bitmap;
        TFileStream in(ProgramPathOf(HostPathOf(arg)), fmOpenRead | fmShareDenyWrite);
        bitmap.LoadFromStream(in);
        if (bitmap.Empty()) throw EToolError(arg + ": holds no picture");
        if (bitmap.BitCount() > 8)
            throw EToolError(arg + ": " + std::to_string(bitmap.BitCount()) +
                             " bits per pixel; reduce it to 8 bits or fewer first (vimage reduce)");
        auto* frame = image.Images().Add(std::make_unique<TGifFrame>(&image));
        frame->SetSize(uint16_t(bitmap.Width()), uint16_t(bitmap.Height()));
        int32_t last = 1;  // at least two entries
        for (int32_t y = 0; y < bitmap.Height(); ++y)
            for (int32_t x = 0; x < bitmap.Width(); ++x) {
                const auto pixel = uint8_t(bitmap.GetPixel(x, y));
                frame->Data[size_t(y) * bitmap.Width() + size_t(x)] = pixel;
                last = std::max<int32_t>(last, pixel);
            }
        TGifLocalColorMap& local = frame->ColorMap();
        for (int32_t c = 0; c <= last; ++c) {
            const TRGBQuad q = bitmap.ImageColorTable()[size_t(c)];
            local.Add({QuadRed(q), QuadGreen(q), QuadBlue(q)});
        }
        TGifGlobalColorMap& global = image.Header().ColorMap();
        if (i == 1) global.Assign(local);
        if (global.Count() == local.Count() && std::equal(local.Data(), local.Data() + local.Count(), global.Data()))
            local.Clear();
        if (Args.Options.contains("interlace")) frame->Packed |= 0x40;
        if (delay >= 0) {
            auto* gce = static_cast<TGifGraphicControlExtension*>(
                frame->Extensions().Add(std::make_unique<TGifGraphicControlExtension>(*frame)));
            gce->Delay = uint16_t(delay);
        }
        if (i == 1 && loops >= 0) {
            auto loop = std::make_unique<TGifLoopExtension>(*frame);
            loop->Loops = uint16_t(loops);
            frame->Extensions().Insert(0, std::move(loop));
        }
        image.Header().Width = std::max<uint16_t>(image.Header().Width, frame->Width);
        image.Header().Height = std::max<uint16_t>(image.Header().Height, frame->Height);
    }
    Save(image, Args.Words[0], Args);
}

void Run(const std::vector<std::string>& Args) {
    if (Args.empty()) throw EUsage();
    const std::string& command = Args[0];
    const TArguments args = Parse(Args);
    if (command == "info") {
        Expect(args, 1, 1, {});
        Info(args.Words[0]);
    } else if (command == "decode") {
        Expect(args, 2, 2, {});
        Decode(args.Words[0], args.Words[1]);
    } else if (command == "encode") {
        Expect(args, 2, SIZE_MAX, {"rle", "delay", "loop", "interlace"});
        Encode(args);
    } else if (command == "optimise") {
        Expect(args, 2, 2, {"rle", "steps"});
        const int32_t steps = Option(args, "steps", ooCrop | ooMerge | ooCleanup | ooColorMap, 0, 15);
        TToolImage image;
        Load(image, args.Words[0]);
        image.Optimise(uint8_t(steps), 0, 0, 8);
        Save(image, args.Words[1], args);
    } else {
        throw EUsage();
    }
}

}  // namespace

int main(int argc, char** argv) { return toolkit::RunTool("vgif", kUsage, argc, argv, Run); }
