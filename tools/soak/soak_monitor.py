#!/usr/bin/env python3
"""Runs the demo for a while and watches its memory and its frames from outside.

Usage (inside an X server, from soak.sh or tools/windows/soak.sh):
  soak_monitor.py DEMO PRESENT_TIMER WORK_DIR SECONDS WARMUP_SECONDS
  soak_monitor.py --wine WINE DEMO_EXE - WORK_DIR SECONDS WARMUP_SECONDS

The demo runs in WORK_DIR (which holds its Data/) with present_timer preloaded,
which appends the monotonic time of every presented frame to a file; demo.exe
runs under Wine and its own Present hook appends to the same file, with its
sound mixed into ALSA's file plugin writing to /dev/null. Once a second this
script reads the demo's resident memory (VmRSS in /proc/PID/status: under Wine,
the process of demo.exe itself, which Wine's loader becomes) and the frames
presented since the last sample. After SECONDS it presses Escape like a user and
waits for the demo to quit.

It fails when
  - resident memory grows by more than 1 MB after the warm-up: the highest
    level held for SUSTAINED_SECONDS after the warm-up against the highest of
    its last ten seconds. A leak keeps what it took; a buffer taken and given
    back within a few seconds (Wine's and the GL driver's own, now and then)
    is no growth, and the peak is printed beside it
    (memory settles while each effect first draws; a leak keeps climbing);
  - any two presents after the first frame of the render loop are more than
    250 ms apart (a stall a viewer would see);
  - the demo stops presenting, exits on its own, is killed by a signal, or does
    not quit on Escape with exit code 0.
The per-second samples go to WORK_DIR/samples.csv; a summary is printed. Each
sample also notes how long the demo's threads waited for a processor in that
second (run-queue time, /proc/PID/task/*/schedstat), so that a stall on a
machine busy with other work tells itself apart from one of the program's own.
"""
import argparse
import glob
import os
import signal
import subprocess
import sys
import time

RSS_GROWTH_LIMIT_KB = 1024
SUSTAINED_SECONDS = 5
STALL_LIMIT_MS = 250.0
WINDOW_TITLE = "Velmors Demo - Release version"


def resident_kb(pid):
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def runqueue_wait_ms(pid):
    """The time the process's threads have spent waiting for a processor, in ms."""
    total = 0
    for stat in glob.glob(f"/proc/{pid}/task/*/schedstat"):
        try:
            with open(stat) as f:
                total += int(f.read().split()[1])
        except (OSError, IndexError, ValueError):
            pass  # a thread gone meanwhile
    return total / 1e6


def read_presents(path, offset):
    """New present times (ms) since byte offset; returns (times, new offset)."""
    try:
        with open(path, "rb") as f:
            f.seek(offset)
            data = f.read()
    except OSError:
        return [], offset
    end = data.rfind(b"\n") + 1  # a line still being written waits for the next read
    times = [float(line) for line in data[:end].split()]
    return times, offset + end


def press_escape():
    window = subprocess.run(["xdotool", "search", "--name", WINDOW_TITLE],
                            capture_output=True, text=True).stdout.split()
    if window:
        # Into the focused window: Wine's windows ignore keys sent to them from outside.
        subprocess.run(["xdotool", "windowfocus", "--sync", window[0], "key", "Escape"])
    return bool(window)


def demo_command(args):
    """The command and environment that start the demo with its frames timed."""
    presents_path = os.path.join(args.work, "presents.txt")
    if not args.wine:
        # A sanitized demo wants its runtime first among the preloaded libraries.
        preload = [os.environ.get("SOAK_ASAN_RUNTIME"), os.environ.get("LD_PRELOAD"), args.timer]
        env = dict(os.environ, PRESENT_TIMER_FILE=presents_path, LD_PRELOAD=" ".join(filter(None, preload)))
        return [args.demo], env
    conf = os.path.join(args.work, "asound.conf")
    with open(conf, "w") as f:
        f.write('</usr/share/alsa/alsa.conf>\npcm.!default { type file slave.pcm "null" '
                'file "/dev/null" format "raw" }\n')
    # Wine's drive Z: is the root of the Unix file system.
    env = dict(os.environ, PRESENT_TIMER_FILE="Z:" + presents_path.replace("/", "\\"),
               ALSA_CONFIG_PATH=conf)
    return [args.wine, args.demo], env


def sustained_level(values):
    """The highest level the samples held for SUSTAINED_SECONDS in a row."""
    span = min(SUSTAINED_SECONDS, len(values))
    return max(min(values[i:i + span]) for i in range(len(values) - span + 1))


def percentile(sorted_values, fraction):
    if not sorted_values:
        return 0.0
    index = min(len(sorted_values) - 1, int(fraction * len(sorted_values)))
    return sorted_values[index]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine")
    for name in ("demo", "timer", "work"):
        parser.add_argument(name)
    parser.add_argument("seconds", type=int)
    parser.add_argument("warmup", type=int)
    args = parser.parse_args()
    work, seconds, warmup = args.work, args.seconds, args.warmup
    presents_path = os.path.join(work, "presents.txt")
    command, env = demo_command(args)
    with open(os.path.join(work, "stderr.txt"), "wb") as errors:
        demo_process = subprocess.Popen(command, cwd=work, env=env,
                                        stdout=subprocess.DEVNULL, stderr=errors)
    pid = demo_process.pid
    failures = []
    samples = []  # (second, rss kB, frames, max gap ms, run-queue wait ms)
    gaps = []
    all_times = []
    offset = 0
    last_present = None
    last_read = None  # this script's clock when the newest frame was read
    start = time.monotonic()
    waited_before = runqueue_wait_ms(pid)
    for second in range(1, seconds + 1):
        time.sleep(max(0.0, start + second - time.monotonic()))
        if demo_process.poll() is not None:
            failures.append(f"the demo exited on its own after {second - 1} s "
                            f"(status {demo_process.returncode})")
            break
        rss = resident_kb(pid)
        waited = runqueue_wait_ms(pid)
        waited_before, waited = waited, waited - waited_before
        times, offset = read_presents(presents_path, offset)
        second_gaps = []
        for t in times:
            # The first present is the loading picture; the render loop's frames
            # follow the effects' initialisation, which is not a stall.
            if last_present is not None and len(all_times) >= 2:
                second_gaps.append(t - last_present)
            last_present = t
            all_times.append(t)
        # A demo that stopped presenting shows no gaps at all: count the silence,
        # on this script's clock since the frame was read (a second late at most;
        # the frames' own clock may be another, as Wine's counter is).
        now = time.monotonic() * 1000.0
        if times:
            last_read = now
        elif last_read is not None and len(all_times) >= 2:
            silence = now - last_read
            if silence > STALL_LIMIT_MS:
                second_gaps.append(silence)
        gaps.extend(second_gaps)
        samples.append((second, rss, len(times), max(second_gaps, default=0.0), waited))

    if demo_process.poll() is None:
        if not press_escape():
            failures.append("no demo window to send Escape to")
        try:
            demo_process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            failures.append("the demo did not quit within 20 s of Escape")
            demo_process.kill()
            demo_process.wait()
        status = demo_process.returncode
        if status < 0:
            failures.append(f"the demo was killed by signal {signal.Signals(-status).name}")
        elif status != 0:
            failures.append(f"exit code {status}")

    with open(os.path.join(work, "samples.csv"), "w") as csv:
        csv.write("second,rss_kb,frames,max_gap_ms,runqueue_wait_ms\n")
        for second, rss, frames, max_gap, waited in samples:
            csv.write(f"{second},{rss if rss is not None else ''},{frames},{max_gap:.1f},{waited:.1f}\n")

    rss_values = [(s, r) for s, r, _, _, _ in samples if r is not None]
    warm = [r for s, r in rss_values if warmup - 10 < s <= warmup]
    after = [r for s, r in rss_values if s > warmup]
    growth = None
    if warm and after:
        growth = sustained_level(after) - sustained_level(warm)
        if growth > RSS_GROWTH_LIMIT_KB:
            failures.append(f"resident memory grew by {growth} kB after the warm-up "
                            f"(limit {RSS_GROWTH_LIMIT_KB} kB)")
    elif not failures:
        failures.append(f"too short to judge memory: {len(samples)} s run, {warmup} s warm-up")
    stalls = [g for g in gaps if g > STALL_LIMIT_MS]
    if stalls:
        failures.append(f"{len(stalls)} stall(s) over {STALL_LIMIT_MS:.0f} ms, "
                        f"the longest {max(stalls):.0f} ms")
    if len(all_times) < 2:
        failures.append("the render loop presented no frame")

    ordered = sorted(gaps)
    print(f"soak: {len(samples)} s run, warm-up {warmup} s")
    if rss_values:
        print(f"soak: RSS start {rss_values[0][1]} kB, at warm-up end "
              f"{sustained_level(warm) if warm else '-'} kB, end {rss_values[-1][1]} kB, "
              f"max {max(r for _, r in rss_values)} kB, growth after warm-up "
              f"{growth if growth is not None else '-'} kB (held {SUSTAINED_SECONDS} s; "
              f"peak {max(after) - max(warm) if warm and after else '-'} kB)")
    print(f"soak: frames {len(all_times)}, "
          f"mean {len(all_times) / max(1, len(samples)):.1f} a second, frame time "
          f"median {percentile(ordered, 0.5):.1f} ms, p99 {percentile(ordered, 0.99):.1f} ms, "
          f"max {ordered[-1] if ordered else 0:.1f} ms")
    if os.environ.get("SOAK_KEEP") == "1":
        print(f"soak: samples in {os.path.join(work, 'samples.csv')}")
    for second, _, _, max_gap, waited in samples:
        if max_gap > STALL_LIMIT_MS:
            print(f"soak: at {second} s a gap of {max_gap:.0f} ms; the demo's threads waited "
                  f"{waited:.0f} ms for a processor in that second")
    for failure in failures:
        print(f"soak: FAIL: {failure}")
    if not failures:
        print("soak: PASS")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
