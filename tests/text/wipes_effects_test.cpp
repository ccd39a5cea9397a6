#include "text/wipes_effects.h"

#include "graphics/dibx.h"
#include "tests/graphics/paint.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <typeinfo>
#include <vector>

namespace {

std::string Text(const TRect& R) {
    char s[64];
    std::snprintf(s, sizeof s, "%d,%d,%d,%d", R.Left, R.Top, R.Right, R.Bottom);
    return s;
}

// A 32-bit memory surface that writes down every drawing call made on it (sources by name)
// and then draws as usual.
class TRecordingDIBX : public TDIBX {
public:
    std::vector<std::string> Calls;
    std::map<const TCustomDIBX*, std::string> Names;

    void UnionClipRect(const TRect& R) override {
        Calls.push_back("Union " + Text(R));
        TDIBX::UnionClipRect(R);
    }
    void Assign(TCustomDIBX& S) override {
        Calls.push_back("Assign " + Names[&S]);
        TDIBX::Assign(S);
    }
    void Draw(int32_t X, int32_t Y, TCustomDIBX& S, const TRect& R, bool T, bool MX, bool MY) override {
        Calls.push_back("Draw " + Names[&S] + " " + Text(R) + " at " + std::to_string(X) + "," + std::to_string(Y));
        TDIBX::Draw(X, Y, S, R, T, MX, MY);
    }
    void DrawAlpha(int32_t X, int32_t Y, TCustomDIBX& S, const TRect& R, bool T, bool MX, bool MY, int32_t A) override {
        Calls.push_back("DrawAlpha " + Names[&S] + " " + Text(R) + " at " + std::to_string(X) + "," +
                        std::to_string(Y) + " alpha " + std::to_string(A));
        TDIBX::DrawAlpha(X, Y, S, R, T, MX, MY, A);
    }
    void FillRect(const TRect& R, int32_t C) override {
        Calls.push_back("FillRect " + Text(R) + " " + Hex(C));
        TDIBX::FillRect(R, C);
    }
    void FillRectAdd(const TRect& R, int32_t C) override {
        Calls.push_back("FillRectAdd " + Text(R) + " " + Hex(C));
        TDIBX::FillRectAdd(R, C);
    }
    void FillRectSub(const TRect& R, int32_t C) override {
        Calls.push_back("FillRectSub " + Text(R) + " " + Hex(C));
        TDIBX::FillRectSub(R, C);
    }
    void StretchDraw(const TRect& D, TCustomDIBX& S, const TRect& R, bool T, bool MX, bool MY, int32_t A) override {
        Calls.push_back("StretchDraw " + Names[&S] + " " + Text(R) + " -> " + Text(D) + " blend " + std::to_string(A));
        TDIBX::StretchDraw(D, S, R, T, MX, MY, A);
    }

private:
    static std::string Hex(int32_t C) {
        char s[16];
        std::snprintf(s, sizeof s, "%x", unsigned(C));
        return s;
    }
};

using TMaker = std::function<std::unique_ptr<TCustomWipe>(TCustomDIBX&, TCustomDIBX&, TCustomDIBX&)>;

template <class T>
std::unique_ptr<TCustomWipe> Make(TCustomDIBX& D, TCustomDIBX& O, TCustomDIBX& N) {
    return std::make_unique<T>(D, O, N);
}

// Three surfaces of one size: the recording Dest and two noise pictures.
struct TStage {
    TRecordingDIBX Dest;
    TDIBX Old, New;

    TStage(int W, int H) {
        Paint(Dest, W, H, 32, [](int, int) { return 0u; });
        Paint(Old, W, H, 32, [](int x, int y) { return Mix(x, y, 1) & 0xFFFFFF; });
        Paint(New, W, H, 32, [](int x, int y) { return Mix(x, y, 2) & 0xFFFFFF; });
        Dest.Names = {{&Old, "old"}, {&New, "new"}};
    }
    // Steps a transition of Length L at Elapsed E; answers the calls it made on Dest.
    std::vector<std::string> Run(const TMaker& Maker, int32_t E, int32_t L, bool Reverse = false, int32_t P0 = 0,
                                 int32_t P1 = 0) {
        auto wipe = Maker(Dest, Old, New);
        if (auto* m = dynamic_cast<TWipeMosaic*>(wipe.get())) Dest.Names[m->WorkSurface.get()] = "work";
        wipe->Length = L, wipe->Elapsed = E;
        wipe->SetReverse(Reverse);
        wipe->SetParam(0, P0), wipe->SetParam(1, P1);
        wipe->Prepare();
        Dest.Calls.clear();
        EXPECT_FALSE(wipe->Step());
        return Dest.Calls;
    }
};

struct TCallCase {
    const char* Name;
    TMaker Maker;
    int W, H;
    int32_t E, L;
    bool Reverse;
    int32_t P0, P1;
    std::vector<std::string> Calls;  // after the opening Union
};

TEST(WipeEffects, EachFrameIsDrawnWithTheseCalls) {
    const std::vector<TCallCase> cases = {
        {"fade halfway", Make<TWipeFade>, 8, 6, 5, 10, false, 10, -4,
         {"Assign old", "DrawAlpha new 0,0,8,6 at 4,-2 alpha 128"}},
        {"white at 255", Make<TWipeWhite>, 8, 6, 255, 511, false, 0, 0, {"Assign old", "FillRectAdd 0,0,8,6 ffffff"}},
        {"white at 256", Make<TWipeWhite>, 8, 6, 256, 511, false, 0, 0, {"Assign new", "FillRectAdd 0,0,8,6 ffffff"}},
        {"black", Make<TWipeBlack>, 8, 6, 100, 511, false, 0, 0, {"Assign old", "FillRectSub 0,0,8,6 646464"}},
        {"flash", Make<TWipeFlash>, 8, 6, 5, 10, false, 0, 0, {"Assign new", "FillRectAdd 0,0,8,6 808080"}},
        {"scroll at the start", Make<TWipeScrollH>, 8, 6, 0, 4, false, 0, 0,
         {"Draw old 0,0,8,6 at 0,0", "Draw new 0,0,8,6 at 8,0"}},
        {"scroll right", Make<TWipeScrollH>, 8, 6, 1, 4, true, 0, 0,
         {"Draw old 0,0,8,6 at 2,0", "Draw new 0,0,8,6 at -6,0"}},
        {"scroll up", Make<TWipeScrollV>, 8, 6, 1, 4, false, 0, 0,
         {"Draw old 0,0,8,6 at 0,-1", "Draw new 0,0,8,6 at 0,5"}},
        {"sudare on the old picture", Make<TWipeSudareH>, 8, 6, 3, 15, false, 0, 0,
         {"StretchDraw old 3,0,4,6 -> 0,0,4,6 blend 255", "Draw old 4,0,8,6 at 4,0"}},
        {"sudare across the whole width", Make<TWipeSudareH>, 8, 6, 7, 15, false, 0, 0,
         {"StretchDraw old 7,0,8,6 -> 0,0,8,6 blend 255"}},
        {"sudare back on the new picture", Make<TWipeSudareH>, 8, 6, 8, 15, false, 0, 0,
         {"StretchDraw new 7,0,8,6 -> 0,0,8,6 blend 255"}},
        {"sudare from the right", Make<TWipeSudareH>, 8, 6, 3, 15, true, 0, 0,
         {"StretchDraw old 4,0,5,6 -> 4,0,8,6 blend 255", "Draw old 0,0,4,6 at 0,0"}},
        {"sudare down", Make<TWipeSudareV>, 6, 8, 3, 15, false, 0, 0,
         {"StretchDraw old 0,3,6,4 -> 0,0,6,4 blend 255", "Draw old 0,4,6,8 at 0,4"}},
        {"rubber", Make<TWipeRubberH>, 40, 2, 20, 79, false, 0, 0,
         {"StretchDraw old 15,0,20,2 -> 0,0,21,2 blend 255", "Draw old 21,0,40,2 at 21,0"}},
        {"rubber from the right", Make<TWipeRubberH>, 40, 2, 20, 79, true, 0, 0,
         {"StretchDraw old 19,0,24,2 -> 19,0,40,2 blend 255", "Draw old 0,0,19,2 at 0,0"}},
        {"rubber down", Make<TWipeRubberV>, 2, 40, 20, 79, false, 0, 0,
         {"StretchDraw old 0,15,2,20 -> 0,0,2,21 blend 255", "Draw old 0,21,2,40 at 0,21"}},
        {"twist starting", Make<TWipeTwistH>, 8, 3, 1, 12, false, 0, 0,
         {"FillRect 0,0,8,1 0", "StretchDraw old 0,0,8,1 -> 0,0,7,1 blend 255"}},
        {"twist ending", Make<TWipeTwistH>, 8, 3, 9, 12, false, 0, 0,
         {"FillRect 0,1,8,2 0", "StretchDraw new 0,1,8,2 -> 0,1,8,2 blend 255", "FillRect 0,2,8,3 0",
          "StretchDraw new 0,2,8,3 -> 1,2,7,3 blend 255", "Draw new 0,0,8,1 at 0,0"}},
        {"twist columns in runs", Make<TWipeTwistV>, 5, 4, 2, 12, false, 0, 0,
         {"StretchDraw old 0,0,1,4 -> 0,0,1,3 blend 255", "StretchDraw old 1,0,3,4 -> 1,0,3,4 blend 255"}},
        {"twist columns from the right", Make<TWipeTwistV>, 5, 4, 2, 12, true, 0, 0,
         {"StretchDraw old 4,0,5,4 -> 4,0,5,3 blend 255", "StretchDraw old 2,0,4,4 -> 2,0,4,4 blend 255"}},
        {"twist columns ending", Make<TWipeTwistV>, 6, 8, 9, 12, false, 0, 0,
         {"StretchDraw new 2,0,3,8 -> 2,0,3,8 blend 255", "StretchDraw new 3,0,4,8 -> 3,0,4,7 blend 255",
          "FillRect 4,0,5,1 0", "FillRect 4,7,5,8 0", "StretchDraw new 4,0,5,8 -> 4,1,5,7 blend 255",
          "FillRect 5,0,6,1 0", "FillRect 5,6,6,7 0", "StretchDraw new 5,0,6,8 -> 5,1,6,6 blend 255",
          "Draw new 0,0,2,8 at 0,0"}},
        {"zoom into the corner", Make<TWipeZoomin>, 8, 6, 1, 4, false, 0, 0,
         {"StretchDraw old 0,0,4,3 -> 0,0,8,6 blend 255"}},
        {"zoom out of the new picture", Make<TWipeZoomin>, 8, 6, 3, 4, false, 8, 6,
         {"StretchDraw new 4,3,8,6 -> 0,0,8,6 blend 255"}},
        {"zoom at an extreme point", Make<TWipeZoomin>, 8, 6, 2, 4, false, INT32_MIN, INT32_MAX,
         {"StretchDraw new 0,5,1,6 -> 0,0,8,6 blend 255"}},
        {"zoom to one pixel", Make<TWipeZoomin>, 8, 6, 499, 1000, false, 0, 0,
         {"StretchDraw old 0,0,1,1 -> 0,0,8,6 blend 255"}},
        {"mosaic at the start", Make<TWipeMosaic>, 40, 20, 0, 1023, false, 0, 0,
         {"StretchDraw work 0,0,10,5 -> 0,0,40,20 blend 255"}},
        {"mosaic at its coarsest", Make<TWipeMosaic>, 400, 20, 511, 1023, false, 0, 0,
         {"StretchDraw work 0,0,9,1 -> 0,0,400,20 blend 255"}},
    };
    for (const TCallCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TStage stage(c.W, c.H);
        std::vector<std::string> expected = {"Union 0,0," + std::to_string(c.W) + "," + std::to_string(c.H)};
        expected.insert(expected.end(), c.Calls.begin(), c.Calls.end());
        EXPECT_EQ(stage.Run(c.Maker, c.E, c.L, c.Reverse, c.P0, c.P1), expected);
    }
}

TEST(WipeEffects, TheCatalogueMakesTheseClasses) {
    const struct {
        TWipeType Type;
        const std::type_info& Class;
    } rows[] = {{WP_FADE, typeid(TWipeFade)},       {WP_SCROLLH, typeid(TWipeScrollH)}, {WP_SCROLLV, typeid(TWipeScrollV)},
                {WP_WHITE, typeid(TWipeWhite)},     {WP_BLACK, typeid(TWipeBlack)},     {WP_FLASH, typeid(TWipeFlash)},
                {WP_MOSAIC, typeid(TWipeMosaic)},   {WP_SUDAREH, typeid(TWipeSudareH)}, {WP_SUDAREV, typeid(TWipeSudareV)},
                {WP_TWISTH, typeid(TWipeTwistH)},   {WP_TWISTV, typeid(TWipeTwistV)},   {WP_ZOOMIN, typeid(TWipeZoomin)},
                {WP_RUBBERH, typeid(TWipeRubberH)}, {WP_RUBBERV, typeid(TWipeRubberV)}};
    for (const auto& row : rows) {
        TStage stage(8, 6);
        const auto wipe = CreateWipe(row.Type, stage.Dest, stage.Old, stage.New);
        ASSERT_TRUE(wipe) << int(row.Type);
        EXPECT_EQ(typeid(*wipe), row.Class) << int(row.Type);
        EXPECT_EQ(wipe->GetParam(0), 0);
        EXPECT_EQ(wipe->GetParam(1), 0);
    }
}

TEST(WipeEffects, AFinishedTransitionDrawsNothing) {
    for (const TMaker& maker : std::vector<TMaker>{
             Make<TWipeFade>, Make<TWipeWhite>, Make<TWipeBlack>, Make<TWipeFlash>, Make<TWipeScrollH>,
             Make<TWipeScrollV>, Make<TWipeSudareH>, Make<TWipeSudareV>, Make<TWipeRubberH>, Make<TWipeRubberV>,
             Make<TWipeTwistH>, Make<TWipeTwistV>, Make<TWipeZoomin>, Make<TWipeMosaic>}) {
        TStage stage(8, 6);
        auto wipe = maker(stage.Dest, stage.Old, stage.New);
        wipe->Length = 0;  // nothing divides by it
        EXPECT_TRUE(wipe->Step());
        wipe->Length = wipe->Elapsed = 10;
        EXPECT_TRUE(wipe->Step());
        EXPECT_TRUE(stage.Dest.Calls.empty());
        EXPECT_EQ(Text(wipe->UpdateRect), "0,0,8,6");
    }
}

TEST(WipeEffects, PixelsOfTheFrames) {
    TStage stage(8, 6);
    stage.Run(Make<TWipeScrollH>, 1, 4);
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(stage.Dest.GetPixel(x, 3), x < 6 ? stage.Old.GetPixel(x + 2, 3) : stage.New.GetPixel(x - 6, 3));

    stage.Run(Make<TWipeWhite>, 255, 511);
    EXPECT_EQ(stage.Dest.GetPixel(5, 5) & 0xFFFFFF, 0xFFFFFFu);

    // Rows whose turn has not begun keep what Dest showed.
    stage.Dest.Fill(0x123456);
    stage.Run(Make<TWipeTwistH>, 1, 12);
    EXPECT_EQ(stage.Dest.GetPixel(7, 0), 0u);  // the narrowed row leaves black at its side
    EXPECT_EQ(stage.Dest.GetPixel(3, 0), stage.Old.GetPixel(3, 0));
    EXPECT_EQ(stage.Dest.GetPixel(3, 5), 0x123456u);
}

TEST(WipeEffects, MosaicShowsEachPictureInBlocksAndBlendsBetween) {
    TStage stage(64, 32);
    Paint(stage.Old, 64, 32, 32, [](int, int) { return 0x0000F0u; });
    Paint(stage.New, 64, 32, 32, [](int, int) { return 0xF00000u; });
    stage.Run(Make<TWipeMosaic>, 100, 1023);  // old only
    EXPECT_EQ(stage.Dest.GetPixel(40, 20), 0x0000F0u);
    stage.Run(Make<TWipeMosaic>, 600, 1023);  // the new one over it with blend (600 - 256) div 2
    EXPECT_EQ(stage.Dest.GetPixel(40, 20), uint32_t((0xF0 * 172 >> 8) << 16 | (0xF0 * 83 >> 8)));
    stage.Run(Make<TWipeMosaic>, 800, 1023);  // new only
    EXPECT_EQ(stage.Dest.GetPixel(40, 20), 0xF00000u);
}

}  // namespace
