#pragma once
// The settings dialog of "velaplay /config": whether DirectSound plays the sound, and the
// software mixer's delay used without it, kept in "game.ini" beside the program.
#include "app/widgets.h"

#include <string>

namespace platform {
class Display;
}

class TFormConfig : public TWidgetForm {
public:
    // IniFile is the program path of the settings file; Display shows the message boxes.
    TFormConfig(platform::Display& Display, std::string IniFile);

    TBevel Bevel1;
    TCheckBox CheckSound;
    TLabel LabelBuff;
    TLabel LabelBuffInfo;
    TTrackBar TrackBuff;
    TButton btnOK;
    TButton btnCancel;
    // From FormCreate until the dialog closes.
    bool Running = false;

    // Reads the settings into the controls.
    void FormCreate();
    // The delay applies only to the software mixer: its controls are enabled without DirectSound.
    void CheckSoundClick();
    void TrackBuffChange();
    // Writes the settings and closes. When the file cannot be written a message box says so,
    // the old file stays as it was, and the dialog closes all the same.
    void btnOKClick();
    void btnCancelClick();
    void FormClose();

    static constexpr int32_t ClientWidth = 270, ClientHeight = 179;

private:
    platform::Display& display_;
    std::string iniFile_;
};

// The dialog of "/config": made, shown in Display's dialog window, and run until it closes.
void RunConfigDialog(platform::Display& Display, const std::string& IniFile);
