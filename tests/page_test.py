#!/usr/bin/env python3
"""The page in a real browser: Debian's chromium, headless, driven over the
DevTools protocol through --remote-debugging-pipe, opens the built page
from disk. Every file in the given directories goes through #picture-file,
and must give, within a second, the bytes of the command #command shows
(glyphrip, or glyphcut with the layout the page guessed) through a real
download of #save-font, or that command's line in #picture-message; every
raw font and some pictures go through #font-file and #save-sheet as
glyphsheet would take them. The layout form is driven as a person would,
typing the options of fonts drawn in other layouts, picking a paper
pixel and typing a value glyphcut refuses; a file dropped or pasted on
the page goes to the program that names it. The page must ask for
nothing but itself, label every control, and fit a phone's width;
screenshots at desktop and phone width, light and dark, are kept beside
the page. Ends with a line `N passed, N failed`.
glyphcut is taken from beside glyphrip.

Usage: page_test.py PAGE GLYPHRIP GLYPHSHEET DIR... [--chromium PATH]
"""
import argparse
import base64
import json
import os
import shlex
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path


class Browser:
    """Chromium with the DevTools protocol on file descriptors 3 and 4:
    JSON messages, each ended by a 0 byte."""

    def __init__(self, chromium, profile):
        # A new profile that lets a page download one file after another,
        # as a person lets a page they use do.
        (profile / "Default").mkdir(parents=True)
        settings = {"profile": {"default_content_setting_values": {"automatic_downloads": 1}}}
        (profile / "Default" / "Preferences").write_text(json.dumps(settings))
        to_browser, self.write_end = os.pipe()
        self.read_end, from_browser = os.pipe()

        def pipes():
            os.dup2(to_browser, 3)
            os.dup2(from_browser, 4)

        flags = ["--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--disable-extensions", "--remote-debugging-pipe",
                 f"--user-data-dir={profile}", "about:blank"]
        # The descriptors are kept open after preexec_fn by their numbers.
        self.process = subprocess.Popen([chromium] + flags, preexec_fn=pipes, pass_fds=(3, 4),
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_browser)
        os.close(from_browser)
        self.pending = b""
        self.next_id = 0
        self.events = []  # of downloads, kept until waited for
        self.asked = set()  # every address the page asked for
        self.session = None

    def send(self, method, params=None, session=True):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session and self.session:
            message["sessionId"] = self.session
        os.write(self.write_end, json.dumps(message).encode() + b"\0")
        while True:
            reply = self.receive()
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply.get("result", {})
            if reply.get("method") == "Network.requestWillBeSent":
                self.asked.add(reply["params"]["request"]["url"])
            elif reply.get("method", "").startswith("Browser.download"):
                self.events.append(reply)

    def receive(self):
        while b"\0" not in self.pending:
            chunk = os.read(self.read_end, 1 << 16)
            if not chunk:
                raise RuntimeError("the browser has gone")
            self.pending += chunk
        message, self.pending = self.pending.split(b"\0", 1)
        return json.loads(message)

    def wait_for_event(self, method, match=lambda params: True, seconds=10):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            for event in self.events:
                if event.get("method") == method and match(event.get("params", {})):
                    self.events.remove(event)
                    return event["params"]
            # Anything to read, within the time left, as an event.
            self.send("Runtime.evaluate", {"expression": "0"})
            time.sleep(0.005)
        raise TimeoutError(method)

    def evaluate(self, expression):
        result = self.send("Runtime.evaluate", {"expression": expression, "returnByValue": True, "awaitPromise": True})
        if "exceptionDetails" in result:
            raise RuntimeError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def close(self):
        try:
            self.send("Browser.close", session=False)
        except (RuntimeError, OSError):
            pass
        self.process.wait(timeout=10)


class Page:
    def __init__(self, browser, url, downloads):
        self.b = browser
        target = browser.send("Target.createTarget", {"url": "about:blank"}, session=False)["targetId"]
        browser.session = browser.send("Target.attachToTarget", {"targetId": target, "flatten": True},
                                       session=False)["sessionId"]
        browser.send("Browser.setDownloadBehavior", {"behavior": "allowAndName", "downloadPath": str(downloads),
                                                     "eventsEnabled": True}, session=False)
        for domain in ("Page", "Runtime", "Network"):
            browser.send(f"{domain}.enable")
        self.downloads = downloads
        self.downloaded = 0
        self.url = url
        self.load()
        self.first_ready_ms = self.ready_ms

    def load(self):
        self.downloaded = 0  # a page may begin ten downloads in a row
        self.b.send("Page.navigate", {"url": self.url})
        deadline = time.monotonic() + 10
        while not self.b.evaluate("document.body && document.body.dataset.ready || ''"):
            if time.monotonic() > deadline:
                raise TimeoutError("the page was not ready in 10 s")
            time.sleep(0.01)
        self.ready_ms = float(self.b.evaluate("document.body.dataset.ready"))

    def node(self, selector):
        root = self.b.send("DOM.getDocument")["root"]["nodeId"]
        return self.b.send("DOM.querySelector", {"nodeId": root, "selector": selector})["nodeId"]

    def text(self, selector):
        return self.b.evaluate(f"document.querySelector({json.dumps(selector)}).textContent")

    def choose(self, input_id, path, message_id):
        """Sets the file on the input and gives the message it leads to,
        and how long that took."""
        before = time.monotonic()
        self.b.send("DOM.setFileInputFiles", {"files": [str(path)], "nodeId": self.node("#" + input_id)})
        return self.answer(message_id, path.name, before)

    def answer(self, message_id, name, before):
        while True:
            message = self.text("#" + message_id)
            if message.startswith(name + ":"):
                return message, time.monotonic() - before
            if time.monotonic() - before > 5:
                raise TimeoutError(f"no answer for {name} in #{message_id}: {message!r}")
            time.sleep(0.002)

    def click(self, selector):
        """A real click, by the mouse, in the middle of the element, scrolled
        into view."""
        node = self.node(selector)
        self.b.send("DOM.scrollIntoViewIfNeeded", {"nodeId": node})
        box = self.b.send("DOM.getBoxModel", {"nodeId": node})["model"]["content"]
        x, y = (box[0] + box[4]) / 2, (box[1] + box[5]) / 2
        for kind in ("mousePressed", "mouseReleased"):
            self.b.send("Input.dispatchMouseEvent", {"type": kind, "x": x, "y": y, "button": "left", "clickCount": 1})

    def download(self, selector):
        """Clicks the button and gives the name and bytes of the download,
        or no name and no bytes where none began. Chrome lets a page begin
        ten downloads in a row and asks the person before the next, which
        here nobody can answer; the page is loaded again before that."""
        self.click(selector)
        try:
            begun = self.b.wait_for_event("Browser.downloadWillBegin", seconds=3)
        except TimeoutError:
            return None, None
        self.b.wait_for_event("Browser.downloadProgress",
                              lambda p: p["guid"] == begun["guid"] and p["state"] in ("completed", "canceled"))
        self.b.events = [e for e in self.b.events if e["params"].get("guid") != begun["guid"]]
        path = self.downloads / begun["guid"]
        data = path.read_bytes()
        path.unlink()
        self.downloaded += 1
        if self.downloaded == 10:
            self.load()
        return begun["suggestedFilename"], data

    def room_for(self, downloads):
        """The page loaded again where fewer downloads are left it."""
        if self.downloaded + downloads > 10:
            self.load()

    def disabled(self, selector):
        return self.b.evaluate(f"document.querySelector({json.dumps(selector)}).disabled")


def native(program, path, out, options=()):
    """What the program makes of the file, named as the page names it: its
    status, its line, its output."""
    if out.exists():
        out.unlink()
    done = subprocess.run([program, *options, path.name, str(out)], cwd=path.parent, capture_output=True)
    made = out.read_bytes() if done.returncode == 0 else None
    return done.returncode, done.stderr.decode(errors="replace").rstrip("\n"), made


def command_run(page, glyphrip, path, out):
    """The command #command shows, run here on the file: its status, line
    and output, and its options; glyphrip's where it shows none."""
    words = shlex.split(page.text("#command"))
    if not words:
        return native(glyphrip, path, out), []
    program = glyphrip if words[0] == "glyphrip" else str(Path(glyphrip).with_name("glyphcut"))
    return native(program, path, out, words[1:-2]), words[1:-2]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("page")
    parser.add_argument("glyphrip")
    parser.add_argument("glyphsheet")
    parser.add_argument("dirs", nargs="+")
    parser.add_argument("--chromium", default=shutil.which("chromium") or "/usr/bin/chromium")
    args = parser.parse_args()
    page_path = Path(args.page).resolve()
    glyphrip, glyphsheet = str(Path(args.glyphrip).resolve()), str(Path(args.glyphsheet).resolve())
    files = sorted(p for d in args.dirs for p in Path(d).iterdir() if p.is_file())
    passed = failed = 0

    def check(ok, what):
        nonlocal passed, failed
        if ok:
            passed += 1
        else:
            failed += 1
            print("FAILED:", what)

    work = Path(tempfile.mkdtemp())
    downloads = work / "downloads"
    downloads.mkdir()
    browser = Browser(args.chromium, work / "profile")
    try:
        page = Page(browser, page_path.as_uri(), downloads)
        check(page.disabled("#save-font") and page.disabled("#save-sheet"), "nothing to save before a file")
        slowest = 0.0
        # glyphrip's side takes every file; glyphsheet's every raw font and one picture in eight.
        sides = (("picture", glyphrip, "#save-font", ".raw", lambda i, p: True),
                 ("font", glyphsheet, "#save-sheet", ".png", lambda i, p: p.suffix == ".raw" or i % 8 == 0))
        for index, path in enumerate(files):
            for side, program, save, ending, takes in sides:
                if not takes(index, path):
                    continue
                what = f"{path.name} through #{side}-file"
                message, took = page.choose(side + "-file", path, side + "-message")
                if side == "picture":
                    (status, line, made), _ = command_run(page, program, path, work / ("native" + ending))
                else:
                    status, line, made = native(program, path, work / ("native" + ending))
                slowest = max(slowest, took)
                check(took < 1, f"{what}: the answer took {took:.2f} s")
                if status != 0:
                    check(message == line and page.disabled(save), f"{what}: the page says {message!r}, not {line!r}")
                    continue
                name, data = page.download(save)
                check(data == made and name == path.stem + ending,
                      f"{what}: the page saved {name} of {len(data or b'')} bytes, not {len(made)}")
        print(f"{len(files)} files through the page; the slowest answer {slowest * 1000:.0f} ms")
        dropped(page, files, glyphrip, glyphsheet, work, check)
        mended(page, files, glyphrip, work, check)
        form(page, files, glyphrip, work, check)
        shown_and_sized(page, page_path, files, glyphrip, work, check)
        measure(page, files, glyphrip, work)
        # Nothing but the page itself, and what it makes to save.
        others = {url for url in browser.asked if url != page_path.as_uri() and not url.startswith(("blob:", "data:"))}
        check(not others, f"the page asked for {sorted(others)}")
    finally:
        browser.close()
        shutil.rmtree(work, ignore_errors=True)
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


def drop(page, paths):
    for kind in ("dragEnter", "dragOver", "drop"):
        page.b.send("Input.dispatchDragEvent", {"type": kind, "x": 100, "y": 100, "data": {
            "items": [], "files": [str(p) for p in paths], "dragOperationsMask": 1}})


def dropped(page, files, glyphrip, glyphsheet, work, check):
    """A picture and raw fonts dropped on the page: each goes to its side,
    as glyphrip's rule for an existing output tells a font, so that a font
    whose first bytes look like a TGA's header or a gzip file's goes to
    glyphsheet. Of three files dropped, the first is read and the page
    says so."""
    picture = next(p for p in files if p.suffix == ".png" and native(glyphrip, p, work / "n.raw")[0] == 0)
    font = next(p for p in files if p.suffix == ".raw")
    tga_like, gzip_like = work / "tga-like.raw", work / "gzip-like.raw"
    data = bytearray(font.read_bytes())
    data[12:16] = bytes([64, 0, 128, 0])
    tga_like.write_bytes(bytes(data))
    gzip_like.write_bytes(bytes([0x1F, 0x8B, 0x08]) + font.read_bytes()[3:])
    for paths, message_id in (([picture], "picture-message"), ([font], "font-message"),
                              ([tga_like], "font-message"), ([gzip_like], "font-message"),
                              ([picture, font, tga_like], "picture-message")):
        before = time.monotonic()
        drop(page, paths)
        message, _ = page.answer(message_id, paths[0].name, before)
        check(message.startswith(paths[0].name + ": ") and "could not" not in message,
              f"{paths[0].name} dropped: #{message_id} says {message!r}")
        note = page.text("#dropped")
        want = f"3 files dropped; only the first, {paths[0].name}, is read." if len(paths) == 3 else ""
        check(note == want, f"{len(paths)} files dropped: the page says {note!r}")


def mended(page, files, glyphrip, work, check):
    """A slow file then a fast one: the fast one's result and name win. The
    same file chosen again after a change is read again. A failure in the
    core ends in a message."""
    sheets = [p for p in files if p.suffix == ".png" and native(glyphrip, p, work / "n.raw")[0] == 0]
    slow = work / "slow.raw"
    with open(slow, "wb") as f:
        f.truncate(200 * 1024 * 1024)
    fast = sheets[0]
    before = time.monotonic()
    page.b.send("DOM.setFileInputFiles", {"files": [str(slow)], "nodeId": page.node("#picture-file")})
    time.sleep(0.05)
    page.b.send("DOM.setFileInputFiles", {"files": [str(fast)], "nodeId": page.node("#picture-file")})
    page.answer("picture-message", fast.name, before)
    time.sleep(3)  # for the slow file to be read and dropped
    message = page.text("#picture-message")
    name, data = page.download("#save-font")
    made = native(glyphrip, fast, work / "n.raw")[2]
    check(message.startswith(fast.name + ":") and name == fast.stem + ".raw" and data == made,
          f"a slow file then {fast.name}: the page says {message!r} and saves {name}")
    slow.unlink()
    again = work / "again.png"
    for sheet in sheets[:2]:
        again.write_bytes(sheet.read_bytes())
        message, _ = page.choose("picture-file", again, "picture-message")
        _, data = page.download("#save-font")
        check(data == native(glyphrip, again, work / "n.raw")[2], f"{again.name} chosen again as {sheet.name}")
    page.b.evaluate("core._page_cut = () => { throw new Error('a forced failure'); }")
    message, _ = page.choose("picture-file", fast, "picture-message")
    check(message == f"{fast.name}: the page could not read it: a forced failure",
          f"a failure in the core: the page says {message!r}")
    check(page.disabled("#save-font"), "a failure leaves nothing to save")
    page.load()


FIELDS = ("cell", "scale", "offset", "gap", "grid", "order", "first", "count", "ink", "paper", "bits")
# The fonts the recipes draw in other layouts, by name, and what tells them.
LAYOUTS = {"strip": {"cell": "8x8", "first": "32"}, "table": {"cell": "8x8"}, "tall": {"cell": "8x16"},
           "grid": {"cell": "8x8", "offset": "2,2", "gap": "1,1"},
           "big": {"cell": "8x8", "scale": "2", "order": "columns"}, "green": {"cell": "8x8", "ink": "#00BF00"}}


def typed(page, values):
    """The form emptied, then each value given to its field, as typing or
    picking it fires its input or change event."""
    for name in FIELDS:
        if name not in ("order", "bits"):
            page.b.evaluate(f"$('{name}').value = ''")
    for name, value in values.items():
        event = "change" if name in ("order", "bits") else "input"
        page.b.evaluate(f"$('{name}').value = {json.dumps(value)}; $('{name}').dispatchEvent(new Event('{event}'))")


def form(page, files, glyphrip, work, check):
    """The layout form driven as a person would: for fonts drawn in other
    layouts by real writers, each field typed, the font and the C header
    saved against glyphcut's, run with the command shown; how many the
    page's guess needed no change for; a paper pixel picked; a value
    glyphcut refuses; a picture pasted; the command copied; and a re-cut's
    time on a picture of 1024 x 1024."""
    guessed = laid_out = 0
    for path in files:
        layout = next((LAYOUTS[k] for k in LAYOUTS if path.stem.endswith("-" + k) or path.stem == k), None)
        if layout is None:
            continue
        page.room_for(2)
        page.choose("picture-file", path, "picture-message")
        laid_out += 1
        told = {f: page.b.evaluate(f"$('{f}').value") for f in FIELDS}
        guessed += all(told[f] == layout.get(f, {"order": told["order"], "bits": "lsb"}.get(f, "")) for f in FIELDS)
        before = time.monotonic()
        typed(page, layout)
        page.answer("picture-message", path.name, before)
        (status, line, made), options = command_run(page, glyphrip, path, work / "n.raw")
        want = [w for k, v in layout.items() for w in ("--" + k, v)]
        check(sorted(zip(options[::2], options[1::2])) == sorted(zip(want[::2], want[1::2])),
              f"{path.name}: the command's options are {options}, not {want}")
        name, data = page.download("#save-font")
        check(status == 0 and data == made and name == path.stem + ".raw",
              f"{path.name} told {want}: the page saved {name} of {len(data or b'')} bytes, glyphcut {line!r}")
        header = work / (path.stem + ".h")
        status, line, made = native(str(Path(glyphrip).with_name("glyphcut")), path, header, options)
        name, data = page.download("#save-c")
        check(status == 0 and data == made and name == header.name,
              f"{path.name}: the page saved the C header {name}, not glyphcut's {header.name} ({line!r})")
    print(f"the page guessed the layout of {guessed} of {laid_out} pictures drawn in other layouts")
    check(laid_out > 0 or not any(p.suffix == ".raw" for p in files), "no picture drawn in another layout was given")
    # A paper pixel picked, and a value glyphcut refuses.
    sample = next(p for p in files if p.suffix == ".png" and native(glyphrip, p, work / "n.raw")[0] == 0)
    page.choose("picture-file", sample, "picture-message")
    node = page.node("#picture-view")
    page.b.send("DOM.scrollIntoViewIfNeeded", {"nodeId": node})
    box = page.b.send("DOM.getBoxModel", {"nodeId": node})["model"]["content"]
    k = page.b.evaluate("$('picture-view').width / picture.numbers[0]")
    for kind in ("mousePressed", "mouseReleased"):
        page.b.send("Input.dispatchMouseEvent", {"type": kind, "x": box[0] + k / 2, "y": box[1] + k / 2,
                                                 "button": "left", "clickCount": 1})
    paper = page.b.evaluate("$('paper').value")
    corner = page.b.evaluate("Array.from(picture.rgba.subarray(0, 3))")
    (status, line, made), options = command_run(page, glyphrip, sample, work / "n.raw")
    _, data = page.download("#save-font")
    check(paper == "#%02X%02X%02X" % tuple(corner) and page.b.evaluate("$('ink').value") == "" and
          "--paper" in options and data == made, f"a pixel picked: paper {paper!r}, the command's options {options}")
    typed(page, {"cell": "0x8"})
    refusal = "glyphcut: --cell takes WxH, each 1 to 32, not 0x8"
    check(page.text("#picture-message") == refusal and page.disabled("#save-font") and page.disabled("#save-c") and
          page.b.evaluate("$('cell').getAttribute('aria-invalid')") == "true" and
          command_run(page, glyphrip, sample, work / "n.raw")[0][1] == refusal,
          f"a cell of 0x8: the page says {page.text('#picture-message')!r}")
    # Pasted, and copied.
    encoded = base64.b64encode(sample.read_bytes()).decode()
    before = time.monotonic()
    page.b.evaluate(f"""(() => {{ const t = new DataTransfer();
        t.items.add(new File([Uint8Array.from(atob("{encoded}"), c => c.charCodeAt(0))], "x.png", {{ type: "image/png" }}));
        document.dispatchEvent(new ClipboardEvent("paste", {{ clipboardData: t }})); }})()""")
    message, _ = page.answer("picture-message", "pasted.png", before)
    check("could not" not in message, f"a picture pasted: the page says {message!r}")
    page.click("#copy-command")
    time.sleep(0.2)
    check(page.text("#picture-result") == "Copied: " + page.text("#command"), "the command copied")
    # A re-cut of a picture of 1024 x 1024, a field changed: the page's own
    # time from the event to the drawing done.
    big = work / "big.ppm"
    rows = bytes(0 if (x // 8 + y // 8) % 5 == 0 and (x * y) % 3 else 255 for y in range(1024) for x in range(1024))
    big.write_bytes(b"P5\n1024 1024\n255\n" + rows)
    page.choose("picture-file", big, "picture-message")
    took = min(page.b.evaluate("""(() => { const t = performance.now();
        $('cell').value = '8x' + (8 + i % 2 * 8); $('cell').dispatchEvent(new Event('input'));
        return performance.now() - t; })()""".replace("i % 2", str(i % 2))) for i in range(5))
    print(f"a re-cut of 1024 x 1024: {took:.0f} ms")
    check(took < 100, f"a re-cut of 1024 x 1024 took {took:.0f} ms")
    page.load()


def shown_and_sized(page, page_path, files, glyphrip, work, check):
    """Labels on every control; the page at a phone's width without sideways
    scrolling; screenshots at desktop and phone width, light and dark, with
    a layout outlined."""
    unlabelled = page.b.evaluate("""[...document.querySelectorAll('input, button, canvas')].filter(e =>
        !(e.labels && e.labels.length) && !e.getAttribute('aria-label') && !e.textContent.trim()).map(e => e.id)""")
    check(not unlabelled, f"controls without a label: {unlabelled}")
    # A grid with a margin and lines between its cells, told its layout,
    # where there is one, for the screenshots to show the cells outlined.
    sample = next((p for p in files if p.name.endswith("grid.png")), None) or next(
        p for p in files if p.suffix == ".png" and native(glyphrip, p, work / "n.raw")[0] == 0)
    page.choose("picture-file", sample, "picture-message")
    if sample.name.endswith("grid.png"):
        typed(page, LAYOUTS["grid"])
    font = next((p for p in files if p.suffix == ".raw"), None)
    if font:
        page.choose("font-file", font, "font-message")
    # A glyph named by the keyboard, and by the mouse.
    page.b.send("DOM.focus", {"nodeId": page.node("#font-sheet")})
    for kind in ("keyDown", "keyUp"):
        page.b.send("Input.dispatchKeyEvent", {"type": kind, "key": "ArrowRight", "code": "ArrowRight",
                                               "windowsVirtualKeyCode": 39})
    named, said = page.text("#font-glyph"), page.text("#font-said")
    check(named.startswith("Glyph 1 (0x01)") or named.startswith("Glyph 16 (0x10)"),
          f"the glyph to the right of the first is named {named!r}")
    check(said == named, f"a glyph named by the keyboard is said as {said!r}")
    # The mouse over the top row names its glyph where it can be seen, and
    # says nothing to a screen reader.
    page.b.send("Emulation.setDeviceMetricsOverride", {"width": 1280, "height": 800, "deviceScaleFactor": 1,
                                                       "mobile": False})
    page.b.send("DOM.scrollIntoViewIfNeeded", {"nodeId": page.node("#glyph-view")})
    box = page.b.send("DOM.getBoxModel", {"nodeId": page.node("#glyph-view")})["model"]["content"]
    page.b.send("Input.dispatchMouseEvent", {"type": "mouseMoved", "x": box[0] + 20, "y": box[1] + 5})
    shown = page.b.evaluate("""(() => { const r = document.querySelector('#picture-glyph').getBoundingClientRect();
        return r.top >= 0 && r.bottom <= innerHeight; })()""")
    check(page.text("#picture-glyph").startswith("Glyph") and shown and page.text("#picture-said") == "",
          "the glyph under the mouse is named where it can be seen, and not said")
    for scheme in ("light", "dark"):
        page.b.send("Emulation.setEmulatedMedia", {"features": [{"name": "prefers-color-scheme", "value": scheme}]})
        for name, width, height, mobile in (("desktop", 1280, 900, False), ("narrow", 320, 640, True),
                                            ("phone", 390, 844, True)):
            page.b.send("Emulation.setDeviceMetricsOverride",
                        {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": mobile})
            time.sleep(0.2)
            if name != "desktop":
                wide = page.b.evaluate("document.documentElement.scrollWidth")
                check(wide <= width, f"at {width} pixels wide the page is {wide} wide ({scheme})")
            # Each canvas shown at the size it is drawn, no pixel scaled.
            scaled = page.b.evaluate("""[...document.querySelectorAll('canvas:not([hidden])')].filter(c =>
                c.clientWidth !== c.width || c.clientHeight !== c.height).map(c => c.id)""")
            check(not scaled, f"at {width} pixels wide, canvases shown scaled: {scaled}")
            shot = page.b.send("Page.captureScreenshot", {"format": "png", "captureBeyondViewport": True})
            (page_path.parent / f"screenshot-{name}-{scheme}.png").write_bytes(base64.b64decode(shot["data"]))
    page.b.send("Emulation.clearDeviceMetricsOverride")


def measure(page, files, glyphrip, work):
    """The page's size, the time from its script's start to ready, and a
    conversion's time in the page: the median of batches of 200, as
    performance.now is coarse on a file:// page."""
    sample = next((p for p in files if p.name == "sheet-128x128.png"), None) or next(
        p for p in files if p.suffix == ".png" and native(glyphrip, p, work / "n.raw")[0] == 0)
    encoded = base64.b64encode(sample.read_bytes()).decode()
    batches = page.b.evaluate(f"""(() => {{
        const bytes = Uint8Array.from(atob("{encoded}"), c => c.charCodeAt(0)), times = [];
        for (let batch = 0; batch < 15; batch++) {{
            const start = performance.now();
            for (let i = 0; i < 200; i++)
                inCore(bytes, ["x.png", ""], (at, length, name, options) => core._page_cut(at, length, name, options));
            times.push((performance.now() - start) / 200);
        }}
        return times; }})()""")
    size = Path(page.b.evaluate("decodeURIComponent(location.pathname)")).stat().st_size
    print(f"page: {size} bytes; ready {page.first_ready_ms:.1f} ms after its script started; "
          f"a conversion of {sample.name} ({sample.stat().st_size} bytes) {statistics.median(batches) * 1000:.0f} us")


if __name__ == "__main__":
    sys.exit(main())
