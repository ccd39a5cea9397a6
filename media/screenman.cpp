#include "media/screenman.h"

TScreenManager* ScreenMan = nullptr;
