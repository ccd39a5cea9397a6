#pragma once
// The player's parts of the save records: the object root, the message histories and the read
// marks of the object layer's globals. A part whose global does not exist falls back on the
// headless form.
#include "script/savedata.h"

class TSceneSaveSections : public TSaveSections {
public:
    void SaveObjects(TStream& Stream) override;
    void LoadObjects(TStream& Stream, int32_t Version) override;
    // Every message window rebuilds its pages and takes back their reveal.
    void AfterLoad() override;

    // The history manager's formats; older saves hold one history, the unnamed format's, which
    // the cleared manager keeps alone.
    void SaveHistory(TStream& Stream) override;
    void LoadHistory(TStream& Stream, int32_t Version) override;

    void SaveReadMarks(TStream& Stream) override;
    void LoadReadMarks(TStream& Stream, int32_t Version) override;
};
