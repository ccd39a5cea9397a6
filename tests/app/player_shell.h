#pragma once
// The base of the suites that open the player's window themselves: the globals the program's
// entry makes around it (the engine library bound from the built player's folder, the shell),
// and the window, closed before they go.
#include "app/view.h"

#include "app/entry.h"
#include "media/velabind.h"
#include "platform/fs.h"

#include <gtest/gtest.h>

#include <memory>

class PlayerShell : public testing::Test {
protected:
    void SetUp() override {
        BindVelaLibrary(platform::fs::ToProgramPath(VELA_PLAYER_FOLDER "/"));
        InitializeShell();
    }
    void TearDown() override {
        form.reset();
        FinalizeShell();
        UnbindVelaLibrary();
    }

    std::unique_ptr<TFormView> form;
};
