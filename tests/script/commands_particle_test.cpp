// ParticleNew on pages written by vpage.py: the emitter's own copies of the command's spawn
// expressions, run by the emitter later, and an expression the page's mask lacks left empty.
#include "objects/vitemex_particle.h"
#include "script/services_objects.h"
#include "tests/script/page_fixture.h"

using namespace pagetest;

namespace {

class ParticleCommands : public CommandTest {
protected:
    void SetUp() override {
        CommandTest::SetUp();
        VelaInitialize();
        SetScriptObjects(std::make_unique<TSceneObjects>());
    }
    void TearDown() override {
        VelaFinalize();
        CommandTest::TearDown();
    }
    // Runs one ParticleNew with the properties given (JSON) under the ParticleNew mask given,
    // and answers the emitter.
    TVelaParticle& Run(const std::string& Mask, const std::string& Props) {
        AddFile("p.vsb", VPage(R"({"return": "int", "masks": {"ParticleNew": ")" + Mask +
                               R"("}, "commands": [{"cmd": "ParticleNew", "props": )" + Props + "}]}"));
        runner.Start("p.vsb");
        Ticks(1);
        auto* emitter = dynamic_cast<TVelaParticle*>(Bases->FindObject("snow"));
        if (!emitter) throw EVelaError("no emitter");
        return *emitter;
    }
    static int32_t Value(TVelaParser& Expression) {
        Expression.Execute();
        return Expression.Result() ? Expression.Result()->AsInt() : -1;
    }
};

TEST_F(ParticleCommands, TheEmitterRunsItsOwnCopiesOfTheSpawnExpressions) {
    Var("v", PT_INT).SetAsInt(3);
    // The built-in mask.
    TVelaParticle& emitter = Run("7F78000CFC930000000001F0C900F2014000BF000000",
                                 R"({"NAME": "\"snow\"", "APPEARX": "7", "APPEARY": "v", "DELAY": "40"})");
    ParamMan->Find("v")->SetAsInt(11);
    EXPECT_EQ(Value(emitter.GetSpawnX()), 7);
    EXPECT_EQ(Value(emitter.GetSpawnY()), 11);
    EXPECT_EQ(Value(emitter.GetSpawnInterval()), 40);
}

TEST_F(ParticleCommands, AnIdTheMaskLacksLeavesItsExpressionEmpty) {
    // Without PR_APPEARY (the page may not name it).
    TVelaParticle& emitter = Run("7F78000CFC930000000001D0C900F2014000BF000000",
                                 R"({"NAME": "\"snow\"", "APPEARX": "7", "DELAY": "40"})");
    EXPECT_EQ(emitter.GetSpawnY().Count(), 0);
    EXPECT_EQ(Value(emitter.GetSpawnX()), 7);
}

}  // namespace
