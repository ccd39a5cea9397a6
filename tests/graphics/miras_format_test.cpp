// The Mira format: our reader composes the frames that an independent reader (tests/tools/
// mira_ref.py) computes from classic files of every version and from XML files; that reader
// reads back what our writer writes; damaged planes and block tables raise instead of reading
// outside them.
#include "graphics/miras.h"

#include "core/sysutils.h"
#include "core/zstreams.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace {

void Load(TMiraFrameList& List, const std::string& Bytes, bool FirstOnly = false, bool KeepLayers = false,
          bool ForDisplay = false) {
    TMemoryStream stream = StreamOf(Bytes);
    List.LoadFromStream(stream, FirstOnly, KeepLayers, ForDisplay);
}

std::string Values(const TDIB& Image) {
    std::string out;
    for (int32_t y = 0; y < Image.Height(); ++y)
        for (int32_t x = 0; x < Image.Width(); ++x) out += (out.empty() ? "" : " ") + IntToStr(Image.GetPixel(x, y));
    return out;
}

// The frames as mira_ref.py prints them, three lines each.
std::vector<std::string> Printed(const TMiraFrameList& List) {
    std::vector<std::string> lines;
    for (int32_t i = 0; i < List.Count(); ++i) {
        const TDIBSurface& image = List.GetFrame(i)->Image;
        lines.push_back(Format("frame %d %d %d %d", image.Width(), image.Height(), image.BitCount(),
                               List.GetFrame(i)->TransPixel));
        lines.push_back(Values(image));
        lines.push_back(image.Alpha ? Values(*image.Alpha) : "none");
    }
    return lines;
}

// A 24-bit frame of two layers (the first with an alpha plane in use, the second keyed) and an
// 8-bit frame without layers, 70 rows high, that has alpha and a transparent colour.
void BuildPicture(TMiraFrameList& List) {
    List.BGColor = 0x00204080;
    TMiraFrame& layered = *List.AddFrame();
    layered.SetupImage(7, 5, 24, nullptr, 0);
    layered.Name = "表";
    layered.Delay = 40;
    for (int32_t j = 0; j < 2; ++j) {
        TMiraLayer& layer = *layered.AddLayer();
        for (int32_t y = 0; y < 5; ++y)
            for (int32_t x = 0; x < 7; ++x) layer.Image.SetPixel(x, y, uint32_t(x * 0x102030 + y * 0x0A0B0C + j * 77));
        layer.TransColor = j == 1 ? int32_t(layer.Image.GetPixel(2, 2)) : -1;
        if (j == 0) {
            layer.AlphaOn = true;
            layer.Image.NeedAlpha();
            for (int32_t y = 0; y < 5; ++y)
                for (int32_t x = 0; x < 7; ++x) layer.Image.Alpha->SetPixel(x, y, uint32_t(x * 40 + y));
        }
        bool first = j == 0;
        layered.ComposeLayer(j, first);
    }
    TMiraFrame& flat = *List.AddFrame();
    const TRGBQuad colors[3] = {0x000000, 0xFF8000, 0x00FF00};
    flat.TransPixel = 2;
    flat.SetupImage(6, 70, 8, colors, 3);
    for (int32_t y = 0; y < 70; ++y)
        for (int32_t x = 0; x < 6; ++x) flat.Image.SetPixel(x, y, uint32_t((x + y * y) % 3));
    flat.Image.NeedAlpha();
    flat.Image.FillAlpha();
}

TEST(MiraFormat, OurReaderComposesWhatTheReferenceComputes) {
    const std::string folder = FreshHostFolder();
    for (const char* name : {"v0", "v100", "v101", "v102", "v103", "v104", "v105", "xml", "xml1", "jpeg"}) {
        SCOPED_TRACE(name);
        const std::string path = folder + name + ".mra";
        std::vector<std::string> expected = Lines(PythonOutput("mira_ref.py", {"make", name, path}));
        TMiraFrameList list(uint32_t(std::stoul(expected[0])));
        Load(list, FileText(path));
        expected.erase(expected.begin());
        EXPECT_EQ(Printed(list), expected);
    }
    // A shuffled file read with code 0 keeps the stored order and raises nothing; the classic
    // header's bytes beyond its 40 are skipped; FirstOnly reads one frame of a classic file.
    TMiraFrameList plain(0), first(777);
    const std::string v103 = FileText(folder + "v103.mra");
    Load(plain, v103);
    std::vector<std::string> natural = Lines(PythonOutput("mira_ref.py", {"read", folder + "v103.mra", "0"}));
    natural.erase(natural.begin());
    EXPECT_EQ(Printed(plain), natural);
    Load(first, v103, true, true);
    EXPECT_EQ(first.Count(), 1);
    EXPECT_EQ(first.GetFrame(0)->Count(), 1);
    // Loaded for display, an indexed frame becomes 24 bits, its layers too when kept.
    TMiraFrameList shown(31337);
    Load(shown, FileText(folder + "xml.mra"), false, true, true);
    EXPECT_EQ(shown.GetFrame(0)->Image.BitCount(), 24);
    EXPECT_EQ(shown.GetFrame(0)->GetLayer(1)->Image.BitCount(), 24);
    EXPECT_EQ(shown.Count(), 2);
    // The rectangle lists of version 104 stay with the frame; a negative count holds none.
    TMiraFrameList rects(5);
    Load(rects, FileText(folder + "v104.mra"));
    EXPECT_EQ(rects.GetFrame(0)->Rects1, (std::vector<TRect>{{0, 0, 4, 4}, {1, 1, 2, 3}}));
    EXPECT_TRUE(rects.GetFrame(0)->Rects2.empty());
    // Major digit 3 is refused; a raw row plane of a shuffled file before version 103 needs the code.
    TMiraFrameList refused(0);
    PythonOutput("mira_ref.py", {"make", "xml3", folder + "xml3.mra"});
    EXPECT_EQ(ErrorOf([&] { Load(refused, FileText(folder + "xml3.mra")); }), "読み込めないファイル形式です");
    EXPECT_EQ(ErrorOf([&] { Load(refused, FileText(folder + "xml1.mra")); }), "識別コードを設定してください");
}

TEST(MiraFormat, TheReferenceReadsBackWhatWeWrite) {
    const std::string folder = FreshHostFolder();
    for (const uint32_t code : {0u, 4711u}) {
        for (const int32_t compType : {0, 1}) {
            SCOPED_TRACE(Format("code %u, type %d", code, compType));
            TMiraFrameList list(code);
            BuildPicture(list);
            TMemoryStream saved;
            list.SaveToStream(saved, compType, 70);
            const std::string path = folder + Format("w%u-%d.mra", code, compType);
            std::ofstream(path, std::ios::binary) << Bytes(saved);

            std::vector<std::string> read = Lines(PythonOutput("mira_ref.py", {"read", path, IntToStr(code)}));
            // A code shuffles the rows, and a shuffled file is stored uncompressed.
            EXPECT_EQ(read[0], Format("Version=200 Width=7 Height=5 Bpp=24 Count=2 SyncPal=1 Randomized=%d "
                                      "CompType=%d CompLevel=70 BGColor=%d BlockWidth=0 BlockHeight=0 NotFillBG=0",
                                      code != 0, code ? 1 : compType, 0x00204080));
            read.erase(read.begin());
            EXPECT_EQ(read, Printed(list));
            TMiraFrameList back(code);
            Load(back, Bytes(saved), false, true);
            EXPECT_EQ(Printed(back), Printed(list));
            EXPECT_EQ(back.GetFrame(0)->Name, "表");
            EXPECT_EQ(back.GetFrame(0)->Count(), 2);
            EXPECT_EQ(back.GetFrame(1)->TransColor, 0x00FF00);
        }
    }
    // The header inflates to well-formed XML once in UTF-8.
    const std::string raw = folder + "header.cp932", header = folder + "header.xml";
    std::ofstream(raw, std::ios::binary) << PythonOutput("mira_ref.py", {"header", folder + "w0-0.mra"});
    const ProgramRun utf8 = RunProgram("iconv", {"-f", "CP932", "-t", "UTF-8", raw});
    ASSERT_EQ(utf8.status, 0);
    std::ofstream(header, std::ios::binary) << utf8.out;
    const ProgramRun lint = RunProgram("xmllint", {"--noout", header});
    EXPECT_EQ(lint.status, 0) << lint.err;
}

// What a list holds after a save with CompType and a load.
std::string Saved(const TMiraFrameList& List, int32_t CompType) {
    TMemoryStream saved;
    List.SaveToStream(saved, CompType, 90);
    return Bytes(saved);
}

TEST(MiraFormat, JpegPlanes) {
    const std::string folder = FreshHostFolder(), path = folder + "jpeg.mra";
    TMiraFrameList list(0);
    BuildPicture(list);
    list.Delete(1);
    const std::string bytes = Saved(list, 2);
    std::ofstream(path, std::ios::binary) << bytes;
    std::vector<std::string> read = Lines(PythonOutput("mira_ref.py", {"read", path, "0"}));
    EXPECT_NE(read[0].find("CompType=2 CompLevel=90"), std::string::npos);
    read.erase(read.begin());
    TMiraFrameList back(0);
    Load(back, bytes);
    EXPECT_EQ(Printed(back), read);
    // An indexed layer takes the entries of the frame's table nearest to the decoded colours:
    // flat squares of four colours (two at 1 bit) come back in their colours.
    for (const int32_t bits : {1, 4, 8}) {
        SCOPED_TRACE(bits);
        const TRGBQuad colors[4] = {RGBQuad(255, 255, 255), RGBQuad(0, 0, 0), RGBQuad(255, 0, 0), RGBQuad(0, 0, 255)};
        TMiraFrameList squares(0);
        TMiraFrame& frame = *squares.AddFrame();
        frame.TransPixel = -1;
        frame.SetupImage(64, 16, bits, colors, 4);
        TMiraLayer& layer = *frame.AddLayer();
        for (int32_t y = 0; y < 16; ++y)
            for (int32_t x = 0; x < 64; ++x) layer.Image.SetPixel(x, y, uint32_t(x / 16 + 1) % (bits == 1 ? 2 : 4));
        bool first = true;
        frame.ComposeLayer(0, first);
        Load(back, Saved(squares, 2), false, true);
        EXPECT_EQ(back.GetFrame(0)->Image.BitCount(), bits);
        EXPECT_LT(MeanColourDifference(back.GetFrame(0)->Image, frame.Image), 2.0);
    }
    // A JPEG file of another size than its layer is damage: the planes of a 6 x 3 picture after
    // the header of a 7 x 5 one.
    TMiraFrameList wider(0);
    BuildPicture(wider);
    wider.Delete(0);
    wider.GetFrame(0)->Image.SetBitCount(24);
    const std::string other = Saved(wider, 2);
    const auto headerEnd = [](const std::string& B) { return 12 + *reinterpret_cast<const int32_t*>(B.data() + 8); };
    EXPECT_EQ(ErrorOf([&] { Load(back, bytes.substr(0, headerEnd(bytes)) + other.substr(headerEnd(other))); }),
              "ファイルが破壊されています");
}

TEST(MiraFormat, SaveToFileReplacesTheFileOnlyWhenTheWriteSucceeds) {
    const std::string folder = FreshHostFolder();
    const std::string host = folder + "pic.mra";
    std::ofstream(host, std::ios::binary) << "old";
    const platform::fs::Beneath program{platform::fs::HeldFolder::Open(platform::fs::ToProgramPath(folder)), {"pic.mra"}};
    TMiraFrameList empty(0), list(0);
    EXPECT_EQ(ErrorOf([&] { empty.SaveToFile(program); }), "Error:TMiraFrameList.GetFrame");
    EXPECT_EQ(FileText(host), "old");
    BuildPicture(list);
    list.SaveToFile(program);
    TMiraFrameList back(0);
    Load(back, FileText(host));
    EXPECT_EQ(Printed(back), Printed(list));
    EXPECT_EQ(FileText(host).substr(0, 8), "MiraX200");
}

// A classic version 103 file of raw planes: one 4 x 4 frame at 8 bits with one layer per table,
// blocks of 2 x 2; Extra is appended to the first layer's image plane.
std::string BlockFile(const std::vector<std::vector<int32_t>>& Tables, int32_t PlaneCut = 0) {
    const auto int32 = [](int32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    std::string record(40, '\0');
    const int32_t fields[5] = {103, 4, 4, 8, 1};
    std::memcpy(record.data(), fields, sizeof fields);
    record[22] = 1;
    const int32_t blocks[2] = {2, 2};
    std::memcpy(record.data() + 28, blocks, sizeof blocks);
    std::string s = "Mira103" + int32(40) + record + int32(0) + int32(-1) + int32(0) + std::string(5, '\0') +
                    int32(int32_t(Tables.size())) + int32(4) + int32(4) + int32(8) + std::string(1024, '\0');
    for (const auto& table : Tables) {
        std::string plane;
        for (const int32_t v : table) plane += int32(v);
        for (size_t k = 0; k < table.size(); k += 2)
            if (table[k] == -1) plane += std::string(4, char(k));
        plane.resize(plane.size() - size_t(PlaneCut));
        s += std::string(8, '\0') + '\1' + int32(-1) + int32(255) + '\0' + int32(0) + int32(int32_t(plane.size())) + plane +
             int32(0);
    }
    return s;
}

// A file's images are bounded by what its bytes can describe: a 4096 x 2048 32-bit frame without
// layers reads from a classic file of 40 bytes, a second one, or a layer of the first, does not.
// A frame past the pixel bound is refused from its header, however few bytes its pixels take.
TEST(MiraFormat, AFewBytesCannotDeclareHugeFrames) {
    const auto int32 = [](int32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    const auto frame = [&](int32_t Layers, int32_t Width = 4096, int32_t Height = 2048, int32_t Bits = 32) {
        return int32(0) + int32(-1) + int32(0) + std::string(5, '\0') + int32(Layers) + int32(Width) + int32(Height) +
               int32(Bits);
    };
    const std::string layer = std::string(8, '\0') + '\1' + int32(-1) + int32(255) + int32(0);
    TMiraFrameList list(0);
    EXPECT_EQ(ErrorOf([&] { Load(list, int32(1) + '\0' + frame(0)); }), "");
    EXPECT_EQ(ErrorOf([&] { Load(list, int32(2) + '\0' + frame(0) + frame(0)); }), "ファイルが破壊されています");
    EXPECT_EQ(ErrorOf([&] { Load(list, int32(1) + '\0' + frame(1) + layer); }), "ファイルが破壊されています");
    EXPECT_EQ(ErrorOf([&] { Load(list, int32(1) + '\0' + frame(0, 32767, 2731, 1) + std::string(8, '\0')); }),
              "画像の大きさが扱える範囲を越えています (32767 x 2731)");
}

TEST(MiraFormat, DamagedPlanesAndBlockTablesRaise) {
    const std::vector<int32_t> stored = {-1, 0, -1, 0, -1, 0, -1, 0};
    const std::string damaged = "ファイルが破壊されています", noFrame = "Error:TMiraFrameList.GetFrame";
    const auto error = [](const std::string& Bytes) {
        TMiraFrameList list(0);
        return ErrorOf([&] { Load(list, Bytes); });
    };
    EXPECT_EQ(error(BlockFile({stored})), "");
    EXPECT_EQ(error(BlockFile({{-1, 0, -2, 0, 0, 0, -2, 2}})), "");
    EXPECT_EQ(error(BlockFile({stored}, 1)), damaged);              // the last stored block is cut short
    EXPECT_EQ(error(BlockFile({{-1, 0, -2, 4, -1, 0, -1, 0}})), damaged);  // no block 4
    EXPECT_EQ(error(BlockFile({{-1, 0, -2, -1, -1, 0, -1, 0}})), damaged);
    EXPECT_EQ(error(BlockFile({stored, {0, 1, -1, 0, -1, 0, -1, 0}})), "");   // layer 1 of this frame: itself
    EXPECT_EQ(error(BlockFile({stored, {0, 2, -1, 0, -1, 0, -1, 0}})), damaged);  // no layer 2
    EXPECT_EQ(error(BlockFile({{1, 0, -1, 0, -1, 0, -1, 0}})), noFrame);           // frame 1 is not read yet
    EXPECT_EQ(error(BlockFile({{-3, 0, -1, 0, -1, 0, -1, 0}})), noFrame);
    // The classic header and the plane lengths are checked against the stream.
    std::string s = BlockFile({stored});
    EXPECT_EQ(error(s.substr(0, 60)), "Stream read error");
    std::string hugeHeader = s;
    hugeHeader[10] = char(0x7F);
    EXPECT_EQ(error(hugeHeader), "Stream read error");
    EXPECT_EQ(error("Mira1x3"), "'1x3' is not a valid integer value");
    EXPECT_EQ(error("Mira\xFF\x01" + s), "'\\xFF\\x01M' is not a valid integer value");
    // XML documents without a frame, layers, colour table or layer element.
    const auto xml = [](const std::string& Body) {
        TMemoryStream text = StreamOf("<Frames Count=\"1\">" + Body + "</Frames>");
        CompressStream(text, clDefault);
        const int32_t n = int32_t(text.Size());
        return "MiraX200" + std::string(reinterpret_cast<const char*>(&n), 4) + Bytes(text);
    };
    EXPECT_EQ(error(xml("<Other />")), damaged);
    EXPECT_EQ(error(xml("<Frame></Frame>")), "レイヤーがありません");
    EXPECT_EQ(error(xml("<Frame><Layers Bpp=\"1\"><RGB>000000</RGB></Layers></Frame>")), "カラーテーブルがありません");
    EXPECT_EQ(error(xml("<Frame><Layers Count=\"1\" Bpp=\"24\"><Other /></Layers></Frame>")), damaged);
}

}  // namespace
