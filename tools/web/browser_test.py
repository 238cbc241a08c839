#!/usr/bin/python3
"""The web build in a real browser: Debian's chromium, headless, on its software
WebGL2 (SwiftShader), driven through the DevTools protocol.

Usage:
  browser_test.py page SITE_DIR
      shows a message box (the log directory blocked) and checks that it is a
      dialog in the page that the program goes by; then loads the page afresh,
      checks that the canvas shows the loading picture, clicks,
      checks that the intro follows, that the AudioContext runs and that the
      music is not silent once the demo is past its 12 s cue; and that the page
      logged no errors. Prints the frames a second the page drew.
  browser_test.py frames SITE_DIR FRAMEDUMP DATA_DIR OUT_DIR [--times MS,MS,...]
      has the page draw frames at demo times on the demo session's virtual clock
      and fixed calendar time, draws the same with the native framedump, and
      compares them under the thresholds of the Windows comparison. Writes
      OUT_DIR/web, OUT_DIR/native and OUT_DIR/report.md; exits 1 when a frame is
      over the thresholds.
  browser_test.py fps SITE_DIR
      frames a second of each effect, in the page's frame mode.
"""
import argparse
import base64
import contextlib
import functools
import http.server
import io
import json
import os
import shutil
import socketserver
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

import numpy as np
import websocket
from PIL import Image

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "windows"))
from compare_frames import FAR_APART, FAR_SHARE_LIMIT, MEAN_LIMIT, compare, load, scene_of  # noqa: E402

# Two frames in each of the six scenes (0, 12, 24, 36, 42 and 52 s).
DEFAULT_TIMES = [2000, 9000, 14000, 20000, 26000, 33000, 37000, 40500, 44000, 50000, 54000, 60000]

CHROMIUM_FLAGS = [
    "--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--use-gl=angle", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
    "--disable-background-timer-throttling", "--disable-renderer-backgrounding",
    "--window-size=800,600", "--remote-debugging-port=0",
]


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def end_headers(self):
        self.send_header("Cache-Control", "no-store")
        super().end_headers()


QuietHandler.extensions_map = dict(http.server.SimpleHTTPRequestHandler.extensions_map,
                                   **{".wasm": "application/wasm", ".js": "text/javascript"})


@contextlib.contextmanager
def serve(site):
    handler = functools.partial(QuietHandler, directory=site)
    server = socketserver.ThreadingTCPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield "http://127.0.0.1:%d/" % server.server_address[1]
    finally:
        server.shutdown()
        server.server_close()


class Browser:
    """One headless chromium with one page, spoken to over the DevTools protocol."""

    def __init__(self):
        self.profile = tempfile.mkdtemp(prefix="web-test-chromium-")
        self.process = subprocess.Popen(
            ["chromium"] + CHROMIUM_FLAGS + ["--user-data-dir=" + self.profile, "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        port_file = os.path.join(self.profile, "DevToolsActivePort")
        deadline = time.time() + 30
        while not os.path.exists(port_file) or not open(port_file).read().strip():
            if time.time() > deadline or self.process.poll() is not None:
                raise RuntimeError("chromium did not start")
            time.sleep(0.1)
        port = int(open(port_file).read().split()[0])
        targets = json.load(urllib.request.urlopen("http://127.0.0.1:%d/json/list" % port))
        page = [t for t in targets if t["type"] == "page"][0]
        self.socket = websocket.create_connection(page["webSocketDebuggerUrl"], timeout=60)
        self.next_id = 0
        self.errors = []
        self.console = []  # every console line, for the report when something fails
        for domain in ("Runtime", "Log", "Page"):
            self.call(domain + ".enable")
        # The whole page in view, so that screenshots of the canvas see all of it.
        self.call("Emulation.setDeviceMetricsOverride", width=800, height=640, deviceScaleFactor=1,
                  mobile=False)

    def close(self):
        with contextlib.suppress(Exception):
            self.socket.close()
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
        shutil.rmtree(self.profile, ignore_errors=True)

    def _event(self, message):
        method, params = message.get("method"), message.get("params", {})
        if method == "Runtime.exceptionThrown":
            details = params["exceptionDetails"]
            self.errors.append("exception: " + details.get("exception", {}).get("description", details["text"]))
        if method == "Runtime.consoleAPICalled":
            self.console.append(params["type"] + ": " + " ".join(
                str(a.get("value", a.get("description"))) for a in params["args"]))
        if method == "Runtime.consoleAPICalled" and params["type"] == "error":
            self.errors.append("console.error: " + " ".join(str(a.get("value", a.get("description")))
                                                           for a in params["args"]))
        if method == "Log.entryAdded":
            self.console.append("log %s: %s" % (params["entry"]["level"], params["entry"]["text"]))
        if method == "Log.entryAdded" and params["entry"]["level"] == "error":
            self.errors.append("log: " + params["entry"]["text"])

    def call(self, method, **params):
        self.next_id += 1
        ident = self.next_id
        self.socket.send(json.dumps({"id": ident, "method": method, "params": params}))
        while True:
            message = json.loads(self.socket.recv())
            if message.get("id") == ident:
                if "error" in message:
                    raise RuntimeError("%s: %s" % (method, message["error"]))
                return message["result"]
            self._event(message)

    def evaluate(self, expression, await_promise=False):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True,
                           awaitPromise=await_promise)
        if "exceptionDetails" in result:
            raise RuntimeError("%s: %s" % (expression, result["exceptionDetails"]["text"]))
        return result["result"].get("value")

    def wait_for(self, expression, timeout, what):
        deadline = time.time() + timeout
        while time.time() < deadline:
            value = self.evaluate(expression)
            if value:
                return value
            time.sleep(0.2)
        raise RuntimeError("timed out after %d s waiting for %s; the page said:\n%s" % (
            timeout, what, "\n".join(self.console[-30:] + self.errors)))

    def canvas_picture(self):
        """What the page shows on its canvas, as an RGB array."""
        box = self.evaluate("(function(){var r=document.getElementById('canvas').getBoundingClientRect();"
                            "return [r.left + scrollX, r.top + scrollY, r.width, r.height];})()")
        shot = self.call("Page.captureScreenshot", format="png",
                         clip={"x": box[0], "y": box[1], "width": box[2], "height": box[3], "scale": 1})
        image = Image.open(io.BytesIO(base64.b64decode(shot["data"]))).convert("RGB")
        return np.asarray(image, dtype=np.int16)

    def click_canvas(self):
        box = self.evaluate("(function(){var r=document.getElementById('canvas').getBoundingClientRect();"
                            "return [r.left + r.width / 2, r.top + r.height / 2];})()")
        for kind in ("mousePressed", "mouseReleased"):
            self.call("Input.dispatchMouseEvent", type=kind, x=box[0], y=box[1], button="left", clickCount=1)


def mean_difference(a, b):
    return float(np.abs(a - b).mean())


# The file the page's program reads, from the page's own file system, base64.
READ_PAGE_FILE = """
(function (path) {
  var bytes = FS.readFile(path), text = '';
  for (var i = 0; i < bytes.length; i += 8192)
    text += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192));
  return btoa(text);
})(%s)
"""


def page_picture(browser, path, size):
    """A picture of the page's data, stretched to `size` as the loading quad stretches it."""
    data = base64.b64decode(browser.evaluate(READ_PAGE_FILE % json.dumps(path)))
    image = Image.open(io.BytesIO(data)).convert("RGB").resize(size, Image.BILINEAR)
    return np.asarray(image, dtype=np.int16)


def check(condition, text, failures):
    print(("ok:     " if condition else "FAILED: ") + text)
    if not condition:
        failures.append(text)


MUSIC_LEVEL = """
(function () {
  var a = Module.soundAnalyser;
  if (!a) return -1;
  var data = new Float32Array(a.fftSize);
  a.getFloatTimeDomainData(data);
  var sum = 0;
  for (var i = 0; i < data.length; ++i) sum += data[i] * data[i];
  return Math.sqrt(sum / data.length);
})()
"""

FRAME_COUNTER = """
window.pageFrames = 0;
(function count() { window.pageFrames++; requestAnimationFrame(count); })();
"""


# Before the program starts, a file where its log directory should be: the log
# cannot be opened, and the program asks whether to go on.
BLOCK_THE_LOGS = """
Object.defineProperty(window, 'Module', {configurable: true,
  set: function (m) {
    m.preRun = [function () {
      try { FS.mkdir('/Data'); } catch (e) {}
      FS.writeFile('/Data/Logs', 'in the way');
    }];
    Object.defineProperty(window, 'Module', {value: m, writable: true});
  },
  get: function () { return undefined; }});
"""

BOX_SHOWN = "!!document.getElementById('box') && document.getElementById('box').style.display === 'block'"


def check_message_box(url, failures):
    """A message box is a dialog in the page, and the program goes by its answer."""
    browser = Browser()
    try:
        browser.call("Page.addScriptToEvaluateOnNewDocument", source=BLOCK_THE_LOGS)
        browser.call("Page.navigate", url=url + "index.html")
        browser.wait_for(BOX_SHOWN, 60, "the message box")
        text = browser.evaluate("document.querySelector('#box p').textContent")
        buttons = browser.evaluate("Array.from(document.querySelectorAll('#box button'))"
                                   ".map(function (b) { return b.textContent; }).join(',')")
        check(text.startswith("Could not open log file.") and buttons == "Yes,No",
              "the log's question is a dialog with Yes and No (%r, %s)" % (text, buttons), failures)
        browser.evaluate("Array.from(document.querySelectorAll('#box button'))"
                         ".filter(function (b) { return b.textContent === 'No'; })[0].click()")
        code = browser.wait_for("window.demoExit !== null ? String(window.demoExit) : ''", 20,
                                "No to end the demo")
        check(not browser.evaluate(BOX_SHOWN) and code == "0",
              "answering No closes the dialog and ends the demo (exit code %s)" % code, failures)
    finally:
        browser.close()


def run_page(args):
    failures = []
    with serve(args.site) as url:
        check_message_box(url, failures)
        browser = Browser()
        try:
            browser.call("Page.navigate", url=url + "index.html")
            browser.wait_for("typeof Module !== 'undefined' && !!Module._webStart && !!Module.audioContext",
                             60, "the page to load")
            # The loading picture is on the canvas before the click, and stays there.
            time.sleep(1.0)
            before = browser.canvas_picture()
            time.sleep(1.0)
            still = browser.canvas_picture()
            loading = page_picture(browser, "/Data/Textures/loading.jpg", (before.shape[1], before.shape[0]))
            check(mean_difference(before, loading) < 4.0,
                  "the canvas shows the loading picture before the click (mean difference %.1f)"
                  % mean_difference(before, loading), failures)
            check(mean_difference(before, still) < 1.0,
                  "the picture stays while the page waits for the click", failures)
            state = browser.evaluate("Module.audioContext.state")
            print("        AudioContext before the click: %s" % state)
            browser.click_canvas()
            browser.wait_for("window.demoStarted", 10, "the click to start the demo")
            started = time.time()
            browser.call("Runtime.evaluate", expression=FRAME_COUNTER)
            time.sleep(3.0)
            intro = browser.canvas_picture()
            # The intro is a logo on a white page.
            check(mean_difference(before, intro) > 5.0 and intro.mean() > 180,
                  "the intro replaces the loading picture (mean difference %.1f, brightness %.0f)"
                  % (mean_difference(before, intro), intro.mean()), failures)
            state = browser.evaluate("Module.audioContext.state")
            check(state == "running", "the AudioContext is running (%s)" % state, failures)
            # The music starts 12 s into the demo.
            time.sleep(max(0.0, started + 13.5 - time.time()))
            levels = []
            for _ in range(10):
                levels.append(browser.evaluate(MUSIC_LEVEL))
                time.sleep(0.1)
            check(max(levels) > 0.01, "the music is not silent after 12 s (RMS up to %.4f)" % max(levels),
                  failures)
            frames = browser.evaluate("window.pageFrames")
            print("        the page drew %.1f frames a second" % (frames / (time.time() - started)))
            browser.call("Input.dispatchKeyEvent", type="keyDown", key="Escape", code="Escape",
                         windowsVirtualKeyCode=27)
            browser.call("Input.dispatchKeyEvent", type="keyUp", key="Escape", code="Escape",
                         windowsVirtualKeyCode=27)
            code = browser.wait_for("window.demoExit !== null ? String(window.demoExit) : ''", 20,
                                    "Escape to end the demo")
            check(code == "0", "Escape ends the demo with exit code 0 (%s)" % code, failures)
            browser.evaluate("0")  # collect the last events
            check(not browser.errors, "the page logged no errors %s" % browser.errors, failures)
        finally:
            browser.close()
    return 1 if failures else 0


def page_frames(site, times, out_dir, timeout):
    """The page's frames at `times`, written as frame_NNNNNN.png; returns the seconds it took."""
    os.makedirs(out_dir, exist_ok=True)
    with serve(site) as url:
        browser = Browser()
        try:
            started = time.time()
            browser.call("Page.navigate", url=url + "index.html?frames=" + ",".join(map(str, times)))
            done = browser.wait_for("window.demoFramesDone", timeout, "the page's frames")
            seconds = time.time() - started
            if done["end"] != 0 or done["messageBoxes"]:
                raise RuntimeError("the page's demo session ended early: %s" % done)
            for ms in times:
                url_data = browser.evaluate("window.demoFrames[%d]" % ms)
                if not url_data:
                    raise RuntimeError("the page gave no frame at %d ms" % ms)
                png = base64.b64decode(url_data.split(",", 1)[1])
                with open(os.path.join(out_dir, "frame_%06d.png" % ms), "wb") as f:
                    f.write(png)
            if browser.errors:
                raise RuntimeError("the page logged errors: %s" % browser.errors)
            return seconds, done
        finally:
            browser.close()


def run_frames(args):
    times = [int(t) for t in args.times.split(",")] if args.times else DEFAULT_TIMES
    web_dir, native_dir = os.path.join(args.out, "web"), os.path.join(args.out, "native")
    for d in (web_dir, native_dir):
        shutil.rmtree(d, ignore_errors=True)
    seconds, done = page_frames(args.site, times, web_dir, 600)
    print("web: %d frames drawn in %.1f s" % (done["framesDrawn"], seconds))
    subprocess.run([args.framedump, "--out", native_dir, "--data", args.data,
                    "--times", ",".join(map(str, times))], check=True)
    lines = ["# The web build's frames against the native build's", "",
             "Thresholds: mean absolute difference at most %.1f per channel, at most %.1f%% of pixels "
             "more than %d apart in any channel." % (MEAN_LIMIT, FAR_SHARE_LIMIT, FAR_APART), "",
             "| demo time (ms) | scene | mean R | mean G | mean B | pixels > 16 apart | within |",
             "|---|---|---|---|---|---|---|"]
    over = 0
    for ms in times:
        name = "frame_%06d.png" % ms
        native, web = load(os.path.join(native_dir, name)), load(os.path.join(web_dir, name))
        if native.shape != web.shape:
            print("frames: %s differ in size" % name)
            return 2
        _, mean, far = compare(native, web)
        within = max(mean) <= MEAN_LIMIT and far <= FAR_SHARE_LIMIT
        over += 0 if within else 1
        lines.append("| %d | %s | %.3f | %.3f | %.3f | %.3f%% | %s |" % (
            ms, scene_of(ms), mean[0], mean[1], mean[2], far, "yes" if within else "**no**"))
        print("frames: %6d ms (%s): mean %s, %.3f%% far apart%s" % (
            ms, scene_of(ms), mean, far, "" if within else "  OVER"))
    lines += ["", "%d frames compared, %d over the thresholds." % (len(times), over)]
    with open(os.path.join(args.out, "report.md"), "w") as f:
        f.write("\n".join(lines) + "\n")
    print("frames: %d compared, %d over the thresholds (report: %s)" % (
        len(times), over, os.path.join(args.out, "report.md")))
    return 1 if over else 0


# Each effect's first 6 s (360 frames at 60 frames a second), as the native bench measures them.
EFFECTS = [("intro", 0), ("title and road", 12000), ("drops", 24000), ("particles", 36000),
           ("closing", 42000), ("greetings", 52000)]


def run_fps(args):
    """Frames a second per effect in the page's frame mode: unpaced, every frame read back."""
    with tempfile.TemporaryDirectory() as scratch:
        _, done = page_frames(args.site, [EFFECTS[-1][1] + 6000], scratch, 1800)
    finished = done["finishedAt"]
    for name, start in EFFECTS:
        first = start * 60 // 1000
        span = (finished[first + 360] - finished[first]) / 1000.0
        print("fps: %-15s %6.1f" % (name, 360 / span))
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="mode", required=True)
    page = sub.add_parser("page")
    page.add_argument("site")
    frames = sub.add_parser("frames")
    frames.add_argument("site")
    frames.add_argument("framedump")
    frames.add_argument("data")
    frames.add_argument("out")
    frames.add_argument("--times")
    fps = sub.add_parser("fps")
    fps.add_argument("site")
    args = parser.parse_args()
    for path in ("index.html", "demo.js", "demo.wasm", "demo.data"):
        if not os.path.exists(os.path.join(args.site, path)):
            print("web test: %s/%s is missing: build the site with bash tools/web/build.sh" % (args.site, path))
            return 2
    return {"page": run_page, "frames": run_frames, "fps": run_fps}[args.mode](args)


if __name__ == "__main__":
    sys.exit(main())
