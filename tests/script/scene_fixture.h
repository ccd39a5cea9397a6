#pragma once
// Pages of the real commands over the player's object root (64 x 48); TextSceneTest adds the
// fake pixel fonts for the commands that show text.
#include "objects/vitems.h"
#include "script/services_objects.h"
#include "tests/script/page_fixture.h"
#include "text/fontpixels.h"

namespace pagetest {

class SceneCommandTest : public CommandTest {
protected:
    void SetUp() override {
        CommandTest::SetUp();
        VelaInitialize();
        Bases->SetWidth(64);
        Bases->SetHeight(48);
        SetScriptObjects(std::make_unique<TSceneObjects>());
    }
    void TearDown() override {
        VelaFinalize();
        CommandTest::TearDown();
    }
};

class TextSceneTest : public SceneCommandTest {
protected:
    void SetUp() override {
        SceneCommandTest::SetUp();
        FontPixelManager = new TFontPixelManager(platform::CreateFakeFontService);
    }
    void TearDown() override {
        delete FontPixelManager;
        FontPixelManager = nullptr;
        SceneCommandTest::TearDown();
    }
};

}  // namespace pagetest
