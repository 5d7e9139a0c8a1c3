#!/usr/bin/env python3
"""Fails when a source file or a CMake target uses a part it may not use.

The program is built of parts. A part is a folder, or some files of a folder
that build a target of their own (the log file's format in logging/). Each
part sits on a rank and names the parts it may use; it may also use whatever
those may use, and so on down. A file may include headers of its own part and
of the parts it may use, and a part's CMake targets may link only the targets
of those parts. Every target a folder builds must belong to a part, and its
sources must be that part's files. tests/ and bench/ sit on top and may use
anything.

The table below is the map: docs/ARCHITECTURE.md quotes it between the lines
"<!-- parts -->" and "<!-- /parts -->", and this check fails when the quote
differs.

    scripts/check-layers.py [source root]    check
    scripts/check-layers.py --table          print the table for the document

Prints every offending line and exits 1, or prints a one-line summary and
exits 0.
"""
import pathlib
import re
import sys


class Part:
    def __init__(self, name, rank, folder, targets, uses, files=()):
        self.name = name
        self.rank = rank
        self.folder = folder
        self.targets = targets
        self.uses = uses
        # File names without their extension; none means the rest of the folder.
        self.files = files


# Lowest first. A new folder of sources, or a new target, must be given its
# part here first.
PARTS = [
    Part("decode", 0, "decode", ["quarn_decode"], []),
    Part("link", 1, "link", ["quarn_link", "quarn_serial"], ["decode"]),
    Part("logformat", 1, "logging", ["quarn_logformat"], ["decode"],
         files=["LogFormat", "LogExport", "LogSidecar", "ExportFormats", "RecordTimes",
                "TravelExport", "TravelWriters"]),
    Part("vehiclefile", 1, "settings", ["quarn_vehiclefile"], ["decode"],
         files=["VehicleFile", "VehicleLimitKeys"]),
    Part("monitor", 2, "monitor", ["quarn_monitor"], ["link"]),
    Part("widgets", 2, "widgets", ["quarn_widgets"], ["decode"]),
    Part("logging", 3, "logging", ["quarn_logging", "quarn_logging_ui"],
         ["logformat", "monitor", "widgets"]),
    Part("diagnostics", 3, "diagnostics", ["quarn_diagnostics", "quarn_diagnostics_ui"],
         ["link", "widgets"]),
    Part("settings", 3, "settings", ["quarn_settings", "quarn_settings_ui"],
         ["vehiclefile", "link", "widgets"]),
    Part("scope", 3, "scope", ["quarn_scope"], ["monitor", "widgets"]),
    Part("about", 3, "about", ["quarn_about"], ["widgets"]),
    Part("dyno", 3, "dyno", ["quarn_dyno", "quarn_dyno_ui"], ["widgets"]),
    Part("analysis", 3, "analysis", ["quarn_analysis"], []),
    Part("fuel", 3, "fuel", ["quarn_fuel"], ["decode"]),
    Part("report", 3.5, "report", ["quarn_report", "quarn_report_ui"], ["logformat", "dyno"]),
    Part("sim", 4, "sim", ["quarn_sim", "quarn-boxsim"], ["logformat"]),
    Part("tools", 5, "tools", ["quarn-log"], ["viewer", "vehiclefile", "fuel"]),
    Part("viewer", 4, "viewer", ["quarn_viewer", "quarn_viewer_ui"],
         ["logformat", "dyno", "analysis", "report", "fuel"]),
    Part("app", 5, "app", ["quarn_app", "quarn-dash"],
         ["logging", "diagnostics", "settings", "scope", "about", "viewer"]),
]
BY_NAME = {p.name: p for p in PARTS}
FOLDERS = {p.folder for p in PARTS}
# Folders that are not part of the program.
OUTSIDE = {"tests", "bench", "docs", "scripts", "cmake"}
# Targets any part may link: the include path.
SHARED_TARGETS = {"quarn_headers"}
DOCUMENT = "docs/ARCHITECTURE.md"
QUOTE_START, QUOTE_END = "<!-- parts -->", "<!-- /parts -->"

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
ADD_TARGET = re.compile(r"add_(?:library|executable)\(\s*([\w-]+)([^)]*)\)", re.S)
LINK = re.compile(r"target_link_libraries\(\s*([\w-]+)([^)]*)\)", re.S)
KEYWORDS = {"STATIC", "SHARED", "OBJECT", "INTERFACE", "EXCLUDE_FROM_ALL", "MODULE"}


def part_of(path):
    """The part a path ("logging/LogFormat.h") belongs to, or None outside the program."""
    folder, _, name = path.partition("/")
    if folder not in FOLDERS:
        return None
    stem = pathlib.PurePosixPath(name).name.split(".", 1)[0]
    for p in PARTS:
        if p.folder == folder and stem in p.files:
            return p
    for p in PARTS:
        if p.folder == folder and not p.files:
            return p
    return None


def reach(part):
    """The names of the parts `part` may use, its own included."""
    seen = {part.name}
    todo = list(part.uses)
    while todo:
        name = todo.pop()
        if name not in seen:
            seen.add(name)
            todo.extend(BY_NAME[name].uses)
    return seen


def table_problems():
    problems = []
    names = [p.name for p in PARTS]
    if len(set(names)) != len(names):
        problems.append("two parts share a name")
    for p in PARTS:
        for used in p.uses:
            if used not in BY_NAME:
                problems.append(f"part {p.name} uses {used}, which is no part")
            elif BY_NAME[used].rank >= p.rank:
                problems.append(f"part {p.name} (rank {p.rank}) uses {used} "
                                f"(rank {BY_NAME[used].rank}): a part uses lower ranks only")
    for folder in FOLDERS:
        if sum(1 for p in PARTS if p.folder == folder and not p.files) != 1:
            problems.append(f"{folder}/ needs exactly one part for the files no other part names")
    return problems


def markdown_table():
    lines = ["| Rank | Part | Files | Targets | May use (and what those may use) |",
             "|---|---|---|---|---|"]
    for p in PARTS:
        if p.files:
            files = ", ".join(f"`{p.folder}/{f}.*`" for f in p.files)
        elif any(q.folder == p.folder and q.files for q in PARTS):
            files = f"the rest of `{p.folder}/`"
        else:
            files = f"`{p.folder}/`"
        targets = ", ".join(f"`{t}`" for t in p.targets)
        uses = ", ".join(p.uses) if p.uses else "—"
        lines.append(f"| {p.rank} | {p.name} | {files} | {targets} | {uses} |")
    return "\n".join(lines)


def document_problems(root):
    path = root / DOCUMENT
    if not path.exists():
        return []
    text = path.read_text()
    start, end = text.find(QUOTE_START), text.find(QUOTE_END)
    if start < 0 or end < start:
        return [f"{DOCUMENT}: no table of parts between {QUOTE_START} and {QUOTE_END}"]
    if text[start + len(QUOTE_START):end].strip() != markdown_table():
        return [f"{DOCUMENT}: its table of parts differs from the one in scripts/check-layers.py; "
                "paste the output of scripts/check-layers.py --table"]
    return []


def sources(cmake_text):
    """Each target a CMakeLists.txt builds, with its source files."""
    found = {}
    for target, rest in ADD_TARGET.findall(cmake_text):
        rest = re.sub(r"#[^\n]*", "", rest)
        found[target] = [w for w in rest.split() if w not in KEYWORDS and "." in w]
    return found


def main():
    args = [a for a in sys.argv[1:] if a != "--table"]
    if "--table" in sys.argv[1:]:
        print(markdown_table())
        return 0
    root = pathlib.Path(args[0] if args else pathlib.Path(__file__).parent.parent)
    problems = table_problems()
    folders = sorted(
        p.name for p in root.iterdir()
        if p.is_dir() and not p.name.startswith((".", "build")) and p.name not in OUTSIDE
        and any(p.glob("*.cpp")) | any(p.glob("*.h")))
    for name in folders:
        if name not in FOLDERS:
            problems.append(f"{name}/: a folder of sources without a part; add it to PARTS in {__file__}")
    problems += document_problems(root)
    if problems:
        print("\n".join(problems))
        return 1

    includes = 0
    for folder in folders:
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            relative = path.relative_to(root).as_posix()
            user = part_of(relative)
            allowed = reach(user)
            for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
                m = INCLUDE.match(line)
                if not m or "/" not in m.group(1):
                    continue
                includes += 1
                used = part_of(m.group(1))
                if used is not None and used.name not in allowed:
                    problems.append(f"{relative}:{number}: {user.name} includes {m.group(1)} "
                                    f"from {used.name}")

    # Which part each of the program's targets belongs to, and what it is built of.
    owner = {t: p for p in PARTS for t in p.targets}
    built = {}
    for folder in folders:
        cmake = root / folder / "CMakeLists.txt"
        if not cmake.exists():
            continue
        for target, files in sources(cmake.read_text()).items():
            built[target] = folder
            part = owner.get(target)
            if part is None or part.folder != folder:
                problems.append(f"{folder}/CMakeLists.txt: {target} belongs to no part of {folder}/; "
                                f"add it to PARTS in {__file__}")
                continue
            for name in files:
                if part_of(f"{folder}/{name}") is not part:
                    problems.append(f"{folder}/CMakeLists.txt: {target} ({part.name}) builds "
                                    f"{folder}/{name}, a file of {part_of(f'{folder}/{name}').name}")
    for target, part in owner.items():
        if target not in built:
            problems.append(f"{part.folder}/CMakeLists.txt: builds no {target}, "
                            f"which PARTS gives to {part.name}")

    links = 0
    for folder in folders:
        cmake = root / folder / "CMakeLists.txt"
        if not cmake.exists():
            continue
        for target, rest in LINK.findall(cmake.read_text()):
            user = owner.get(target)
            if user is None:
                continue  # reported above
            allowed = reach(user)
            for used_target in re.findall(r"quarn[_-][\w-]+", rest):
                links += 1
                used = owner.get(used_target)
                if used is None:
                    if used_target not in SHARED_TARGETS:
                        problems.append(f"{folder}/CMakeLists.txt: {target} links {used_target}, "
                                        "which no part of the program builds")
                elif used.name not in allowed:
                    problems.append(f"{folder}/CMakeLists.txt: {target} ({user.name}) links "
                                    f"{used_target} from {used.name}")

    if problems:
        print("Layer rule broken (a part may use only itself and the parts its table row names,"
              " and what those may use):")
        print("\n".join(problems))
        return 1
    print(f"layers: {includes} includes and {links} target links in {len(PARTS)} parts "
          f"({len(folders)} folders) use only what they may")
    return 0


if __name__ == "__main__":
    sys.exit(main())
