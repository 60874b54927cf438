#!/usr/bin/env python3
"""Server messages written from their layouts with struct, for the client's
table test and the fuzz target's seeds.

Every message addresses the world of message_world.h (the same ids and role
numbers). One file per type goes to the fixture folder; one seed per type
goes to the seed folder as the fuzz target reads its input: each block a
length byte then its bytes, here the messages a row needs first, the
message, then each of its truncations.

    server_messages.py --write FIXTURES SEEDS
    server_messages.py --check FIXTURES SEEDS
"""
import argparse
import os
import struct
import sys

WALKER, GUNNER, LIFT, DEPLOYER, SEGMENT, CREATURE, SHOT, ENEMY, PICKUP = 40, 41, 42, 43, 44, 45, 46, 47, 48
WALKER_ROLE, GUNNER_ROLE, SHOT_ROLE = 0, 1, 5
ITEM = 7
NEW_ITEM = 9
ARMOUR = 10
NONE = 0xFFFFFFFF
IDENTITY = (0.0, 0.0, 0.0, 1.0)


def words(*values):
    """Little-endian 32-bit words: ints as u32 (negative as i32), floats as f32."""
    out = b""
    for v in values:
        if isinstance(v, float):
            out += struct.pack("<f", v)
        elif v < 0:
            out += struct.pack("<i", v)
        else:
            out += struct.pack("<I", v)
    return out


def motion(seconds, position, velocity=(0.0, 0.0, 0.0), polygon=0xFFFFFF):
    """The 48-byte motion record: time, position, orientation, velocity, polygon."""
    return words(seconds, *position, *IDENTITY, *velocity, polygon)


def colour(r, g, b, a):
    """Packed word, four channels, the float-valid flag."""
    packed = (int(a * 255) << 24) | (int(r * 255) << 16) | (int(g * 255) << 8) | int(b * 255)
    return words(packed, r, g, b, a, 2)


def text(t):
    return t.encode("ascii") + b"\0"


# type -> message bytes. Rows whose effect needs an earlier message list it
# in PRELUDE.
MESSAGES = {
    0: words(0, 1, 2, 1) + text("level.scr") + text("level.cmd"),
    2: words(2),
    3: words(3, WALKER),
    27: words(27, GUNNER, 0.5, ENEMY),
    38: words(38, WALKER, 10),
    39: words(39, WALKER, 10),
    40: words(40, WALKER) + motion(0.5, (1.0, 0.0, 0.0)) + words(1.0, 0.0, 0.0, 2.0, 0.0, 0.0),
    41: words(41, 0, 0x7FFFFF, -1, 0, WALKER),
    42: words(42, WALKER) + motion(0.0, (0.0, 0.0, 0.0), (0.0, 0.0, 2.0)),
    43: words(43, WALKER) + motion(0.5, (5.0, 0.0, 0.0)),
    44: words(44, WALKER, 3),
    45: words(45, GUNNER, 0.5, 4.0, 0.0, 4.0),
    46: words(46, GUNNER, 0.5, ENEMY),
    47: words(47, GUNNER, 0.5),
    48: words(48, GUNNER),
    49: words(49, GUNNER, -1, SHOT_ROLE, 2, 0.5, 2.0, -1.0, 0.0, *IDENTITY, 15.0, 60),
    50: words(50, SHOT, NONE, 0.25, 0.0, 0.0, 3.0),
    51: words(51, WALKER) + motion(0.5, (1.0, 0.0, 0.0)),
    52: words(52, ENEMY),
    53: words(53, DEPLOYER),
    54: words(54, WALKER) + b"\x01",
    55: words(55, WALKER) + b"\x00",
    56: words(56, WALKER, 5, 0.25),
    57: words(57, ENEMY, 3),
    58: words(58, WALKER, 0.25, 0.75),
    59: words(59, WALKER, 3),
    60: words(60, WALKER, 3),
    61: words(61, WALKER, 3),
    62: words(62, WALKER, 5.0),
    63: words(63, WALKER) + motion(0.5, (2.0, 0.0, 0.0)) + words(4),
    64: words(64, ENEMY),
    65: words(65, ENEMY),
    66: words(66, ENEMY),
    67: words(67, 61, WALKER_ROLE, 2, 1.0, 0.0, 5.0, *IDENTITY),
    68: words(68, WALKER),
    69: words(69, GUNNER),
    70: words(70) + text("level.cmd"),
    71: words(71, 1.0, 0.0, 1.0),
    74: words(74, ENEMY, -1),
    75: words(75, 1.0, 0.0, 1.0),
    76: words(76, WALKER, 0.5, 3.0, 0.0, 0.0, *IDENTITY),
    77: words(77, GUNNER, 0.5),
    81: words(81, WALKER, WALKER_ROLE, WALKER_ROLE, NEW_ITEM),
    82: words(82, WALKER, WALKER_ROLE, WALKER_ROLE, NEW_ITEM),
    83: words(83, GUNNER, 2, ARMOUR),
    84: words(84, GUNNER, 2, ARMOUR),
    85: words(85, WALKER, ITEM),
    86: words(86, WALKER, ITEM),
    87: words(87, WALKER, ITEM),
    88: words(88, GUNNER, ARMOUR),
    89: words(89, WALKER, ITEM, GUNNER),
    90: words(90, GUNNER, 2),
    91: words(91, GUNNER, 3),
    92: words(92, PICKUP),
    93: words(93, PICKUP),
    94: words(94, WALKER),
    95: words(95),
    96: words(96, 0.5, 9),
    97: words(97, 2.0),
    98: words(98, SEGMENT, WALKER),
    99: words(99, WALKER, 1, 0),
    100: words(100, PICKUP),
    101: words(101) + text("Hello"),
    102: words(102, LIFT, 4.0, 0.0, 0.0, 4.0, -1.0, 0.0, 4.0, -2.0, 0.0, 4.0, -3.0, 0.0, *IDENTITY) + b"\x01",
    103: words(103, 1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0, 5.0, -10.0, 5.0, 2.0),
    104: words(104, LIFT, 5.0),
    105: words(105, LIFT, 2.0),
    106: words(106, LIFT, 1, WALKER),
    107: words(107, LIFT, 1, WALKER),
    108: words(108, LIFT),
    109: words(109, LIFT),
    110: words(110, LIFT),
    111: words(111, LIFT),
    112: words(112, WALKER) + text("Follow me"),
    113: words(113, WALKER),
    114: words(114, WALKER),
    115: words(115, 1.0, 0.0, 1.0, 5.0, 1 | (60 << 16)),
    116: words(116, WALKER),
    117: words(117, WALKER),
    118: words(118, WALKER, GUNNER_ROLE),
    119: words(119, WALKER, 3),
    120: words(120, LIFT),
    121: words(121, 5),
    122: words(122, 5),
    123: words(123, WALKER),
    124: words(124, WALKER),
    125: words(125, 1.0, -2.0, 1.0) + colour(1.0, 0.5, 0.0, 1.0),
    126: words(126, 1.0, -2.0, 1.0) + colour(1.0, 0.0, 0.0, 1.0) + colour(0.0, 0.0, 1.0, 1.0) + words(0.5),
    127: words(127, 0.0, 0.0, 0.0, 10.0, 0.0, 10.0),
    128: words(128, WALKER),
    129: words(129, WALKER),
    130: words(130, WALKER, 2, 0.0, 0.25, 0.5, 0.75),
    131: words(131, WALKER, NONE) + colour(1.0, 1.0, 1.0, 1.0) + text("lightdum"),
    132: words(132, 2),
}

PRELUDE = {
    88: [84],
    61: [59],
    106: [102],
    108: [102, 106],
    109: [102, 106],
    110: [102, 106, 109],
    117: [116],
}


def fixture_name(t):
    return "type_%03d.bin" % t


def seed(t):
    """The fuzz target's stream: the prelude, the message, its truncations."""
    blocks = [MESSAGES[p] for p in PRELUDE.get(t, [])] + [MESSAGES[t]]
    blocks += [MESSAGES[t][:n] for n in range(len(MESSAGES[t]) - 1, -1, -1)]
    out = b""
    for b in blocks:
        assert len(b) < 256, t
        out += bytes([len(b)]) + b
    return out


def files(fixtures, seeds):
    for t, message in MESSAGES.items():
        yield os.path.join(fixtures, fixture_name(t)), message
        yield os.path.join(seeds, "seed_%03d.bin" % t), seed(t)


def main():
    parser = argparse.ArgumentParser()
    mode = parser.add_mutually_exclusive_group(required=True)
    mode.add_argument("--write", action="store_true")
    mode.add_argument("--check", action="store_true")
    parser.add_argument("fixtures")
    parser.add_argument("seeds")
    args = parser.parse_args()
    stale = []
    for path, data in files(args.fixtures, args.seeds):
        if args.write:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        else:
            try:
                with open(path, "rb") as f:
                    if f.read() != data:
                        stale.append(path)
            except OSError:
                stale.append(path)
    for path in stale:
        print("differs from its encoder: " + path, file=sys.stderr)
    return 1 if stale else 0


if __name__ == "__main__":
    sys.exit(main())
