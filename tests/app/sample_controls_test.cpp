// The sample title's controls screen as the headless window plays it: a click on the slider's
// track moves the gauge and the picture's alpha with it, the timer moves the values when nobody
// does, the name typed into the name field is greeted on the next screen, and the title goes on.
#include "tests/app/sample_fixture.h"

#include "objects/vitemex_edit.h"
#include "objects/vitemex_slider.h"

namespace {

TEST_F(SampleTitle, TheSliderDrivesTheGaugeAndThePictureThenTheScreenGoes) {
    auto slider = [] { return dynamic_cast<TVelaSlider*>(Bases->FindObject("ctlslider")); };
    for (int tick = 0; tick < 4000 && !slider(); ++tick) Tick();
    ASSERT_NE(slider(), nullptr);
    TVelaObject* gauge = Bases->FindObject("ctlgauge");
    TVelaObject* picture = Bases->FindObject("ctlpicture");
    TVelaObject* scroll = Bases->FindObject("ctlscroll");
    Tick();
    // A quarter of the 240-pixel track over 0..255: the thumb jumps there.
    const TRect track = slider()->TrackRect();
    Click(track.Left + 60, (track.Top + track.Bottom) / 2);
    EXPECT_LE(slider()->GetValue(), 64);
    EXPECT_GT(slider()->GetValue(), 0);
    EXPECT_EQ(gauge->GetValue(), slider()->GetValue());
    EXPECT_EQ(picture->GetAlpha(), slider()->GetValue());
    // Left alone, the timer brings them down and moves the scrollbar.
    Tick(40);
    EXPECT_EQ(slider()->GetValue(), 0);
    EXPECT_EQ(gauge->GetValue(), 0);
    EXPECT_EQ(picture->GetAlpha(), 0);
    EXPECT_GT(scroll->GetValue(), 0);
    // The name field, prefilled, took the focus; a click on the slider gave the keys back to the
    // scene, a click on the field takes them again and its text is typed over.
    auto* name = dynamic_cast<TVelaEdit*>(Bases->FindObject("ctlname"));
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->GetText(), "ななしのごんべえ");
    const TRect field = name->NativeBounds();
    Click(field.Left + 4, field.Top + 4);
    EXPECT_EQ(TextFieldFocus(), name);
    platform::InputEvent typed;
    typed.kind = platform::InputKind::Text;
    typed.text = "猫";
    display.inject(typed);
    Tick();
    for (int tick = 0; tick < 200 && Bases->FindObject("ctlpanel"); ++tick) Tick();
    TVelaObject* hello = Bases->FindObject("ctlhello");
    ASSERT_NE(hello, nullptr);
    EXPECT_EQ(hello->GetText(), "ようこそ、猫ななしのごんべえ さん");
    EXPECT_EQ(Bases->FindObject("ctlpanel"), nullptr);
    for (int tick = 0; tick < 200 && !Bases->FindObject("midipanel"); ++tick) Tick();
    EXPECT_NE(Bases->FindObject("midipanel"), nullptr);
}

}  // namespace
