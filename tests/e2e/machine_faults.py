#!/usr/bin/env python3
"""The machine failing the programs, end to end: the real demo and tools run on a
machine without OpenGL 3.3, without a display or a sound device, with a disk
that fills up, and ended by signals, case by case.

Usage: machine_faults.py BUILD_DIR SOURCE_DIR GROUP [--case SUBSTRING]
       machine_faults.py --list

BUILD_DIR holds the programs (Demo/demo, tools/...), present_timer and
disk_full. Every case gets a fresh working directory with generated data and,
where it needs one, a private Xvfb whose message boxes are answered as
bad_data.py answers them. After each run: the exit code, the lines on stderr,
the log's lines in order, and what else is on disk.

group    case                    the machine                                    outcome
opengl   demo_gl_3_0, _2_1       Mesa offers OpenGL 3.0 / 2.1 at most           "No OpenGL 3.3" box (OK) and one line: "No OpenGL 3.3: the
                                 (MESA_GL_VERSION_OVERRIDE): no 3.3 core         graphics driver offers only OpenGL 3.0 (...)"; the CreateDevice
                                 context                                         error box (Yes), "Something went wrong..." (OK), exit 255;
                                                                                 log: the failed call, its footer
         demo_gl_none            a driver that makes no context at all          as above; the line: "no OpenGL context could be made at all"
                                 (software rendering with an unknown driver)
         capture_gl_3_0,         OpenGL 3.0; capture also with no context       exit 1, the same one line, no other line (bench's and capture's
         capture_gl_none,                                                       progress line before it aside), no output left
         bench_gl_3_0,
         modelview_gl_3_0
without  no_display              no DISPLAY nor WAYLAND_DISPLAY                 one "No display" line first, the failure box on stderr, exit 255
         no_sound                ALSA on a card that does not exist             one "No sound" line naming alsa, runs, Escape, exit 0
disk     log_disk_full           the log's folder fills after 400 bytes         runs, Escape, exit 0, no box; the log holds its first 400 bytes;
                                 (disk_full preloaded)                          one "Log: writing ... failed (No space left on device)" line;
                                                                                nothing written outside Data/Logs
         capture_disk_full       capture's output on a 1 MB tmpfs              exit 1, one line naming the failed write, the tmpfs left empty
signals  sigterm, sigint         the signal while the render loop runs          ends as on Escape: exit 0, log complete with its footer
         sigkill_then_rerun      SIGKILL while the render loop runs, then       the killed run's log holds everything up to the kill; the next
                                 the demo again in the same folder              run starts normally, exit 0 on Escape, its log complete
         sigterm_at_a_box        SIGTERM while a start-up box waits (the        the box closes as if closed by the user (Cancel: quit posted), the
                                 loading picture missing)                       demo ends in order, exit 0, log complete
         sigkill_at_a_box        SIGKILL while that box waits                   nothing of the demo left on the screen (the box's process too)

Exit code 77: nothing in the group could run here (it says why); a single case
that cannot (capture_disk_full without the right to mount a tmpfs) is skipped
with its reason.
"""
import argparse
import glob
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bad_data  # noqa: E402  (the X server, its boxes and the log checks are shared)

SKIP = 77
LOG_FULL_AFTER = 400
FRAMES_BEFORE_ACTING = 20
LOG_COMPLETE = bad_data.LOG_COMPLETE
DEVICE_FAILED = ["<u>Error:</u> DirectX call 'IDirect3D8::CreateDevice' failed: ",
                 "Continued running application.<br>", "<br><b>End of log</b></font></html>"]
NO_GL_3_0 = r"^No OpenGL 3\.3: the graphics driver offers only OpenGL 3\.0 \(.+\)\. This program needs OpenGL 3\.3"
NO_GL_2_1 = NO_GL_3_0.replace(r"3\.0", r"2\.1")
NO_GL_AT_ALL = r"^No OpenGL 3\.3: no OpenGL context could be made at all \(.+\)\. This program needs OpenGL 3\.3"
GL_3_0 = {"MESA_GL_VERSION_OVERRIDE": "3.0"}
# Mesa's software rendering asked for a driver it does not have: no context of
# any kind can be made. Mesa then prints one fatal line of its own, which no
# setting quiets.
NO_GL = {"LIBGL_ALWAYS_SOFTWARE": "1", "GALLIUM_DRIVER": "no_such_driver"}
MESA_FATAL = r"^libGL error: failed to load driver"


class LinuxKeys:
    """How bad_data.py's box answering reaches the Linux programs' boxes: keys
    sent to the box's window."""

    @staticmethod
    def press(display, wid, key):
        display.run("xdotool", "key", "--window", wid, key)


LINUX_KEYS = LinuxKeys()


class Case:
    def __init__(self, group, name, program="demo", args=(), env=None, display=True, boxes=(), run="escape",
                 exit_code=0, line=None, allowed=(), log=(), absent=(), check=None, damage=None):
        self.group = group
        self.name = name
        self.program = program      # demo, capture, bench or modelview
        self.args = list(args)      # "{out}" stands for the case's output path
        self.env = env or {}
        self.display = display      # run on a private Xvfb
        self.boxes = list(boxes)    # (caption, answer) in order, answered as bad_data.py does
        self.run = run              # "escape", "quits", "sigterm", "sigint", "sigkill_then_rerun"
        self.exit_code = exit_code
        self.line = line            # a pattern exactly one stderr line matches; None: no line expected
        self.allowed = list(allowed)  # patterns of other stderr lines that may be there
        self.log = list(log)        # the log's lines in this order (demo only)
        self.absent = list(absent)
        self.no_log = False
        self.check = check          # more checks: check(case, work, stderr) -> problems
        self.damage = damage        # damage(work) before the run


def build_cases():
    failed_device = dict(boxes=[("No OpenGL 3.3", "ok"), ("Demo: Error", "yes"), ("Error:", "ok")],
                         run="quits", exit_code=255,
                         allowed=[r"^\[message box\]"], log=DEVICE_FAILED, absent=["Start of render loop."])
    cases = [
        Case("opengl", "demo_gl_3_0", env=GL_3_0, line=NO_GL_3_0, **failed_device),
        Case("opengl", "demo_gl_2_1", env={"MESA_GL_VERSION_OVERRIDE": "2.1"}, line=NO_GL_2_1, **failed_device),
        Case("opengl", "demo_gl_none", env=NO_GL, line=NO_GL_AT_ALL,
             **dict(failed_device, allowed=[MESA_FATAL])),
    ]
    capture_args = ["--to", "100", "--out", "{out}"]
    for program, args, progress in (("capture", capture_args, r"^capture: \d+ frames"),
                                    ("bench", ["--runs", "1"], r"^bench: start-up\.\.\.$"),
                                    ("modelview", ["terraT.ms3d"], None)):
        cases.append(Case("opengl", f"{program}_gl_3_0", program, args, env=GL_3_0, exit_code=1, run="quits",
                          line=NO_GL_3_0, allowed=[progress] if progress else [],
                          display=program == "modelview", check=nothing_at("{out}")))
    cases.append(Case("opengl", "capture_gl_none", "capture", capture_args, env=NO_GL, exit_code=1, run="quits",
                      display=False, line=NO_GL_AT_ALL, allowed=[r"^capture: \d+ frames", MESA_FATAL],
                      check=nothing_at("{out}")))

    no_display = Case("without", "no_display", display=False, run="quits", exit_code=255,
                      line=r"^No display: DISPLAY is not set\.", check=failure_box_on_stderr,
                      allowed=[r"^\[message box\] (Demo: Fatal error|Error:)$", r"^Failed to create D3D8 Object\.$",
                               r"^Something went wrong\.\.\.$", r"^\[OK\] -> OK \(no box could be shown"],
                      log=DEVICE_FAILED[-1:])
    no_display.env = None  # the environment cleared, as on a machine without a display
    cases.append(no_display)
    cases.append(Case("without", "no_sound", env={"SDL_AUDIODRIVER": "alsa", "AUDIODEV": "hw:99"},
                      line=r"^No sound: .*tried alsa.*the music is silent\.", log=LOG_COMPLETE))

    cases.append(Case("disk", "log_disk_full", env={"DISK_FULL_AFTER": str(LOG_FULL_AFTER)},
                      line=r"^Log: writing 'Data/Logs/.+\.html' failed \(No space left on device\); "
                           r"the log ends there",
                      check=log_cut_at_the_limit))
    cases.append(Case("disk", "capture_disk_full", "capture", ["--to", "4000", "--out", "{out}"], display=False,
                      run="quits", exit_code=1, line=r"^capture: cannot write .+: No space left on device$",
                      allowed=[r"^capture: \d+ frames", r"^capture: frame \d+/"], check=nothing_at("{out}")))

    cases.append(Case("signals", "sigterm", run="sigterm", log=LOG_COMPLETE))
    cases.append(Case("signals", "sigint", run="sigint", log=LOG_COMPLETE))
    cases.append(Case("signals", "sigkill_then_rerun", run="sigkill_then_rerun", check=killed_log_then_complete))
    # A box waiting for its answer at start-up (the loading picture missing).
    loading = bad_data.picture_path("loading.jpg")
    cases.append(Case("signals", "sigterm_at_a_box", run="sigterm_at_a_box", damage=bad_data.remove(loading),
                      log=[bad_data.load_error(loading), "Posted quit message.<br>"] + LOG_COMPLETE))
    cases.append(Case("signals", "sigkill_at_a_box", run="sigkill_at_a_box", damage=bad_data.remove(loading),
                      exit_code=-signal.SIGKILL, check=no_window_left))
    return cases


# ---------------------------------------------------------------------------
# Checks beyond the common ones

def nothing_at(pattern):
    def check(case, work, _stderr):
        path = pattern.format(out=case.out)
        leftovers = [p for p in glob.glob(path + "*")]
        full_disk = os.path.dirname(path)
        if case.name == "capture_disk_full" and os.listdir(full_disk):
            leftovers.append(f"{full_disk}: {os.listdir(full_disk)}")
        return [f"left behind: {', '.join(leftovers)}"] if leftovers else []
    return check if "{out}" in pattern else None


def failure_box_on_stderr(_case, _work, stderr):
    problems = []
    if "Something went wrong..." not in stderr:
        problems.append("no 'Something went wrong...' box on stderr")
    if re.search(r"ALSA lib|XDG_RUNTIME_DIR", stderr):
        problems.append("library internals on stderr")
    return problems


def log_cut_at_the_limit(_case, work, _stderr):
    logs = glob.glob(os.path.join(work, "Data", "Logs", "*.html"))
    if len(logs) != 1:
        return [f"{len(logs)} logs, expected one"]
    text = open(logs[0], "rb").read()
    problems = []
    if len(text) != LOG_FULL_AFTER:
        problems.append(f"the log holds {len(text)} bytes, not the {LOG_FULL_AFTER} that fit")
    if not text.startswith(b"<html><title>Zorbin Engine Log</title>") or b"cD3D::init<br>" not in text:
        problems.append("the log does not begin as a log does")
    return problems


def no_window_left(case, _work, _stderr):
    time.sleep(1)
    left = case.screen.top_windows()
    return [f"windows left on the screen after SIGKILL: {[w[1] for w in left]}"] if left else []


def killed_log_then_complete(_case, work, _stderr):
    logs = sorted(glob.glob(os.path.join(work, "Data", "Logs", "*.html")), key=os.path.getmtime)
    if len(logs) != 2:
        return [f"{len(logs)} logs, expected the killed run's and the next one's"]
    killed = open(logs[0], "rb").read().decode("latin-1")
    problems = []
    if "Started rendering new effect: #0" not in killed:
        problems.append("the killed run's log lost what it had written")
    if "End of log" in killed:
        problems.append("the killed run's log has a footer")
    problems += check_log_lines(logs[1], LOG_COMPLETE, [])
    return problems


# ---------------------------------------------------------------------------
# Running

def snapshot(work):
    """Every file below work but Data/Logs and the case's own files, with size
    and modification time: what a run must not touch."""
    own = {"stderr.txt", "presents.txt", "stderr2.txt"}
    seen = {}
    for root, dirs, files in os.walk(work):
        relative = os.path.relpath(root, work)
        if relative == os.path.join("Data", "Logs"):
            dirs[:] = []
            continue
        for name in files:
            if relative == "." and name in own:
                continue
            path = os.path.join(root, name)
            status = os.lstat(path)
            seen[os.path.join(relative, name)] = (status.st_size, status.st_mtime_ns)
        for name in dirs:
            if os.path.join(relative, name) != os.path.join("Data", "Logs"):  # the demo makes it
                seen[os.path.join(relative, name) + "/"] = None
    return seen


def environment(case, work, tools, display):
    if case.env is None:  # a machine without a display: nothing of ours set
        return {"PATH": os.environ["PATH"], "HOME": os.environ.get("HOME", "/root")}
    env = dict(display.env) if display else {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    env["SDL_AUDIODRIVER"] = "dummy"
    env.update(case.env)
    preload = [tools["asan_runtime"], tools["timer"]]
    if "DISK_FULL_AFTER" in case.env:
        preload.append(tools["disk_full"])
        env["DISK_FULL_DIR"] = os.path.realpath(os.path.join(work, "Data", "Logs"))
        os.makedirs(env["DISK_FULL_DIR"], exist_ok=True)
    env["PRESENT_TIMER_FILE"] = os.path.join(work, "presents.txt")
    env["LD_PRELOAD"] = " ".join(filter(None, preload))
    return env


def start(case, work, tools, env, stderr_name="stderr.txt"):
    args = [a.format(out=case.out) for a in case.args]
    with open(os.path.join(work, stderr_name), "wb") as errors:
        return subprocess.Popen([tools[case.program]] + args, cwd=work, env=env, stdout=subprocess.DEVNULL,
                                stderr=errors)


def wait_for_frames(program, presents, count, seconds=60):
    deadline = time.monotonic() + seconds
    while bad_data.count_lines(presents) < count:
        if program.poll() is not None:
            raise bad_data.Failure(f"the demo exited by itself (status {program.returncode})")
        if time.monotonic() > deadline:
            raise bad_data.Failure("the render loop did not start")
        time.sleep(0.05)


def answer_boxes(case, program, display, presents):
    """Answers the expected boxes in order; returns when none is left to come."""
    expected = list(case.boxes)
    deadline = time.monotonic() + 60 + 5 * len(expected)
    while expected:
        if program.poll() is not None:
            raise bad_data.Failure(f"exited before {len(expected)} more box(es)")
        if time.monotonic() > deadline:
            raise bad_data.Failure(f"timed out waiting for a '{expected[0][0]}' box")
        boxes = [w for w in display.top_windows() if w[1] != bad_data.MAIN_TITLE and not display.is_marked(w[0])]
        if boxes:
            caption, answer = expected.pop(0)
            if boxes[0][1] != caption:
                raise bad_data.Failure(f"a box '{boxes[0][1]}' where '{caption}' was expected")
            display.mark(boxes[0][0])
            bad_data.answer_with_patience(LINUX_KEYS, display, boxes[0], answer, program)
        time.sleep(0.05)


def wait_for_a_box(program, display):
    deadline = time.monotonic() + 60
    while not [w for w in display.top_windows() if w[1] != bad_data.MAIN_TITLE]:
        if program.poll() is not None or time.monotonic() > deadline:
            raise bad_data.Failure("no box came")
        time.sleep(0.05)


def unexpected_boxes(display):
    if not display:
        return []
    return [f"an unexpected box '{w[1]}'" for w in display.top_windows()
            if w[1] != bad_data.MAIN_TITLE and not display.is_marked(w[0])]


def drive(case, work, tools, display):
    env = environment(case, work, tools, display)
    presents = env.get("PRESENT_TIMER_FILE", os.path.join(work, "presents.txt"))
    program = start(case, work, tools, env)
    problems = []
    try:
        if display:
            answer_boxes(case, program, display, presents)
        if case.run == "quits":
            program.wait(timeout=120)
            return program, problems
        if case.run.endswith("_at_a_box"):
            wait_for_a_box(program, display)
            program.send_signal(signal.SIGTERM if case.run == "sigterm_at_a_box" else signal.SIGKILL)
            program.wait(timeout=10)
            return program, problems
        wait_for_frames(program, presents, FRAMES_BEFORE_ACTING)
        problems += unexpected_boxes(display)
        if case.run == "escape":
            quit_with_escape(program, display)
        elif case.run in ("sigterm", "sigint"):
            program.send_signal(signal.SIGTERM if case.run == "sigterm" else signal.SIGINT)
            program.wait(timeout=20)
        elif case.run == "sigkill_then_rerun":
            program.kill()
            program.wait()
            if program.returncode != -signal.SIGKILL:
                problems.append(f"the first run ended with {program.returncode}, not by SIGKILL")
            time.sleep(1.1)  # the next log is named after the next second
            os.remove(presents)
            program = start(case, work, tools, env, "stderr2.txt")
            wait_for_frames(program, presents, FRAMES_BEFORE_ACTING)
            problems += unexpected_boxes(display)
            quit_with_escape(program, display)
    except subprocess.TimeoutExpired:
        problems.append("it did not end")
    except bad_data.Failure as failure:
        problems.append(str(failure))
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()
    return program, problems


def quit_with_escape(program, display):
    for _ in range(3):  # a key now and then goes astray on a loaded machine
        main = [w[0] for w in display.top_windows() if w[1] == bad_data.MAIN_TITLE]
        if not main:
            raise bad_data.Failure("no demo window to press Escape in")
        display.run("xdotool", "key", "--window", main[0], "Escape")
        try:
            program.wait(timeout=8)
            return
        except subprocess.TimeoutExpired:
            pass
    raise bad_data.Failure("the demo did not quit on Escape")


def check_log_lines(path, lines, absent):
    text = open(path, "rb").read().decode("latin-1")
    at = 0
    for line in lines:
        found = text.find(line, at)
        if found < 0:
            return [f"the log lacks '{line}'" + (" in that order" if line in text else "")]
        at = found + len(line)
    return [f"the log has '{line}'" for line in absent if line in text]


def check_stderr(case, stderr):
    lines = [line for line in stderr.replace("\r", "\n").splitlines() if line.strip()]
    problems = []
    if case.line:
        matching = [line for line in lines if re.search(case.line, line)]
        if len(matching) != 1:
            problems.append(f"{len(matching)} lines match '{case.line}', expected one")
    others = [line for line in lines if not (case.line and re.search(case.line, line))
              and not any(re.search(pattern, line) for pattern in case.allowed)]
    if others:
        problems.append(f"other lines on stderr: {others[:3]}")
    for marker in ("ERROR: AddressSanitizer", "runtime error:", "LeakSanitizer"):
        if marker in stderr:
            problems.append(f"sanitizer report ({marker})")
    return problems


def run_case(case, template, tools, display):
    work = tempfile.mkdtemp(prefix="machine_faults_")
    mounted = None
    try:
        shutil.copytree(template, work, dirs_exist_ok=True)
        if case.damage:
            case.damage(work)
        case.screen = display  # the Xvfb of this run, for the checks
        case.out = os.path.join(work, "out", "frames")
        os.makedirs(os.path.dirname(case.out))
        if case.name == "capture_disk_full":
            mounted = os.path.dirname(case.out)
            mount = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", mounted],
                                   capture_output=True, text=True)
            if mount.returncode != 0:
                mounted = None
                return "skip", f"cannot mount a tmpfs ({mount.stderr.strip() or 'not root'})"
        before = snapshot(work)
        program, problems = drive(case, work, tools, display)
        status = program.returncode
        stderr = open(os.path.join(work, "stderr.txt"), "rb").read().decode(errors="replace")
        if case.run == "sigkill_then_rerun":
            stderr = open(os.path.join(work, "stderr2.txt"), "rb").read().decode(errors="replace")
        if status is not None and status < 0 and status != case.exit_code:
            problems.append(f"killed by signal {signal.Signals(-status).name}")
        elif status != case.exit_code:
            problems.append(f"exit code {status}, expected {case.exit_code}")
        problems += check_stderr(case, stderr)
        if case.program == "demo" and case.log:
            logs = glob.glob(os.path.join(work, "Data", "Logs", "*.html"))
            problems += (check_log_lines(logs[0], case.log, case.absent) if len(logs) == 1
                         else [f"{len(logs)} logs, expected one"])
        if case.check:
            problems += case.check(case, work, stderr)
        changed = sorted(set(before.items()) ^ set(snapshot(work).items()))
        if changed:
            problems.append(f"written outside Data/Logs: {sorted({c[0] for c in changed})[:5]}")
        if problems:
            tail = "\n".join(stderr.strip().splitlines()[-20:])
            return "fail", "; ".join(problems) + (f"\n  stderr:\n{tail}" if tail else "")
        return "ok", ""
    finally:
        if mounted:
            subprocess.run(["umount", mounted], capture_output=True)
        shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--list", action="store_true")
    parser.add_argument("build_dir", nargs="?")
    parser.add_argument("source_dir", nargs="?")
    parser.add_argument("group", nargs="?")
    parser.add_argument("--case", default="")
    args = parser.parse_args()
    cases = build_cases()
    if args.list:
        for case in cases:
            print(f"{case.group:8} {case.name}")
        return 0
    cases = [c for c in cases if (args.group == "all" or c.group == args.group) and args.case in c.name]
    if not cases:
        print(f"no case in group '{args.group}' matching '{args.case}'")
        return 1
    reason = bad_data.prerequisites("linux")
    if reason:
        print(f"SKIP: {reason}")
        return SKIP

    build = os.path.abspath(args.build_dir)
    tools = {"demo": f"{build}/Demo/demo", "capture": f"{build}/tools/capture/capture",
             "bench": f"{build}/tools/bench/bench", "modelview": f"{build}/tools/modelview/modelview",
             "datagen": f"{build}/tools/datagen/datagen", "timer": f"{build}/tools/soak/present_timer.so",
             "disk_full": f"{build}/tests/e2e/disk_full.so"}
    ldd = subprocess.run(["ldd", tools["demo"]], capture_output=True, text=True).stdout
    asan = re.search(r"(\S*libasan\S*) => (\S+)", ldd)
    tools["asan_runtime"] = asan.group(2) if asan else None

    template = tempfile.mkdtemp(prefix="machine_faults_template_")
    started = time.monotonic()
    counts = {"ok": 0, "fail": 0, "skip": 0}
    try:
        os.makedirs(os.path.join(template, "Data", "Config"))
        shutil.copy(os.path.join(args.source_dir, "Data", "Config", "direct3d.cfg"),
                    os.path.join(template, "Data", "Config"))
        subprocess.run([tools["datagen"], template], check=True, stdout=subprocess.DEVNULL)
        for case in cases:
            case_start = time.monotonic()
            display = bad_data.Display() if case.display else None
            try:
                verdict, detail = run_case(case, template, tools, display)
            finally:
                if display:
                    display.close()
            counts[verdict] += 1
            print(f"{verdict:4} {case.name}  ({time.monotonic() - case_start:.1f} s){'  ' + detail if detail else ''}",
                  flush=True)
    finally:
        shutil.rmtree(template, ignore_errors=True)
    print(f"{counts['ok']} of {len(cases)} cases passed, {counts['skip']} skipped, in "
          f"{time.monotonic() - started:.0f} s")
    if counts["fail"]:
        return 1
    return SKIP if counts["skip"] == len(cases) else 0


if __name__ == "__main__":
    sys.exit(main())
