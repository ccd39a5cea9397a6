// Creating scene objects by their type code from a script function.
#include "objects/vitems.h"
#include "script/services.h"
#include "tests/script/params_funcs_fixture.h"

namespace {

class ObjectFuncs : public FuncsTest {
protected:
    void SetUp() override {
        FuncsTest::SetUp();
        CreateScriptServices();
        VelaInitialize();
    }
    void TearDown() override {
        VelaFinalize();
        FreeScriptServices();
        FuncsTest::TearDown();
    }
};

TEST_F(ObjectFuncs, CreateObjectMakesTheKindOfItsCode) {
    EXPECT_TRUE(Call("CreateObject", {I(2 + 128), S("panel")}).GetAsBool());
    TVelaObject* panel = Bases->FindObject("panel");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->GetCompoType(), LT_BOX);
    EXPECT_EQ(panel->GetParent(), Bases->GetBase(Bases->GetCurrentLayer()));
    EXPECT_TRUE(Call("CreateObject", {I(LT_BOX), S("inner"), S("panel")}).GetAsBool());
    EXPECT_EQ(Bases->FindObject("inner")->GetParent(), panel);
    EXPECT_TRUE(Call("CreateObject", {I(LT_HTTP), S("news")}).GetAsBool());
    EXPECT_EQ(Bases->FindObject("news")->GetCompoType(), LT_HTTP);
    // Codes that make nothing.
    const int count = Bases->GetObjectCount();
    EXPECT_FALSE(Call("CreateObject", {I(1), S("x")}).GetAsBool());
    EXPECT_FALSE(Call("CreateObject", {I(10), S("y")}).GetAsBool());
    EXPECT_EQ(Bases->GetObjectCount(), count);
}

}  // namespace
