#pragma once
// A title for the project's tests: its install set, project file (written by tools/vpage.py) and
// pages in the memory archive of the page fixture, a folder on disk for its save data, and the
// answers of the OK/Cancel questions scripted.
#include "script/project.h"

#include "core/installset.h"
#include "platform/fs.h"
#include "tests/common/fixture.h"
#include "tests/script/page_fixture.h"

#include <deque>
#include <functional>
#include <map>

namespace pagetest {

// A project file written by vpage.py from its JSON description.
inline std::string ProjectFileBytes(const std::string& Json) { return VPageFile("project", Json); }

inline std::string InstallSetBytes(const std::string& SetId, bool FullyInstalled, int32_t Disc = 0) {
    TVelaInstallSet set;
    set.SetId = SetId;
    set.FullyInstalled = FullyInstalled;
    set.DiscNumber = Disc;
    TMemoryStream stream;
    set.SaveToStream(stream);
    return std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
}

// An archive file (program path) of the entries given.
inline void WriteArchive(const std::string& FileName, const std::map<std::string, std::string>& Entries) {
    TVrFileCollection archive;
    for (const auto& [name, bytes] : Entries)
        archive.AddStream(name).DataSource->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    TNxBigFileStream file(FileName, fmCreate);
    WriteIndex(archive, file);
}

// The uncompressed bytes of an entry of an archive file.
inline std::string ArchiveEntry(const std::string& FileName, const std::string& Name) {
    TVrFileCollection archive;
    archive.Open(FileName);
    TMemoryStream entry;
    archive.ReadFile(entry, Name);
    return std::string(reinterpret_cast<const char*>(entry.Memory()), static_cast<size_t>(entry.Size()));
}

class ProjectTest : public PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        hostFolder = FreshHostFolder();
        folder = platform::fs::ToProgramPath(hostFolder);
        VrFileManager->SetCdRoots({});
        VrFileManager->AskOkCancel = [this](const std::string& Text) {
            Asked.push_back(Text);
            if (WhenAsked) WhenAsked();
            if (Answers.empty()) {
                ADD_FAILURE() << "unexpected question";
                return false;
            }
            const bool answer = Answers.front();
            Answers.pop_front();
            return answer;
        };
    }
    void TearDown() override {
        FreeProject();
        PageTest::TearDown();
    }

    // The install set "t" (installed whole) and the project file of the title "t": 640 x 480,
    // start page m.vsb, save enabled; Fields are added to its description.
    void AddTitle(const std::string& Fields = "") {
        AddFile("install.dat", InstallSetBytes("t", true));
        AddFile("vela.vpb", ProjectFileBytes(R"({"title": "t", "width": 640, "height": 480, "start_page": "m.vsb",
            "save_enabled": true)" + Fields + "}"));
    }
    // Opens the title as the player started with the test's folder as its argument: save.dat
    // lies there.
    void Open(std::vector<std::string> Args = {}) {
        TProjectStart start;
        start.ProgramFile = folder + "velaplay";
        start.Args = Args.empty() ? std::vector<std::string>{folder} : std::move(Args);
        start.Sections = std::move(sections);
        CreateProject(std::move(start));
        state.SetRunner(Project->Runner.get());
    }

    std::string SaveFile() const { return folder + "save.dat"; }
    std::string SaveHostFile() const { return hostFolder + "save.dat"; }

    std::string hostFolder, folder;  // the test's folder, host and program path
    std::unique_ptr<TSaveSections> sections;  // given to the next Open
    // The questions asked, their answers to come, and what happens as each is asked.
    std::vector<std::string> Asked;
    std::deque<bool> Answers;
    std::function<void()> WhenAsked;
};

}  // namespace pagetest
