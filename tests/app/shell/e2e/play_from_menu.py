#!/usr/bin/env python3
"""Plays the built game from outside, as a player would: keys and clicks go
in through the X server's test extension (xdotool), and each step waits for
the state change or menu screen the game traces on standard error.

Run under a virtual display:
    xvfb-run -a -s '-screen 0 1024x768x24' play_from_menu.py --case NAME \
        --trevok build/ci/trevok --data build/ci/sample-data

Cases:
    escape       Escape on the main menu ends the game with status 4
    quit         the main menu's quit item ends it with status 3
    rebind       a key rebound on the key-binding screen is in TVkeys.cfg,
                 and a shadow mode written into that file holds at the
                 next start
    mission      single player, missions, first mission, start: the
                 briefing (its text on a screenshot), the level; "1"
                 selects TREVOK, a click on the trigger's floor square (its
                 pixel from the camera the level prints) walks it there
                 (screenshots as it starts and 5 s on show it moving),
                 Ctrl+F5 saves
                 "e2e" on the way, Ctrl+F4 loads it back (the level is
                 loaded again and the walk goes on), and the level's
                 trigger ends the game with status 1
"""
import argparse
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

TIME_OUT = 90  # seconds for a whole case
# The play view's size at unit distance.
VIEW_WIDTH, VIEW_HEIGHT = 0.4, 0.3
# The centre of the floor square round the level's trigger (x, z in metres).
# Units walk to the centres of squares.
TRIGGER_AT = (2.5, 7.5)


class Failure(Exception):
    pass


class Game:
    def __init__(self, trevok, data, work):
        self.work = work
        self.data = os.path.join(work, "data")
        shutil.copytree(data, self.data)
        env = dict(os.environ)
        for name in ("XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"):
            env[name] = os.path.join(work, name.lower())
            os.makedirs(env[name], mode=0o700, exist_ok=True)
        self.xdg_data = env["XDG_DATA_HOME"]
        env["ALSOFT_DRIVERS"] = "null"
        # A sanitizer's report must not pass for a status the game chose
        # (QUIT ends the game with 1).
        for name, code in (("ASAN_OPTIONS", 86), ("UBSAN_OPTIONS", 87)):
            env[name] = ":".join(filter(None, [env.get(name, ""), "exitcode=%d" % code]))
        env["TREVOK_TRACE"] = "1"
        self.errors_path = os.path.join(work, "stderr.txt")
        self.errors = open(self.errors_path, "wb")
        self.started = time.monotonic()
        self.process = subprocess.Popen([trevok, "-w", self.data], env=env, stdout=subprocess.DEVNULL,
                                        stderr=self.errors, cwd=work)
        self.seen = 0  # how far the trace was matched
        self.review = None  # where a case keeps frames for review

    def text(self):
        with open(self.errors_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def left(self):
        return TIME_OUT - (time.monotonic() - self.started)

    def wait_for(self, marker, seconds=30):
        """Waits for `marker` after the last one found."""
        until = time.monotonic() + min(seconds, max(self.left(), 0))
        while time.monotonic() < until:
            text = self.text()
            at = text.find(marker, self.seen)
            if at >= 0:
                self.seen = at + len(marker)
                return
            if self.process.poll() is not None:
                break
            time.sleep(0.05)
        raise Failure("no \"%s\" on standard error (exit status %s)" % (marker, self.process.poll()))

    def keys(self, *names):
        for name in names:
            subprocess.run(["xdotool", "key", "--clearmodifiers", name], check=True)
            time.sleep(0.15)

    def type_text(self, text):
        subprocess.run(["xdotool", "type", "--delay", "80", text], check=True)

    def type_name(self, name):
        """Types `name` into the save or load screen that a key opened, each
        step waited for: the screen taking typed names, then the whole name;
        then Return."""
        self.wait_for("screen: name open", 20)
        self.type_text(name)
        self.wait_for('screen: name "%s"' % name, 20)
        self.keys("Return")

    def save(self, name, seconds=15):
        """Saves the game under `name` through the save screen (Ctrl+F5)."""
        self.keys("ctrl+F5")
        self.type_name(name)
        self.wait_for("screen: name closed", 20)
        saved = os.path.join(self.xdg_data, "trevok", "saves", name + ".sav")
        until = time.monotonic() + seconds
        while not os.path.isfile(saved):
            if time.monotonic() > until:
                raise Failure("no %s.sav in the saves folder" % name)
            time.sleep(0.05)

    def load(self, name):
        """Loads the save `name` through the load screen (Ctrl+F4) and waits
        for the level to start again from play."""
        self.keys("ctrl+F4")
        self.type_name(name)
        self.wait_for("5 (playing) -> 12 (level-started)", 20)

    def printed_camera(self, seconds=20):
        """(focus, angles, zoom) from the next three lines GET CAMERA prints:
        "(x,y,z)", "(roll,pitch,heading)" and the zoom, whole numbers."""
        prefix = "trace: console: "
        until = time.monotonic() + min(seconds, max(self.left(), 0))
        while time.monotonic() < until:
            text = self.text()
            printed = []  # (line, where it ends in the text)
            at = self.seen
            for line in text[self.seen:].splitlines(keepends=True):
                at += len(line)
                line = line.rstrip("\r\n")
                if line.startswith(prefix) and line[len(prefix):].strip():
                    printed.append((line[len(prefix):], at))
            for i in range(len(printed) - 2):
                (focus, _), (angles, _), (zoom, end) = printed[i:i + 3]
                if focus.startswith("(") and angles.startswith("(") and zoom.lstrip("-").isdigit():
                    self.seen = end
                    return (tuple(int(v) for v in focus[1:-1].split(",")),
                            tuple(int(v) for v in angles[1:-1].split(",")), int(zoom))
            if self.process.poll() is not None:
                break
            time.sleep(0.05)
        raise Failure("no camera printed (exit status %s)" % self.process.poll())

    def click(self, x, y, button=1, settle=0.1):
        """Moves the pointer, waits `settle` seconds and clicks. The game
        finds the object under the pointer in the frame it draws there, so a
        click meant for an object settles for a few slow frames."""
        subprocess.run(["xdotool", "mousemove", str(x), str(y)], check=True)
        time.sleep(settle)
        subprocess.run(["xdotool", "click", str(button)], check=True)

    def mode(self):
        """The display mode's (width, height) from the trace."""
        text = self.text()
        at = text.find("display mode: ")
        if at < 0:
            raise Failure("no display mode on standard error")
        width, height = text[at + len("display mode: "):].split("x")[:2]
        return int(width), int(height)

    def ground_pixel(self, camera, at):
        """The screen pixel of ground point `at` (x, z in metres) seen by the
        printed `camera`, which must look straight down with heading 0 (x to
        the right, z up). The game scales the pointer from the whole screen
        to its display mode, while its window keeps the mode's size: the
        pixel must lie in both."""
        focus, angles, zoom = camera
        if angles[1] != 1024 or angles[2] % 4096 != 0 or zoom <= 0:
            raise Failure("the camera %s does not look straight down, north up" % (camera,))
        out = subprocess.run(["xdotool", "getdisplaygeometry"], check=True, capture_output=True, text=True).stdout
        screen_w, screen_h = (int(v) for v in out.split())
        mode_w, mode_h = self.mode()
        x, y = ground_to_mode_pixel(focus, zoom, at, mode_w, mode_h)
        return round(x * screen_w / mode_w), round(y * screen_h / mode_h)

    def finish(self, seconds=30):
        try:
            return self.process.wait(timeout=min(seconds, max(self.left(), 1)))
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise Failure("the game did not end")

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.errors.close()

    def screenshot(self, number):
        """SysRq; the game writes Screen.bmp, Screen1.bmp, ... into its dumps folder.
        The key is sent as Print: X makes Sys_Req with Alt held, and Alt is a
        key press to the game (it ends a briefing)."""
        path = self.shot_path(number)
        self.keys("Print")
        until = time.monotonic() + 10
        while time.monotonic() < until:
            if os.path.exists(path) and os.path.getsize(path) > 54:
                time.sleep(0.2)
                return read_bmp(path)
            time.sleep(0.05)
        raise Failure("no screenshot %s" % os.path.basename(path))

    def shot_path(self, number):
        name = "Screen.bmp" if number == 0 else "Screen%d.bmp" % number
        return os.path.join(self.data, "dumps", name)

    def keep(self, number, name):
        """Copies screenshot `number` into the review folder, when there is one, as `name`."""
        if self.review:
            os.makedirs(self.review, exist_ok=True)
            shutil.copyfile(self.shot_path(number), os.path.join(self.review, name))


def ground_to_mode_pixel(focus, zoom, at, width, height):
    """Where ground point `at` (x, z) lies on a `width` x `height` picture of
    a straight-down camera on `focus` (x, y, z) from `zoom` metres."""
    x = width / 2 * (1 + (at[0] - focus[0]) / (VIEW_WIDTH / 2 * zoom))
    y = height / 2 * (1 - (at[1] - focus[2]) / (VIEW_HEIGHT / 2 * zoom))
    return x, y


# The squad's start markers in the training level (x, y, z in metres), and a
# floor point with nothing on it.
TREVOK_START = (4.0, 0.0, 4.0)
VELL_START = (6.0, 0.0, 4.0)
BARE_FLOOR = (8.0, 0.0, 8.0)
# Pixels from a projected marker: the robot's disc and the floor ring round it.
ROBOT_RADIUS = 12
FLOOR_RING = (20, 30)


def projected(shot, focus, zoom, at):
    """The pixel of ground point `at` in a frame of a straight-down camera on
    `focus` from `zoom` metres (x to the right, z up)."""
    width, height, _ = shot
    x, y = ground_to_mode_pixel(focus, zoom, (at[0], at[2]), width, height)
    return round(x), round(y)


def around(shot, centre, inner, outer):
    """The pixels from `inner` (included) to `outer` (excluded) pixels of `centre`."""
    width, height, rows = shot
    cx, cy = centre
    return [rows[y][x] for y in range(max(cy - outer, 0), min(cy + outer + 1, height))
            for x in range(max(cx - outer, 0), min(cx + outer + 1, width))
            if inner * inner <= (x - cx) ** 2 + (y - cy) ** 2 < outer * outer]


def standing_out(shot, centre):
    """(pixels of the disc round `centre` that differ from the floor ring round
    it, the floor's median colour)."""
    ring = around(shot, centre, *FLOOR_RING)
    floor = tuple(statistics.median(p[i] for p in ring) for i in range(3))
    disc = around(shot, centre, 0, ROBOT_RADIUS)
    return sum(1 for p in disc if max(abs(p[i] - floor[i]) for i in range(3)) > 40), floor


def robot_on_the_way(shot, camera):
    """(fraction of the way from TREVOK's start to the trigger, pixels standing
    out there) where the robot shows most. The trigger's own marker near the
    end of the way is left out."""
    focus, _, zoom = camera
    best = (0.0, -1)
    for step in range(13):
        f = step * 0.05
        at = (TREVOK_START[0] + (TRIGGER_AT[0] - TREVOK_START[0]) * f, 0.0,
              TREVOK_START[2] + (TRIGGER_AT[1] - TREVOK_START[2]) * f)
        count, _ = standing_out(shot, projected(shot, focus, zoom, at))
        if count > best[1]:
            best = (f, count)
    return best


def read_bmp(path):
    """(width, height, rows of (r, g, b)) of an uncompressed 24- or 32-bit BMP."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"BM":
        raise Failure("%s is no BMP" % path)
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    if bits not in (24, 32):
        raise Failure("%s: %d bits a pixel" % (path, bits))
    step = bits // 8
    pitch = (width * step + 3) & ~3
    rows = []
    for y in range(abs(height)):
        start = offset + y * pitch
        row = [(data[start + x * step + 2], data[start + x * step + 1], data[start + x * step])
               for x in range(width)]
        rows.append(row)
    if height > 0:
        rows.reverse()  # bottom-up
    return width, abs(height), rows


def count_pixels(shot, test):
    _, _, rows = shot
    return sum(1 for row in rows for p in row if test(p))


def row_green(p):
    # The menu rows' green (0x00E500) through whatever the display packs.
    return p[0] < 40 and p[1] > 180 and p[2] < 40


def briefing_text_pixels(shot):
    """Near-white pixels where the first mission's briefing text stands
    (from 0.05 to 0.6 of the width, 0.1 of the height down), over the
    title picture's blue."""
    width, height, rows = shot
    return sum(1 for y in range(int(0.08 * height), int(0.3 * height))
               for x in range(int(0.05 * width), int(0.6 * width))
               if min(rows[y][x]) > 200)


def through_start_screens(game):
    game.wait_for("state 0 (none) -> 4 (logo)")
    game.click(512, 384)  # the pointer over the window: input goes there
    for state in ("-> 2 (splash)", "-> 1 (title)", "-> 3 (please-train)", "-> 8 (main-menu)"):
        time.sleep(0.3)
        game.keys("Return")
        game.wait_for(state)
    # The menu loads its models before its first frame; however long that
    # takes (sanitizer builds), keys go in once it has drawn one.
    game.wait_for("menu: ready", 60)


def downs(game, count):
    """Down `count` times, each taken before the next."""
    for _ in range(count):
        game.keys("Down")
        game.wait_for("menu: highlight")


def choose(game, count, marker):
    """Down `count` times from nothing highlighted, then Return."""
    downs(game, count)
    game.keys("Return")
    game.wait_for(marker)


def case_escape(game):
    # Without a key file the default shadow mode (footprints) is in force
    # from the start, not only once the options screen changes it.
    game.wait_for("particles and effects: started, shadow mode 1")
    through_start_screens(game)
    shot = game.screenshot(0)
    game.keep(0, "main_menu.bmp")
    if count_pixels(shot, row_green) < 50:
        raise Failure("the main menu's rows are not on the screenshot")
    game.keys("Escape")
    return 4


def case_quit(game):
    through_start_screens(game)
    downs(game, 4)
    game.keys("Return")
    return 3


def case_rebind(game):
    through_start_screens(game)
    choose(game, 3, "menu: screen 1")   # options
    choose(game, 3, "menu: screen 4")   # key bindings
    downs(game, 1)
    game.keys("Return")                 # the first binding waits for a key
    game.wait_for("menu: waiting for a key")
    game.keys("q")
    game.wait_for("menu: key taken")
    game.keys("Escape")
    game.wait_for("menu: screen 0")
    game.keys("Escape")
    return 4


def check_rebind(game):
    path = os.path.join(game.data, "scripts", "TVkeys.cfg")
    with open(path, "rb") as f:
        keys = f.read()
    if not keys.startswith(b"Turn camera left\r\n16\r\n"):
        raise Failure("TVkeys.cfg does not hold the new key: %r" % keys[:60])
    # The file names this display, so its shadow mode holds at the next
    # start: mode 3 written into it is the mode the effects start with.
    head, marker, tail = keys.partition(b"data\r\n")
    values = list(struct.unpack("<23i", tail.replace(b"\r\n", b"\n")[:92]))
    values[3] = 3  # the shadow mode
    with open(path, "wb") as f:
        f.write(head + marker + struct.pack("<23i", *values).replace(b"\n", b"\r\n"))
    again = Game(game.process.args[0], game.data, tempfile.mkdtemp(prefix="trevok play again "))
    try:
        again.wait_for("particles and effects: started, shadow mode 3")
    finally:
        again.stop()
        shutil.rmtree(again.work, ignore_errors=True)


def check_walk(game, camera):
    """Screenshots as the walk starts and a few seconds on: the robot's pixels
    leave its start for the trigger (it walks at about 0.15 m a second; the
    view stays where it is)."""
    shot = game.screenshot(1)
    game.keep(1, "walk_start.bmp")
    game.wait_for("console: Echo is on")  # the companion sees the walk start
    time.sleep(5.0)
    later = game.screenshot(2)
    game.keep(2, "walk_on.bmp")
    start, count = robot_on_the_way(shot, camera)
    if start > 0.1 or count < 20:
        raise Failure("as the walk starts the robot shows most at %.2f of the way (%d pixels)" % (start, count))
    on, count = robot_on_the_way(later, camera)
    left, _ = standing_out(later, projected(later, camera[0], camera[2], TREVOK_START))
    if on < 0.15 or count < 20 or left > 4:
        raise Failure("5 s on the robot shows most at %.2f of the way (%d pixels), %d at its start"
                      % (on, count, left))


def case_mission(game):
    through_start_screens(game)
    choose(game, 1, "menu: screen 7")   # single player
    choose(game, 2, "menu: screen 5")   # missions
    choose(game, 1, "menu: screen 9")   # the first mission
    downs(game, 1)
    game.keys("Return")                 # start
    game.wait_for("-> 11 (briefing)")
    game.wait_for("briefing: shown", 30)  # its first frame is drawn
    time.sleep(1.0)                     # the text types itself out
    shot = game.screenshot(0)
    game.keep(0, "briefing.bmp")
    if briefing_text_pixels(shot) < 30:
        raise Failure("no briefing text on the screenshot")
    game.keys("space")
    game.wait_for("-> 12 (level-started)")
    game.wait_for("console: Echo is on")  # its command file's opening ECHO
    game.wait_for("level: training_level.tvs loaded")
    game.wait_for("-> 5 (playing)")
    game.keys("1")                      # the first squad member
    game.wait_for("console: Echo is on")
    camera = game.printed_camera()      # the companion prints it once selected
    x, y = game.ground_pixel(camera, TRIGGER_AT)
    game.click(x, y)
    check_walk(game, camera)
    game.save("e2e")                    # on the way
    if game.process.poll() is not None:
        raise Failure("the walk ended before the save")
    game.load("e2e")                    # the saved walk comes back; only a load starts the level again
    game.wait_for("level: training_level.tvs loaded", 20)
    game.wait_for("-> 5 (playing)", 20)
    game.wait_for("console: Echo on.", 40)  # the trigger's command file
    return 1                            # its QUIT


CASES = {
    "escape": (case_escape, None),
    "quit": (case_quit, None),
    "rebind": (case_rebind, check_rebind),
    "mission": (case_mission, None),
}


def run_case(cases, prefix):
    """Runs the case the command line names from `cases` (name -> (run,
    check)): `run` drives the game and returns the exit status it expects,
    or None for any; `check` looks at what the game left behind."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--case", required=True, choices=sorted(cases))
    parser.add_argument("--trevok", required=True)
    parser.add_argument("--data", required=True)
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    parser.add_argument("--review", help="a folder for the frames a case keeps for review")
    args = parser.parse_args()
    if not shutil.which("xdotool"):
        print("xdotool is not installed", file=sys.stderr)
        return 1
    work = tempfile.mkdtemp(prefix=prefix)
    game = Game(os.path.abspath(args.trevok), os.path.abspath(args.data), work)
    game.review = args.review
    run, check = cases[args.case]
    started = time.monotonic()
    try:
        expected = run(game)
        status = game.finish()
        if expected is not None and status != expected:
            raise Failure("ended with %d, not %d" % (status, expected))
        if check:
            check(game)
        print("%s: passed in %.1f s" % (args.case, time.monotonic() - started))
        return 0
    except Failure as failure:
        print("%s: %s\n--- standard error of the game:\n%s" % (args.case, failure, game.text()), file=sys.stderr)
        return 1
    finally:
        game.stop()
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(run_case(CASES, "trevok play "))
