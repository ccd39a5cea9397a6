#pragma once
// The CD player: finds the CD drives, opens one, keeps a play list of track numbers and plays
// one track at a time, from a given point to one second before the track's end. A 200 ms poll
// on the main thread's queue watches for a disc going in or out, cuts tracks short in intro
// mode and raises the notify-at event; the end of each played range arrives as a message on
// the player's own target, where it moves to the next play-list entry.
//
// Nothing here raises: the result of the last drive command is kept in LastError, a failed open
// leaves the player closed, and while closed every operation does nothing and every query
// answers 0 (the mode 4).
#include "platform/cdaudio.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum TCDPTimeMode { cdpTrackPast, cdpTrackLeft, cdpTotalPast, cdpTotalLeft, cdpNone };

class TCDP {
public:
    // Lists the CD drives; closed.
    TCDP();
    ~TCDP();
    TCDP(const TCDP&) = delete;
    TCDP& operator=(const TCDP&) = delete;

    // Opens Drives()[DriveIndex] and starts the poll.
    void Open(int32_t DriveIndex);
    // Closes the drive and stops the poll.
    void Close();
    bool IsOpen() const { return DeviceId != 0; }
    // 0 playing, 1 stopped, 3 seeking, 4 closed or not ready (or anything else the drive
    // reports, paused included), 5 door open.
    int32_t GetMode();
    int32_t GetTrackCount();
    // Whole seconds.
    int32_t GetTrackLength(int32_t N);
    // Seconds into the track the drive is on.
    int32_t GetPosition();
    bool MediaPresent();
    void PlayFrom(int32_t Track, int32_t Seconds);
    // Plays the entry's track from its start; nothing past the end of the list.
    void PlayListItem(int32_t Index);
    // Plays the current track from its start.
    void Play();
    void Stop();
    // The poll's work, every 200 ms while open.
    void Poll();

    const std::vector<std::string>& Drives() const { return FDrives; }
    const std::vector<std::string>& PlayList() const { return FPlayList; }
    void SetPlayList(const std::vector<std::string>& Value) { FPlayList = Value; }
    int32_t GetNotifyAt() const { return FNotifyAt; }
    // Seconds into a track at which OnTime is raised once (0: never).
    void SetNotifyAt(int32_t Value);
    bool GetShufflePlay() const { return FShufflePlay; }
    // Turned off with a disc in, the play list becomes every track in order.
    void SetShufflePlay(bool Value);

    bool IntroPlay = false;
    bool RepeatPlay = false;
    int32_t IntroTime = 10;
    int32_t Seconds = 3;
    std::string TimeFormat = "%.2d:%.2d";
    TCDPTimeMode TimeMode = cdpTrackPast;
    std::function<void()> OnCDInsert, OnCDExit, OnTime, OnSongChange;

    bool DiscIn = false;
    bool Continuous = false;
    int32_t Track = 1;
    int32_t PlayListIndex = 0;
    uint32_t LastError = 0;
    platform::CdDeviceId DeviceId = 0;
    // Where the drive's notifications and the poll's timer arrive.
    const platform::TargetId Window;

private:
    void WndProc(const platform::QueuedMessage& M);
    // Plays from a TMSF point (0: where the drive is) to one second before its track's end.
    void PlayPoint(uint32_t Point);
    void SeekToFirst();
    void SetTrack(int32_t Value);
    // The play list's entry as a track number; 0 outside the list or for a word.
    int32_t Entry(int32_t Index) const;
    void ListAllTracks();
    // The drive's TMSF position; 0 when closed or on failure.
    uint32_t DevicePosition();
    uint32_t Run(uint32_t Result) { return LastError = Result; }

    std::vector<std::string> FDrives;
    std::vector<std::string> FPlayList;
    int32_t FNotifyAt = 0;
    bool FShufflePlay = false;
    bool FNotifyFired = false;
    bool FInPoll = false;
    int32_t FPollCount = 0;
};
