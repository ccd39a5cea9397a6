#!/usr/bin/env python3
"""Makes the video fixtures with ffmpeg: its test pattern (testsrc) with a tone (sine).

    make_video_fixtures.py tests OUT_DIR    clip.mpg (MPEG-1 and MP2), clip.wmv (WMV2 and WMA2),
                                            clip.avi (MPEG-4 part 2, no sound)
    make_video_fixtures.py corpus OUT_DIR   the same three kinds, tiny, for the fuzz corpus
    make_video_fixtures.py bench FILE       10 s of 640 x 480 at 25 fps, MPEG-1 and MP2
    make_video_fixtures.py sample FILE      the sample title's film, 3 s of 320 x 240
"""
import os
import subprocess
import sys

KINDS = {  # extension: (video codec, sound codec or None, extra options)
    "mpg": ("mpeg1video", "mp2", ["-f", "mpeg"]),
    "wmv": ("wmv2", "wmav2", ["-f", "asf"]),
    "avi": ("mpeg4", None, ["-f", "avi"]),
}


def make(path, kind, size, rate, seconds):
    video, sound, extra = KINDS[kind]
    command = ["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
               f"testsrc=size={size}:rate={rate}:duration={seconds}"]
    if sound:
        command += ["-f", "lavfi", "-i", f"sine=frequency=440:sample_rate=44100:duration={seconds}",
                    "-c:a", sound, "-ac", "2"]
    # Every eighth picture is a key frame, so that seeks decode forward from an earlier one.
    command += ["-c:v", video, "-g", "8", "-bitexact"] + extra + [path]
    subprocess.run(command, check=True)


def main():
    mode, out = sys.argv[1], sys.argv[2]
    if mode in ("tests", "corpus"):
        os.makedirs(out, exist_ok=True)
        for kind in KINDS:
            if mode == "tests":
                make(os.path.join(out, "clip." + kind), kind, "160x120", 25, 2)
            else:
                make(os.path.join(out, "tiny." + kind), kind, "32x24", 25, 0.2)
    elif mode in ("bench", "sample"):
        os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
        if mode == "bench":
            make(out, "mpg", "640x480", 25, 10)
        else:
            make(out, "mpg", "320x240", 25, 3)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
