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
              prints changes), and a drag back turns it the other way
    order     clicks, a ground click, a selection box and a right click on
              the game view: the game keeps running and still answers its
              console (the presses' picking and the orders' requests hold)
"""
import os
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


def camera(game):
    """(focus, angles, zoom) as the console's GET CAMERA prints them."""
    start = len(game.text())
    game.keys("shift+grave")
    time.sleep(0.5)
    game.type_text("GET CAMERA")
    game.keys("Return")
    until = time.monotonic() + 10
    while time.monotonic() < until:
        lines = [line[len("trace: console: "):] for line in game.text()[start:].splitlines()
                 if line.startswith("trace: console: ")]
        triples = [line for line in lines if line.startswith("(") and line.endswith(")")]
        if len(triples) >= 2:
            zoom = next((line for line in lines[lines.index(triples[1]) + 1:] if line.strip()), None)
            if zoom is not None:
                game.keys("shift+grave")
                time.sleep(0.5)
                return (tuple(int(v) for v in triples[0][1:-1].split(",")),
                        tuple(int(v) for v in triples[1][1:-1].split(",")), int(zoom))
        time.sleep(0.1)
    raise play.Failure("GET CAMERA printed nothing")


def differing_pixels(a, b):
    _, _, rows_a = a
    _, _, rows_b = b
    return sum(1 for ra, rb in zip(rows_a, rows_b) for pa, pb in zip(ra, rb)
               if max(abs(pa[i] - pb[i]) for i in range(3)) > 24)


def case_turn(game):
    into_the_level(game)
    x, y = window_centre(game)
    _, before, _ = camera(game)
    drag(3, (x, y), (x + 150, y))
    _, turned, _ = camera(game)
    if turned[2] == before[2]:
        raise play.Failure("a right drag left the heading at %d" % before[2])
    drag(3, (x, y), (x - 150, y))
    _, back, _ = camera(game)
    if (back[2] - turned[2]) * (turned[2] - before[2]) >= 0:
        raise play.Failure("the drag back did not turn the other way: %d, %d, %d" % (before[2], turned[2], back[2]))
    game.keys("shift+q")
    return None


def case_order(game):
    into_the_level(game)
    x, y = window_centre(game)
    game.click(x, y)                # selects what stands there
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


CASES = {"turn": (case_turn, None), "order": (case_order, None)}


if __name__ == "__main__":
    sys.exit(play.run_case(CASES, "trevok view "))
