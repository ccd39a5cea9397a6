#pragma once
// The script vocabulary: the numbered tables through which stored scripts and saved games name
// commands, object types, properties, built-in functions, system variables, operators,
// transitions, keys and the small enumerated settings. The code of an entry is its index in its
// table; a caption list has the same length and order as its table. The tables never change.
#include <array>
#include <cstdint>
#include <string>

// ---- Value types: the type code of a script value, a property and a function result.
enum TParamType : uint8_t { PT_NONE, PT_INT, PT_FLOAT, PT_BOOL, PT_STR };
inline constexpr int ParamTypeCount = PT_STR + 1;
extern const std::array<const char*, ParamTypeCount> ParamTypeCaptions;  // PT_NONE has ""

// ---- Script commands: the keyword of each opcode.
inline constexpr int CommandCount = 61;
extern const std::array<const char*, CommandCount> CommandNames;
// The opcode of each command, as stored in page files.
enum TCommandCode : uint8_t {
    cmIf, cmElseif, cmElse, cmLabel, cmJump, cmCall, cmExit, cmWait, cmBoxNew, cmImgNew, cmMesNew, cmTimer,
    cmMovie, cmFlip, cmCalc, cmVarNew, cmVarDel, cmGetProp, cmSetProp, cmObjDel, cmTextIns, cmMovieStop,
    cmClrHist, cmCinema, cmCaption, cmMenu, cmMenuClose, cmComment, cmTextClr, cmCallHist, cmButton, cmWhile,
    cmWhileInit, cmWhileLoop, cmBreak, cmContinue, cmParticleNew, cmFireNew, cmGameSave, cmGameLoad, cmPCReset,
    cmReset, cmSound, cmEditNew, cmMemoNew, cmTerminate, cmDoEvent, cmClrRead, cmMapImgNew, cmWaveNew,
    cmTileNew, cmSliderNew, cmScrollbarNew, cmGaugeNew, cmCGCaption, cmMediaPlay, cmPrevMenuNew, cmPropMotion,
    cmFormatHist, cmSaveCabinet, cmLoadCabinet
};
static_assert(cmLoadCabinet + 1 == CommandCount);

// ---- Object type codes, as stored with an object.
enum TObjectType : uint8_t {
    LT_NONE, LT_AUDIO, LT_BOX, LT_BUTTON, LT_CINEMA, LT_EDIT, LT_FIRE, LT_HTTP, LT_IMAGES, LT_LABEL,
    LT_MAP, LT_MEMO, LT_MENU, LT_MES, LT_PARTICLE, LT_TIMER, LT_VIDEO, LT_SOUND, LT_MAPIMG, LT_WAVE,
    LT_TILE, LT_SLIDER, LT_SCROLLBAR, LT_GAUGE, LT_CGLABEL, LT_PREVMENU, LT_PROPMOTION, LT_CABINET
};
inline constexpr int ObjectTypeCount = LT_CABINET + 1;
extern const std::array<const char*, ObjectTypeCount> ObjectTypeCaptions;

// ---- Property ids of scene objects.
enum TPropId : uint8_t {
    PR_NAME, PR_PARENT, PR_SOURCE, PR_LEFT, PR_TOP, PR_WIDTH, PR_HEIGHT, PR_ZOOMX, PR_COLOR, PR_BORDERWIDTH,
    PR_BORDERCOLOR, PR_ALPHA, PR_PRIORITY, PR_OFFSETX, PR_OFFSETY, PR_FONTNAME, PR_FONTHEIGHT, PR_FONTSTYLE,
    PR_LINESPACE, PR_FONTCOLOR, PR_FONTLINKCOLOR, PR_FONTBORDERCOLOR, PR_FONTHOVERCOLOR, PR_FONTHOVERSTYLE,
    PR_HOVERCOLOR, PR_ANTIALIAS, PR_DELAY, PR_PAUSED, PR_VOLUME, PR_REPEAT, PR_BALANCE, PR_ANGLE, PR_ONPLAYING,
    PR_ONNOTIFY, PR_ONMOUSEMOVE, PR_ONMOUSEOUT, PR_ONLBTNDOWN, PR_ONLBTNUP, PR_ONRBTNDOWN, PR_ONRBTNUP,
    PR_ONWHEELDOWN, PR_ONWHEELUP, PR_BRIGHTNESS, PR_ONPLAYEND, PR_INDEX, PR_COUNT, PR_ONLINK, PR_VISIBLE,
    PR_COLCOUNT, PR_ROWCOUNT, PR_TEXT, PR_MARGINX, PR_MARGINY, PR_HALIGN, PR_BORDERSOURCETL, PR_BORDERSOURCETC,
    PR_BORDERSOURCETR, PR_BORDERSOURCECL, PR_BORDERSOURCECC, PR_BORDERSOURCECR, PR_BORDERSOURCEBL,
    PR_BORDERSOURCEBC, PR_BORDERSOURCEBR, PR_BORDERHALIGNT, PR_BORDERHALIGNC, PR_BORDERHALIGNB, PR_BORDERVALIGNL,
    PR_BORDERVALIGNC, PR_BORDERVALIGNR, PR_SCROLLSOURCE, PR_CHECKSOURCE, PR_AUTOSCRAP, PR_ONSELECT, PR_RCLICKSCRAP,
    PR_ONOPENING, PR_ONOPENED, PR_ONCLOSING, PR_ONCLOSED, PR_CARETX, PR_CARETY, PR_IGNOREMOUSE, PR_TEXTPAUSED,
    PR_TEXTDELAY, PR_HOVERSOURCE, PR_PRESSEDSOURCE, PR_GROUPINDEX, PR_ALLOWALLUP, PR_SELECTED, PR_CAPTUREMASK,
    PR_POWER, PR_ORIGWIDTH, PR_ORIGHEIGHT, PR_APPEARX, PR_APPEARY, PR_PARTMOTION, PR_PARAM1, PR_PARAM2, PR_TOPINDEX,
    PR_READONLY, PR_CURSOR, PR_POSZOOMED, PR_ONPLAYSTART, PR_PARAM3, PR_ONMOUSEIN, PR_ONMAPIN, PR_ONMAPOUT,
    PR_MAPSOURCE, PR_AMP, PR_WAVELEN, PR_SCROLLX, PR_SCROLLY, PR_FLIPH, PR_FLIPV, PR_ONIDLE, PR_DISTANCEX,
    PR_DISTANCEY, PR_CLIPLEFT, PR_CLIPTOP, PR_CLIPWIDTH, PR_CLIPHEIGHT, PR_DURATION, PR_THUMBSOURCE,
    PR_BUTTONSOURCE, PR_MIN, PR_MAX, PR_VALUE, PR_ORIENTATION, PR_SMALLCHANGE, PR_LARGECHANGE, PR_MAPTEXT,
    PR_GLYPHWIDTH, PR_GLYPHHEIGHT, PR_ZOOMY, PR_CLICKEDSOURCE, PR_ANIPAUSED, PR_ONHOLD, PR_ONRELEASE, PR_REVERSE,
    PR_PLAYING, PR_REWINDONLOAD, PR_COMPOTYPE, PR_FONTSHADOWCOLOR, PR_FONTBORDER, PR_FONTSHADOW, PR_ONKEYDOWN,
    PR_ONKEYUP, PR_ONKEYREPEAT, PR_HANDLEKEY, PR_ONFOCUSIN, PR_ONFOCUSOUT, PR_OVERLAY, PR_TAG, PR_CAPTURELINK,
    PR_FONTHOVERBORDER, PR_FONTHOVERBORDERCOLOR, PR_FONTHOVERSHADOW, PR_FONTHOVERSHADOWCOLOR, PR_BARSIZE,
    PR_MUTEONLOAD, PR_PLUSX, PR_PLUSY, PR_CARETHEIGHT, PR_REPEATPOS, PR_BLURSPAN, PR_BLURDELAY, PR_FONTCHANGEABLED,
    PR_IMEMODE, PR_FLOATANGLE, PR_FLOATZOOMX, PR_FLOATZOOMY, PR_CAPMASKLEVEL
};
inline constexpr int PropCount = PR_CAPMASKLEVEL + 1;
// The fixed value type of each property.
extern const std::array<TParamType, PropCount> PropTypes;
// The order in which properties are listed and applied: entry i is the id of the i-th property.
extern const std::array<TPropId, PropCount> PropDisplayOrder;

// ---- Built-in functions, four parallel tables indexed by the function number.
inline constexpr int SysFuncCount = 169;
extern const std::array<const char*, SysFuncCount> SysFuncNames;  // compared case-sensitively
extern const std::array<int32_t, SysFuncCount> SysFuncMinArgs;
extern const std::array<int32_t, SysFuncCount> SysFuncMaxArgs;  // -1: no maximum
extern const std::array<TParamType, SysFuncCount> SysFuncResultTypes;

// The number of the built-in function called exactly Name; false (Index untouched) when none is.
bool FindSysFuncIndex(const std::string& Name, uint8_t& Index);

// ---- System variables "@Result".."@StackCount", indexed by the system-variable code.
inline constexpr int SysVarCount = 51;
extern const std::array<const char*, SysVarCount> SysVarNames;

// ---- Expression operators of compiled expressions.
enum TOpCode : uint8_t {
    ocNone, ocTo, ocPlus, ocMinus, ocMul, ocDiv, ocMod, ocOr, ocAnd, ocXor, ocDimTo, ocFunc, ocEqual, ocBig,
    ocSmall, ocEBig, ocESmall, ocShiftL, ocShiftR, ocComboStr, ocNEqual
};
inline constexpr int OpCodeCount = ocNEqual + 1;
// The identifiers of the operators, as tools and error texts show them.
extern const std::array<const char*, OpCodeCount> OpCodeNames;

// ---- Screen transition (wipe) types.
enum TWipeType : uint8_t {
    WP_NONE, WP_FADE, WP_BLINDH, WP_BLINDV, WP_CURTAINH, WP_CURTAINV, WP_SCROLLH, WP_SCROLLV, WP_GRID, WP_GRIDH,
    WP_GRIDV, WP_DITHER, WP_WHITE, WP_BLACK, WP_FLASH, WP_MOSAIC, WP_SUDAREH, WP_SUDAREV, WP_SPOT, WP_MASKFADE,
    WP_MASKWHITE, WP_MASKBLACK, WP_SMALL, WP_BIG, WP_RIPPLE, WP_BLURWHITE, WP_BLURBLACK, WP_TWISTH, WP_TWISTV,
    WP_CRACK, WP_ZOOMIN, WP_CLOCKHAND, WP_RUBBERH, WP_RUBBERV, WP_FAN, WP_WFAN, WP_CIRCLE, WP_BLOCKCOIL,
    WP_BLOCKRANDOM
};
inline constexpr int WipeTypeCount = WP_BLOCKRANDOM + 1;
extern const std::array<const char*, WipeTypeCount> WipeTypeCaptions;

// ---- Key names "VkmBACK".."VkmWheelUp" and the virtual-key code each stands for. Key codes are
// the Windows virtual-key numbers (1..254). The two wheel entries use 256 and 257, codes no key
// has: they are the indices at which "@KeyPush", "@KeyClick" and "@KeyRepeat" report the wheel.
inline constexpr int KeyNameCount = 70;
inline constexpr uint16_t VkWheelDown = 256;
inline constexpr uint16_t VkWheelUp = 257;
extern const std::array<const char*, KeyNameCount> KeyNames;
extern const std::array<uint16_t, KeyNameCount> KeyCodes;

// ---- Input-method modes of text-entry objects.
enum TImeMode : uint8_t {
    IM_DISABLE, IM_CLOSE, IM_OPEN, IM_DONTCARE, IM_SALPHA, IM_ALPHA, IM_HIRA, IM_SKATA, IM_KATA, IM_CHINESE,
    IM_SHANGUEL, IM_HANGUEL
};
inline constexpr int ImeModeCount = IM_HANGUEL + 1;
extern const std::array<const char*, ImeModeCount> ImeModeCaptions;

// ---- Small enumerated settings.
enum TFontStyle : uint8_t { FS_BOLD, FS_ITALIC, FS_UNDERLINE, FS_STRIKEOUT };  // bit numbers of a style set
extern const std::array<const char*, FS_STRIKEOUT + 1> FontStyleCaptions;

enum TFlipMode : uint8_t { FL_OUT, FL_STAY };
extern const std::array<const char*, FL_STAY + 1> FlipModeCaptions;

enum THAlign : uint8_t { HA_LEFT, HA_CENTER, HA_RIGHT };
extern const std::array<const char*, HA_RIGHT + 1> HAlignCaptions;

enum TVAlign : uint8_t { VA_TOP, VA_CENTER, VA_BOTTOM };
extern const std::array<const char*, VA_BOTTOM + 1> VAlignCaptions;

enum TPlayMode : uint8_t { LP_PLAY, LP_PLAYFADE, LP_STOP, LP_STOPFADE };  // no captions

enum TParticleMotion : uint8_t { PM_NONE, PM_SNOW, PM_STAR, PM_FLUFF, PM_TWISTER };
extern const std::array<const char*, PM_TWISTER + 1> ParticleMotionCaptions;

enum TIgnoreMouse : uint8_t { IM_NONE, IM_ALL, IM_CLICK, IM_LCLICK, IM_RCLICK };
extern const std::array<const char*, IM_RCLICK + 1> IgnoreMouseCaptions;

// The project's two message texts: the disc prompt (one %d for the disc number) and the quit
// confirmation.
enum TProjectMessage : uint8_t { CHANGEMEDIA, EXIT };
extern const std::array<const char*, EXIT + 1> ProjectMessageCaptions;

enum TVarScope : uint8_t { VS_GLOBAL, VS_AUTO, VS_LOCAL, VS_STATUS };
extern const std::array<const char*, VS_STATUS + 1> VarScopeCaptions;

enum TOrientation : uint8_t { OT_HORIZONTAL, OT_VERTICAL };
extern const std::array<const char*, OT_VERTICAL + 1> OrientationCaptions;

enum TMotionType : uint8_t { MT_NORMAL, MT_INC, MT_DEC };
extern const std::array<const char*, MT_DEC + 1> MotionTypeCaptions;

// ---- Reserved object names. One character of code 1 names the layer not shown (and prefixes the
// reserved layer names); two of them name the object the flip command discards on its new layer.
inline constexpr char ReservedLayerName[] = "\x01";
inline constexpr char ReservedFlipName[] = "\x01\x01";

// ---- Versions and timings.
inline constexpr int32_t MaxFileVersion = 117;       // highest page and project file version read
inline constexpr int32_t GameSaveVersion = 144;      // game save data written
inline constexpr int32_t StatusSaveVersion = 103;    // status save data written
inline constexpr int32_t ArchiveIndexVersion = 102;  // archive index written
inline constexpr int32_t MemoryPageVersion = 200;    // a page made in memory rather than read
inline constexpr int32_t PrevMenuXmlVersion = 200;   // preview-menu data from this version on is XML
inline constexpr int32_t KeyRepeatDelay = 300;       // ms before a held key repeats
inline constexpr int32_t KeyRepeatInterval = 50;     // ms between repeats
inline constexpr int32_t DefaultTextDelay = 50;      // ms per character of message text
inline constexpr int32_t TickLength = 15;            // nominal ms per tick
inline constexpr int32_t FrameLength = 16;           // target ms per frame

// ---- Film file magics.
inline constexpr char CinemaFileMagic[] = "VelaCinema111";
inline constexpr char MotionFileMagic[] = "VelaMotion111";

// ---- Colour ramps indexed by intensity 0..255, for the fire effect and the transitions that fade
// through a colour.
extern const std::array<uint32_t, 256> FireColors32;  // 0x00RRGGBB, black - red - orange - pale yellow
extern const std::array<uint16_t, 256> FireColors16;  // the same in RGB565
extern const std::array<uint32_t, 256> GreyColors16;  // RGB565 of grey level i, in 32-bit words
