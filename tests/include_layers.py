"""Every #include of the program runs one way: a room includes only itself and
the rooms below it. Lower rooms never see the windows or the program that sit
on top of them, so the analysis core builds and runs headless."""

import pathlib
import re
import sys

# Rooms from the bottom up; rooms on one level may include each other.
LEVELS = [
    {"platform"},
    {"base"},
    {"camera", "video", "cluster", "model", "measure", "stream"},
    {"loop", "session"},
    {"display", "gui"},
    {"app"},
]
LEVEL = {room: i for i, rooms in enumerate(LEVELS) for room in rooms}
# Within the core and the window side, the direction between rooms is fixed too.
# Measurements read the model; the model, clustering and the camera never
# learn what is measured over them. The camera sources feed frames in and
# know nothing of what is done with them. The stream sends what was measured
# and is itself known to no room of the core.
FORBIDDEN = {("cluster", "model"), ("camera", "model"), ("display", "gui"),
             ("model", "measure"), ("cluster", "measure"), ("camera", "measure"),
             ("camera", "video"), ("video", "cluster"), ("video", "model"), ("video", "measure"),
             ("stream", "video"), ("stream", "cluster"),
             ("camera", "stream"), ("video", "stream"), ("cluster", "stream"), ("model", "stream"),
             ("measure", "stream")}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/')


def violations(root):
    for room in LEVEL:
        for path in sorted((root / room).rglob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            for number, line in enumerate(path.read_text().splitlines(), 1):
                match = INCLUDE.match(line)
                if not match or match.group(1) not in LEVEL:
                    continue
                target = match.group(1)
                if LEVEL[target] > LEVEL[room] or (room, target) in FORBIDDEN:
                    yield f"{path.relative_to(root)}:{number}: {room}/ includes {target}/"


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    found = list(violations(root))
    for v in found:
        print(v)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
