// Project files from arbitrary bytes: the settings either read or raise one of the engine's own
// errors; settings that read open the title they describe (its pages absent) and declare its
// variables, or the opening raises one of the engine's own errors or the refusal of the input's
// memory and leaves no project.
// Seed corpus: make_script_corpus.py
#include "fuzz/harness.h"

#include "script/project.h"

int TestOneInput(const uint8_t* Data, size_t Size) {
    {
        TMemoryStream stream = fuzz::StreamOf(Data, Size);
        TProjectSetting settings;
        try {
            settings.LoadFromStream(stream);
        } catch (const EVelaError&) {
            return 0;
        }
    }
    fuzz::TWorld world;
    world.AddTitle(Data, Size);
    // Saving stays off: the work folder is not the save file's folder.
    TProjectStart start;
    start.ProgramFile = fuzz::WorkFile("velaplay");
    start.Args = {fuzz::WorkFile("none\\")};
    try {
        CreateProject(std::move(start));
    } catch (const EVelaError&) {
        fuzz::Check(!Project);
        return 0;
    } catch (const EMemoryBudget&) {  // a project file inflating past the input's memory
        fuzz::Check(!Project);
        return 0;
    }
    FreeProject();
    return 0;
}
