#!/usr/bin/python3
"""The web build in a real browser: Debian's chromium, headless, on its software
WebGL2 (SwiftShader), driven through the DevTools protocol, in an 800 x 600 window.
The site is served over http://127.0.0.1 (a secure context, as the sound's
AudioWorklet needs) in small pieces, as over a network.

Usage:
  browser_test.py page [SITE_DIR] [--site SITE_DIR] [--path /SUB/PATH/]
      serves the site folder at the given path (/ by default; e.g. /demos/velmor/
      to check that the site works from any path: nothing outside it is served).
      Shows a message box (the log directory blocked) and checks that it is a
      dialog in the page that the program goes by; in browsers without WebGL 2
      (WebGL 1 only, no WebGL at all), that the page says what is missing and what
      is needed where the picture would be, without downloading the program; then
      loads the page afresh and
      checks that a progress bar followed the download (bytes of demo.data and
      demo.wasm) and went; that the picture is scaled to the window at 4:3 with
      no scroll bar, at 800 x 600 and at other window sizes; that the start
      prompt covers nothing of the picture; that the full-screen button puts the
      picture on the whole screen at 4:3; that the canvas shows the loading
      picture until the click, and that the intro follows it; that nothing shows
      a focus ring; that the AudioContext runs and the music is not silent once
      the demo is past its 12 s cue; that Escape ends the demo with exit code 0;
      and that the page logged no warning or error (but the software renderer's
      notices). Prints the frames a second the page drew.
  browser_test.py frames SITE_DIR FRAMEDUMP DATA_DIR OUT_DIR [--times MS,MS,...] [--path PATH]
      has the page draw frames at demo times on the demo session's virtual clock
      and fixed calendar time, draws the same with the native framedump, and
      compares them under the thresholds of the Windows comparison. Writes
      OUT_DIR/web, OUT_DIR/native and OUT_DIR/report.md; exits 1 when a frame is
      over the thresholds.
  browser_test.py fps SITE_DIR [--path PATH]
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
import re
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

# The window a new viewer might have.
WINDOW = (800, 600)

# Large files go out in pieces of this size with a pause after each, so that the
# page's download takes a little while, as over a network, and has progress to show.
PIECE_BYTES = 65536
PIECE_PAUSE = 0.002


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def end_headers(self):
        self.send_header("Cache-Control", "no-store")
        super().end_headers()

    def copyfile(self, source, outputfile):
        while True:
            piece = source.read(PIECE_BYTES)
            if not piece:
                return
            outputfile.write(piece)
            time.sleep(PIECE_PAUSE)


QuietHandler.extensions_map = dict(http.server.SimpleHTTPRequestHandler.extensions_map,
                                   **{".wasm": "application/wasm", ".js": "text/javascript"})


def site_path(path):
    """The path the site is served at, as /A/B/ (/ for the server's root)."""
    parts = [p for p in path.split("/") if p]
    if any(p in (".", "..") for p in parts):
        raise ValueError("the site's path may not hold . or ..: %s" % path)
    return "/" + "".join(p + "/" for p in parts)


@contextlib.contextmanager
def serve(site, path="/"):
    """Serves the folder `site` at `path`; yields the site's URL. Below another path
    the server holds nothing else, so that a URL that is not relative fails."""
    path = site_path(path)
    with tempfile.TemporaryDirectory(prefix="web-test-root-") as root:
        if path != "/":
            os.makedirs(os.path.join(root, os.path.dirname(path.strip("/"))), exist_ok=True)
            os.symlink(os.path.abspath(site), os.path.join(root, path.strip("/")))
        handler = functools.partial(QuietHandler, directory=os.path.abspath(site) if path == "/" else root)
        server = socketserver.ThreadingTCPServer(("127.0.0.1", 0), handler)
        server.daemon_threads = True
        thread = threading.Thread(target=server.serve_forever, daemon=True)
        thread.start()
        try:
            yield "http://127.0.0.1:%d%s" % (server.server_address[1], path)
        finally:
            server.shutdown()
            server.server_close()


class Browser:
    """One headless chromium with one page, spoken to over the DevTools protocol."""

    def __init__(self, extra_flags=()):
        self.profile = tempfile.mkdtemp(prefix="web-test-chromium-")
        self.process = subprocess.Popen(
            ["chromium"] + CHROMIUM_FLAGS + list(extra_flags) + ["--user-data-dir=" + self.profile, "about:blank"],
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
        self.warnings = []
        self.console = []  # every console line, for the report when something fails
        for domain in ("Runtime", "Log", "Page"):
            self.call(domain + ".enable")
        self.resize(*WINDOW)

    def resize(self, width, height):
        """The page's viewport, as a browser window of that size gives it."""
        self.call("Emulation.setDeviceMetricsOverride", width=width, height=height, deviceScaleFactor=1,
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
            text = " ".join(str(a.get("value", a.get("description"))) for a in params["args"])
            self.console.append(params["type"] + ": " + text)
            if params["type"] == "error":
                self.errors.append("console.error: " + text)
            if params["type"] == "warning":
                self.warnings.append("console.warn: " + text)
        if method == "Log.entryAdded":
            entry = params["entry"]
            self.console.append("log %s: %s" % (entry["level"], entry["text"]))
            if entry["level"] == "error":
                self.errors.append("log: " + entry["text"])
            if entry["level"] == "warning":
                self.warnings.append("log: " + entry["text"])

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

    def poll(self, expression, timeout):
        """The expression's value once it is true, or None after `timeout` seconds."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            value = self.evaluate(expression)
            if value:
                return value
            time.sleep(0.2)
        return None

    def wait_for(self, expression, timeout, what):
        value = self.poll(expression, timeout)
        if value:
            return value
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

    def click(self, element_id):
        """A click of the viewer's mouse in the middle of the element."""
        box = self.evaluate("(function(){var r=document.getElementById(%s).getBoundingClientRect();"
                            "return [r.left + r.width / 2, r.top + r.height / 2];})()" % json.dumps(element_id))
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


# Every change of the progress bar's figures, recorded from before the page's own script runs.
WATCH_PROGRESS = """
window.progressSeen = [];
new MutationObserver(function (records) {
  records.forEach(function (r) {
    if (r.target.id === 'progress') window.progressSeen.push([r.target.value, r.target.max]);
  });
}).observe(document, {subtree: true, attributes: true, attributeFilter: ['value', 'max']});
"""


def check_progress(browser, site, failures):
    """The progress bar counted the bytes of demo.data and demo.wasm, and went once they were in."""
    total = sum(os.path.getsize(os.path.join(site, name)) for name in ("demo.data", "demo.wasm"))
    seen = browser.evaluate("window.progressSeen") or []
    between = [value for value, most in seen if 0 < value < most]
    gone = browser.evaluate("(function (p) { return !p || p.getClientRects().length === 0; })"
                            "(document.getElementById('progress'))")
    check(bool(between) and seen[-1] == [total, total] and gone,
          "a progress bar counted the download up to its %d bytes (%d steps on the way, the last %s) "
          "and went" % (total, len(between), seen[-1] if seen else None), failures)


# Where the picture is in the page, and what scrolls.
LAYOUT = """
(function () {
  var canvas = document.getElementById('canvas'), c = canvas.getBoundingClientRect();
  var s = document.getElementById('stage').getBoundingClientRect(), d = document.documentElement;
  return {scroll: [d.scrollWidth, d.scrollHeight], view: [innerWidth, innerHeight],
          canvas: [c.left, c.top, c.width, c.height], stage: [s.width, s.height],
          buffer: [canvas.width, canvas.height]};
})()
"""


def shown_at_4_3(layout):
    """The canvas is shown 4:3 inside the window, as wide or as high as its stage,
    from a drawing buffer of 640 x 480."""
    left, top, width, height = layout["canvas"]
    view_width, view_height = layout["view"]
    inside = left > -0.5 and top > -0.5 and left + width < view_width + 0.5 and top + height < view_height + 0.5
    fills = abs(width - layout["stage"][0]) < 1 or abs(height - layout["stage"][1]) < 1
    return (height > 0 and abs(width / height - 4 / 3) < 0.01 and inside and fills
            and layout["buffer"] == [640, 480])


def check_layout(browser, failures):
    """At any window size the picture is as large as the window allows at 4:3, and nothing scrolls."""
    sizes = [WINDOW, (1280, 600), (600, 900), (320, 200)]
    wrong = []
    for width, height in sizes:
        browser.resize(width, height)
        layout = browser.evaluate(LAYOUT)
        if layout["scroll"] != layout["view"] or not shown_at_4_3(layout):
            wrong.append("%d x %d: %s" % (width, height, layout))
    browser.resize(*WINDOW)
    check(not wrong, "in windows of %s the picture is scaled at 4:3 with black around it and no scroll "
          "bar %s" % (", ".join("%d x %d" % size for size in sizes), wrong), failures)


PROMPT = """
(function () {
  var prompt = document.getElementById('start');
  if (!prompt) return {shown: false, overlaps: false, text: null};
  var p = prompt.getBoundingClientRect();
  var c = document.getElementById('canvas').getBoundingClientRect();
  return {shown: getComputedStyle(prompt).visibility === 'visible' && p.width > 0 && p.height > 0,
          overlaps: p.left < c.right && c.left < p.right && p.top < c.bottom && c.top < p.bottom,
          text: prompt.textContent};
})()
"""


def check_full_screen(browser, failures):
    """The full-screen button puts the picture, at 4:3, on the whole screen, and back."""
    shown = browser.evaluate("(function (b) { return !!b && b.getClientRects().length > 0; })"
                             "(document.getElementById('fullscreen'))")
    layout = None
    if shown:
        browser.click("fullscreen")
        if browser.poll("document.fullscreenElement === document.getElementById('stage')", 5):
            layout = browser.evaluate(LAYOUT)
        browser.evaluate("document.fullscreenElement ? document.exitFullscreen() : null", await_promise=True)
        browser.poll("!document.fullscreenElement", 5)
    check(bool(shown and layout and layout["stage"] == layout["view"] and shown_at_4_3(layout)),
          "the full-screen button shows the picture on the whole screen at 4:3 (%s)" % layout, failures)


# The outline of the canvas and of whatever has the focus, where one is drawn.
FOCUS_RINGS = """
Array.from(new Set([document.getElementById('canvas'), document.activeElement])).filter(function (e) {
  var style = getComputedStyle(e);
  return style.outlineStyle !== 'none' && parseFloat(style.outlineWidth) > 0;
}).map(function (e) { return (e.id || e.tagName) + ': ' + getComputedStyle(e).outline; })
"""

# What headless chromium's software renderer says of its own: the page's
# compositor reads the WebGL picture back, there being no GPU.
EXPECTED_WARNINGS = [re.compile(r"GL Driver Message \(OpenGL, Performance, .*\): GPU stall due to ReadPixels")]


def check_console(browser, failures):
    browser.evaluate("0")  # collect the last events
    unexpected = [w for w in browser.warnings if not any(p.search(w) for p in EXPECTED_WARNINGS)]
    check(not browser.errors and not unexpected,
          "the page logged no error and no warning (a deprecated ScriptProcessorNode among them) %s"
          % (browser.errors + unexpected), failures)


def check_message_box(url, failures):
    """A message box is a dialog in the page, and the program goes by its answer."""
    browser = Browser()
    try:
        browser.call("Page.addScriptToEvaluateOnNewDocument", source=BLOCK_THE_LOGS)
        browser.call("Page.navigate", url=url)
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


# A browser without WebGL 2: chromium with WebGL 2 turned off, and with every 3D API.
WITHOUT_WEBGL2 = [("--disable-webgl2", "offers only WebGL 1"), ("--disable-3d-apis", "offers no WebGL at all")]


def check_without_webgl2(url, failures):
    """Without WebGL 2 the page says what is missing and what is needed, instead of a black canvas."""
    for flag, found in WITHOUT_WEBGL2:
        browser = Browser([flag])
        try:
            browser.call("Page.navigate", url=url)
            text = browser.poll("window.demoUnplayable && document.getElementById('loaded').textContent", 20)
            time.sleep(0.5)  # a program that were loading would have asked for demo.wasm by now
            fetched = browser.evaluate("performance.getEntriesByType('resource').map(function (r) {"
                                       " return r.name.split('/').pop(); }).filter(function (name) {"
                                       " return /^demo\\./.test(name); })")
            browser.evaluate("0")  # collect the last events
            said = bool(text) and "needs WebGL 2" in text and found in text
            check(said and not fetched and not browser.errors,
                  "with %s the page says the demo needs WebGL 2 and the browser %s (%r), fetches nothing "
                  "of the program %s and logs no error %s" % (flag, found, text, fetched, browser.errors),
                  failures)
        finally:
            browser.close()


def run_page(args):
    failures = []
    with serve(args.site, args.path) as url:
        print("        the site at %s" % url)
        check_message_box(url, failures)
        check_without_webgl2(url, failures)
        browser = Browser()
        try:
            browser.call("Page.addScriptToEvaluateOnNewDocument", source=WATCH_PROGRESS)
            browser.call("Page.navigate", url=url)
            browser.wait_for("typeof Module !== 'undefined' && !!Module._webStart && !!Module.audioContext",
                             60, "the page to load")
            check_progress(browser, args.site, failures)
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
            check_layout(browser, failures)
            prompt = browser.evaluate(PROMPT)
            check(prompt["shown"] and not prompt["overlaps"],
                  "the start prompt (%r) is shown beside the picture, not over it" % prompt["text"], failures)
            check_full_screen(browser, failures)
            state = browser.evaluate("Module.audioContext.state")
            print("        AudioContext before the click: %s" % state)
            browser.click("canvas")
            browser.wait_for("window.demoStarted", 10, "the click to start the demo")
            rings = browser.evaluate(FOCUS_RINGS)
            check(not rings, "no focus ring after the click %s" % rings, failures)
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
            print("        the sound worklet went without sound for %s frames" %
                  browser.evaluate("Module.soundSilentFrames"))
            frames = browser.evaluate("window.pageFrames")
            print("        the page drew %.1f frames a second" % (frames / (time.time() - started)))
            browser.call("Input.dispatchKeyEvent", type="keyDown", key="Escape", code="Escape",
                         windowsVirtualKeyCode=27)
            browser.call("Input.dispatchKeyEvent", type="keyUp", key="Escape", code="Escape",
                         windowsVirtualKeyCode=27)
            code = browser.wait_for("window.demoExit !== null ? String(window.demoExit) : ''", 20,
                                    "Escape to end the demo")
            check(code == "0", "Escape ends the demo with exit code 0 (%s)" % code, failures)
            check_console(browser, failures)
        finally:
            browser.close()
    return 1 if failures else 0


def page_frames(site, path, times, out_dir, timeout):
    """The page's frames at `times`, written as frame_NNNNNN.png; returns the seconds it took."""
    os.makedirs(out_dir, exist_ok=True)
    with serve(site, path) as url:
        browser = Browser()
        try:
            started = time.time()
            browser.call("Page.navigate", url=url + "?frames=" + ",".join(map(str, times)))
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
    seconds, done = page_frames(args.site, args.path, times, web_dir, 600)
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
        _, done = page_frames(args.site, args.path, [EFFECTS[-1][1] + 6000], scratch, 1800)
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
    page.add_argument("site", nargs="?", help="the site's folder (or --site)")
    page.add_argument("--site", dest="site_option", metavar="SITE_DIR", help="the site's folder")
    frames = sub.add_parser("frames")
    frames.add_argument("site")
    frames.add_argument("framedump")
    frames.add_argument("data")
    frames.add_argument("out")
    frames.add_argument("--times")
    fps = sub.add_parser("fps")
    fps.add_argument("site")
    for mode in (page, frames, fps):
        mode.add_argument("--path", default="/", help="the path the site is served at (default /)")
    args = parser.parse_args()
    if args.mode == "page":
        if bool(args.site) == bool(args.site_option):
            page.error("give the site's folder once, as SITE_DIR or --site SITE_DIR")
        args.site = args.site or args.site_option
    try:
        args.path = site_path(args.path)
    except ValueError as error:
        parser.error(str(error))
    for path in ("index.html", "demo.js", "demo.wasm", "demo.data"):
        if not os.path.exists(os.path.join(args.site, path)):
            print("web test: %s/%s is missing: build the site with bash tools/web/build.sh" % (args.site, path))
            return 2
    return {"page": run_page, "frames": run_frames, "fps": run_fps}[args.mode](args)


if __name__ == "__main__":
    sys.exit(main())
