#!/usr/bin/env python3
"""Checks which folder's code includes which (docs/architecture.md).

    python3 scripts/check_layers.py [ROOT]     # prints each violation, exit 1 on any
    python3 scripts/check_layers.py --self-test

Rules:
  - A folder may include its own headers and those of the folders below it:
        framework < sysutil < registry < objects < script < shell, packer
  - Two loops are part of the design and allowed upwards: objects/ includes
    script/ (objects call back into the installer), registry/ includes
    objects/ (it makes undo records).
  - packer/ never includes shell/, registry/ or sysutil/; shell/ and packer/
    never include each other. Only shell/ includes resources/.
  - Portable code (framework/, script/, objects/, packer/) names no Windows
    header: only files whose name ends in "_win" and framework/WinTypes.h do.
"""
import os
import re
import sys
import tempfile

# Folders bottom up; a folder may include any folder of a lower rank.
RANK = {"framework": 0, "sysutil": 1, "registry": 2, "objects": 3, "script": 4, "shell": 5, "packer": 5}
UPWARD = {("objects", "script"), ("registry", "objects")}
FORBIDDEN = {("packer", "shell"), ("packer", "registry"), ("packer", "sysutil"), ("shell", "packer"),
             ("packer", "resources")}
PORTABLE = {"framework", "script", "objects", "packer"}
TYPES_HEADER = "framework/WinTypes.h"
WINDOWS_HEADERS = {
    "windows.h", "windef.h", "winbase.h", "winnt.h", "winuser.h", "wingdi.h", "winreg.h", "winver.h",
    "winerror.h", "shlobj.h", "shellapi.h", "shlwapi.h", "shobjidl.h", "objbase.h", "objidl.h", "ole2.h",
    "unknwn.h", "commctrl.h", "commdlg.h", "tlhelp32.h", "psapi.h", "winsvc.h", "mmsystem.h",
}
SOURCE_SUFFIXES = (".cpp", ".h", ".hpp", ".c", ".inl")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def folder_of(root, path):
    """The top folder of a path relative to root ('' for files at the root)."""
    rel = os.path.relpath(path, root).replace(os.sep, "/")
    return rel.split("/", 1)[0] if "/" in rel else ""


def included_folder(root, source, name):
    """The project folder a quoted include names, or None for other headers."""
    if "/" in name:
        top = name.split("/", 1)[0]
        return top if top in RANK or top == "resources" else None
    # A bare name: next to the including file, else one of the resources.
    if os.path.exists(os.path.join(os.path.dirname(source), name)):
        return folder_of(root, source)
    if os.path.exists(os.path.join(root, "resources", name)):
        return "resources"
    return None


def rule_broken(src, dst):
    """Why folder src may not include folder dst, or None."""
    if src == dst:
        return None
    if (src, dst) in FORBIDDEN:
        return f"{src}/ never includes {dst}/"
    if dst == "resources":
        return None if src in ("shell", "resources") else "only shell/ includes resources/"
    if (src, dst) in UPWARD:
        return None
    if RANK[dst] >= RANK[src]:
        if src == "framework":
            return "framework/ includes nothing of the project"
        if src == "sysutil":
            return "sysutil/ includes only framework/"
        return f"{src}/ may not include {dst}/ (a layer above it, or beside it)"
    return None


def check_file(root, path):
    problems = []
    src = folder_of(root, path)
    rel = os.path.relpath(path, root).replace(os.sep, "/")
    stem = os.path.splitext(os.path.basename(path))[0]
    with open(path, encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            m = INCLUDE.match(line)
            if not m:
                continue
            bracket, name = m.groups()
            if bracket == "<":
                if (src in PORTABLE and name.lower() in WINDOWS_HEADERS and not stem.endswith("_win")
                        and rel != TYPES_HEADER):
                    problems.append(f"{rel}:{number}: <{name}> in portable code: only _win files and "
                                    f"{TYPES_HEADER} include Windows headers")
                continue
            dst = included_folder(root, path, name)
            if dst is None:
                continue
            why = rule_broken(src, dst)
            if why:
                problems.append(f"{rel}:{number}: includes \"{name}\": {why}")
    return problems


def check(root):
    problems = []
    for top in sorted(RANK) + ["resources"]:
        base = os.path.join(root, top)
        for dirpath, dirnames, filenames in os.walk(base):
            dirnames.sort()
            for name in sorted(filenames):
                if name.endswith(SOURCE_SUFFIXES):
                    problems.extend(check_file(root, os.path.join(dirpath, name)))
    return problems


def self_test():
    """The checker on a small tree with known faults."""
    files = {
        "framework/WinTypes.h": "#include <windows.h>\n",
        "framework/String.h": '#include "framework/WinTypes.h"\n#include <string.h>\n',
        "framework/Bad.cpp": '#include "script/Installer.h"\n',
        "sysutil/Log.cpp": '#include "framework/String.h"\n#include <windows.h>\n',
        "sysutil/Bad.cpp": '#include "objects/InstObj.h"\n',
        "objects/InstObj.cpp": '#include "script/Installer.h"\n#include "registry/Reg.h"\n',
        "objects/InstObj_win.cpp": "#include <shlobj.h>\n",
        "objects/Bad.cpp": "#  include <Windows.h>\n",
        "registry/Reg.cpp": '#include "objects/InstObj.h"\n#include "sysutil/Log.h"\n',
        "script/Installer.cpp": '#include "objects/InstObj.h"\n#include "registry/Reg.h"\n',
        "script/Bad.cpp": '#include "shell/Dialogs.h"\n',
        "packer/Bad.cpp": '#include "sysutil/Log.h"\n#include "script/Installer.h"\n',
        "shell/WinMain.cpp": '#include "resource.h"\n#include "script/Installer.h"\n#include <windows.h>\n',
        "shell/Bad.cpp": '#include "packer/Commands.h"\n',
        "resources/resource.h": "",
    }
    expected = {
        "framework/Bad.cpp:1", "sysutil/Bad.cpp:1", "objects/Bad.cpp:1", "script/Bad.cpp:1",
        "packer/Bad.cpp:1", "shell/Bad.cpp:1",
    }
    with tempfile.TemporaryDirectory() as root:
        for rel, text in files.items():
            path = os.path.join(root, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as f:
                f.write(text)
        found = {p.split(": ", 1)[0] for p in check(root)}
    if found != expected:
        print(f"check_layers self-test: expected {sorted(expected)}, found {sorted(found)}", file=sys.stderr)
        return 1
    print("check_layers self-test: ok")
    return 0


def main(argv):
    if argv[1:] == ["--self-test"]:
        return self_test()
    root = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    problems = check(os.path.abspath(root))
    for p in problems:
        print(p)
    if problems:
        print(f"check_layers: {len(problems)} include(s) break the layer rules of docs/architecture.md",
              file=sys.stderr)
        return 1
    print("check_layers: the includes follow the layer rules")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
