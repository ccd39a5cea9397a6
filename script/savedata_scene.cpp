#include "script/savedata_scene.h"

#include "objects/vitemex_mes.h"
#include "objects/vitemex_read.h"
#include "objects/vitems.h"
#include "text/histories.h"

void TSceneSaveSections::SaveObjects(TStream& Stream) {
    if (Bases) Bases->SaveToStream(Stream);
}

void TSceneSaveSections::LoadObjects(TStream& Stream, int32_t Version) {
    if (Bases) Bases->LoadFromStream(Stream, Version);
}

void TSceneSaveSections::AfterLoad() {
    if (!Bases) return;
    for (int i = 0; i < Bases->GetObjectCount(); ++i)
        if (auto* window = dynamic_cast<TVelaMes*>(Bases->GetObject(i))) window->RestoreAfterLoad();
}

void TSceneSaveSections::SaveHistory(TStream& Stream) {
    if (TextHistoryFormats)
        TextHistoryFormats->SaveToStream(Stream);
    else
        TSaveSections::SaveHistory(Stream);
}

void TSceneSaveSections::LoadHistory(TStream& Stream, int32_t Version) {
    if (!TextHistoryFormats) {
        TSaveSections::LoadHistory(Stream, Version);
    } else if (Version >= HistoryManagerSaveVersion) {
        TextHistoryFormats->LoadFromStream(Stream, Version);
    } else {
        TextHistoryFormats->Clear();
        TextHistoryFormats->GetItem(0).History().LoadFromStream(Stream, Version);
    }
}

void TSceneSaveSections::SaveReadMarks(TStream& Stream) {
    if (TextRead)
        TextRead->SaveToStream(Stream);
    else
        TSaveSections::SaveReadMarks(Stream);
}

void TSceneSaveSections::LoadReadMarks(TStream& Stream, int32_t Version) {
    if (TextRead)
        TextRead->LoadFromStream(Stream, Version);
    else
        TSaveSections::LoadReadMarks(Stream, Version);
}
