#include "media/dxwrapper.h"

TControlSubClass::TControlSubClass(TWindowControl& Control, THandler Handler, void* Data)
    : FControl(Control), FDefaultProc(Control.WindowProc) {
    FControl.WindowProc = [this, Handler, Data](const platform::InputEvent& Message) {
        Handler(Data, Message, FDefaultProc);
    };
}

TControlSubClass::~TControlSubClass() { FControl.WindowProc = FDefaultProc; }
