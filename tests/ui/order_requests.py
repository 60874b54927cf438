#!/usr/bin/env python3
"""Golden bytes of the order requests, encoded from the request layouts with
struct (independent of the C++ writer). Prints the table, or with --check
FILE compares it with the stored fixture."""
import struct
import sys

TIME = 1024.0
POINT = (1.5, -2.0, 3.25)
TARGET = 201
NODE = 7
NO_TARGET = 0xFFFFFFFF
TREVOK, VELL, TOVAN = 101, 102, 103


def words(fmt, *values):
    return struct.pack('<' + fmt, *values)


def group(kind, ids, target=NO_TARGET):
    return words('IfIII', kind, TIME, NODE, target, len(ids)) + b''.join(words('I', i) for i in ids)


def motion(unit, position, orientation, destination, node):
    return words('IIf3f4f3fI', 42, unit, TIME, *position, *orientation, *destination, node & 0xFFFFFF)


ROWS = [
    ('GroupNone', []),
    ('GroupOne', [group(5, [TREVOK])]),
    ('GroupThree', [group(5, [TREVOK, VELL, TOVAN])]),
    ('GroupExcluded', [group(5, [TREVOK, TOVAN])]),
    ('GroupCtrl', [group(30, [TREVOK, VELL, TOVAN])]),
    ('GroupPaused', [group(30, [TREVOK])]),
    ('GroupItem', [group(5, [TREVOK], 301)]),
    ('Stop', [words('IIf', 6, TREVOK, TIME)]),
    ('AttackLocation', [words('IIf3f', 7, TREVOK, TIME, *POINT)]),
    ('AttackTarget', [words('IIfI', 8, TREVOK, TIME, TARGET)]),
    ('AttackLocationShift', [words('IIf3f', 9, TREVOK, TIME, *POINT)]),
    ('AttackTargetShift', [words('IIfI', 10, TREVOK, TIME, TARGET)]),
    ('ClearTarget', [words('IIfI', 11, TREVOK, TIME, 0)]),
    ('Crouch', [words('II', 25, TREVOK)]),
    ('CrouchCtrl', [words('II', 31, TREVOK)]),
    ('QueueAttackLocation', [words('IIf3f', 26, TREVOK, TIME, *POINT)]),
    ('QueueAttackTarget', [words('IIfI', 27, TREVOK, TIME, TARGET)]),
    ('QueueAttackLocationShift', [words('IIf3f', 28, TREVOK, TIME, *POINT)]),
    ('QueueAttackTargetShift', [words('IIfI', 29, TREVOK, TIME, TARGET)]),
    ('ClearOrders', [words('II', 32, TREVOK)]),
    ('StandingOrder', [words('III', 24, TREVOK, 3)]),
    ('LaunchProjectile', [words('IIf3f', 36, TREVOK, TIME, *POINT)]),
    # No level is loaded: no node lies under the destination.
    ('MotionState', [motion(TREVOK, (4.0, 0.0, 5.0), (0.0, 0.0, 0.0, 1.0), (6.0, 0.0, 7.0), 0xFFFFFF)]),
    # The selection's orders: ctrl queues, active pause queues, quick-weapon
    # mode leaves units without the quick weapon out.
    ('SelectionAttackCtrl', [words('IIfI', 27, TREVOK, TIME, TARGET), words('IIfI', 27, VELL, TIME, TARGET)]),
    ('SelectionAttackPaused', [words('IIf3f', 26, TREVOK, TIME, *POINT), words('IIf3f', 26, VELL, TIME, *POINT)]),
    ('SelectionAttackQuickWeapon', [words('IIfI', 8, VELL, TIME, TARGET)]),
    ('SelectionClearOrders', [words('IIf', 6, TREVOK, TIME), words('IIfI', 11, TREVOK, TIME, 0),
                              words('IIf', 6, VELL, TIME), words('IIfI', 11, VELL, TIME, 0)]),
]


def table():
    return ''.join('%s:%s\n' % (name, ''.join(' ' + m.hex() for m in messages)) for name, messages in ROWS)


if __name__ == '__main__':
    text = table()
    if len(sys.argv) == 3 and sys.argv[1] == '--check':
        with open(sys.argv[2]) as f:
            stored = f.read()
        if stored != text:
            sys.stderr.write('the stored golden table differs from the encoder\n')
            sys.exit(1)
        print('1 passed, 0 failed')
    else:
        sys.stdout.write(text)
