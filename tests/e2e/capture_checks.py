#!/usr/bin/env python3
"""The capture program, run as a user runs it, checked on what it writes.

Usage: capture_checks.py CHECK CAPTURE DATA_DIR
  CHECK     one of the check names below
  CAPTURE   the capture program
  DATA_DIR  a directory holding the demo's generated Data/

Each check is one CTest test. Captures are short and small (software GL on two
cores in CI); the frames before --from are still drawn, so spans sit early in
the demo where they can.
"""
import hashlib
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import wave
import struct
import json

FPS = 60


class CheckFailed(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise CheckFailed(message)


def run_capture(capture, data, *args, env=None, cwd=None, expect_status=0):
    command = [capture, "--data", data, *args]
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env, cwd=cwd, text=True)
    if expect_status is not None and result.returncode != expect_status:
        raise CheckFailed("%s\nexited with %d, not %d\n--- stderr\n%s"
                          % (" ".join(command), result.returncode, expect_status, result.stderr))
    return result


def frame_hashes(directory):
    names = sorted(n for n in os.listdir(directory) if n.startswith("frame_") and n.endswith(".png"))
    hashes = []
    for name in names:
        with open(os.path.join(directory, name), "rb") as f:
            hashes.append(hashlib.sha256(f.read()).hexdigest())
    return hashes


def file_hash(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def leftovers(directory):
    return [n for n in os.listdir(directory) if ".partial-" in n]


def starts_at_twelve_seconds(start, leeway=0.0):
    """The title scene starts with the first frame drawn after 12 s (12.017 s
    at 60 fps), and the song's own first sample may be silent: the music must
    sound from 12 s to a frame and a couple of samples after, or up to
    `leeway` earlier (an encoder's smearing)."""
    return 12.0 - leeway <= start <= 12.0 + 1.0 / FPS + 0.001


def first_sound(samples, rate):
    """Seconds from the start to the first sample louder than silence, or None."""
    for i, value in enumerate(samples):
        if value != 0:
            return (i // 2) / rate
    return None


def wav_samples(path):
    with wave.open(path, "rb") as w:
        expect(w.getnchannels() == 2 and w.getsampwidth() == 2, "audio.wav is not 16-bit stereo")
        rate = w.getframerate()
        data = w.readframes(w.getnframes())
    return struct.unpack("<%dh" % (len(data) // 2), data), rate


# ---------------------------------------------------------------------------
# Checks

def check_identical_runs(capture, data, work):
    """Two captures with the same options are the same, frame for frame. From
    3 to 3.5 s the intro shakes its picture under film grain, choosing both
    with random numbers every frame: only the fixed calendar time, which seeds
    them, makes that repeatable."""
    runs = []
    for name, time in (("first", "1262304000"), ("second", "1262304000"), ("other time", "1262304001")):
        out = os.path.join(work, name)
        run_capture(capture, data, "--from", "3000", "--to", "3500", "--size", "160x120", "--time", time,
                    "--out", out)
        runs.append((frame_hashes(out), file_hash(os.path.join(out, "audio.wav"))))
    expect(len(runs[0][0]) == 30, "expected 30 frames in 0.5 s at 60 fps, got %d" % len(runs[0][0]))
    expect(runs[0][0] == runs[1][0], "the two captures differ in their frames")
    expect(runs[0][1] == runs[1][1], "the two captures differ in their sound")
    # Another calendar time shakes differently: the span does depend on the seed.
    expect(runs[0][0] != runs[2][0], "another --time gives the same frames: the check proves nothing")


def check_half_rate(capture, data, work):
    """At 30 fps a span has half the frames of 60 fps, and frame k shows the
    demo at the time of frame 2k at 60 fps. From 5.1 to 6.1 s the intro fades
    its icon in, without film grain or shaking: what it draws depends only on
    the time, not on how many frames came before. (Elsewhere the road scrolls
    and the drops rise per frame, and the grain and the flashes draw random
    numbers per frame; from 3.5 to 5.1 s the intro is a still picture, which
    would match whatever the frames' times were.)"""
    hashes = {}
    for fps in (30, 60):
        out = os.path.join(work, "fps%d" % fps)
        run_capture(capture, data, "--from", "5200", "--to", "6000", "--fps", str(fps), "--size", "160x120",
                    "--out", out)
        hashes[fps] = frame_hashes(out)
    expect(len(hashes[60]) == 48, "expected 48 frames at 60 fps, got %d" % len(hashes[60]))
    expect(len(hashes[30]) == 24, "expected 24 frames at 30 fps, got %d" % len(hashes[30]))
    for k, h in enumerate(hashes[30]):
        expect(h == hashes[60][2 * k], "frame %d at 30 fps differs from frame %d at 60 fps" % (k, 2 * k))
    expect(len(set(hashes[60])) > 1, "the span shows one still picture: the check proves nothing")


def check_music_start(capture, data, work):
    """The music starts with the title scene, 12 s into the demo: the sound
    track is silent before and sounds within one frame of 12 s."""
    out = os.path.join(work, "frames")
    result = run_capture(capture, data, "--from", "11500", "--to", "12500", "--size", "64x48", "--out", out)
    samples, rate = wav_samples(os.path.join(out, "audio.wav"))
    expect(rate == 44100, "sound at %d Hz, not 44100" % rate)
    expect(len(samples) == 2 * rate, "expected 1 s of sound, got %d sample frames" % (len(samples) // 2))
    start = first_sound(samples, rate)
    expect(start is not None, "the sound track is silent\n" + result.stderr)
    expect(starts_at_twelve_seconds(11.5 + start),
           "the music starts at %.4f s, not within a frame of 12 s" % (11.5 + start))


def check_mp4(capture, data, work):
    """The MP4 holds one H.264 and one AAC stream of the span's length, every
    frame, and the music starting at 12 s."""
    out = os.path.join(work, "capture.mp4")
    run_capture(capture, data, "--from", "11500", "--to", "12500", "--size", "128x96", "--out", out)
    expect(not leftovers(work), "temporary files left: %s" % leftovers(work))
    probe = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-show_streams", "-show_format",
                            "-of", "json", out], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    expect(probe.returncode == 0, "ffprobe cannot read the file:\n" + probe.stderr)
    info = json.loads(probe.stdout)
    streams = {s["codec_type"]: s for s in info["streams"]}
    expect(sorted(streams) == ["audio", "video"] and len(info["streams"]) == 2,
           "streams: %s" % [s["codec_name"] for s in info["streams"]])
    video, audio = streams["video"], streams["audio"]
    expect(video["codec_name"] == "h264", "video codec %s" % video["codec_name"])
    expect(audio["codec_name"] == "aac", "audio codec %s" % audio["codec_name"])
    expect((video["width"], video["height"]) == (128, 96), "frame size %sx%s" % (video["width"], video["height"]))
    expect(video["r_frame_rate"] == "60/1", "frame rate %s" % video["r_frame_rate"])
    expect(int(video["nb_read_frames"]) == 60, "%s frames, not 60" % video["nb_read_frames"])
    expect(abs(float(info["format"]["duration"]) - 1.0) < 0.05, "duration %s s" % info["format"]["duration"])
    expect(int(audio["channels"]) == 2 and int(audio["sample_rate"]) == 44100, "sound format")

    # The encoder smears the onset by a few milliseconds.
    decoded = subprocess.run(["ffmpeg", "-v", "error", "-i", out, "-f", "s16le", "-ac", "2", "-ar", "44100", "-"],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    expect(decoded.returncode == 0, "ffmpeg cannot decode the sound:\n" + decoded.stderr.decode())
    samples = struct.unpack("<%dh" % (len(decoded.stdout) // 2), decoded.stdout)
    start = first_sound(samples, 44100)
    expect(start is not None, "the video is silent")
    expect(starts_at_twelve_seconds(11.5 + start, leeway=1.0 / FPS),
           "the music starts at %.4f s in the video, not within a frame of 12 s" % (11.5 + start))


def check_missing_ffmpeg(capture, data, work):
    """Without ffmpeg on the PATH an MP4 capture stops at once with a clear
    error, and leaves nothing behind."""
    empty = os.path.join(work, "bin")
    os.mkdir(empty)
    env = dict(os.environ, PATH=empty)
    out = os.path.join(work, "capture.mp4")
    result = run_capture(capture, data, "--to", "100", "--out", out, env=env, expect_status=1)
    expect("ffmpeg" in result.stderr and "PATH" in result.stderr, "unclear error: " + result.stderr)
    expect(os.listdir(work) == ["bin"], "files left: %s" % os.listdir(work))


def check_encoder_stops(capture, data, work):
    """An encoder that stops reading half-way: the capture neither hangs nor
    claims success; it says so and leaves nothing behind."""
    bin_dir = os.path.join(work, "bin")
    os.mkdir(bin_dir)
    fake = os.path.join(bin_dir, "ffmpeg")
    with open(fake, "w") as f:
        f.write("#!/bin/sh\nhead -c 2000000 >/dev/null\necho 'encoder gave up' >&2\nexit 3\n")
    os.chmod(fake, 0o755)
    env = dict(os.environ, PATH=bin_dir + os.pathsep + "/usr/bin:/bin")
    out = os.path.join(work, "capture.mp4")
    result = run_capture(capture, data, "--to", "60000", "--size", "64x48", "--out", out, env=env, expect_status=1)
    expect("ffmpeg" in result.stderr and "exit status 3" in result.stderr, "unclear error: " + result.stderr)
    expect(os.listdir(work) == ["bin"], "files left: %s" % os.listdir(work))


def check_bad_usage(capture, data, work):
    """Bad arguments and unusable outputs are refused before anything is drawn."""
    for args in (["--fps", "0", "--out", "x"], ["--size", "640", "--out", "x"], ["--from", "5000", "--to", "4000",
                 "--out", "x"], ["--frobnicate"], [], ["--size", "641x480", "--out", "x.mp4"]):
        result = run_capture(capture, data, *args, expect_status=2)
        expect(result.stderr.startswith("capture: ") and "usage:" in result.stderr,
               "%s: %s" % (args, result.stderr))
    blocker = os.path.join(work, "a-file")
    open(blocker, "w").close()
    result = run_capture(capture, data, "--to", "100", "--out", os.path.join(blocker, "frames"), expect_status=1)
    expect("cannot" in result.stderr, "unclear error: " + result.stderr)
    busy = os.path.join(work, "busy")
    os.mkdir(busy)
    open(os.path.join(busy, "keep.txt"), "w").close()
    result = run_capture(capture, data, "--to", "100", "--out", busy, expect_status=1)
    expect("not an empty directory" in result.stderr, "unclear error: " + result.stderr)
    expect(os.listdir(busy) == ["keep.txt"], "the existing directory was changed")
    result = run_capture(capture, os.path.join(work, "nowhere"), "--to", "100", "--out", os.path.join(work, "o"),
                         expect_status=1)
    expect("no Data directory" in result.stderr, "unclear error: " + result.stderr)
    expect(not leftovers(work), "temporary files left: %s" % leftovers(work))


def check_output_paths(capture, data, work):
    """Every kind of output lands where its path says, relative to the working
    directory the capture was started in (not the data directory, and not the
    directory the demo runs in): plain, with a trailing slash, nested, upwards,
    with spaces, and absolute."""
    run_dir = os.path.join(work, "run")
    os.mkdir(run_dir)
    frames = ["frames", "slash/", "sub/dir/frames", "with space/my frames", os.path.join(work, "absolute frames")]
    files = [(["--sheet", "2x1", "--out", "sheet dir/a sheet.png"], "sheet dir/a sheet.png", b"\x89PNG")]
    if shutil.which("ffmpeg"):
        files.append((["--out", "../up.mp4"], "../up.mp4", b"ftyp"))
    for out in frames:
        run_capture(capture, data, "--to", "100", "--size", "64x48", "--out", out, cwd=run_dir)
        written = sorted(os.listdir(os.path.join(run_dir, out)))
        expect(written == ["audio.wav"] + ["frame_%06d.png" % k for k in range(6)],
               "--out %s: wrote %s" % (out, written))
    for args, path, magic in files:
        run_capture(capture, data, "--to", "100", "--size", "64x48", *args, cwd=run_dir)
        with open(os.path.join(run_dir, path), "rb") as f:
            expect(magic in f.read(8), "--out %s: not a finished file" % path)
    partial = [os.path.join(d, n) for d, dirs, names in os.walk(work) for n in dirs + names if ".partial-" in n]
    expect(not partial, "temporary files left: %s" % partial)


def check_interrupt(capture, data, work):
    """SIGINT in the middle of a capture: the program stops, says so, exits with
    130, and removes what it had written."""
    out = os.path.join(work, "frames")
    process = subprocess.Popen([capture, "--data", data, "--to", "60000", "--size", "64x48", "--out", out],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    deadline = time.time() + 60
    try:
        while time.time() < deadline:
            partial = [os.path.join(work, n) for n in leftovers(work)]
            if partial and any(n.startswith("frame_") for n in os.listdir(partial[0])):
                break
            expect(process.poll() is None, "the capture ended before it was interrupted")
            time.sleep(0.05)
        else:
            raise CheckFailed("no frame was written within a minute")
        process.send_signal(signal.SIGINT)
        _, stderr = process.communicate(timeout=60)
    finally:
        if process.poll() is None:
            process.kill()
    expect(process.returncode == 130, "exit status %d, not 130\n%s" % (process.returncode, stderr))
    expect("interrupted" in stderr, "no word of the interruption: " + stderr)
    expect(os.listdir(work) == [], "files left: %s" % os.listdir(work))


CHECKS = {
    "identical_runs": check_identical_runs,
    "half_rate": check_half_rate,
    "music_start": check_music_start,
    "mp4": check_mp4,
    "missing_ffmpeg": check_missing_ffmpeg,
    "encoder_stops": check_encoder_stops,
    "bad_usage": check_bad_usage,
    "interrupt": check_interrupt,
    "output_paths": check_output_paths,
}


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in CHECKS:
        print(__doc__ + "checks: " + ", ".join(CHECKS), file=sys.stderr)
        return 2
    name, capture, data = sys.argv[1:]
    with tempfile.TemporaryDirectory() as work:
        try:
            CHECKS[name](os.path.abspath(capture), os.path.abspath(data), work)
        except CheckFailed as failure:
            print("FAIL: %s\n%s" % (name, failure))
            return 1
    print("PASS: " + name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
