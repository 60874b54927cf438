#!/usr/bin/env python3
"""A reader and writer of saved games built from the file layout alone.

    saved_game_reader.py --check FILE...

reads every field of each file (the head, and for a full save the world with
every server object and client replica record and its state block), writes
the fields back and requires the same bytes; any field that does not fit its
layout, or bytes left over, fail the check.
"""
import struct
import sys

# Class tag -> (image size, moves, unit, projectile, kind)
SERVER = {
    1: (256, 0, 0, 0, 0), 2: (440, 1, 0, 0, 0), 3: (648, 1, 1, 0, 0), 4: (328, 0, 0, 1, 0),
    5: (272, 0, 0, 0, 5), 6: (408, 0, 0, 0, 8), 7: (256, 0, 0, 0, 9), 8: (280, 0, 0, 0, 10),
    9: (256, 0, 0, 0, 11), 10: (656, 1, 1, 0, 12), 11: (656, 1, 1, 0, 13), 12: (480, 1, 0, 0, 14),
    13: (656, 1, 1, 0, 16), 14: (456, 1, 0, 0, 17),
}
REPLICA = {
    101: (256, 0, 0, 0, 0), 102: (464, 1, 0, 0, 0), 103: (632, 1, 1, 0, 0), 104: (320, 0, 0, 1, 0),
    105: (272, 0, 0, 0, 5), 106: (416, 0, 0, 0, 8), 107: (280, 0, 0, 0, 9), 108: (272, 0, 0, 0, 10),
    109: (304, 0, 0, 0, 11), 110: (640, 1, 1, 0, 12), 111: (640, 1, 1, 0, 13), 112: (504, 1, 0, 0, 14),
    113: (640, 1, 1, 0, 16), 114: (480, 1, 0, 0, 17),
}
ORDER_SIZE = 36
MOVE_TO_WAYPOINT = 2


class Bad(Exception):
    pass


class Reader:
    def __init__(self, data):
        self.data, self.at = data, 0

    def take(self, n, what):
        if n < 0 or self.at + n > len(self.data):
            raise Bad(f"offset {self.at}: {what} runs past the end")
        out = self.data[self.at:self.at + n]
        self.at += n
        return out

    def u32(self, what):
        return struct.unpack("<I", self.take(4, what))[0]

    def i32(self, what):
        return struct.unpack("<i", self.take(4, what))[0]

    def f32(self, what):
        return struct.unpack("<f", self.take(4, what))[0]

    def text(self, what):
        n = self.u32(what + " length")
        if n == 0:
            raise Bad(f"offset {self.at}: {what} of length 0")
        raw = self.take(n, what)
        if raw[-1] != 0:
            raise Bad(f"offset {self.at}: {what} without its NUL")
        return raw[:-1]


class Writer:
    def __init__(self):
        self.out = bytearray()

    def u32(self, v):
        self.out += struct.pack("<I", v)

    def i32(self, v):
        self.out += struct.pack("<i", v)

    def f32(self, v):
        self.out += struct.pack("<f", v)

    def raw(self, b):
        self.out += b

    def text(self, t):
        self.u32(len(t) + 1)
        self.out += t + b"\0"


def read_head(r):
    head = {"script": r.text("level script"), "companion": r.text("companion"), "start": r.u32("level-start flag")}
    if head["start"] > 1:
        raise Bad("level-start flag not 0 or 1")
    units = []
    for _ in range(r.u32("unit count")):
        name = r.text("unit name")
        items = []
        for _ in range(r.u32("item count")):
            words = [r.i32("item word") for _ in range(5)]
            role = r.text("item role") if words[4] == -1 else None
            items.append((words, role))
        units.append((name, items))
    head["units"] = units
    size = r.u32("state block size")
    head["block"] = (size, r.take(size, "state block"))
    return head


def write_head(w, head):
    w.text(head["script"])
    w.text(head["companion"])
    w.u32(head["start"])
    w.u32(len(head["units"]))
    for name, items in head["units"]:
        w.text(name)
        w.u32(len(items))
        for words, role in items:
            for v in words:
                w.i32(v)
            if role is not None:
                w.text(role)
    w.u32(head["block"][0])
    w.raw(head["block"][1])


def read_state(r, info, image, server):
    """The state block as a list of ("u", value), ("b", bytes) and ("t", text)."""
    _, moves, unit, projectile, kind = info
    fields = []

    def u(what):
        fields.append(("u", r.u32(what)))
        return fields[-1][1]

    def n(what, size):
        count = u(what)
        if count * size > len(r.data) - r.at:
            raise Bad(f"offset {r.at}: {what} {count} beyond the file")
        return count

    if server:
        u("replacement role")
        u("held object")
    else:
        u("shown role")
    if moves:
        for _ in range(n("slot count", 8)):
            u("slot item")
            u("slot number")
        for _ in range(n("order count", ORDER_SIZE)):
            order = r.take(ORDER_SIZE, "order")
            fields.append(("b", order))
            if struct.unpack_from("<I", order)[0] == MOVE_TO_WAYPOINT:
                u("order polygon")
        if server:
            u("destination polygon")
            for what in ("waypoint", "second point"):
                count = n(what + " count", 16)
                fields.append(("b", r.take(16 * count, what + "s")))
    if unit:
        for what in ("weapon", "ammunition", "weapon item", "target"):
            u(what)
    if projectile:
        u("target")
    if server and kind == 10 and struct.unpack_from("<I", image, 0x10C)[0] != 0:
        fields.append(("t", r.text("command file")))
    if kind == 8:
        for _ in range(n("rider count", 4)):
            u("rider")
    return fields


def read_objects(r, table, server):
    records = []
    seen = set()
    for _ in range(r.u32("object count")):
        size = r.u32("image size")
        image = r.take(size, "image")
        if size < 4:
            raise Bad("image without its class tag")
        tag = struct.unpack_from("<I", image)[0]
        info = table.get(tag)
        if info is None or info[0] != size:
            raise Bad(f"offset {r.at}: class tag {tag} with an image of {size} bytes")
        role, oid = r.i32("role"), r.u32("object id")
        if oid in seen:
            raise Bad(f"object id {oid} stored twice")
        seen.add(oid)
        records.append((image, role, oid, read_state(r, info, image, server)))
    return records


def write_objects(w, records):
    w.u32(len(records))
    for image, role, oid, state in records:
        w.u32(len(image))
        w.raw(image)
        w.i32(role)
        w.u32(oid)
        for kind, value in state:
            if kind == "u":
                w.u32(value)
            elif kind == "b":
                w.raw(value)
            else:
                w.text(value)


def read_world(r):
    world = {"time": r.take(4, "game time"), "next id": r.u32("next object id")}
    world["server"] = read_objects(r, SERVER, True)
    world["replicas"] = read_objects(r, REPLICA, False)
    owners = r.u32("owner count")
    world["next item"] = r.u32("next item id")
    world["owners"] = [(r.u32("owner id"), [r.take(52, "item") for _ in range(r.u32("owner items"))])
                       for _ in range(owners)]
    world["lines"] = [r.text("line") for _ in range(r.u32("line count"))]
    world["named"] = [(r.text("name"), r.take(4, "value")) for _ in range(r.u32("named value count"))]
    world["parts"] = [r.text("part name") for _ in range(r.u32("part name count"))]
    triggers = []
    for _ in range(r.u32("trigger count")):
        image = r.take(88, "trigger")
        script = r.text("trigger script") if struct.unpack_from("<I", image, 68)[0] else None
        triggers.append((image, script, [r.text("trigger name") for _ in range(r.u32("trigger names"))]))
    world["triggers"] = triggers
    doors = []
    for _ in range(r.u32("door count")):
        number = r.u32("door number")
        polygons = [r.u32("door polygon") for _ in range(r.u32("door polygons"))]
        doors.append((number, polygons, r.u32("door closed")))
    world["doors"] = doors
    world["camera"] = r.take(28, "camera")
    g = r.u32("fog size")
    world["fog"] = (g, r.take(4 * g * g, "fog cells"))
    world["fences"] = [r.take(24, "fence") for _ in range(r.u32("fence count"))]
    return world


def write_world(w, world):
    w.raw(world["time"])
    w.u32(world["next id"])
    write_objects(w, world["server"])
    write_objects(w, world["replicas"])
    w.u32(len(world["owners"]))
    w.u32(world["next item"])
    for oid, items in world["owners"]:
        w.u32(oid)
        w.u32(len(items))
        for item in items:
            w.raw(item)
    w.u32(len(world["lines"]))
    for line in world["lines"]:
        w.text(line)
    w.u32(len(world["named"]))
    for name, value in world["named"]:
        w.text(name)
        w.raw(value)
    w.u32(len(world["parts"]))
    for part in world["parts"]:
        w.text(part)
    w.u32(len(world["triggers"]))
    for image, script, names in world["triggers"]:
        w.raw(image)
        if script is not None:
            w.text(script)
        w.u32(len(names))
        for name in names:
            w.text(name)
    w.u32(len(world["doors"]))
    for number, polygons, closed in world["doors"]:
        w.u32(number)
        w.u32(len(polygons))
        for p in polygons:
            w.u32(p)
        w.u32(closed)
    w.raw(world["camera"])
    w.u32(world["fog"][0])
    w.raw(world["fog"][1])
    w.u32(len(world["fences"]))
    for fence in world["fences"]:
        w.raw(fence)


def check(data):
    r = Reader(data)
    head = read_head(r)
    world = read_world(r) if head["start"] == 0 else None
    if r.at != len(data):
        raise Bad(f"{len(data) - r.at} bytes after the last field")
    w = Writer()
    write_head(w, head)
    if world is not None:
        write_world(w, world)
    if bytes(w.out) != data:
        raise Bad("written back to other bytes")
    return head, world


def main(argv):
    if len(argv) < 3 or argv[1] != "--check":
        print(__doc__)
        return 2
    failed = 0
    for name in argv[2:]:
        try:
            with open(name, "rb") as f:
                head, world = check(f.read())
            kind = "level start" if world is None else \
                f"full: {len(world['server'])} objects, {len(world['replicas'])} replicas"
            print(f"{name}: {kind}")
        except (Bad, OSError) as fault:
            print(f"{name}: {fault}")
            failed += 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
