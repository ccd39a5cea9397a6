// Edit and memo records of save data from arbitrary bytes (the first byte's low bit picks the
// kind, the next the save version, the rest is the record), read into a field on the first
// layer: a read either succeeds, and the field then round-trips, steps, takes keys, typed text
// and presses, and draws; anything else raises one of the engine's own errors. Seed corpus: the
// records of tests/tools/edit_records.py.
#include "fuzz/harness.h"
#include "objects/vitemex_edit.h"
#include "platform/display.h"

int TestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 1) return 0;
    fuzz::TWorld world;
    fuzz::UseFakeFonts();
    TVelaTextField* field = Data[0] & 1 ? static_cast<TVelaTextField*>(fuzz::LoadSceneRecord<TVelaMemo>(Data + 1, Size - 1))
                                        : fuzz::LoadSceneRecord<TVelaEdit>(Data + 1, Size - 1);
    if (!field) return 0;
    field->SetBounds(2, 2, 40, 30);
    field->SetPaused(false);
    field->SetVisible(true);
    field->Step();
    field->FocusNativeControl();
    platform::InputEvent e;
    for (int32_t key : {0x23, 0x26, 0x0D, 0x25, 0x08, 0x2E, 0x22, 0x24}) {
        e.kind = platform::InputKind::KeyDown;
        e.key = key;
        DispatchTextFieldInput(e);
    }
    e.kind = platform::InputKind::Text;
    e.text = "\x95\x5C";
    DispatchTextFieldInput(e);
    e.kind = platform::InputKind::MouseDown;
    e.button = platform::MouseButton::Left;
    e.x = 40;
    e.y = 20;
    DispatchTextFieldInput(e);
    e.kind = platform::InputKind::MouseUp;
    DispatchTextFieldInput(e);
    Bases->GetBase(0)->InvalidateAll();
    Bases->Prepare();
    return 0;
}
