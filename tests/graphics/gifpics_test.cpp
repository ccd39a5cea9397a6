#include "graphics/gifpics.h"
#include "tests/common/fixture.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

using namespace gif;

const std::string kData = std::string(VELA_TEST_DATA) + "/gif/";

std::string FileBytes(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// An image that records its warnings.
struct TRecordingImage : TGifImage {
    std::vector<std::string> Warnings;
    TRecordingImage() {
        OnWarning = [this](TGifImage&, int32_t, const std::string& Message) { Warnings.push_back(Message); };
    }
    void ReadBytes(const std::string& Bytes) {
        TMemoryStream in = StreamOf(Bytes);
        Read(in);
    }
    std::string Written(TGifCompression Kind) {
        Compression = Kind;
        TMemoryStream out;
        Write(out);
        return Bytes(out);
    }
};

std::string Hex(const std::vector<uint8_t>& Data) {
    return ToHex(std::string(Data.begin(), Data.end()));
}

// The fixtures made by Pillow and gifsicle.
std::vector<std::string> MadeFixtures() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(kData)) {
        const std::string name = entry.path().filename();
        if (name.ends_with(".gif") && !name.starts_with("bad-")) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Our frames in the form of the Pillow listing: "FRAME LEFT TOP WIDTH HEIGHT INDICES".
std::vector<std::string> OurListing(const TGifImage& Image, const std::string& Name) {
    std::vector<std::string> lines;
    int32_t i = 0;
    for (const auto& frame : Image.Images()) {
        if (frame->Empty()) continue;
        std::ostringstream line;
        line << Name << ' ' << i++ << ' ' << frame->Left << ' ' << frame->Top << ' ' << frame->Width << ' '
             << frame->Height << ' ' << Hex(frame->Data);
        lines.push_back(line.str());
    }
    return lines;
}

std::vector<std::string> PillowListing(const std::string& Path, const std::string& Name) {
    std::vector<std::string> lines = Lines(PythonOutput("make_gif_fixtures.py", {"pillow", Path}));
    for (std::string& line : lines) line = Name + line.substr(line.find(' '));
    return lines;
}

// giflib's decode: per frame its position, indices, colour table in force and graphic control.
std::vector<std::string> GiflibListing(const std::string& Bytes) {
    struct TSource {
        const std::string* Data;
        size_t At;
    } source{&Bytes, 0};
    int error = 0;
    GifFileType* file = DGifOpen(&source, [](GifFileType* f, GifByteType* out, int n) {
        auto* s = static_cast<TSource*>(f->UserData);
        const size_t count = std::min<size_t>(size_t(n), s->Data->size() - s->At);
        std::memcpy(out, s->Data->data() + s->At, count);
        s->At += count;
        return int(count);
    }, &error);
    std::vector<std::string> lines;
    if (!file || DGifSlurp(file) != GIF_OK) {
        ADD_FAILURE() << "giflib refused the file";
        if (file) DGifCloseFile(file, &error);
        return lines;
    }
    for (int i = 0; i < file->ImageCount; ++i) {
        const SavedImage& image = file->SavedImages[i];
        const GifImageDesc& d = image.ImageDesc;
        const ColorMapObject* map = d.ColorMap ? d.ColorMap : file->SColorMap;
        std::ostringstream line;
        line << d.Left << ' ' << d.Top << ' ' << d.Width << ' ' << d.Height << ' '
             << Hex({image.RasterBits, image.RasterBits + size_t(d.Width) * d.Height});
        for (int c = 0; map && c < map->ColorCount; ++c)
            line << ' ' << int(map->Colors[c].Red) << ',' << int(map->Colors[c].Green) << ',' << int(map->Colors[c].Blue);
        GraphicsControlBlock gcb;
        if (DGifSavedExtensionToGCB(file, i, &gcb) == GIF_OK)
            line << " gce " << gcb.DisposalMode << ' ' << gcb.DelayTime << ' ' << gcb.TransparentColor;
        lines.push_back(line.str());
    }
    DGifCloseFile(file, &error);
    return lines;
}

// The same listing from our model: colours of the table in force, padded as written.
std::vector<std::string> OurGiflibListing(TGifImage& Image) {
    std::vector<std::string> lines;
    for (const auto& frame : Image.Images()) {
        if (frame->Empty()) continue;
        std::ostringstream line;
        line << frame->Left << ' ' << frame->Top << ' ' << frame->Width << ' ' << frame->Height << ' '
             << Hex(frame->Data);
        TGifColorMap& map = frame->ActiveColorMap();
        const int32_t padded = map.Count() ? 1 << map.BitsPerPixel() : 0;
        for (int32_t c = 0; c < padded; ++c) {
            const TGifColor color = c < map.Count() ? map.Colors(c) : TGifColor{};
            line << ' ' << int(color.Red) << ',' << int(color.Green) << ',' << int(color.Blue);
        }
        if (const TGifGraphicControlExtension* gce = frame->GraphicControlExtension())
            line << " gce " << int(gce->Disposal()) << ' ' << gce->Delay << ' '
                 << (gce->Transparent() ? int(gce->TransparentColorIndex) : -1);
        lines.push_back(line.str());
    }
    return lines;
}

// giftext's account of the structure, reduced to the facts both sides state the same way.
std::vector<std::string> GiftextFacts(const std::string& Path) {
    const ProgramRun run = RunProgram("/usr/bin/giftext", {Path});
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> facts;
    for (std::string line : Lines(run.out)) {
        line.erase(0, line.find_first_not_of('\t'));
        const size_t ext = line.find("Ext Code = ");
        if (ext != std::string::npos)
            facts.push_back("Ext " + line.substr(ext + 11, line.find(' ', ext + 11) - ext - 11));
        else if (line.starts_with("Image is "))
            facts.push_back(line.starts_with("Image is Interlaced") ? "Interlaced" : "Non Interlaced");
        else if (line.starts_with("Screen Size") || line.starts_with("Image Size") || line.starts_with("Disposal") ||
                 line.starts_with("Transparency on") || line.starts_with("DelayTime") ||
                 line.starts_with("Transparent Index") || line == "Image Has Color Map." ||
                 line == "No Image Color Map.")
            facts.push_back(line);
    }
    return facts;
}

std::vector<std::string> OurFacts(const TGifImage& Image) {
    std::vector<std::string> facts;
    auto add = [&](std::string Text) { facts.push_back(std::move(Text)); };
    add("Screen Size - Width = " + std::to_string(Image.Header().Width) +
        ", Height = " + std::to_string(Image.Header().Height) + ".");
    for (const auto& frame : Image.Images()) {
        for (const auto& extension : frame->Extensions()) {
            add("Ext " + std::to_string(extension->Label()));
            if (extension->Kind() != &TGifGraphicControlExtension::Class) continue;
            const auto& gce = static_cast<const TGifGraphicControlExtension&>(*extension);
            add("Disposal Mode: " + std::to_string(gce.Disposal()));
            add(std::string("Transparency on: ") + (gce.Transparent() ? "yes" : "no"));
            add("DelayTime: " + std::to_string(gce.Delay));
            add("Transparent Index: " + std::to_string(gce.Transparent() ? gce.TransparentColorIndex : -1));
        }
        if (frame->Empty()) continue;
        add("Image Size - Left = " + std::to_string(frame->Left) + ", Top = " + std::to_string(frame->Top) +
            ", Width = " + std::to_string(frame->Width) + ", Height = " + std::to_string(frame->Height) + ".");
        add(frame->Interlaced() ? "Interlaced" : "Non Interlaced");
        add(frame->ColorMap().Count() ? "Image Has Color Map." : "No Image Color Map.");
    }
    return facts;
}

TEST(GifRead, FixturesDecodeAsPillowGiflibAndGiftextSee) {
    const std::vector<std::string> names = MadeFixtures();
    ASSERT_GE(names.size(), 14u);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const std::string bytes = FileBytes(kData + name);
        TRecordingImage image;
        image.ReadBytes(bytes);
        EXPECT_EQ(image.Warnings, std::vector<std::string>{});
        EXPECT_EQ(OurListing(image, name), PillowListing(kData + name, name));
        EXPECT_EQ(OurGiflibListing(image), GiflibListing(bytes));
        EXPECT_EQ(OurFacts(image), GiftextFacts(kData + name));
    }
}

TEST(GifRead, ExtensionsKeepTheirContent) {
    TRecordingImage image;
    image.ReadBytes(FileBytes(kData + "sicle-extensions.gif"));
    TGifExtensionList& first = image.Images()[0].Extensions();
    ASSERT_GE(first.Count(), 3);
    std::vector<TGifExtensionClass> kinds;
    for (const auto& e : first) kinds.push_back(e->Kind());
    const auto& loop = static_cast<const TGifLoopExtension&>(first[0]);
    ASSERT_EQ(loop.Kind(), &TGifLoopExtension::Class);
    EXPECT_EQ(loop.Loops, 5);
    const auto& app = static_cast<const TGifUnknownAppExtension&>(first[1]);
    ASSERT_EQ(app.Kind(), &TGifUnknownAppExtension::Class);
    EXPECT_EQ(std::string(app.Identifier.begin(), app.Identifier.end()), "VELATEST1.0");
    ASSERT_EQ(app.Blocks.size(), 1u);
    EXPECT_EQ(std::string(app.Blocks[0].Data.begin(), app.Blocks[0].Data.end()), "opaque data");
    // A comment of two sub-blocks is two strings.
    const auto& comment = static_cast<const TGifCommentExtension&>(first[2]);
    ASSERT_EQ(comment.Kind(), &TGifCommentExtension::Class);
    EXPECT_EQ(comment.Text, (std::vector<std::string>{std::string(255, 'x'), std::string(45, 'x')}));

    // "ANIMEXTS1.0" is read as a loop extension.
    std::string animexts = FileBytes(kData + "sicle-extensions.gif");
    const size_t at = animexts.find("NETSCAPE2.0");
    ASSERT_NE(at, std::string::npos);
    animexts.replace(at, 11, "ANIMEXTS1.0");
    TRecordingImage renamed;
    renamed.ReadBytes(animexts);
    EXPECT_EQ(renamed.Images()[0].Extensions()[0].Kind(), &TGifLoopExtension::Class);
}

TEST(GifRead, DamagedFilesWarnOrFailWithTheirTexts) {
    for (const std::string& line : Lines(FileBytes(kData + "expect.txt"))) {
        SCOPED_TRACE(line);
        std::istringstream fields(line);
        std::string name, kind;
        fields >> name >> kind;
        std::string rest;
        std::getline(fields, rest);
        rest.erase(0, 1);
        TRecordingImage image;
        const std::string error = ErrorOf([&] { image.ReadBytes(FileBytes(kData + name)); });
        if (kind == "error") {
            EXPECT_EQ(error, rest);
            continue;
        }
        ASSERT_EQ(error, "");
        const size_t space = rest.rfind(' ');
        std::string warnings;
        for (const std::string& w : image.Warnings) warnings += (warnings.empty() ? "" : "|") + w;
        EXPECT_EQ(warnings, rest.substr(0, space));
        const std::string pixels = rest.substr(space + 1);
        if (pixels == "-") {
            EXPECT_TRUE(image.Images().Count() == 0 || image.Images()[0].Empty());
        } else {
            ASSERT_GE(image.Images().Count(), 1);
            EXPECT_EQ(Hex(image.Images()[0].Data), pixels);
        }
    }
}

// The frames a file's bytes declare are bounded by what they can describe: one 8192 x 4096 frame
// of a few LZW codes reads, a second one does not.
TEST(GifRead, AFewBytesCannotDeclareHugeFrames) {
    const std::string frame = FromHex("2c 0000 0000 0020 0010 00 08 03 000302 00");  // clear, end
    const std::string head = "GIF89a" + FromHex("0100 0100 00 00 00");
    TRecordingImage one, two;
    EXPECT_EQ(ErrorOf([&] { one.ReadBytes(head + frame + ";"); }), "");
    EXPECT_EQ(one.Warnings, std::vector<std::string>{});
    EXPECT_EQ(ErrorOf([&] { two.ReadBytes(head + frame + frame + ";"); }), "Invalid GIF data");
}

TEST(GifWrite, BothEncodersDecodeAlikeInPillowGiflibAndGifsicle) {
    const std::string folder = FreshHostFolder();
    for (const std::string& name : MadeFixtures()) {
        TRecordingImage image;
        image.ReadBytes(FileBytes(kData + name));
        for (const TGifCompression kind : {gcLZW, gcRLE}) {
            SCOPED_TRACE(name + (kind == gcRLE ? " run-length" : " LZW"));
            const std::string written = image.Written(kind);
            EXPECT_EQ(written.substr(0, 6), "GIF89a");
            const std::string path = folder + (kind == gcRLE ? "rle-" : "lzw-") + name;
            std::ofstream(path, std::ios::binary) << written;
            EXPECT_EQ(GiflibListing(written), OurGiflibListing(image));
            EXPECT_EQ(PillowListing(path, name), OurListing(image, name));
            const ProgramRun info = RunProgram("/usr/bin/gifsicle", {"--info", path});
            EXPECT_EQ(info.status, 0) << info.err;
            EXPECT_EQ(info.err, "");
            TRecordingImage again;
            again.ReadBytes(written);
            EXPECT_EQ(again.Written(kind), written);
        }
    }
}

// The codes of the first sub-blocks of a frame's data at a fixed code size.
std::vector<int32_t> Codes(const std::string& Written, size_t DataAt, int32_t Size, size_t Count) {
    std::vector<int32_t> codes;
    uint32_t buffer = 0;
    int32_t bits = 0;
    size_t at = DataAt + 2;  // past the code size byte and the first block's length
    while (codes.size() < Count) {
        while (bits < Size) {
            buffer |= uint32_t(uint8_t(Written[at++])) << bits;
            bits += 8;
        }
        codes.push_back(int32_t(buffer & ((1u << Size) - 1)));
        buffer >>= Size;
        bits -= Size;
    }
    return codes;
}

TEST(GifWrite, EdgesOfTheWriter) {
    // Two colours on a local table only: no global table flag, code size byte 2, clear code 4;
    // one colour run-length coded grows its run codes 1, 2, 3 after the clear.
    TRecordingImage image;
    image.Header().Width = 10;
    image.Header().Height = 1;
    auto* frame = image.Images().Add(std::make_unique<TGifFrame>(&image));
    frame->SetSize(10, 1);
    frame->ColorMap().Add({255, 0, 0});
    frame->ColorMap().Add({0, 0, 255});
    auto* comment = static_cast<TGifCommentExtension*>(
        frame->Extensions().Add(std::make_unique<TGifCommentExtension>(*frame)));
    comment->Text = {std::string(300, 'c')};
    std::string written = image.Written(gcRLE);
    EXPECT_EQ(written.substr(0, 6), "GIF89a");
    EXPECT_EQ(uint8_t(written[10]) & 0x80, 0);
    const size_t text = 13 + 2;
    EXPECT_EQ(uint8_t(written[text]), 255);
    EXPECT_EQ(uint8_t(written[text + 256]), 45);
    EXPECT_EQ(uint8_t(written[text + 256 + 46]), 0);
    const size_t data = text + 256 + 47 + 10 + 6;
    EXPECT_EQ(uint8_t(written[data]), 2);
    // clear, 0 (run of 1), 6 (run of 2), 7 (run of 3): ten pixels = 1 + 2 + 3 + 4 -> 8 at 4 bits.
    EXPECT_EQ(Codes(written, data, 3, 4), (std::vector<int32_t>{4, 0, 6, 7}));
    EXPECT_EQ(GiflibListing(written), OurGiflibListing(image));

    // A pixel past the table is refused.
    frame->Data[3] = 2;
    EXPECT_EQ(ErrorOf([&] { image.Written(gcLZW); }), "Color not in color table");
    EXPECT_EQ(ErrorOf([&] { image.Written(gcRLE); }), "Color not in color table");

    // Noise of 256 colours fills the LZW table many times over: clears keep the codes at 12 bits
    // and every decoder reads the pixels back.
    TRecordingImage noise;
    noise.Header().Width = noise.Header().Height = 300;
    for (int32_t i = 0; i < 256; ++i) noise.Header().ColorMap().Add({uint8_t(i), uint8_t(i * 3), uint8_t(i * 7)});
    auto* big = noise.Images().Add(std::make_unique<TGifFrame>(&noise));
    big->SetSize(300, 300);
    uint32_t seed = 12345;
    for (uint8_t& p : big->Data) {
        seed = seed * 1103515245 + 12345;
        p = uint8_t(seed >> 16 & (seed & 0x100000 ? 0xFF : 0x03));
    }
    for (const TGifCompression kind : {gcLZW, gcRLE}) {
        written = noise.Written(kind);
        EXPECT_EQ(GiflibListing(written), OurGiflibListing(noise));
        TRecordingImage back;
        back.ReadBytes(written);
        EXPECT_EQ(back.Images()[0].Data, big->Data);
    }
}

TEST(GifModel, ColourTablesAndSortedOptimisation) {
    TRecordingImage image;
    TGifColorMap& map = image.Header().ColorMap();
    EXPECT_EQ(map.BitsPerPixel(), 0);
    map.Add({1, 1, 1});
    EXPECT_EQ(map.BitsPerPixel(), 1);
    EXPECT_EQ(map.Capacity(), 16);
    for (int32_t i = 1; i < 17; ++i) map.Add({uint8_t(i), 0, 0});
    EXPECT_EQ(map.Capacity(), 32);
    EXPECT_EQ(map.BitsPerPixel(), 5);
    EXPECT_EQ(ErrorOf([&] { map.Delete(17); }), "Invalid color index");
    EXPECT_EQ(map.Colors(99).Red, 1);
    EXPECT_EQ(image.Warnings, std::vector<std::string>{"Invalid color index"});
    while (map.Count() < 256) map.Add({0, 0, 0});
    EXPECT_EQ(ErrorOf([&] { map.Add({}); }), "Color table overflow");
    // Unsorted tables find the last match, sorted ones the first.
    EXPECT_EQ(map.IndexOf({0, 0, 0}), 255);
    map.Sorted = true;
    EXPECT_EQ(map.IndexOf({0, 0, 0}), 17);
    map.Clear();
    EXPECT_EQ(ErrorOf([&] { map.Colors(0); }), "Color table is empty");

    // Reordering by use remaps pixels and the transparent index, and drops unused entries.
    for (uint8_t c : {10, 20, 30, 40}) map.Add({c, c, c});
    auto* frame = image.Images().Add(std::make_unique<TGifFrame>(&image));
    frame->SetSize(4, 1);
    frame->Data = {2, 2, 1, 2};
    auto* gce = static_cast<TGifGraphicControlExtension*>(
        frame->Extensions().Add(std::make_unique<TGifGraphicControlExtension>(*frame)));
    gce->SetTransparent(true);
    gce->TransparentColorIndex = 1;
    EXPECT_TRUE(map.Optimize());
    EXPECT_EQ(map.Count(), 2);
    EXPECT_TRUE(map.Sorted);
    EXPECT_EQ(map.Colors(0).Red, 30);
    EXPECT_EQ(frame->Data, (std::vector<uint8_t>{0, 0, 1, 0}));
    EXPECT_EQ(gce->TransparentColorIndex, 1);
    // Deleting the graphic control extension ends the frame's transparency.
    frame->Extensions().Delete(0);
    EXPECT_FALSE(frame->Transparent());
    EXPECT_EQ(frame->GraphicControlExtension(), nullptr);
}

// Each frame as Pillow composites a written image.
std::vector<std::string> Composites(const std::string& Bytes) {
    const std::string path = FreshHostFolder() + "c.gif";
    std::ofstream(path, std::ios::binary) << Bytes;
    return Lines(PythonOutput("make_gif_fixtures.py", {"composite", path}));
}

TEST(GifOptimise, AnimationsLookTheSame) {
    // Clean-up takes the transparency off frames that show no transparent pixel; Pillow then
    // restores their background with the background colour instead of transparency, as the format
    // says, so the gifsicle animation (such frames with disposal 2) is checked without it.
    const std::pair<std::string, uint8_t> cases[] = {{"pil-disposal.gif", kOptimiseAll},
                                                     {"pil-local.gif", kOptimiseAll},
                                                     {"sicle-optimised.gif", kOptimiseAll & ~ooCleanup}};
    for (const auto& [name, options] : cases) {
        SCOPED_TRACE(name);
        TRecordingImage image;
        image.ReadBytes(FileBytes(kData + name));
        const std::string before = image.Written(gcLZW);
        image.Optimise(options, 0, 0, 8);
        const std::string after = image.Written(gcLZW);
        EXPECT_EQ(Composites(after), Composites(before));
    }
}

TEST(GifOptimise, EdgesOfTheSteps) {
    auto frameOf = [](TGifImage& Image, std::vector<uint8_t> Data, uint16_t Delay, bool Transparent) {
        auto* frame = Image.Images().Add(std::make_unique<TGifFrame>(&Image));
        frame->SetSize(2, 2);
        frame->Data = std::move(Data);
        auto* gce = static_cast<TGifGraphicControlExtension*>(
            frame->Extensions().Add(std::make_unique<TGifGraphicControlExtension>(*frame)));
        gce->Delay = Delay;
        gce->SetDisposal(dmNoDisposal);
        if (Transparent) {
            gce->SetTransparent(true);
            gce->TransparentColorIndex = 3;
        }
        return frame;
    };
    auto palette = [](TGifImage& Image, int32_t Count) {
        Image.Header().Width = Image.Header().Height = 2;
        for (int32_t i = 0; i < Count; ++i) Image.Header().ColorMap().Add({uint8_t(i), uint8_t(i), 0});
    };

    // One frame: its graphic control goes whatever its delay and disposal.
    TRecordingImage single;
    palette(single, 4);
    frameOf(single, {0, 1, 2, 1}, 50, false)->GraphicControlExtension()->SetDisposal(dmBackground);
    single.Optimise(ooCleanup, 0, 0, 8);
    EXPECT_EQ(single.Images()[0].Extensions().Count(), 0);

    // A frame restored to the background keeps its disposal before a smaller opaque frame, and
    // loses it before one that covers it.
    TRecordingImage covered;
    palette(covered, 4);
    frameOf(covered, {0, 1, 2, 1}, 5, false)->GraphicControlExtension()->SetDisposal(dmBackground);
    TGifFrame* small = frameOf(covered, {1, 1, 1, 1}, 5, false);
    small->SetSize(1, 1);
    covered.Optimise(ooCleanup, 0, 0, 8);
    EXPECT_EQ(covered.Images()[0].GraphicControlExtension()->Disposal(), dmBackground);
    small->SetSize(2, 2);
    covered.Optimise(ooCleanup, 0, 0, 8);
    EXPECT_EQ(covered.Images()[0].GraphicControlExtension()->Disposal(), dmNone);

    // A repeated frame merges into full transparency, is cropped away, and gives its delay to
    // the transparent frame before it; the loop extension of the first frame stays.
    TRecordingImage repeated;
    palette(repeated, 4);
    TGifFrame* first = frameOf(repeated, {0, 1, 2, 3}, 10, true);
    first->Extensions().Insert(0, std::make_unique<TGifLoopExtension>(*first));
    frameOf(repeated, {0, 1, 2, 3}, 20, true);
    frameOf(repeated, {2, 2, 2, 2}, 30, false);
    repeated.Optimise(kOptimiseAll & ~ooReduceColors, 0, 0, 8);
    ASSERT_EQ(repeated.Images().Count(), 2);
    EXPECT_EQ(repeated.Images()[0].GraphicControlExtension()->Delay, 30);
    EXPECT_EQ(repeated.Images()[0].Extensions()[0].Kind(), &TGifLoopExtension::Class);

    // A full table without a transparent colour takes no merge.
    TRecordingImage full;
    palette(full, 256);
    frameOf(full, {0, 1, 2, 3}, 10, false);
    frameOf(full, {0, 1, 2, 3}, 10, false);
    full.Optimise(ooMerge, 0, 0, 8);
    EXPECT_EQ(full.Images()[1].Data, (std::vector<uint8_t>{0, 1, 2, 3}));
    EXPECT_EQ(ErrorOf([&] { full.Optimise(ooReduceColors, 9, 0, 8); }), "Invalid reduction method");
}

}  // namespace
