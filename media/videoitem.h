#pragma once
// The two kinds of film item: the companion library's (TDsVideoItem) and the media-player
// host's (made by NewWmVideoItem), and where a playback window goes so that the part of the
// frame asked for falls on the place asked for.
#include "media/mediaman.h"

#include <memory>
#include <string>

// A video of the companion library read from Source (kept open while the video is) and named
// FileName to it, with the sound device handed to the library first. The working pictures of
// the library's decoder (about as many as the library keeps decoded) must fit in the title's
// memory when it opens; the budget counts them as the decoder takes them. Raises
// EVelaError saying why when the library cannot decode the data or could not get memory or a
// thread for it, when no bitmap could hold its frame, or when its pictures do not fit the
// title's memory; nothing is left open then.
VelaHandle AddLibraryVideo(const std::string& FileName, TStream& Source, bool Capture);
// Why the library made no video or stopped one short (a VELA_FAILURE_...): the memory budget's
// message, "too many at once", or for none "no video the companion library can decode".
const char* LibraryVideoFailureText(int32_t Failure);

// A film the companion library plays, reading the content through the stream callbacks. Data
// the library cannot open leaves it without a handle: it plays nothing and reports its end at
// once, so that a title waiting for the film goes on. A film the library stopped short for want
// of memory or a thread has ended too, and is said not to open once its end is asked for.
class TDsVideoItem : public TVideoItem {
public:
    // FileName: a program path (first character "\" or second ":") read as it is; a ".wmv" or
    // ".asf" entry read from its work file, which every film of that entry shares (and with it
    // one opening of the file); else the file manager's entry, named to the library as the base
    // folder followed by FileName.
    TDsVideoItem(TVideoManager* Manager, bool Capture, const std::string& FileName);
    ~TDsVideoItem() override;

    bool GetAutoRepeat() override;
    void SetAutoRepeat(bool Value) override;
    int32_t GetPan() override;
    int32_t GetVol() override;
    void SetPan(int32_t Value) override;
    void SetVol(int32_t Value) override;
    int32_t GetPosition() override;
    void SetPosition(int32_t Value) override;
    int32_t GetLen() override;
    bool IsEnd() override;
    bool IsPlaying() override;
    bool IsPaused() override;
    void Play() override;
    void Pause() override;
    int32_t GetSourceHeight() override;
    int32_t GetSourceWidth() override;
    bool GetVisible() override;
    void SetVisible(bool Value) override;
    bool NeedPaint() override;
    void SetRect(const TRect& Source, const TRect& Dest) override;
    const VelaFrame* GetDC() override;

    VelaHandle Handle() const { return FHandle; }

private:
    std::unique_ptr<TStream> FSource;
    std::string FFileName;  // as the title named it
    std::string FWorkName;  // the content written out to a work file, released with the item
    bool FFailureSaid = false;
    VelaHandle FHandle = 0;
};

// The Windows Media kind of film ([Video] UseWMP), made by the media-player host.
std::unique_ptr<TVideoItem> NewWmVideoItem(TVideoManager* Manager, bool Capture, const std::string& FileName);

// The bounds (left, top, right, bottom) of a window showing the whole Width x Height frame so
// that its part Source falls exactly on Dest.
TRect VideoPlacement(const TRect& Source, const TRect& Dest, int32_t Width, int32_t Height);
