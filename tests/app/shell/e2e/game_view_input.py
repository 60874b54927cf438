#!/usr/bin/env python3
"""Steers the game view of the running game from outside: the first mission
is started from the menus as a player would, then clicks and drags go in
through the X server's test extension (xdotool) and screenshots show what
they did. The walk through the menus is play_from_menu.py's.

Run under a virtual display:
    xvfb-run -a -s '-screen 0 1024x768x24' game_view_input.py --case NAME \
        --trevok build/ci/trevok --data build/ci/sample-data

Cases:
    turn      a right-button drag turns the view (the heading GET CAMERA
              prints changes, and so does the frame), and a drag back
              turns it the other way
    select    a click on each squad robot selects it (GET SELECTED names a
              different unit after each)
    order     clicks, a ground click, a selection box and a right click on
              the game view: the game keeps running and still answers its
              console (the presses' picking and the orders' requests hold)
    robot     the level's start view from its first frames: the camera looks
              straight down on TREVOK's start marker, the floor is lit (not
              glowing white) and both squad robots stand out from it where
              their start markers project; the same after a full save and
              its load; both frames are kept for review (--review FOLDER)
"""
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import play_from_menu as play  # noqa: E402


def window_centre(game):
    """The middle of the game's window, in screen pixels."""
    found = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--pid", str(game.process.pid)],
                           capture_output=True, text=True, timeout=10).stdout.split()
    if not found:
        raise play.Failure("no window of the game")
    geometry = {}
    out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", found[-1]], capture_output=True,
                         text=True, check=True).stdout
    for line in out.splitlines():
        key, _, value = line.partition("=")
        geometry[key] = int(value)
    return geometry["X"] + geometry["WIDTH"] // 2, geometry["Y"] + geometry["HEIGHT"] // 2


def into_the_level(game):
    play.through_start_screens(game)
    play.choose(game, 1, "menu: screen 7")   # single player
    play.choose(game, 2, "menu: screen 5")   # missions
    play.choose(game, 1, "menu: screen 9")   # the first mission
    play.downs(game, 1)
    game.keys("Return")                      # start
    game.wait_for("-> 11 (briefing)")
    time.sleep(0.5)
    game.keys("space")
    game.wait_for("-> 5 (playing)")
    time.sleep(1.5)


def drag(button, start, end, steps=12):
    subprocess.run(["xdotool", "mousemove", str(start[0]), str(start[1])], check=True)
    time.sleep(0.1)
    subprocess.run(["xdotool", "mousedown", str(button)], check=True)
    for i in range(1, steps + 1):
        x = start[0] + (end[0] - start[0]) * i // steps
        y = start[1] + (end[1] - start[1]) * i // steps
        subprocess.run(["xdotool", "mousemove", str(x), str(y)], check=True)
        time.sleep(0.03)
    subprocess.run(["xdotool", "mouseup", str(button)], check=True)
    time.sleep(0.5)


def open_console(game):
    """Opens the console and waits until it has slid down: keys typed
    before it opens reach the game view instead."""
    game.seen = len(game.text())  # only what comes after
    game.keys("shift+grave")
    game.wait_for("text console: open", 20)


def close_console(game):
    """Closes the console and waits until it has slid up: a press in its
    part of the screen until then only closes it."""
    game.keys("shift+grave")
    game.wait_for("text console: closed", 20)


def camera(game):
    """(focus, angles, zoom) as the console's GET CAMERA prints them."""
    open_console(game)
    game.type_text("GET CAMERA")
    game.keys("Return")
    printed = game.printed_camera(20)
    close_console(game)
    return printed


def selected(game):
    """The unit id GET SELECTED prints, or None when it prints none. GET
    SELECTED prints nothing without a selection, so an ECHO after it marks
    where its answer ends."""
    open_console(game)
    start = game.seen
    game.type_text("GET SELECTED")
    game.keys("Return")
    game.type_text("ECHO")
    game.keys("Return")
    game.wait_for("console: Echo is ", 20)
    printed = re.search(r"console: Unit (\d+) is now the console unit", game.text()[start:game.seen])
    close_console(game)
    return int(printed.group(1)) if printed else None


def heading_turn(before, after):
    """The heading's change from `before` to `after`, the shorter way round
    (headings are 4096ths of a turn, printed from 0 to 4095)."""
    return (after - before + 2048) % 4096 - 2048


def differing_pixels(a, b):
    _, _, rows_a = a
    _, _, rows_b = b
    return sum(1 for ra, rb in zip(rows_a, rows_b) for pa, pb in zip(ra, rb)
               if max(abs(pa[i] - pb[i]) for i in range(3)) > 24)


def case_turn(game):
    into_the_level(game)
    x, y = window_centre(game)
    _, before, _ = camera(game)
    still = game.screenshot(0)
    drag(3, (x, y), (x + 150, y))
    _, turned, _ = camera(game)
    if turned[2] == before[2]:
        raise play.Failure("a right drag left the heading at %d" % before[2])
    # The frame shows the turn, not only the printed heading.
    moved = differing_pixels(still, game.screenshot(1))
    width, height, _ = still
    if moved < width * height // 20:
        raise play.Failure("a right drag changed only %d pixels of the frame" % moved)
    drag(3, (x, y), (x - 150, y))
    _, back, _ = camera(game)
    if heading_turn(turned[2], back[2]) * heading_turn(before[2], turned[2]) >= 0:
        raise play.Failure("the drag back did not turn the other way: %d, %d, %d" % (before[2], turned[2], back[2]))
    game.keys("shift+q")
    return None


def case_order(game):
    into_the_level(game)
    x, y = window_centre(game)
    game.click(x, y, settle=1.0)    # selects what stands there
    time.sleep(0.3)
    game.click(x + 100, y + 80)     # a ground click orders a move
    drag(1, (x - 100, y - 80), (x + 60, y + 60))  # a selection box
    game.click(x - 80, y + 40, button=3)
    time.sleep(1.0)
    if game.process.poll() is not None:
        raise play.Failure("the game ended on the clicks")
    camera(game)  # the game view still answers its console
    game.keys("shift+q")
    return None


def case_select(game):
    into_the_level(game)
    # A click on a robot selects it: VELL, then TREVOK, each found where its
    # start marker shows in the view of the moment.
    picked = []
    for marker in (play.VELL_START, play.TREVOK_START):
        game.click(*game.ground_pixel(camera(game), (marker[0], marker[2])), settle=1.0)
        time.sleep(0.3)
        picked.append(selected(game))
    if None in picked or picked[0] == picked[1]:
        raise play.Failure("clicks on VELL and TREVOK selected units %s and %s" % tuple(picked))
    game.screenshot(0)
    game.keep(0, "unit_selected.bmp")
    game.keys("shift+q")
    return None


def start_view_problems(shot, focus, zoom):
    """What is wrong with a frame of the start view: both robots must stand
    out from a lit floor where their markers project, and bare floor must
    not."""
    problems = []
    for name, marker in (("TREVOK", play.TREVOK_START), ("VELL", play.VELL_START)):
        at = play.projected(shot, focus, zoom, marker)
        count, floor = play.standing_out(shot, at)
        if count < 20:
            problems.append("%s: %d pixels at %s stand out from the floor %s" % (name, count, at, floor))
        if max(floor) >= 240:
            problems.append("%s: the floor round %s glows white %s" % (name, at, floor))
    at = play.projected(shot, focus, zoom, play.BARE_FLOOR)
    count, floor = play.standing_out(shot, at)
    if count > 4:
        problems.append("bare floor: %d pixels at %s differ from the floor %s" % (count, at, floor))
    return problems


def case_robot(game):
    into_the_level(game)
    focus, angles, zoom = camera(game)
    if focus != tuple(round(v) for v in play.TREVOK_START) or angles[1] != 1024:
        raise play.Failure("the start view looks at %s with angles %s, not straight down on TREVOK's start %s"
                           % (focus, angles, play.TREVOK_START))

    def check_view(number, review_name, when):
        shot = game.screenshot(number)
        game.keep(number, review_name)
        problems = start_view_problems(shot, focus, zoom)
        if problems:
            raise play.Failure(when + ": " + "; ".join(problems))

    time.sleep(0.5)  # the console closed
    check_view(0, "level_start.bmp", "at the start")

    # A full save and its load build the level again without its companion:
    # the view must come back as it was, lighting included.
    game.save("view")
    time.sleep(0.5)
    game.load("view")
    game.wait_for("-> 5 (playing)", 20)
    time.sleep(1.5)
    check_view(1, "level_loaded.bmp", "after a load")
    game.keys("shift+q")
    return None


CASES = {"turn": (case_turn, None), "order": (case_order, None), "select": (case_select, None),
         "robot": (case_robot, None)}


if __name__ == "__main__":
    sys.exit(play.run_case(CASES, "trevok view "))
