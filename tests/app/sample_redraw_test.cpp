// The sample title played to its end in a window built only from the rectangles each present
// showed: every few ticks it must match the whole scene drawn again, so that nothing a deleted,
// hidden or moved object covered stays on any screen.
#include "tests/app/sample_fixture.h"

#include "objects/vitemex_video.h"
#include "script/services.h"
#include "tests/common/presented_window.h"

namespace {

TEST_F(SampleTitle, TheWindowMatchesAWholeRedrawOnEveryScreen) {
    TPresentedWindow window(display);
    int checks = 0, tick = 0;
    for (; tick < 9000 && !Terminating(); ++tick) {
        Tick();
        window.Take();
        // A running transition shows only its own rectangle. Stale pixels stay until something
        // draws over them, so a look every few ticks finds them.
        if (tick % 4 != 0 || Bases->GetWipeType() != 0) continue;
        // A video's frames come in real time: its own rectangle may have moved on meanwhile.
        std::vector<TRect> videos;
        for (int i = 0; i < Bases->GetObjectCount(); ++i)
            if (auto* video = dynamic_cast<TVelaVideo*>(Bases->GetObject(i)); video && video->IsShown())
                videos.push_back(video->GetBoundsRect());
        ++checks;
        ASSERT_EQ(window.StalePixels(form->BasePanel, videos), "") << "at " << now << " ms";
    }
    EXPECT_TRUE(Terminating());
    EXPECT_GT(checks, 500) << tick << " ticks";
}

}  // namespace
