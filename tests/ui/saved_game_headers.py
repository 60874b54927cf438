#!/usr/bin/env python3
"""Writes the saved-game head fixtures: good heads and damaged ones."""
import pathlib
import struct
import sys


def counted(text: bytes) -> bytes:
    return struct.pack('<I', len(text)) + text


def heads():
    script = counted(b'level05.dbf\0')
    command = counted(b'level05.cmd\0')
    return {
        'full.sav': script + command + struct.pack('<I', 0) + b'rest of the game',
        'quicksave.sav': counted(b'training_level.dbf\0') + counted(b'training.cmd\0') + struct.pack('<I', 0),
        'levelstart.sav': script + command + struct.pack('<I', 1),
        'tiny.sav': b'\x05\x00\x00',
        'second_past_end.sav': script + struct.pack('<I', 200) + b'short\0',
        'huge.sav': struct.pack('<I', 0xFFFFFFF0) + b'x\0',
        'no_nul.sav': counted(b'level05.dbf!') + command + struct.pack('<I', 0),
        'no_flag.sav': script + command + b'\x01\x00',
        'empty_name.sav': struct.pack('<I', 0) + command + struct.pack('<I', 0),
    }


def main():
    # "--check DIR": the stored fixtures are byte for byte what this writes.
    if sys.argv[1] == '--check':
        folder = pathlib.Path(sys.argv[2])
        wrong = [name for name, data in heads().items()
                 if not (folder / name).is_file() or (folder / name).read_bytes() != data]
        for name in wrong:
            print(f'{folder / name}: differs from its layout here', file=sys.stderr)
        return 1 if wrong else 0
    out = pathlib.Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    for name, data in heads().items():
        (out / name).write_bytes(data)
    return 0


if __name__ == '__main__':
    sys.exit(main())
