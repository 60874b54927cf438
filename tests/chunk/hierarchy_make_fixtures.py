#!/usr/bin/env python3
"""Writes the hand-built chunk files of the model families (sounds, shape extras,
bitmap names, hierarchies, sequences) into tests/fixtures/chunk/, byte by byte
from the layouts, without the library's writers. Run it from anywhere."""
import os
import sys

sys.dont_write_bytecode = True  # keep the fixture folders free of caches
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures"))
from chunk_layout import chunk, f32, i32, padded, plain_file, u32  # noqa: E402

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixtures", "chunk")


def cstrings(fixed, *strings):
    """Strings with their NULs, padded together so fixed + them is a multiple of 4."""
    b = b"".join(s.encode() + b"\0" for s in strings)
    total = fixed + len(b)
    return b + b"\0" * (((total + 3) & ~3) - total)


def write(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


# Hierarchy: a model with a name and box, a part with values and a sub-part,
# level-of-detail distances, a shape set and a collection.
def hierarchy():
    head = chunk("OBJCHIER", chunk("OBJHIERD", i32(0) + padded("head") + i32(0)))
    torso = chunk("OBJCHIER", chunk("OBJHIERD", i32(2, 7, 8) + padded("torso") + i32(0)) + head)
    model = chunk("OBJCHIER", chunk("OBHIERNM", padded("robot")) +
                  chunk("HIERBBOX", i32(-1, -2, -3, 4, 5, 6)) + torso)
    distances = chunk("HIDEGDIS", i32(3, 0, 10000, 20000))
    shape_set = chunk("OBHALTSH", i32(0) + padded("female set") + i32(2) + padded("head") + padded("head_f") +
                      padded("arm") + padded("arm_f") + i32(1) + i32(9, 10, 11))
    collection = chunk("HSETCOLL", i32(4) + padded("sokra") + i32(2, 0, 5) + i32(3) + i32(77))
    write("hierarchy_model.rif", plain_file(model, distances, shape_set, collection))


# Sequences: a part with two sequences (index 0 with time, speed, flags and box;
# index 3 with a delta frame that starts sound 2), the indexed sound, OBANALLS.
def sequences():
    walk = chunk("OBANSEQC",
                 chunk("OBASEQHD", i32(0x10000, 12, 0, 1, 99) + padded("walk")) +
                 chunk("OBASEQFR", f32(0, 0, 0, 1) + i32(10, 20, 30) + i32(0x8000, 1) + u32(0x0001) + i32(0)) +
                 chunk("OBASEQFR", f32(0, 0, 0, 1) + i32(0, 0, 0) + i32(0, 0) + u32(0) + i32(2, -5, 6)) +
                 chunk("OBASEQTM", i32(1500)) +
                 chunk("OBASEQSP", i32(2000, 90, 5)) +
                 chunk("OBASEQFL", i32(1)) +
                 chunk("HIERBBOX", i32(-100, 0, -100, 100, 1800, 100)))
    wave = chunk("OBANSEQC",
                 chunk("OBASEQHD", i32(0x10000, 13, 3, 0) + padded("wave")) +
                 chunk("OBASEQFR", f32(0, 0, 0, 1) + i32(0, 0, 0) + i32(0, 0) + u32(0x80000000 | 2 << 24 | 0x8002) +
                       i32(0)))
    part = chunk("OBJCHIER", chunk("OBJHIERD", i32(0) + padded("body") + i32(0)) + chunk("OBANSEQS", walk + wave))
    model = chunk("OBJCHIER", chunk("OBHIERNM", padded("walker")) + part)
    sound = chunk("INDSOUND", i32(2) + padded("clank") + i32(500, 9000, 64, 128, 0) + i32(1, 42))
    alls = chunk("OBANALLS", i32(1) + i32(1, 7, 8, 9) + i32(*range(1, 10)))
    write("sequence_model.rif", plain_file(model, sound, alls))


# Sounds: a placed sound without a second text (empty, one NUL), one with a second
# text, the extra data of the first, and an indexed sound with an empty name.
def sounds():
    hum = chunk("SOUNDOB2", i32(1, 2, 3) + i32(*range(1, 8)) + b"hum\0" + b"\0" + b"\0" * 3)
    loop = chunk("SOUNDOB2", i32(-4, 5, -6) + i32(*range(11, 18)) + b"buzz\0" + b"loop\0" + b"\0" * 2)
    extra = chunk("SOUNDEXD", chunk("SOUNDNAM", padded("hum")) + chunk("ALTLOCAT", i32(0, 0, 0)))
    indexed = chunk("INDSOUND", i32(1) + padded("") + i32(0, 0, 0, 0, 0) + i32(0))
    write("sound_placed.rif", plain_file(hum, loop, extra, indexed))


# Bitmap names: a file list of two entries, its version and extension, a digest,
# a shape's list, an empty file list and an image substitution.
def bitmap_names():
    entries = (i32(0x10C, 0) + u32(0xABC << 20 | 0x12345) + i32(6, 64 | 32 << 16) + padded("wall") +
               i32(0x10C, 3) + u32(0x00200) + i32(6, 256 | 128 << 16) + padded("floor1.bmp"))
    names = chunk("BMPNAMES", u32(2) + entries)
    version = chunk("BMNAMVER", i32(4))
    extension = chunk("BMNAMEXT", i32(0x81) + bytes(range(48)))
    digest = chunk("BMPMD5ID", i32(0, 1) + u32(0x12345) + bytes(range(100, 116)) + cstrings(40, "wall", "", ""))
    shape = chunk("SHBMPNAM", u32(1) + i32(0x10C, 1) + u32(0) + i32(6, 0) + padded("a") +
                  cstrings(0, "shape", "obj") + i32(2, 7) + bytes(48))
    empty = chunk("BMPLSTST", u32(0))
    replacement = i32(1, 0, 0, 0) + cstrings(16, "new", "", "")
    source = i32(1, 0, 0, 0) + cstrings(16, "old", "a", "b")
    match = chunk("MATCHIMG", i32(1, 2, 3, 1) + i32(4, 5, 6) + replacement + source)
    write("bitmap_name_lists.rif", plain_file(names, version, extension, digest, shape, empty, match))


# Shape extras: a triangle shape with a morph set (one sub-shape, two frames), a
# two-frame vertex animation, fragments, alternative textures and small records.
def shape_extras():
    points = chunk("SHPRAWVT", i32(0, 0, 0, 100, 0, 0, 0, 100, 0))
    moved = chunk("SHPRAWVT", i32(0, 0, 10, 100, 0, 10, 0, 100, 10))
    polygon = chunk("SHPPOLYS", i32(1, 0, 0, 0) + i32(0, 1, 2, -1, -1))
    normal = chunk("SHPPNORM", f32(0, 0, 1))
    header = chunk("SHPHEAD1", i32(0) + b"tri".ljust(16, b"\0") + i32(5, 3, 1) + f32(100.0) +
                   i32(100, 0, 100, 0, 0, 0) + i32(2, 0))
    sub = chunk("SUBSHAPE", chunk("SUBSHPHD", i32(0, 1, 3, 1) + f32(100.0) + i32(100, 0, 100, 0, 10, 10)) + moved +
                chunk("SHPFNAME", padded("morph1.rif")))
    morph = chunk("SHPMORPH", sub + chunk("FRMMORPH", i32(5, 6, 2) + i32(-1, 1, 100) + i32(1, -1, 200)))
    frame0 = chunk("ANIMFRAM", chunk("ANIFRADT", i32(0, 0, 1, 2, 3) + b"f0\0" + b"\0" * 5) + points + normal)
    frame1 = chunk("ANIMFRAM", chunk("ANIFRADT", i32(1, 0, 0, 0, 0) + b"\0" * 4) + moved + normal)
    anim = chunk("ANIMSEQU", chunk("ANISEQDT", i32(0, 1, 2, 3, 4) + b"wave\0" + b"\0" * 3) + frame0 + frame1)
    frags = chunk("SHPFRAGS", chunk("FRAGDATA", i32(1, 2, 3, 4)) + chunk("FRAGLOCN", i32(*range(1, 8))) +
                  chunk("SHPFRGTP", padded("shard") + i32(8, 9)))
    alt = chunk("ASALTTEX", b"")
    centre = chunk("ANSHCEN2", i32(1, 2, 3, 4, 5))
    pcinfo = chunk("SHPPCINF", i32(7, 1, 1, 2, 3))
    props = chunk("SHPPRPRO", i32(3, 2) + u32(0xFFFF0001) + i32(5, 6) + i32(1, 9))
    contype = chunk("CONSTYPE", i32(3))
    shape = chunk("VQNSHAPE", header + points + polygon + normal + morph + anim + frags + alt + centre + pcinfo +
                  props + contype)
    write("shape_extra_morph_anim.rif", plain_file(shape))


if __name__ == "__main__":
    os.makedirs(OUT, exist_ok=True)
    hierarchy()
    sequences()
    sounds()
    bitmap_names()
    shape_extras()
