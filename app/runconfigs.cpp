// The settings dialog: two sound settings of game.ini.
#include "app/runconfigs.h"

#include "app/gameini.h"
#include "core/sysutils.h"
#include "platform/display.h"

#include <utility>
#include <vector>

namespace {

constexpr char DialogCaption[] = "動作設定";

}  // namespace

TFormConfig::TFormConfig(platform::Display& Display, std::string IniFile)
    : display_(Display), iniFile_(std::move(IniFile)) {
    SetCaption(DialogCaption);
    SetBounds(0, 0, ClientWidth, ClientHeight);
    Bevel1.SetParent(this);
    Bevel1.SetBounds(8, 8, 253, 113);
    CheckSound.SetParent(this);
    CheckSound.SetBounds(20, 22, 229, 17);
    CheckSound.SetCaption("DirectSoundを使用する(&S)");
    CheckSound.OnClick = [this](TControl*) { CheckSoundClick(); };
    LabelBuff.SetParent(this);
    LabelBuff.SetBounds(20, 54, 150, 12);
    LabelBuff.SetCaption("サウンドの遅延時間(&D)：");
    LabelBuff.FocusControl = &TrackBuff;
    LabelBuffInfo.SetParent(this);
    LabelBuffInfo.SetBounds(180, 54, 69, 12);
    LabelBuffInfo.Alignment = TAlignment::taRightJustify;
    TrackBuff.SetParent(this);
    TrackBuff.SetBounds(20, 72, 229, 33);
    TrackBuff.SetRange(1, 5);
    TrackBuff.PageSize = 1;
    TrackBuff.Frequency = 1;
    TrackBuff.SetPosition(5);
    TrackBuff.OnChange = [this](TControl*) { TrackBuffChange(); };
    btnOK.SetParent(this);
    btnOK.SetBounds(106, 140, 75, 25);
    btnOK.SetCaption("OK");
    btnOK.Default = true;
    btnOK.OnClick = [this](TControl*) { btnOKClick(); };
    btnCancel.SetParent(this);
    btnCancel.SetBounds(186, 140, 75, 25);
    btnCancel.SetCaption("キャンセル");
    btnCancel.Cancel = true;
    btnCancel.OnClick = [this](TControl*) { btnCancelClick(); };
    for (TWinControl* control : std::initializer_list<TWinControl*>{&CheckSound, &TrackBuff, &btnOK, &btnCancel})
        control->TabStop = true;
    OnClose = [this](TWidgetForm*) { FormClose(); };
}

void TFormConfig::FormCreate() {
    Running = true;
    std::vector<std::string> warnings;
    const TGameIni ini = ReadGameIni(iniFile_, warnings);
    for (const std::string& warning : warnings) platform::PrintMessage("velaplay", warning);
    CheckSound.SetChecked(ini.DirectSound);
    TrackBuff.SetPosition(ini.DelayTime / 100);
    CheckSoundClick();
    TrackBuffChange();
}

void TFormConfig::CheckSoundClick() {
    const bool software = !CheckSound.Checked();
    TrackBuff.SetEnabled(software);
    LabelBuff.SetEnabled(software);
    LabelBuffInfo.SetEnabled(software);
}

void TFormConfig::TrackBuffChange() { LabelBuffInfo.SetCaption(Format("%dms", TrackBuff.Position() * 100)); }

void TFormConfig::btnOKClick() {
    try {
        WriteGameIniSound(iniFile_, CheckSound.Checked(), TrackBuff.Position() * 100);
    } catch (const EVelaError& E) {
        display_.messageBox(DialogCaption, "設定を保存できませんでした。\r\n" + std::string(E.what()),
                            platform::MessageButtons::Ok, platform::MessageIcon::Error);
    }
    Close();
}

void TFormConfig::btnCancelClick() { Close(); }

void TFormConfig::FormClose() { Running = false; }

void RunConfigDialog(platform::Display& Display, const std::string& IniFile) {
    TFormConfig form(Display, IniFile);
    form.FormCreate();
    ShowModal(form, Display);
    // A dialog window that could not be opened ends the dialog as a close would.
    form.Running = false;
}
