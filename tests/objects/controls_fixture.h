#pragma once
// A scene for the value controls: the image kinds' scene (fake clock, in-memory pictures) with
// the input step, the events queued, and pictures repainted so that a drawn pixel tells which
// cell and which row or column of the cell it came from, on layers of any depth.
#include "objects/vitemex_mira.h"
#include "tests/objects/image_kinds_fixture.h"

#include <string>
#include <vector>

class ControlsTest : public ImageKindsTest {
protected:
    void SetUp() override {
        ImageKindsTest::SetUp();
        Bases->SetWidth(160);
        Bases->SetHeight(80);
    }
    // One tick of Ms: the input step, then the object step; answers "handler:args" of the events
    // queued and empties the queue.
    std::vector<std::string> Tick(uint32_t Ms = 10) {
        Host->Clock += Ms;
        Host->Tick = Ms;
        Bases->Update(Host->Clock);
        Bases->Step();
        std::vector<std::string> out;
        TTimerList& q = Bases->GetEvents();
        for (int i = 0; i < q.Count(); ++i) {
            std::string e = q.Items(i)->Handler;
            for (int a = 0; a < q.Items(i)->Args.Count(); ++a) e += ":" + q.Items(i)->Args.Strings(a);
            out.push_back(e);
        }
        q.Clear();
        return out;
    }
    TVelaBase* Layer() { return Bases->GetBase(0); }
    void Move(int X, int Y) { Layer()->SetMousePos({X, Y}); }
    void Press() { Layer()->LeftHeld = Layer()->LeftLatch = true; }
    void Release() { Layer()->LeftHeld = false; }
    std::vector<std::string> Key(int K) {
        Bases->SetKeyState(K, true);
        Bases->SetKeyLatch(K, true);
        std::vector<std::string> events = Tick();
        Bases->SetKeyState(K, false);
        return events;
    }

    // Picture Name of Cells cells of W x H. Drawn, cell c's pixel at (x, y) shows as the
    // character of its row (Vertical) or column: '0'.. in cell 0, 'g'.. in cell 1 ('.' for the
    // black background).
    void CellPicture(const std::string& Name, int Cells, int32_t W, int32_t H, bool Vertical) {
        Cache->Source->Files[Name] = {{Cells * W, H, 100, false}};
        TMiraItem& item = MiraMan->Acquire(this, Name, false, false);
        TCustomDIBX& s = *item.GetFrame(0)->Surface;
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < Cells * W; ++x) s.SetPixel(x, y, s.ColorToPixel(CellColor(x / W, Vertical ? y : x % W)));
        Held.push_back(&item);
    }
    static int32_t CellColor(int Cell, int Index) { return (Cell ? 0xF80000 : 0) | Index << 12 | 0xF8; }
    // The characters of Length pixels of a surface from (X, Y) along x (or y when Vertical).
    static std::string Strip(TCustomDIBX& S, int32_t X, int32_t Y, int32_t Length, bool Vertical) {
        std::string out;
        for (int32_t i = 0; i < Length; ++i) {
            const uint32_t p = S.GetPixel(Vertical ? X : X + i, Vertical ? Y + i : Y);
            char c = '?';
            if (p == 0) c = '.';
            for (int cell = 0; cell < 2; ++cell)
                for (int index = 0; index < 16; ++index)
                    if (p == uint32_t(S.ColorToPixel(CellColor(cell, index))))
                        c = cell ? char('g' + index) : "0123456789ABCDEF"[index];
            out += c;
        }
        return out;
    }
    // Layer Index drawn whole, as Strip reads it.
    std::string Drawn(int Index, int32_t X, int32_t Y, int32_t Length, bool Vertical) {
        TVelaBase& layer = *Bases->GetBase(Index);
        layer.InvalidateAll();
        Bases->Prepare();
        return Strip(*layer.GetSurface(), X, Y, Length, Vertical);
    }
    void TearDown() override {
        for (TMiraItem* item : Held) item->Release(this);
        ImageKindsTest::TearDown();
    }
    std::vector<TMiraItem*> Held;
};
