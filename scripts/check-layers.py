#!/usr/bin/env python3
"""Fails when a source file or a CMake target reaches up or sideways.

The program is built in layers, one or more per folder. A file may include
headers of its own folder and of lower layers only, and a folder's CMake
targets may link only its own folder's targets and those of lower layers.
Folders on the same layer stay apart. tests/ and bench/ sit on top and may use
anything.

    scripts/check-layers.py [source root]

Prints every offending line and exits 1, or prints a one-line summary and
exits 0.
"""
import pathlib
import re
import sys

# Lowest first. A new folder of sources must be given its place here.
LAYERS = {
    "decode": 0,
    "link": 1,
    "monitor": 2,
    "widgets": 2,
    "logging": 3,
    "diagnostics": 3,
    "settings": 3,
    "scope": 3,
    "about": 3,
    "dyno": 3,
    "fuel": 3,
    "sim": 4,
    "tools": 4,
    "viewer": 4,
    "app": 5,
}
# Folders that are not part of the program's layers.
OUTSIDE = {"tests", "bench", "docs", "scripts", "cmake"}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
ADD_LIBRARY = re.compile(r"add_library\(\s*(quarn_\w+)")
LINK = re.compile(r"target_link_libraries\(\s*([\w-]+)([^)]*)\)", re.S)


def may_use(user, used):
    return used == user or LAYERS[used] < LAYERS[user]


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent)
    problems = []
    folders = sorted(
        p.name for p in root.iterdir()
        if p.is_dir() and not p.name.startswith((".", "build")) and p.name not in OUTSIDE
        and any(p.glob("*.cpp")) | any(p.glob("*.h")))
    for name in folders:
        if name not in LAYERS:
            problems.append(f"{name}/: a folder of sources without a layer; add it to LAYERS in {__file__}")
    if problems:
        print("\n".join(problems))
        return 1

    includes = 0
    for folder in folders:
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
                m = INCLUDE.match(line)
                if not m or "/" not in m.group(1):
                    continue
                includes += 1
                used = m.group(1).split("/", 1)[0]
                if used in LAYERS and not may_use(folder, used):
                    problems.append(f"{path.relative_to(root)}:{number}: {folder}/ includes {m.group(1)}")

    # Which folder each of the program's library targets belongs to.
    owner = {}
    for folder in folders:
        cmake = root / folder / "CMakeLists.txt"
        if cmake.exists():
            for target in ADD_LIBRARY.findall(cmake.read_text()):
                owner[target] = folder
    links = 0
    for folder in folders:
        cmake = root / folder / "CMakeLists.txt"
        if not cmake.exists():
            continue
        for target, rest in LINK.findall(cmake.read_text()):
            for used_target in re.findall(r"quarn_\w+", rest):
                links += 1
                used = owner.get(used_target)
                if used is None:
                    if used_target != "quarn_headers":
                        problems.append(f"{cmake.relative_to(root)}: {target} links {used_target}, "
                                        "which no folder of the program builds")
                elif not may_use(folder, used):
                    problems.append(f"{cmake.relative_to(root)}: {target} links {used_target} from {used}/")

    if problems:
        print("Layer rule broken (a folder may use only its own and lower layers):")
        print("\n".join(problems))
        return 1
    print(f"layers: {includes} includes and {links} target links in {len(folders)} folders point down")
    return 0


if __name__ == "__main__":
    sys.exit(main())
