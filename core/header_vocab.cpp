// The script vocabulary tables. Every table is built at compile time; the row lists are sized
// against the counts of the header, so a missing or extra entry does not compile.
#include "core/header_vocab.h"

#include <cstddef>

namespace {

// One field of every row of a table, as its own table.
template <typename Row, typename Field, std::size_t N>
constexpr std::array<Field, N> Column(const std::array<Row, N>& Rows, Field Row::*Member) {
    std::array<Field, N> Result{};
    for (std::size_t i = 0; i < N; ++i) Result[i] = Rows[i].*Member;
    return Result;
}

struct TSysFuncRow {
    const char* Name;
    int32_t MinArgs;
    int32_t MaxArgs;
    TParamType Result;
};

constexpr auto SysFuncRows = std::to_array<TSysFuncRow>({
    {"IntToStr", 1, 2, PT_STR},  // 0
    {"IntToHex", 2, 2, PT_STR},
    {"GetProp", 2, 2, PT_STR},
    {"SetProp", 3, 3, PT_STR},
    {"GetArraySize", 1, 2, PT_INT},
    {"Length", 1, 1, PT_INT},
    {"JLength", 1, 1, PT_INT},
    {"Copy", 2, 3, PT_STR},
    {"JCopy", 2, 3, PT_STR},
    {"Delete", 2, 3, PT_STR},
    {"JDelete", 2, 3, PT_STR},  // 10
    {"Insert", 3, 3, PT_STR},
    {"JInsert", 3, 3, PT_STR},
    {"CompareStr", 2, 2, PT_INT},
    {"CompareText", 2, 2, PT_INT},
    {"Pos", 2, 2, PT_INT},
    {"JPos", 2, 2, PT_INT},
    {"Trim", 1, 1, PT_STR},
    {"JTrim", 1, 1, PT_STR},
    {"Exists", 1, 1, PT_BOOL},
    {"Not", 1, 1, PT_BOOL},  // 20
    {"SetArray", 2, -1, PT_INT},
    {"FillMem", 2, 2, PT_INT},
    {"CopyMem", 2, 2, PT_INT},
    {"GetCheck", 2, 2, PT_BOOL},
    {"SetCheck", 3, 3, PT_INT},
    {"Random", 1, 1, PT_INT},
    {"GetSaveCaption", 1, 1, PT_STR},
    {"ArrayToString", 1, 2, PT_STR},
    {"StringToArray", 2, 3, PT_INT},
    {"IndexOfStr", 2, 4, PT_INT},  // 30
    {"SortStr", 1, 3, PT_INT},
    {"ListCompo", 1, 4, PT_INT},
    {"ToClientX", 2, 2, PT_INT},
    {"ToClientY", 2, 2, PT_INT},
    {"ToScreenX", 2, 2, PT_INT},
    {"ToScreenY", 2, 2, PT_INT},
    {"Int", 1, 1, PT_INT},
    {"Float", 1, 1, PT_FLOAT},
    {"Sin", 1, 1, PT_FLOAT},
    {"Cos", 1, 1, PT_FLOAT},  // 40
    {"Tan", 1, 1, PT_FLOAT},
    {"ArcSin", 1, 1, PT_FLOAT},
    {"ArcCos", 1, 1, PT_FLOAT},
    {"ArcTan", 1, 1, PT_FLOAT},
    {"ArcTan2", 2, 2, PT_FLOAT},
    {"Hypot", 2, 2, PT_FLOAT},
    {"IndexOfMenu", 2, 2, PT_INT},
    {"Abs", 1, 1, PT_INT},
    {"Fabs", 1, 1, PT_FLOAT},
    {"VarExists", 1, 1, PT_BOOL},  // 50
    {"EncodeDate", 3, 3, PT_FLOAT},
    {"EncodeTime", 3, 3, PT_FLOAT},
    {"DecodeDate", 4, 4, PT_INT},
    {"DecodeTime", 4, 4, PT_INT},
    {"GetYear", 1, 1, PT_INT},
    {"GetMonth", 1, 1, PT_INT},
    {"GetDay", 1, 1, PT_INT},
    {"GetHour", 1, 1, PT_INT},
    {"GetMin", 1, 1, PT_INT},
    {"GetSec", 1, 1, PT_INT},  // 60
    {"GetWeek", 1, 1, PT_INT},
    {"GetWeekStr", 1, 1, PT_STR},
    {"GetWeekJStr", 1, 1, PT_STR},
    {"FixStr", 1, 1, PT_STR},
    {"GetDisplayMode", 5, 5, PT_BOOL},
    {"AddArray", 2, 2, PT_INT},
    {"InsertArray", 3, 3, PT_INT},
    {"DeleteArray", 3, 3, PT_INT},
    {"InPrimary", 1, 1, PT_BOOL},
    {"CopyArray", 2, 2, PT_BOOL},  // 70
    {"FileExists", 1, 1, PT_BOOL},
    {"LoadTextFile", 2, 2, PT_BOOL},
    {"LowerCase", 1, 1, PT_STR},
    {"UpperCase", 1, 1, PT_STR},
    {"ExtractFilePath", 1, 1, PT_STR},
    {"ExtractFileName", 1, 1, PT_STR},
    {"ExtractFileExt", 1, 1, PT_STR},
    {"IsPathDelimiter", 2, 2, PT_BOOL},
    {"AddBackSlash", 1, 1, PT_STR},
    {"ChangeFileExt", 2, 2, PT_STR},  // 80
    {"IsDelimiter", 3, 3, PT_BOOL},
    {"StringOfChar", 2, 2, PT_STR},
    {"StringReplace", 3, 5, PT_STR},
    {"AssignTemp", 1, 1, PT_BOOL},
    {"HanToZen", 1, 1, PT_STR},
    {"ZenToHan", 1, 1, PT_STR},
    {"DBCreateTable", 2, 2, PT_BOOL},
    {"DBSetActive", 1, 1, PT_BOOL},
    {"DBAddField", 2, 3, PT_BOOL},
    {"DBSetRecNo", 1, 1, PT_BOOL},  // 90
    {"DBInsert", 0, -1, PT_BOOL},
    {"DBDelete", 0, 0, PT_BOOL},
    {"DBGetInt", 1, 1, PT_INT},
    {"DBSetInt", 2, 2, PT_BOOL},
    {"DBGetFloat", 1, 1, PT_FLOAT},
    {"DBSetFloat", 2, 2, PT_BOOL},
    {"DBGetBool", 1, 1, PT_BOOL},
    {"DBSetBool", 2, 2, PT_BOOL},
    {"DBGetStr", 1, 1, PT_STR},
    {"DBSetStr", 2, 2, PT_BOOL},  // 100
    {"DBRecordCount", 0, 1, PT_INT},
    {"DBFindFirst", 0, 0, PT_BOOL},
    {"DBFindLast", 0, 0, PT_BOOL},
    {"DBFindNext", 0, 0, PT_BOOL},
    {"DBFindPrior", 0, 0, PT_BOOL},
    {"DBLocate", 2, 4, PT_BOOL},
    {"DBLoadTsvFile", 1, 1, PT_BOOL},
    {"DBDirectGetInt", 7, 7, PT_INT},
    {"DBDirectSetInt", 7, 7, PT_BOOL},
    {"DBDirectGetFloat", 7, 7, PT_FLOAT},  // 110
    {"DBDirectSetFloat", 7, 7, PT_BOOL},
    {"DBDirectGetBool", 7, 7, PT_BOOL},
    {"DBDirectSetBool", 7, 7, PT_BOOL},
    {"DBDirectGetStr", 7, 7, PT_STR},
    {"DBDirectSetStr", 7, 7, PT_BOOL},
    {"DBCopyTable", 1, 5, PT_BOOL},
    {"DBDeleteTable", 0, 1, PT_BOOL},
    {"DBInsertTable", 1, 5, PT_BOOL},
    {"DBCopy", 1, 1, PT_BOOL},
    {"DBClearTable", 0, 0, PT_BOOL},  // 120
    {"DBSort", 2, 2, PT_BOOL},
    {"DBGetActive", 0, 0, PT_STR},
    {"DBGetRecNo", 0, 1, PT_INT},
    {"DBClearRecord", 0, 1, PT_BOOL},
    {"SetWallPaper", 2, 2, PT_BOOL},
    {"Min", 2, 2, PT_INT},
    {"Max", 2, 2, PT_INT},
    {"Fmin", 2, 2, PT_FLOAT},
    {"Fmax", 2, 2, PT_FLOAT},
    {"GetVarType", 1, 1, PT_INT},  // 130
    {"GetEnabled", 2, 2, PT_BOOL},
    {"SetEnabled", 3, 3, PT_INT},
    {"AddDelimiter", 2, 2, PT_STR},
    {"ListSaveCaption", 0, 2, PT_INT},
    {"OpenUrl", 1, 1, PT_BOOL},
    {"Calc", 1, 1, PT_STR},
    {"SaveScreen", 1, 5, PT_BOOL},
    {"StrToIntDef", 2, 2, PT_INT},
    {"StrToFloatDef", 2, 2, PT_FLOAT},
    {"GetVisible", 2, 2, PT_BOOL},  // 140
    {"SetVisible", 3, 3, PT_BOOL},
    {"GetHistoryCount", 1, 1, PT_INT},
    {"GetHistoryMaxCount", 1, 1, PT_INT},
    {"SetHistoryMaxCount", 2, 2, PT_BOOL},
    {"GetGroupIndex", 2, 2, PT_INT},
    {"GetSelected", 2, 2, PT_BOOL},
    {"SetSelected", 3, 3, PT_BOOL},
    {"SelectOpenFile", 1, 2, PT_BOOL},
    {"SelectSaveFile", 1, 2, PT_BOOL},
    {"SelectDirectory", 1, 1, PT_BOOL},  // 150
    {"ExtractFile", 1, 3, PT_BOOL},
    {"Chr", 1, 1, PT_STR},
    {"Ord", 1, 1, PT_INT},
    {"InCabinet", 1, 1, PT_BOOL},
    {"PushVar", 1, -1, PT_BOOL},
    {"PopVar", 0, 0, PT_BOOL},
    {"DeleteStack", 1, 1, PT_BOOL},
    {"CopyFile", 2, 2, PT_BOOL},
    {"DBGetTableCount", 0, 0, PT_INT},
    {"DBGetTable", 2, 3, PT_BOOL},  // 160
    {"CreateObject", 2, 3, PT_BOOL},
    {"DeleteObject", 1, 1, PT_BOOL},
    {"GetItem", 2, 2, PT_STR},
    {"UniqueArray", 1, 1, PT_INT},
    {"TrimArray", 1, 2, PT_INT},
    {"GetImeOpened", 1, 1, PT_BOOL},
    {"SetImeOpened", 2, 2, PT_BOOL},
    {"Alert", 1, 1, PT_BOOL},
});

struct TKeyRow {
    const char* Name;
    uint16_t Code;
};

constexpr auto KeyRows = std::to_array<TKeyRow>({
    {"VkmBACK", 0x08}, {"VkmTAB", 0x09}, {"VkmRETURN", 0x0D}, {"VkmSHIFT", 0x10}, {"VkmCONTROL", 0x11},
    {"VkmALT", 0x12}, {"VkmPAUSE", 0x13}, {"VkmCAPITAL", 0x14}, {"VkmESCAPE", 0x1B}, {"VkmSPACE", 0x20},
    {"VkmPAGEUP", 0x21}, {"VkmPAGEDOWN", 0x22}, {"VkmEND", 0x23}, {"VkmHOME", 0x24}, {"VkmLEFT", 0x25},
    {"VkmUP", 0x26}, {"VkmRIGHT", 0x27}, {"VkmDOWN", 0x28}, {"VkmINSERT", 0x2D}, {"VkmDELETE", 0x2E},
    {"Vkm0", '0'}, {"Vkm1", '1'}, {"Vkm2", '2'}, {"Vkm3", '3'}, {"Vkm4", '4'},
    {"Vkm5", '5'}, {"Vkm6", '6'}, {"Vkm7", '7'}, {"Vkm8", '8'}, {"Vkm9", '9'},
    {"VkmA", 'A'}, {"VkmB", 'B'}, {"VkmC", 'C'}, {"VkmD", 'D'}, {"VkmE", 'E'}, {"VkmF", 'F'}, {"VkmG", 'G'},
    {"VkmH", 'H'}, {"VkmI", 'I'}, {"VkmJ", 'J'}, {"VkmK", 'K'}, {"VkmL", 'L'}, {"VkmM", 'M'}, {"VkmN", 'N'},
    {"VkmO", 'O'}, {"VkmP", 'P'}, {"VkmQ", 'Q'}, {"VkmR", 'R'}, {"VkmS", 'S'}, {"VkmT", 'T'}, {"VkmU", 'U'},
    {"VkmV", 'V'}, {"VkmW", 'W'}, {"VkmX", 'X'}, {"VkmY", 'Y'}, {"VkmZ", 'Z'},
    {"VkmF1", 0x70}, {"VkmF2", 0x71}, {"VkmF3", 0x72}, {"VkmF4", 0x73}, {"VkmF5", 0x74}, {"VkmF6", 0x75},
    {"VkmF7", 0x76}, {"VkmF8", 0x77}, {"VkmF9", 0x78}, {"VkmF10", 0x79}, {"VkmF11", 0x7A}, {"VkmF12", 0x7B},
    {"VkmWheelDown", VkWheelDown}, {"VkmWheelUp", VkWheelUp},
});

// Integer properties are the rule; these lists name the others.
constexpr std::array<TParamType, PropCount> MakePropTypes() {
    std::array<TParamType, PropCount> Types{};
    Types.fill(PT_INT);
    for (TPropId Id : {PR_PARAM1, PR_PARAM2, PR_PARAM3, PR_FLOATANGLE, PR_FLOATZOOMX, PR_FLOATZOOMY})
        Types[Id] = PT_FLOAT;
    for (TPropId Id : {PR_ANTIALIAS, PR_PAUSED, PR_REPEAT, PR_VISIBLE, PR_AUTOSCRAP, PR_RCLICKSCRAP, PR_TEXTPAUSED,
                       PR_ALLOWALLUP, PR_SELECTED, PR_CAPTUREMASK, PR_READONLY, PR_POSZOOMED, PR_FLIPH, PR_FLIPV,
                       PR_ANIPAUSED, PR_REVERSE, PR_PLAYING, PR_REWINDONLOAD, PR_OVERLAY, PR_CAPTURELINK,
                       PR_MUTEONLOAD, PR_FONTCHANGEABLED})
        Types[Id] = PT_BOOL;
    for (TPropId Id : {PR_NAME, PR_PARENT, PR_SOURCE, PR_FONTNAME, PR_TEXT, PR_MAPTEXT, PR_CURSOR, PR_TAG,
                       // the event handlers
                       PR_ONPLAYING, PR_ONNOTIFY, PR_ONMOUSEMOVE, PR_ONMOUSEOUT, PR_ONLBTNDOWN, PR_ONLBTNUP,
                       PR_ONRBTNDOWN, PR_ONRBTNUP, PR_ONWHEELDOWN, PR_ONWHEELUP, PR_ONPLAYEND, PR_ONLINK,
                       PR_ONSELECT, PR_ONOPENING, PR_ONOPENED, PR_ONCLOSING, PR_ONCLOSED, PR_ONPLAYSTART,
                       PR_ONMOUSEIN, PR_ONMAPIN, PR_ONMAPOUT, PR_ONIDLE, PR_ONHOLD, PR_ONRELEASE, PR_ONKEYDOWN,
                       PR_ONKEYUP, PR_ONKEYREPEAT, PR_ONFOCUSIN, PR_ONFOCUSOUT,
                       // the image sources
                       PR_BORDERSOURCETL, PR_BORDERSOURCETC, PR_BORDERSOURCETR, PR_BORDERSOURCECL,
                       PR_BORDERSOURCECC, PR_BORDERSOURCECR, PR_BORDERSOURCEBL, PR_BORDERSOURCEBC,
                       PR_BORDERSOURCEBR, PR_SCROLLSOURCE, PR_CHECKSOURCE, PR_HOVERSOURCE, PR_PRESSEDSOURCE,
                       PR_MAPSOURCE, PR_THUMBSOURCE, PR_BUTTONSOURCE, PR_CLICKEDSOURCE})
        Types[Id] = PT_STR;
    return Types;
}

// The fire ramp runs in straight lines, channel by channel, between these key colours.
struct TRampPoint {
    uint32_t At;
    uint32_t Color;
};
constexpr TRampPoint FirePoints[] = {
    {0, 0x000000}, {32, 0x662703}, {112, 0xD56107}, {160, 0xF39D0D}, {192, 0xFFC037}, {255, 0xFFE6AF},
};

constexpr uint32_t Channel(uint32_t Color, int Shift) { return (Color >> Shift) & 0xFF; }

// Channel at Shift of the straight line from A to B, at I (A.At <= I <= B.At), truncated.
constexpr uint32_t Between(const TRampPoint& A, const TRampPoint& B, uint32_t I, int Shift) {
    return (Channel(A.Color, Shift) * (B.At - I) + Channel(B.Color, Shift) * (I - A.At)) / (B.At - A.At);
}

constexpr std::array<uint32_t, 256> MakeFireColors32() {
    std::array<uint32_t, 256> Ramp{};
    for (std::size_t p = 0; p + 1 < std::size(FirePoints); ++p) {
        const TRampPoint& A = FirePoints[p];
        const TRampPoint& B = FirePoints[p + 1];
        for (uint32_t i = A.At; i <= B.At; ++i)
            Ramp[i] = Between(A, B, i, 16) << 16 | Between(A, B, i, 8) << 8 | Between(A, B, i, 0);
    }
    return Ramp;
}

constexpr uint32_t ToRGB565(uint32_t R, uint32_t G, uint32_t B) { return (R >> 3) << 11 | (G >> 2) << 5 | (B >> 3); }

constexpr std::array<uint16_t, 256> ToRGB565Ramp(const std::array<uint32_t, 256>& Colors) {
    std::array<uint16_t, 256> Ramp{};
    for (std::size_t i = 0; i < Ramp.size(); ++i)
        Ramp[i] = static_cast<uint16_t>(ToRGB565(Channel(Colors[i], 16), Channel(Colors[i], 8), Channel(Colors[i], 0)));
    return Ramp;
}

constexpr std::array<uint32_t, 256> MakeGreyColors16() {
    std::array<uint32_t, 256> Ramp{};
    for (uint32_t i = 0; i < Ramp.size(); ++i) Ramp[i] = ToRGB565(i, i, i);
    return Ramp;
}

}  // namespace

constexpr std::array<const char*, ParamTypeCount> ParamTypeCaptions = std::to_array<const char*>({
    "", "整数", "実数", "フラグ", "文字列",
});

constexpr std::array<const char*, CommandCount> CommandNames = std::to_array<const char*>({
    "If", "Elseif", "Else", "Label", "Jump", "Call", "Exit", "Wait",                                       // 0
    "BoxNew", "ImgNew", "MesNew", "Timer", "Movie", "Flip", "Calc", "VarNew",                              // 8
    "VarDel", "GetProp", "SetProp", "ObjDel", "TextIns", "MovieStop", "ClrHist", "Cinema",                 // 16
    "Caption", "Menu", "MenuClose", "Comment", "TextClr", "CallHist", "Button", "While",                   // 24
    "WhileInit", "WhileLoop", "Break", "Continue", "ParticleNew", "FireNew", "GameSave", "GameLoad",       // 32
    "PCReset", "Reset", "Sound", "EditNew", "MemoNew", "Terminate", "DoEvent", "ClrRead",                  // 40
    "MapImgNew", "WaveNew", "TileNew", "SliderNew", "ScrollbarNew", "GaugeNew", "CGCaption", "MediaPlay",  // 48
    "PrevMenuNew", "PropMotion", "FormatHist", "SaveCabinet", "LoadCabinet",                               // 56
});

constexpr std::array<const char*, ObjectTypeCount> ObjectTypeCaptions = std::to_array<const char*>({
    "なし", "オーディオ", "矩形サーフェス", "ボタン", "シネマサーフェス", "エディット", "炎サーフェス", "HTTP",
    "画像サーフェス", "キャプション", "マップ", "メモ", "メニュー", "メッセージボックス", "パーティクルサーフェス",
    "タイマー", "ムービー", "サウンド", "選択画像", "ウェーブサーフェス", "タイルサーフェス", "スライダー",
    "スクロールバー", "ゲージ", "画像キャプション", "プレビューメニュー", "プロパティモーション", "キャビネット",
});

constexpr std::array<TParamType, PropCount> PropTypes = MakePropTypes();

constexpr std::array<TPropId, PropCount> PropDisplayOrder = std::to_array<TPropId>({
    PR_NAME, PR_PARENT, PR_SOURCE, PR_FLOATZOOMX, PR_ZOOMX, PR_FLOATZOOMY, PR_ZOOMY, PR_POSZOOMED, PR_WIDTH,
    PR_HEIGHT, PR_LEFT, PR_TOP, PR_COLOR, PR_BARSIZE, PR_BORDERWIDTH, PR_BORDERCOLOR, PR_ALPHA, PR_PRIORITY,
    PR_OFFSETX, PR_OFFSETY, PR_PLUSX, PR_PLUSY, PR_FONTNAME, PR_FONTHEIGHT, PR_FONTSTYLE, PR_LINESPACE,
    PR_FONTCOLOR, PR_FONTLINKCOLOR, PR_FONTBORDERCOLOR, PR_FONTHOVERCOLOR, PR_FONTHOVERSTYLE, PR_HOVERCOLOR,
    PR_FONTHOVERBORDER, PR_FONTHOVERBORDERCOLOR, PR_FONTHOVERSHADOW, PR_FONTHOVERSHADOWCOLOR, PR_ANTIALIAS,
    PR_DELAY, PR_FONTCHANGEABLED, PR_PAUSED, PR_VOLUME, PR_REPEAT, PR_REPEATPOS, PR_BALANCE, PR_FLOATANGLE,
    PR_ANGLE, PR_ONPLAYING, PR_ONNOTIFY, PR_ONMOUSEMOVE, PR_ONMOUSEOUT, PR_ONLBTNDOWN, PR_ONLBTNUP, PR_ONRBTNDOWN,
    PR_ONRBTNUP, PR_ONWHEELDOWN, PR_ONWHEELUP, PR_BRIGHTNESS, PR_ONPLAYEND, PR_INDEX, PR_COUNT, PR_ONLINK,
    PR_VISIBLE, PR_COLCOUNT, PR_ROWCOUNT, PR_TEXT, PR_MARGINX, PR_MARGINY, PR_HALIGN, PR_BORDERSOURCETL,
    PR_BORDERSOURCETC, PR_BORDERSOURCETR, PR_BORDERSOURCECL, PR_BORDERSOURCECC, PR_BORDERSOURCECR,
    PR_BORDERSOURCEBL, PR_BORDERSOURCEBC, PR_BORDERSOURCEBR, PR_BORDERHALIGNT, PR_BORDERHALIGNC, PR_BORDERHALIGNB,
    PR_BORDERVALIGNL, PR_BORDERVALIGNC, PR_BORDERVALIGNR, PR_SCROLLSOURCE, PR_CHECKSOURCE, PR_AUTOSCRAP,
    PR_ONSELECT, PR_RCLICKSCRAP, PR_ONOPENING, PR_ONOPENED, PR_ONCLOSING, PR_ONCLOSED, PR_CARETX, PR_CARETY,
    PR_CARETHEIGHT, PR_IGNOREMOUSE, PR_TEXTPAUSED, PR_TEXTDELAY, PR_HOVERSOURCE, PR_PRESSEDSOURCE, PR_GROUPINDEX,
    PR_ALLOWALLUP, PR_SELECTED, PR_CAPTUREMASK, PR_CAPMASKLEVEL, PR_POWER, PR_ORIGWIDTH, PR_ORIGHEIGHT, PR_APPEARX,
    PR_APPEARY, PR_PARTMOTION, PR_PARAM1, PR_PARAM2, PR_TOPINDEX, PR_READONLY, PR_IMEMODE, PR_CURSOR,
    PR_ONPLAYSTART, PR_PARAM3, PR_ONMOUSEIN, PR_ONMAPIN, PR_ONMAPOUT, PR_MAPSOURCE, PR_AMP, PR_WAVELEN, PR_SCROLLX,
    PR_SCROLLY, PR_FLIPH, PR_FLIPV, PR_ONIDLE, PR_DISTANCEX, PR_DISTANCEY, PR_CLIPLEFT, PR_CLIPTOP, PR_CLIPWIDTH,
    PR_CLIPHEIGHT, PR_DURATION, PR_THUMBSOURCE, PR_BUTTONSOURCE, PR_MIN, PR_MAX, PR_VALUE, PR_ORIENTATION,
    PR_SMALLCHANGE, PR_LARGECHANGE, PR_MAPTEXT, PR_GLYPHWIDTH, PR_GLYPHHEIGHT, PR_CLICKEDSOURCE, PR_ANIPAUSED,
    PR_ONHOLD, PR_ONRELEASE, PR_REVERSE, PR_PLAYING, PR_REWINDONLOAD, PR_COMPOTYPE, PR_FONTSHADOWCOLOR,
    PR_FONTBORDER, PR_FONTSHADOW, PR_ONKEYDOWN, PR_ONKEYUP, PR_ONKEYREPEAT, PR_HANDLEKEY, PR_ONFOCUSIN,
    PR_ONFOCUSOUT, PR_OVERLAY, PR_TAG, PR_CAPTURELINK, PR_MUTEONLOAD, PR_BLURSPAN, PR_BLURDELAY,
});

constexpr std::array<const char*, SysFuncCount> SysFuncNames = Column(SysFuncRows, &TSysFuncRow::Name);
constexpr std::array<int32_t, SysFuncCount> SysFuncMinArgs = Column(SysFuncRows, &TSysFuncRow::MinArgs);
constexpr std::array<int32_t, SysFuncCount> SysFuncMaxArgs = Column(SysFuncRows, &TSysFuncRow::MaxArgs);
constexpr std::array<TParamType, SysFuncCount> SysFuncResultTypes = Column(SysFuncRows, &TSysFuncRow::Result);

bool FindSysFuncIndex(const std::string& Name, uint8_t& Index) {
    for (std::size_t i = 0; i < SysFuncNames.size(); ++i) {
        if (Name == SysFuncNames[i]) {
            Index = static_cast<uint8_t>(i);
            return true;
        }
    }
    return false;
}

constexpr std::array<const char*, SysVarCount> SysVarNames = std::to_array<const char*>({
    "@Result", "@LClick", "@RClick", "@LPush", "@RPush", "@MouseX", "@MouseY", "@TextDelay", "@HistoryCount",
    "@ParamCount", "@ParamStr", "@Sender", "@ScrWidth", "@ScrHeight", "@TickCount", "@PCTickCount",
    "@UpdateCount", "@Year", "@Month", "@Day", "@Week", "@Hour", "@Min", "@Sec", "@Fonts", "@FixedFonts",
    "@FullScr", "@Cursor", "@SelStr", "@SelIndex", "@Pi", "@CGDither", "@1Hour", "@1Min", "@1Sec", "@KeyPush",
    "@KeyClick", "@DisplayModeCount", "@DisplayModeIndex", "@Title", "@SoundON", "@ActiveCompo", "@KeyRepeat",
    "@HistoryMaxCount", "@Temp", "@MidiPort", "@MidiPorts", "@WheelDown", "@WheelUp", "@IsDebug", "@StackCount",
});

constexpr std::array<const char*, WipeTypeCount> WipeTypeCaptions = std::to_array<const char*>({
    "なし", "フェード", "ブラインド横", "ブラインド縦", "カーテン横", "カーテン縦", "スクロール横", "スクロール縦",
    "格子", "格子(横)", "格子(縦)", "ディザ", "ホワイト", "ブラック", "フラッシュ", "モザイク", "すだれ横",
    "すだれ縦", "スポットライト", "マスクフェード", "マスクホワイト", "マスクブラック", "表画面縮小", "裏画面拡大",
    "波紋", "白ぼかし", "黒ぼかし", "ひねり横", "ひねり縦", "チップ落下", "ズームイン", "時計の針", "ゴム(横)",
    "ゴム(縦)", "扇", "扇(両側)", "円", "ブロック(とぐろ)", "ブロック(ランダム)",
});

constexpr std::array<const char*, KeyNameCount> KeyNames = Column(KeyRows, &TKeyRow::Name);
constexpr std::array<uint16_t, KeyNameCount> KeyCodes = Column(KeyRows, &TKeyRow::Code);

constexpr std::array<const char*, ImeModeCount> ImeModeCaptions = std::to_array<const char*>({
    "IMEを禁止", "IME変換ウィンドウを閉じる", "IME変換ウィンドウを開く", "現状維持",
    "IME変換ウィンドウを開いて半角ローマ字入力にする", "IME変換ウィンドウを開いて全角ローマ字入力にする",
    "IME変換ウィンドウを開いて全角ひらがな入力にする", "IME変換ウィンドウを開いて半角カタカナ入力にする",
    "IME変換ウィンドウを開いて全角カタカナ入力にする", "IME変換ウィンドウを開いて2バイト中国語入力にする",
    "IME変換ウィンドウを開いて1バイト韓国語入力にする", "IME変換ウィンドウを開いて2バイト韓国語入力にする",
});

constexpr std::array<const char*, FS_STRIKEOUT + 1> FontStyleCaptions = std::to_array<const char*>({
    "太字", "斜体", "下線", "抹消線",
});
constexpr std::array<const char*, FL_STAY + 1> FlipModeCaptions = std::to_array<const char*>({
    "指定サーフェスを裏に", "指定サーフェスを表に",
});
constexpr std::array<const char*, HA_RIGHT + 1> HAlignCaptions = std::to_array<const char*>({
    "左寄せ", "中央寄せ", "右寄せ",
});
constexpr std::array<const char*, VA_BOTTOM + 1> VAlignCaptions = std::to_array<const char*>({
    "上寄せ", "中央寄せ", "下寄せ",
});
constexpr std::array<const char*, PM_TWISTER + 1> ParticleMotionCaptions = std::to_array<const char*>({
    "停止", "ゆらゆら落下", "放射", "ゆらゆら上昇", "竜巻",
});
constexpr std::array<const char*, IM_RCLICK + 1> IgnoreMouseCaptions = std::to_array<const char*>({
    "通常", "全て無視", "クリックを無視", "左クリックを無視", "右クリックを無視",
});
constexpr std::array<const char*, EXIT + 1> ProjectMessageCaptions = std::to_array<const char*>({
    "ディスク入替(ディスク番号を%dで記述)", "終了確認",
});
constexpr std::array<const char*, VS_STATUS + 1> VarScopeCaptions = std::to_array<const char*>({
    "グローバル", "自動破棄", "ローカル", "ステータス",
});
constexpr std::array<const char*, OT_VERTICAL + 1> OrientationCaptions = std::to_array<const char*>({"水平", "垂直"});
constexpr std::array<const char*, MT_DEC + 1> MotionTypeCaptions = std::to_array<const char*>({"通常", "加速", "減速"});

constexpr std::array<uint32_t, 256> FireColors32 = MakeFireColors32();
constexpr std::array<uint16_t, 256> FireColors16 = ToRGB565Ramp(FireColors32);
constexpr std::array<uint32_t, 256> GreyColors16 = MakeGreyColors16();

const std::array<const char*, OpCodeCount> OpCodeNames = std::to_array<const char*>({
    "ocNone",  "ocTo",   "ocPlus",   "ocMinus",  "ocMul",    "ocDiv",      "ocMod",
    "ocOr",    "ocAnd",  "ocXor",    "ocDimTo",  "ocFunc",   "ocEqual",    "ocBig",
    "ocSmall", "ocEBig", "ocESmall", "ocShiftL", "ocShiftR", "ocComboStr", "ocNEqual",
});
