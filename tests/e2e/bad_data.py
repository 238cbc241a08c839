#!/usr/bin/env python3
"""Bad data on disk, end to end: the real demo, run like a user runs it, with one
of its files missing or damaged, or its log directory or data folder unusable,
case by case, on the Linux build or on the Windows build under Wine.

Usage: bad_data.py DEMO DATAGEN SOURCE_DIR GROUP --timer PRESENT_TIMER [--jobs N]
                   [--case SUBSTRING] [--sample]
       bad_data.py --build windows --wine WINE64 DEMO_EXE DATAGEN SOURCE_DIR GROUP [...]
       bad_data.py --list
GROUP is a group below or "all"; --sample runs only the cases CI runs (SAMPLE).
tools/windows/bad_data.sh runs the Windows build's cases with its Wine prefix.

Every case gets a fresh working directory with generated data, then its damage,
and runs the demo on a virtual X server of its own (Xvfb, one per worker). The
demo's message boxes are real windows there: the script finds each by its
caption, answers it with Return (the first button: Yes or OK), Escape (what
closing the box answers: Cancel, or No in a Yes/No box) or a mouse click on the
named button, and checks that the boxes came in the expected order. Frames are
counted from outside with present_timer (LD_PRELOAD), so a case can wait until
the render loop has drawn, then press Escape in the demo's window. Music cases
send the sound to a file (SDL's "disk" audio driver) to tell sound from silence.

After each run: the exit code (0, or 255 for the program's -1), no signal, no
sanitizer report, the log's lines in order (or no log at all), no box that
could not be shown as a window, and nothing on disk written or changed but the
log in Data/Logs.

demo.exe meets the same cases with the same expectations: its boxes are Win32's
own (Wine's), answered the same way, its frames timed by its own Present hook,
its sound caught by ALSA's file plugin. Where Win32 itself differs, the case
says so (windows_log); where a case cannot apply under Wine, it says why
(windows), and --list shows it:
  config_fullscreen             Xvfb has one display mode, so Wine cannot switch to
                                640 x 480 full screen; config_fullscreen_screen_size
                                runs full screen at the screen's size on both builds
  config_negative, config_zero  Win32 keeps a window at least 116 x 27 (Wine's
                                smallest tracking size), where the Linux window
                                clamps to 1 x 1: that size is logged
  config_large                  Win32 keeps a window within the screen and its frame
                                (1612 x 1212 here): that size is logged

The cases, by group (build_cases() below makes the exact list; --list prints it):

group             damage                                      boxes (answer)                          outcome
pictures_missing  each picture missing in turn                "Demo: Error" (Yes; 4 for droptex.jpg)  runs, Escape, exit 0, log: "Error while loading file: '<path>'", "Continued running application."
                  each picture missing in turn                "Demo: Error" (No, clicked)             quits after start-up by itself, exit 0, "Posted quit message."
pictures_damaged  each picture truncated to half,             "Demo: Error" (Yes)                     runs, Escape, exit 0 (the readers refuse a file that ends early)
                  replaced by a text file, by an empty file
pictures_format   each picture replaced by a valid file of    none                                    runs, Escape, exit 0, no error in the log (pictures are recognised by content)
                  another format (PNG for JPEG, JPEG for BMP)
                  a picture replaced by a directory           "Demo: Error" (Cancel, Escape)          quits after start-up, exit 0
                  two pictures missing                        "Demo: Error" twice (Yes, then No)      quits after start-up, exit 0
music             module missing, text, empty, PNG,           none                                    runs past the music start (12 s) in silence, exit 0
                  directory
                  module cut in half; the intact module       none                                    runs with sound (the module library plays what
                  as control                                                                          it could read of the half module)
config            direct3d.cfg missing                        "Demo: Warning" (OK)                    runs at 640x480 windowed, log: "<u>Warning:</u> Error while loading file: 'Data\\Config\\direct3d.cfg'"
                  a directory named direct3d.cfg              "Demo: Warning" (OK)                    as missing (a directory cannot be read as a file)
                  empty, half, text, binary garbage, keys in  none                                    runs; the "Resolution: WxH (Windowed)" line shows what was read
                  upper case, comments, "=" forms, odd white
                  space and CR LF, a key twice, no final line
                  feed, a key without value, "fullscreen 2",
                  "fullscreen true", huge, negative and zero
                  numbers, a byte-order mark, one 1 MB word
                  fullscreen 1                                none                                    runs full screen: "Resolution: 640x480 (Fullscreen)"
                  fullscreen 1 at the screen's size           none                                    runs full screen: "Resolution: 1600x1200 (Fullscreen)"
                  fullscreen 1 at 100000 x 100000             "Demo: Error" (Yes / No), then "Error:" no device: "DirectX call 'IDirect3D8::CreateDevice'
                                                              (OK: "Something went wrong...")         failed: ...", no render loop, exit 255
logs              Data/Logs is a regular file                 "Demo: Error" (Yes), a missing picture  runs without a log, and without the picture's box; exit 0
                                                              then shows no box
                  Data/Logs is a regular file                 "Demo: Error" (No, by Escape)           quits after start-up by itself, exit 0, no log
                  Data/ mounted read-only                     "Demo: Error" (Yes)                     runs without a log, Escape, exit 0, nothing written
                  Data/ mounted read-only                     "Demo: Error" (No, clicked)             quits after start-up by itself, exit 0, no log
long              every picture missing, one pass of the      22 x "Demo: Error" (Yes) in load order  every effect runs (#1..#5 in the log), sound plays, Escape, exit 0
                  schedule (56 s)
                  every picture an odd-sized PNG (1x1, 3x5,   none                                    every effect runs, exit 0
                  1000x2), one pass of the schedule

The demo reads no model file (its test model is never initialised), so no model
case is here; the model reader has its own tests.

Exit code 77 means the test could not run here (no Xvfb, xdotool or xwd,
or no core X fonts, without which SDL cannot show a message box under Xvfb; or,
for the read-only cases alone, no mount namespace in which to mount Data/).
"""
import argparse
import concurrent.futures
import ctypes
import ctypes.util
import glob
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import zlib

SKIP = 77
SCREEN = (1600, 1200)  # wide enough for the widest box (about 1050 pixels)
MAIN_TITLE = "Velmors Demo - Release version"
CONFIG = "Data\\Config\\direct3d.cfg"

PICTURES = [  # in the order the demo loads them
    "loading.jpg",
    "zorbinIcon.jpg", "zorbinText.jpg", "poweredText.jpg", "black.bmp",
    "filmgrain1.jpg", "filmgrain2.jpg", "filmgrain3.jpg",
    "velmor.jpg", "road.jpg", "droptex.jpg", "particle.jpg", "extro.jpg", "pink.jpg",
    "greetbkgnd.jpg", "zorbinshine.jpg", "juxgrt.jpg", "qovgrt.jpg", "grtu.jpg",
]
MUSIC = "Data/Music/onehitw.xm"
# Each drop loads its picture twice (one texture per stage), and two drops are
# initialised: the big one and the template of the small ones.
LOADS = {"droptex.jpg": 4}

LOG_COMPLETE = ["Start of render loop.", "Started rendering new effect: #0",
                "End of render loop.<br>", "<br><b>End of log</b></font></html>"]
FRAMES_BEFORE_ESCAPE = 20
# What the script itself keeps in a case's working directory.
HARNESS_FILES = {"presents.txt", "stderr.txt", "audio.raw", "asound.conf"}
SCHEDULE_PASS_SECONDS = 56  # the last effect starts at 52 s


# ---------------------------------------------------------------------------
# Damage

def picture_path(name):
    return os.path.join("Data", "Textures", name)


def engine_path(relative):
    return relative.replace("/", "\\")


def png_bytes(width, height):
    """A valid RGBA PNG of the given size with a simple gradient."""
    def row(y):
        shade = y * 255 // max(1, height - 1)
        return b"\x00" + b"".join(bytes((x * 255 // max(1, width - 1), shade, 128, 200)) for x in range(width))
    rows = b"".join(row(y) for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def remove(relative):
    def apply(work):
        os.remove(os.path.join(work, relative))
    return apply


def truncate_half(relative):
    def apply(work):
        path = os.path.join(work, relative)
        with open(path, "r+b") as f:
            f.truncate(os.path.getsize(path) // 2)
    return apply


def replace_with(relative, content):
    def apply(work):
        with open(os.path.join(work, relative), "wb") as f:
            f.write(content)
    return apply


def replace_with_directory(relative):
    def apply(work):
        path = os.path.join(work, relative)
        if os.path.exists(path):
            os.remove(path)
        os.makedirs(path)
    return apply


def copy_from(relative, source_relative):
    def apply(work):
        shutil.copyfile(os.path.join(work, source_relative), os.path.join(work, relative))
    return apply


def all_of(*changes):
    def apply(work):
        for change in changes:
            change(work)
    return apply


def logs_is_a_file(work):
    # Not chmod: CI runs as root, whom permissions do not stop.
    with open(os.path.join(work, "Data", "Logs"), "w") as f:
        f.write("not a directory\n")


TEXT = b"This is not a picture.\nJust a few words of text.\n"


# ---------------------------------------------------------------------------
# Cases

class Case:
    def __init__(self, group, name, damage, boxes=(), run="short", exit_code=0, log=(),
                 absent=(), no_log=False, audio=None, read_only_data=False, windows=True,
                 windows_log=None):
        self.group = group
        self.name = name
        self.damage = damage
        self.boxes = list(boxes)    # (caption, answer): answer "yes", "ok", "no", "cancel"
        self.run = run              # "short", "quits" or seconds of running
        self.exit_code = exit_code
        self.log = list(log)        # must appear in this order
        self.absent = list(absent)  # must not appear
        self.no_log = no_log
        self.audio = audio          # None, "silent" or "sound"
        self.read_only_data = read_only_data  # Data/ mounted read-only for the run
        self.windows = windows      # True, or why the case cannot apply to demo.exe
        self.windows_log = windows_log or {}  # lines demo.exe writes in place of the Linux build's

    def expected_log(self, build):
        return [self.windows_log.get(line, line) for line in self.log] if build == "windows" else self.log


def load_error(relative):
    return f"<u>Error:</u> Error while loading file: '{engine_path(relative)}'<br>"


def resolution(width, height, mode="Windowed"):
    return f"Resolution: {width}x{height} ({mode})"


# Win32 keeps a window between its smallest and largest tracking sizes
# (WM_GETMINMAXINFO), where the Linux build's window only clamps to 1 pixel: under
# Wine 116 x 27, and the screen and the frame around it.
WIN32_SMALLEST_WINDOW = (116, 27)
WIN32_LARGEST_WINDOW = (SCREEN[0] + 12, SCREEN[1] + 12)


def config_case(name, content, width, height, mode="Windowed", windows_size=None, windows=True):
    line = resolution(width, height, mode)
    return Case("config", name, replace_with("Data/Config/direct3d.cfg", content),
                log=["Loading Direct3D config file...", "Done.", line, "Succeeded."] + LOG_COMPLETE,
                absent=["<u>Warning:</u>", "<u>Error:</u>"], windows=windows,
                windows_log={line: resolution(*windows_size, mode)} if windows_size else None)


# The cases CI runs of the build under Wine, whose whole table takes longer than
# CI's share allows: in each group, the cases with the most boxes or the most
# distinct outcome (the first picture, the BMP and the picture loaded four
# times; sound and silence; the configuration's warnings, its clamped sizes and
# the refused device), all of the logs, and one pass of the schedule on odd-sized
# pictures (the pass with every picture missing answers 22 boxes first: 104 s).
SAMPLE = {
    "missing_yes/droptex.jpg", "missing_no/loading.jpg", "missing_no/black.bmp",
    "half/velmor.jpg", "text/black.bmp", "empty/grtu.jpg",
    "other_format/black.bmp", "other_format/road.jpg", "directory/greetbkgnd.jpg",
    "two_missing/yes_then_no",
    "music_half", "music_text",
    "config_missing", "config_directory", "config_garbage", "config_whitespace_crlf",
    "config_byte_order_mark", "config_zero", "config_large", "config_fullscreen_screen_size",
    "config_fullscreen_too_large_yes", "config_fullscreen_too_large_no",
    "logs_file_yes", "logs_file_no", "data_read_only_yes", "data_read_only_no",
    "long_every_picture_odd_png",
}


def build_cases():
    cases = []
    for name in PICTURES:
        relative = picture_path(name)
        error = load_error(relative)
        loads = LOADS.get(name, 1)
        continued = [error, "Continued running application.<br>"] * loads
        cases.append(Case("pictures_missing", f"missing_yes/{name}", remove(relative),
                          boxes=[("Demo: Error", "yes")] * loads, log=continued + LOG_COMPLETE))
        # No quits, but only once the start-up is over: later loads still ask.
        cases.append(Case("pictures_missing", f"missing_no/{name}", remove(relative),
                          boxes=[("Demo: Error", "no")] + [("Demo: Error", "cancel")] * (loads - 1),
                          run="quits",
                          log=[error, "Posted quit message.<br>"] * loads + LOG_COMPLETE))
        for form, damage in (("half", truncate_half(relative)), ("text", replace_with(relative, TEXT)),
                             ("empty", replace_with(relative, b""))):
            cases.append(Case("pictures_damaged", f"{form}/{name}", damage,
                              boxes=[("Demo: Error", "yes")] * loads, log=continued + LOG_COMPLETE))
        other = (copy_from(relative, picture_path("loading.jpg")) if name.endswith(".bmp")
                 else replace_with(relative, png_bytes(37, 23)))
        cases.append(Case("pictures_format", f"other_format/{name}", other,
                          log=LOG_COMPLETE, absent=["<u>Error:</u>"]))
    cases.append(Case("pictures_format", "directory/greetbkgnd.jpg",
                      replace_with_directory(picture_path("greetbkgnd.jpg")),
                      boxes=[("Demo: Error", "cancel")], run="quits",
                      log=[load_error(picture_path("greetbkgnd.jpg")), "Posted quit message.<br>"]
                      + LOG_COMPLETE))
    cases.append(Case("pictures_format", "two_missing/yes_then_no",
                      all_of(remove(picture_path("loading.jpg")), remove(picture_path("grtu.jpg"))),
                      boxes=[("Demo: Error", "yes"), ("Demo: Error", "no")], run="quits",
                      log=[load_error(picture_path("loading.jpg")), "Continued running application.<br>",
                           load_error(picture_path("grtu.jpg")), "Posted quit message.<br>"]
                      + LOG_COMPLETE))

    music_damage = [
        ("missing", remove(MUSIC)), ("half", truncate_half(MUSIC)), ("text", replace_with(MUSIC, TEXT)),
        ("empty", replace_with(MUSIC, b"")), ("png", replace_with(MUSIC, png_bytes(8, 8))),
        ("directory", replace_with_directory(MUSIC)),
    ]
    for form, damage in music_damage:
        # A module cut in half still holds its patterns and the first samples,
        # and the module library plays what it could read.
        audio = "sound" if form == "half" else "silent"
        cases.append(Case("music", f"music_{form}", damage, run=15, audio=audio,
                          log=LOG_COMPLETE + [], absent=["<u>Error:</u>", "<u>Warning:</u>"]))
    cases.append(Case("music", "music_intact", lambda work: None, run=15, audio="sound",
                      log=LOG_COMPLETE, absent=["<u>Error:</u>"]))

    warning = f"<u>Warning:</u> Error while loading file: '{CONFIG}'<br>"
    cases.append(Case("config", "config_missing", remove("Data/Config/direct3d.cfg"),
                      boxes=[("Demo: Warning", "ok")],
                      log=["Loading Direct3D config file...", warning, resolution(640, 480)] + LOG_COMPLETE))
    cases.append(Case("config", "config_directory", replace_with_directory("Data/Config/direct3d.cfg"),
                      boxes=[("Demo: Warning", "ok")],
                      log=["Loading Direct3D config file...", warning, resolution(640, 480)] + LOG_COMPLETE))
    written = b"//Zorbin Engine: Direct3D Config file\nreswidth 640\nresheight 480\nfullscreen 0\n"
    for name, content, width, height in (
        ("config_empty", b"", 640, 480),
        ("config_half", written[:len(written) // 2], 640, 480),
        ("config_text", TEXT, 640, 480),
        ("config_garbage", bytes((i * 151 + 7) % 256 for i in range(4096)), 640, 480),
        ("config_png", png_bytes(16, 16), 640, 480),
        ("config_upper_case", b"RESWIDTH 800\nResHeight 600\nFULLSCREEN 0\n", 800, 600),
        ("config_comment_words_count", b"// reswidth 1024\n", 1024, 480),
        ("config_comment_line", b"//reswidth 1024 is a comment word, then words\n", 640, 480),
        # "=" is no number: resheight is marked read with its untouched value, the
        # default height.
        ("config_equals", b"reswidth=800\nresheight = 600\n", 640, 480),
        ("config_whitespace_crlf", b"\r\n\t\treswidth\r\n\r\n   720\r\nresheight\t\t576\r\nfullscreen\t0\r\n",
         720, 576),
        ("config_one_line", b"reswidth 800 resheight 600 fullscreen 0", 800, 600),
        ("config_twice", b"reswidth 800\nreswidth 700\n", 700, 480),
        ("config_no_final_line_feed", b"resheight 500\nreswidth 600", 600, 500),
        ("config_fullscreen_2_stops", b"reswidth 800\nfullscreen 2\nresheight 600\n", 800, 480),
        ("config_fullscreen_true_stops", b"resheight 400\nfullscreen true\nreswidth 900\n", 640, 400),
        ("config_plus_sign", b"reswidth +800\n", 800, 480),
        ("config_trailing_letters", b"reswidth 800px resheight 600\n", 800, 600),
        ("config_byte_order_mark", b"\xef\xbb\xbfreswidth 800\nresheight 600\n", 640, 600),
        ("config_one_huge_word", b"x" * (1 << 20) + b" resheight 300\n", 640, 300),
        ("config_nul_bytes", b"reswidth\x00800\nresheight 300\n", 640, 300),
        # A failed number marks the key read with the value it had: none was
        # ever read, so the default. Zero and negative sides are read as given,
        # and the window clamps them to its smallest side (1 pixel).
        ("config_huge_number", b"resheight 300\nreswidth 99999999999999999999\nresheight 200\n", 640, 300),
        ("config_key_without_value", b"resheight 300\nreswidth", 640, 300),
    ):
        cases.append(config_case(name, content, width, height))
    for name, content, width, height, windows_size in (
        ("config_negative", b"reswidth -640\nresheight -1\n", 1, 1, WIN32_SMALLEST_WINDOW),
        ("config_zero", b"reswidth 0\nresheight 0\n", 1, 1, WIN32_SMALLEST_WINDOW),
        ("config_large", b"reswidth 5000\nresheight 3000\n", 5000, 3000, WIN32_LARGEST_WINDOW),
    ):
        cases.append(config_case(name, content, width, height, windows_size=windows_size))
    cases.append(config_case("config_fullscreen", b"reswidth 640\nresheight 480\nfullscreen 1\n",
                             640, 480, "Fullscreen",
                             windows="Xvfb has one display mode, its screen's size: Wine cannot switch "
                                     "to 640 x 480 and refuses the device (config_fullscreen_screen_size "
                                     "runs full screen at the screen's size instead)"))
    cases.append(config_case("config_fullscreen_screen_size",
                             b"reswidth %d\nresheight %d\nfullscreen 1\n" % SCREEN, *SCREEN, "Fullscreen"))
    # A full-screen back buffer no device can make: the device is not created,
    # the error box asks, and whatever the answer, start-up gives up.
    for answer in ("yes", "no"):
        cases.append(Case("config", f"config_fullscreen_too_large_{answer}",
                          replace_with("Data/Config/direct3d.cfg",
                                       b"reswidth 100000\nresheight 100000\nfullscreen 1\n"),
                          boxes=[("Demo: Error", answer), ("Error:", "ok")], run="quits", exit_code=255,
                          log=[resolution(100000, 100000, "Fullscreen"),
                               "<u>Error:</u> DirectX call 'IDirect3D8::CreateDevice' failed: ",
                               "Continued running application.<br>" if answer == "yes"
                               else "Posted quit message.<br>",
                               "<br><b>End of log</b></font></html>"],
                          absent=["Start of render loop."]))

    cases.append(Case("logs", "logs_file_yes", all_of(logs_is_a_file, remove(picture_path("pink.jpg"))),
                      boxes=[("Demo: Error", "yes")], no_log=True))
    cases.append(Case("logs", "logs_file_no", logs_is_a_file, boxes=[("Demo: Error", "cancel")],
                      run="quits", no_log=True))
    # Data/ read-only: neither the log folder nor anything else can be written.
    cases.append(Case("logs", "data_read_only_yes", lambda work: None, boxes=[("Demo: Error", "yes")],
                      no_log=True, read_only_data=True))
    cases.append(Case("logs", "data_read_only_no", lambda work: None, boxes=[("Demo: Error", "no")],
                      run="quits", no_log=True, read_only_data=True))

    every_effect = ["Start of render loop."] + [f"Started rendering new effect: #{i}" for i in range(6)] \
        + ["End of render loop.<br>", "<br><b>End of log</b></font></html>"]
    cases.append(Case("long", "long_every_picture_missing",
                      all_of(*[remove(picture_path(name)) for name in PICTURES]),
                      boxes=[("Demo: Error", "yes")] * sum(LOADS.get(name, 1) for name in PICTURES),
                      run=SCHEDULE_PASS_SECONDS, audio="sound",
                      log=[load_error(picture_path(name)) for name in PICTURES
                           for _ in range(LOADS.get(name, 1))] + every_effect))
    sizes = [(1, 1), (3, 5), (1000, 2)]
    cases.append(Case("long", "long_every_picture_odd_png",
                      all_of(*[replace_with(picture_path(name), png_bytes(*sizes[i % len(sizes)]))
                               for i, name in enumerate(PICTURES)]),
                      run=SCHEDULE_PASS_SECONDS, log=every_effect, absent=["<u>Error:</u>"]))
    return cases


# ---------------------------------------------------------------------------
# The X server and the windows on it

class XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
                ("root", ctypes.c_ulong), ("class_", ctypes.c_int), ("bit_gravity", ctypes.c_int),
                ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int),
                ("backing_planes", ctypes.c_ulong), ("backing_pixel", ctypes.c_ulong),
                ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int),
                ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]


IS_VIEWABLE = 2


class XConnection:
    """One Xlib connection through ctypes, kept for the whole run: looking for
    boxes many times a second must not open a connection each time, or the
    server's queue of new connections fills up and the demo's own connection
    (or that of a box it shows) is refused now and then."""

    def __init__(self, name):
        x = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XInternAtom.restype = ctypes.c_ulong
        x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                                 ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_void_p),
                                 ctypes.POINTER(ctypes.c_uint)]
        x.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(XWindowAttributes)]
        x.XGetWindowProperty.argtypes = [
            ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long, ctypes.c_long, ctypes.c_int,
            ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_int),
            ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_void_p)]
        x.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong,
                                      ctypes.c_int, ctypes.c_int, ctypes.c_char_p, ctypes.c_int]
        x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x.XFree.argtypes = [ctypes.c_void_p]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.x = x
        # A window may go away between listing and asking about it: its errors
        # are expected and must not end this program (Xlib's default).
        self.on_error = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(lambda d, e: 0)
        x.XSetErrorHandler(self.on_error)
        for _ in range(50):
            self.display = x.XOpenDisplay(name.encode())
            if self.display:
                break
            time.sleep(0.1)
        if not self.display:
            raise RuntimeError(f"cannot connect to {name}")
        self.root = x.XDefaultRootWindow(self.display)
        self.net_wm_name = x.XInternAtom(self.display, b"_NET_WM_NAME", 0)
        self.wm_name = x.XInternAtom(self.display, b"WM_NAME", 0)
        self.mark_atom = x.XInternAtom(self.display, b"BAD_DATA_ANSWERED", 0)
        self.string = x.XInternAtom(self.display, b"STRING", 0)

    def property(self, window, atom):
        actual, size = ctypes.c_ulong(), ctypes.c_int()
        count, after, data = ctypes.c_ulong(), ctypes.c_ulong(), ctypes.c_void_p()
        if self.x.XGetWindowProperty(self.display, window, atom, 0, 1024, 0, 0, ctypes.byref(actual),
                                     ctypes.byref(size), ctypes.byref(count), ctypes.byref(after),
                                     ctypes.byref(data)) != 0 or not data.value:
            return None
        value = ctypes.string_at(data.value, count.value) if size.value == 8 else b""
        self.x.XFree(data)
        return value

    def top_windows(self):
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children, count = ctypes.c_void_p(), ctypes.c_uint()
        if not self.x.XQueryTree(self.display, self.root, ctypes.byref(root), ctypes.byref(parent),
                                 ctypes.byref(children), ctypes.byref(count)):
            return []
        ids = list(ctypes.cast(children, ctypes.POINTER(ctypes.c_ulong))[:count.value]) if count.value else []
        if children.value:
            self.x.XFree(children)
        windows = []
        for window in ids:
            name = self.property(window, self.net_wm_name) or self.property(window, self.wm_name)
            if not name:
                continue
            # Only windows on screen: Wine keeps hidden windows of its own (its input
            # method's) among the root's children.
            attributes = XWindowAttributes()
            if (not self.x.XGetWindowAttributes(self.display, window, ctypes.byref(attributes))
                    or attributes.map_state != IS_VIEWABLE):
                continue
            windows.append((hex(window), name.decode(errors="replace"), attributes.x, attributes.y,
                             attributes.width, attributes.height))
        return windows

    def mark(self, wid):
        self.x.XChangeProperty(self.display, int(wid, 16), self.mark_atom, self.string, 8, 0, b"1", 1)
        self.x.XSync(self.display, 0)

    def is_marked(self, wid):
        return self.property(int(wid, 16), self.mark_atom) is not None

    def close(self):
        self.x.XCloseDisplay(self.display)


class Display:
    """A private Xvfb; -displayfd lets the server pick a free number itself."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{SCREEN[0]}x{SCREEN[1]}x24",
             "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            number = pipe.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.name = ":" + number.decode()
        self.env = dict(os.environ, DISPLAY=self.name)
        self.env.pop("XAUTHORITY", None)
        self.connection = XConnection(self.name)

    def run(self, *command, check=False):
        return subprocess.run(list(command), env=self.env, capture_output=True, check=check)

    def top_windows(self):
        """(id, name, x, y, width, height) of the root's named children on screen."""
        return self.connection.top_windows()

    # Box windows come from short-lived helper processes, and X reuses window ids:
    # the next box may get the id of the last one. An answered box is marked with
    # a property of its own, which a new window with the same id does not have.
    def mark(self, wid):
        self.connection.mark(wid)

    def is_marked(self, wid):
        return self.connection.is_marked(wid)

    def close(self):
        self.connection.close()
        self.process.terminate()
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def button_centres(xwd):
    """Centres (x, y) of the buttons of a message box (SDL's or Wine's), left to
    right, found in its screenshot: the rows that cross every button show one
    long run of the button colour per button."""
    header = struct.unpack(">25I", xwd[:100])
    header_size, width, height = header[0], header[4], header[5]
    bits_per_pixel, bytes_per_line, colours = header[11], header[12], header[19]
    offset = header_size + colours * 12
    step = bits_per_pixel // 8

    def pixel(x, y):
        at = offset + y * bytes_per_line + x * step
        return xwd[at:at + 3]
    background = pixel(0, 0)
    rows = {}
    for y in range(height - 1, height // 2, -1):
        runs, start = [], None
        for x in range(width + 1):
            colour = pixel(x, y) if x < width else None
            if start is not None and colour != pixel(start, y):
                if x - start >= 30:
                    runs.append((start, x))
                start = None
            if start is None and colour is not None and colour != background:
                start = x
        if len(runs) >= 1:
            rows.setdefault(len(runs), []).append((y, runs))
    if not rows:
        return []
    # The count most rows show: rows through a narrow button's label split it in two.
    count = max(rows, key=lambda runs: (len(rows[runs]), runs))
    ys = rows[count]
    y, runs = ys[len(ys) // 2]
    return [((a + b) // 2, y) for a, b in runs]


# ---------------------------------------------------------------------------
# The two builds: how each is started, hears sound and takes keys

class LinuxBuild:
    """The Linux demo: frames timed by present_timer (LD_PRELOAD), sound through
    SDL's disk driver, keys sent to the window."""
    name = "linux"

    def __init__(self, demo, timer):
        ldd = subprocess.run(["ldd", demo], capture_output=True, text=True).stdout
        asan = re.search(r"(\S*libasan\S*) => (\S+)", ldd)
        self.demo = os.path.abspath(demo)
        # A sanitized demo wants its runtime first among the preloaded libraries.
        self.preload = " ".join(filter(None, [asan.group(2) if asan else None, os.path.abspath(timer)]))

    def command(self, case):
        if case.read_only_data:
            # Preloaded into the demo alone, not into the programs that mount its data.
            return READ_ONLY_DATA + ["env", f"LD_PRELOAD={self.preload}", self.demo]
        return [self.demo]

    def environment(self, case, work, base):
        env = dict(base, PRESENT_TIMER_FILE=os.path.join(work, "presents.txt"))
        if not case.read_only_data:
            env["LD_PRELOAD"] = self.preload
        if case.audio:
            env.update(SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=os.path.join(work, "audio.raw"))
        else:
            env["SDL_AUDIODRIVER"] = "dummy"
        return env

    def press(self, display, wid, key):
        display.run("xdotool", "key", "--window", wid, key)

    def close(self):
        pass


class WindowsBuild:
    """demo.exe under Wine (x86_64): frames timed by its own Present hook, which
    appends to the same file; sound through waveOut and Wine's ALSA driver into
    ALSA's file plugin; keys typed into the focused window, since Wine's boxes
    ignore keys sent to them from outside. One Wine server, kept running between
    cases, serves the prefix (WINEPREFIX) for the whole run, but for read-only
    data: Wine's server opens and makes files for its programs, so there the
    demo's Wine starts a server of its own inside the demo's mount namespace."""
    name = "windows"

    def __init__(self, demo, wine):
        self.demo = os.path.abspath(demo)
        self.wine = wine
        self.wineserver = os.path.join(os.path.dirname(wine), "wineserver")
        if not os.path.exists(self.wineserver):
            self.wineserver = shutil.which("wineserver") or "wineserver"
        self.base = dict(os.environ, WINEDEBUG=os.environ.get("WINEDEBUG", "-all"),
                         WINEDLLOVERRIDES="mscoree,mshtml=")
        self.shared_server = False

    def serve(self, shared):
        """Starts the shared server, or stops every server for a case that brings
        its own (the last such case's server lingers in that case's namespace)."""
        if shared and self.shared_server:
            return
        subprocess.run([self.wineserver, "-k"], env=self.base, stderr=subprocess.DEVNULL, check=False)
        subprocess.run([self.wineserver, "-w"], env=self.base, check=False)
        if shared:
            subprocess.run([self.wineserver, "--persistent"], env=self.base, check=False)
        self.shared_server = shared

    def command(self, case):
        self.serve(shared=not case.read_only_data)
        command = [self.wine, self.demo]
        return READ_ONLY_DATA + command if case.read_only_data else command

    def environment(self, case, work, base):
        conf = os.path.join(work, "asound.conf")
        sink = (f'pcm.!default {{ type file slave.pcm "null" file "{work}/audio.raw" format "raw" }}'
                if case.audio else "pcm.!default { type null }")
        with open(conf, "w") as f:
            f.write(f"</usr/share/alsa/alsa.conf>\n{sink}\n")
        # Wine's drive Z: is the root of the Unix file system.
        presents = "Z:" + os.path.join(work, "presents.txt").replace("/", "\\")
        return dict(base, WINEDEBUG=self.base["WINEDEBUG"], WINEDLLOVERRIDES=self.base["WINEDLLOVERRIDES"],
                    PRESENT_TIMER_FILE=presents, ALSA_CONFIG_PATH=conf)

    def press(self, display, wid, key):
        # --sync waits for the focus to arrive: bounded, in case the window went
        # before it could take it (the caller's patience presses again).
        try:
            subprocess.run(["xdotool", "windowfocus", "--sync", wid, "key", key], env=display.env,
                           capture_output=True, timeout=10)
        except subprocess.TimeoutExpired:
            pass

    def close(self):
        subprocess.run([self.wineserver, "-k"], env=self.base, stderr=subprocess.DEVNULL, check=False)


# ---------------------------------------------------------------------------
# One run

class Failure(Exception):
    pass


def count_lines(path):
    try:
        with open(path, "rb") as f:
            return f.read().count(b"\n")
    except OSError:
        return 0


def answer_box(build, display, box, answer):
    wid = box[0]
    if answer in ("yes", "ok"):
        build.press(display, wid, "Return")
        return
    if answer == "cancel":
        build.press(display, wid, "Escape")
        return
    # "no": click the second button, as a user would. The box may still be
    # placing and drawing itself: its place and buttons are read until they
    # hold still. A box centred on a window larger than the screen lies off it:
    # it is brought into view first, as a user would drag it.
    centres, place = [], None
    for _ in range(40):
        time.sleep(0.05)
        now = [w for w in display.top_windows() if w[0] == wid]
        if not now:
            return  # closed meanwhile
        _wid, _name, x, y, w, h = now[0]
        if x < 0 or y < 0 or x + w > SCREEN[0] or y + h > SCREEN[1]:
            display.run("xdotool", "windowmove", "--sync", wid, "50", "50")
            continue
        shot = display.run("xwd", "-silent", "-id", wid).stdout
        found = button_centres(shot) if len(shot) > 100 else []
        if len(found) >= 2 and (found, (x, y)) == (centres, place):
            break
        centres, place = found, (x, y)
    if len(centres) < 2:
        raise Failure(f"could not find the buttons of the box ({len(centres)} found)")
    bx, by = centres[1]
    x, y = place
    display.run("xdotool", "mousemove", "0", "0")
    display.run("xdotool", "mousemove", str(x + bx), str(y + by))
    display.run("xdotool", "click", "1")


def run_case(case, template, build, display):
    work = tempfile.mkdtemp(prefix="bad_data_")
    try:
        shutil.copytree(template, work, dirs_exist_ok=True)
        case.damage(work)
        return run_demo(case, work, build, display)
    finally:
        shutil.rmtree(work, ignore_errors=True)


# Read-only data: the demo runs in a mount namespace of its own in which Data/ is
# bound onto itself read-only. Not permissions: CI runs as root, whom they do not
# stop. The mount goes with the process, however it ends.
READ_ONLY_DATA = ["unshare", "--mount", "--propagation", "private", "--",
                  "sh", "-c", 'mount --bind -o ro Data Data && exec "$@"', "sh"]


def read_only_mounts_unavailable():
    """Why Data/ cannot be mounted read-only here, or None when it can."""
    if not shutil.which("unshare"):
        return "no unshare (util-linux)"
    probe = tempfile.mkdtemp(prefix="bad_data_mount_")
    try:
        os.makedirs(os.path.join(probe, "Data"))
        result = subprocess.run(READ_ONLY_DATA + ["sh", "-c", "! touch Data/written 2>/dev/null"],
                                cwd=probe, capture_output=True, text=True)
        if result.returncode != 0:
            detail = result.stderr.strip().splitlines()
            return "Data/ cannot be mounted read-only here" + (f" ({detail[-1]})" if detail else "")
        return None
    finally:
        shutil.rmtree(probe, ignore_errors=True)


def files_on_disk(work):
    """Every file and folder below WORK but the harness's own, with each file's
    size and time of change: what the demo may not touch but its log."""
    found = {}
    for folder, folders, files in os.walk(work):
        relative = os.path.relpath(folder, work)
        for name in folders:
            found[os.path.normpath(os.path.join(relative, name))] = "folder"
        for name in files:
            path = os.path.normpath(os.path.join(relative, name))
            if relative == "." and name in HARNESS_FILES:
                continue
            info = os.lstat(os.path.join(folder, name))
            found[path] = (info.st_size, info.st_mtime_ns)
    return found


def disk_changes(before, after):
    """What the run wrote besides its log (Data/Logs and one .html file in it)."""
    logs = os.path.join("Data", "Logs")
    problems = []
    for path in sorted(set(before) | set(after)):
        if path not in after:
            problems.append(f"removed {path}")
        elif path not in before:
            if not (path == logs or (os.path.dirname(path) == logs and path.endswith(".html"))):
                problems.append(f"wrote {path}")
        elif before[path] != after[path]:
            problems.append(f"changed {path}")
    return [f"touched on disk: {', '.join(problems)}"] if problems else []


def run_demo(case, work, build, display):
    presents = os.path.join(work, "presents.txt")
    env = build.environment(case, work, display.env)
    command = build.command(case)
    before = files_on_disk(work)
    stderr_path = os.path.join(work, "stderr.txt")
    with open(stderr_path, "wb") as errors:
        demo = subprocess.Popen(command, cwd=work, env=env, stdout=subprocess.DEVNULL,
                                stderr=errors)
    problems = []
    try:
        drive(case, build, demo, display, presents, problems)
    except Failure as failure:
        problems.append(str(failure))
    finally:
        if demo.poll() is None:
            demo.kill()
            demo.wait()
    status = demo.returncode
    with open(stderr_path, "rb") as f:
        stderr = f.read().decode(errors="replace")
    if status < 0:
        problems.append(f"killed by signal {signal.Signals(-status).name}")
    elif status != case.exit_code and not problems:
        problems.append(f"exit code {status}, expected {case.exit_code}")
    for marker in ("ERROR: AddressSanitizer", "runtime error:", "LeakSanitizer"):
        if marker in stderr:
            problems.append(f"sanitizer report ({marker})")
    if "[message box]" in stderr:
        problems.append("a message box could not be shown as a window (are the core X fonts, "
                        "xfonts-base, installed?)")
    problems += check_log(case, case.expected_log(build.name), work)
    problems += disk_changes(before, files_on_disk(work))
    if case.audio:
        problems += check_audio(case, os.path.join(work, "audio.raw"))
    if problems:
        tail = "\n".join(stderr.strip().splitlines()[-40:])
        return f"FAIL {case.name}: " + "; ".join(problems) + (f"\n  stderr:\n{tail}" if tail else "")
    return None


def drive(case, build, demo, display, presents, problems):
    """Answers the expected boxes in order, lets the loop draw, then quits it."""
    expected = list(case.boxes)
    deadline = time.monotonic() + 60 + len(expected) * 5
    last_answer_frames = 0
    loop_start = None
    while True:
        if demo.poll() is not None:
            if case.run != "quits":
                raise Failure(f"the demo exited by itself (status {demo.returncode})")
            if expected:
                raise Failure(f"the demo exited before {len(expected)} more box(es)")
            return
        if time.monotonic() > deadline:
            raise Failure("timed out" + (f" waiting for a '{expected[0][0]}' box" if expected else ""))
        boxes = [w for w in display.top_windows() if w[1] != MAIN_TITLE and not display.is_marked(w[0])]
        if boxes:
            box = boxes[0]
            if not expected:
                problems.append(f"an unexpected box '{box[1]}'")
                answer = "cancel" if box[1] != "Demo: Warning" else "ok"
            else:
                caption, answer = expected.pop(0)
                if box[1] != caption:
                    problems.append(f"a box '{box[1]}' where '{caption}' was expected")
            display.mark(box[0])
            answer_with_patience(build, display, box, answer, demo)
            last_answer_frames = count_lines(presents)
            continue
        frames = count_lines(presents)
        if expected and frames >= FRAMES_BEFORE_ESCAPE * 3:
            # Boxes come during start-up: a render loop well under way shows none.
            raise Failure(f"no '{expected[0][0]}' box before the render loop")
        if not expected and case.run != "quits":
            if isinstance(case.run, int):
                if loop_start is None and frames >= 2:
                    loop_start = time.monotonic()
                    deadline = loop_start + case.run + 30
                if loop_start is not None and time.monotonic() - loop_start >= case.run:
                    break
            elif frames - last_answer_frames >= FRAMES_BEFORE_ESCAPE and frames >= FRAMES_BEFORE_ESCAPE:
                break
        time.sleep(0.05)
    # A key sent to a window now and then goes astray on a loaded machine; a
    # user would press again, and so does this, a few seconds apart.
    for _ in range(3):
        main = [w[0] for w in display.top_windows() if w[1] == MAIN_TITLE]
        if not main:
            raise Failure("no demo window to press Escape in")
        build.press(display, main[0], "Escape")
        try:
            demo.wait(timeout=8)
            return
        except subprocess.TimeoutExpired:
            pass
    raise Failure("the demo did not quit on Escape (pressed three times)")


def answer_with_patience(build, display, box, answer, demo):
    """Answers a box and waits for it to close; like a user, answers again if
    the first key press or click was lost."""
    wid = box[0]
    for _ in range(3):
        answer_box(build, display, box, answer)
        for _ in range(40):
            if demo.poll() is not None or wid not in [w[0] for w in display.top_windows()]:
                return
            if not display.is_marked(wid):
                return  # gone, and the id already taken by the next box
            time.sleep(0.05)
    raise Failure("the box stayed open after three answers")


def check_log(case, lines, work):
    logs = glob.glob(os.path.join(work, "Data", "Logs", "*.html")) if os.path.isdir(
        os.path.join(work, "Data", "Logs")) else []
    if case.no_log:
        return [f"a log was written: {os.path.basename(logs[0])}"] if logs else []
    if len(logs) != 1:
        return [f"{len(logs)} log files, expected one"]
    text = open(logs[0], "rb").read().decode("latin-1")
    problems = []
    at = 0
    for line in lines:
        found = text.find(line, at)
        if found < 0:
            where = "at all" if text.find(line) < 0 else "in that order"
            problems.append(f"the log lacks '{line}' {where}")
            break
        at = found + len(line)
    for line in case.absent:
        if line in text:
            problems.append(f"the log has '{line}'")
    return problems


def check_audio(case, path):
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError:
        data = b""
    heard = data.strip(b"\x00") != b""
    if case.audio == "silent" and heard:
        return ["sound was played"]
    if case.audio == "sound" and not heard:
        return [f"silence ({len(data)} bytes of audio output)"]
    return []


# ---------------------------------------------------------------------------

def prerequisites(build):
    missing = [tool for tool in ("Xvfb", "xdotool", "xwd") if not shutil.which(tool)]
    if missing:
        return f"missing programs: {', '.join(missing)}"
    if build == "linux" and not glob.glob("/usr/share/fonts/X11/misc/*.pcf.gz"):
        return "no core X fonts (xfonts-base): SDL cannot show message boxes under Xvfb"
    return None


def select_cases(args):
    """The cases to run, and those of the selection that cannot run here, each
    with its reason."""
    chosen = [c for c in build_cases()
              if (args.group == "all" or c.group == args.group) and args.case in c.name
              and (not args.sample or c.name in SAMPLE)]
    not_here = []
    if args.build == "windows":
        not_here += [(c, c.windows) for c in chosen if c.windows is not True]
    if any(c.read_only_data for c in chosen):
        reason = read_only_mounts_unavailable()
        if reason:
            not_here += [(c, reason) for c in chosen if c.read_only_data]
    skipped = {id(c) for c, _ in not_here}
    return [c for c in chosen if id(c) not in skipped], not_here


def make_template(source_dir, datagen):
    template = tempfile.mkdtemp(prefix="bad_data_template_")
    os.makedirs(os.path.join(template, "Data", "Config"))
    shutil.copy(os.path.join(source_dir, "Data", "Config", "direct3d.cfg"),
                os.path.join(template, "Data", "Config"))
    subprocess.run([datagen, template], check=True, stdout=subprocess.DEVNULL)
    for extra in ("terraT.ms3d", "terraT_skin.jpg", "terraT_chrome.jpg"):
        if os.path.exists(os.path.join(template, extra)):
            os.remove(os.path.join(template, extra))
    return template


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--list", action="store_true")
    parser.add_argument("demo", nargs="?")
    parser.add_argument("datagen", nargs="?")
    parser.add_argument("source_dir", nargs="?")
    parser.add_argument("group", nargs="?")
    parser.add_argument("--build", choices=("linux", "windows"), default="linux")
    parser.add_argument("--timer", help="present_timer.so (the Linux build)")
    parser.add_argument("--wine", help="wine64 (the Windows build)")
    parser.add_argument("--jobs", type=int, default=1)
    parser.add_argument("--case", default="")
    parser.add_argument("--sample", action="store_true", help="only the cases CI runs (SAMPLE)")
    args = parser.parse_args()
    if args.list:
        for case in build_cases():
            sample = "  (sample)" if case.name in SAMPLE else ""
            windows = "" if case.windows is True else f"  (not on Windows: {case.windows})"
            print(f"{case.group:17} {case.name}{sample}{windows}")
        return 0
    if args.build == "linux" and not args.timer:
        parser.error("the Linux build needs --timer present_timer.so")
    if args.build == "windows" and not args.wine:
        parser.error("the Windows build needs --wine wine64")
    cases, not_here = select_cases(args)
    for case, reason in not_here:
        print(f"n/a  {case.name}: {reason}")
    if not cases:
        if not_here:
            print("SKIP: no case of the selection can run here")
            return SKIP
        print(f"no case in group '{args.group}' matching '{args.case}'")
        return 1
    reason = prerequisites(args.build)
    if reason:
        print(f"SKIP: {reason}")
        return SKIP

    build = (LinuxBuild(args.demo, args.timer) if args.build == "linux"
             else WindowsBuild(args.demo, args.wine))
    # Wine's processes of one prefix share its server and desktop: one X server, one case at a time.
    jobs = max(1, min(args.jobs if args.build == "linux" else 1, len(cases)))
    template = None
    displays = []
    started = time.monotonic()
    try:
        template = make_template(args.source_dir, args.datagen)
        displays = [Display() for _ in range(jobs)]
        free = list(displays)
        lock = threading.Lock()

        def run_one(case):
            with lock:
                display = free.pop()
            try:
                case_start = time.monotonic()
                result = run_case(case, template, build, display)
                verdict = result or f"ok   {case.name}"
                print(f"{verdict}  ({time.monotonic() - case_start:.1f} s)", flush=True)
                return result
            finally:
                with lock:
                    free.append(display)

        with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
            results = list(pool.map(run_one, cases))
    finally:
        for display in displays:
            display.close()
        build.close()
        if template:
            shutil.rmtree(template, ignore_errors=True)
    failures = [r for r in results if r]
    print(f"{len(cases) - len(failures)} of {len(cases)} cases passed on the {build.name} build in "
          f"{time.monotonic() - started:.0f} s" + (f"; {len(not_here)} cannot run here" if not_here else ""))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
