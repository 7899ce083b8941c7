#!/usr/bin/python3
"""Checks the module layers of src/ against src/modules.txt.

  tools/check_layers.py [ROOT]

Fails (exit code 1, one line per fault) when
  - a file includes a header of a module that its own module does not list as used: one above
    it in the table, or a sibling it does not declare;
  - the table lists a module before one it uses, or names a folder that does not exist, or a
    folder under src/ with sources is missing from it;
  - a portable file (one not named *_posix.cpp, *_linux.cpp or *_win32.cpp) includes a
    platform or third-party header, or a *_posix.cpp file includes a Linux-only one.
Prints "layers: N files in M modules, no fault" otherwise.
"""

import os
import re
import sys

ROOT = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                       os.path.join(os.path.dirname(__file__), ".."))
SRC = os.path.join(ROOT, "src")
TABLE = os.path.join(SRC, "modules.txt")

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')

WINDOWS_HEADERS = {"windows.h", "winsock2.h", "ws2tcpip.h", "iphlpapi.h", "netioapi.h",
                   "winhttp.h", "shlwapi.h", "objidl.h", "xmllite.h", "conio.h", "io.h"}
POSIX_HEADERS = {"unistd.h", "poll.h", "fcntl.h", "termios.h", "signal.h", "pty.h", "dirent.h",
                 "time.h"}
POSIX_PREFIXES = ("sys/", "arpa/", "netinet/", "net/")
LINUX_PREFIXES = ("linux/", "libmnl/")
LIBRARY_PREFIXES = ("curl/", "libxml/")


def read_table():
    modules = []
    uses = {}
    faults = []
    with open(TABLE, encoding="utf-8") as table:
        for number, line in enumerate(table, 1):
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            fields = line.split()
            module, used = fields[0], fields[1:]
            for u in used:
                if u not in uses:
                    faults.append("src/modules.txt:%d: %s uses %s, which is not listed above it"
                                  % (number, module, u))
            if module in uses:
                faults.append("src/modules.txt:%d: %s is listed twice" % (number, module))
            if not os.path.isdir(os.path.join(SRC, module)):
                faults.append("src/modules.txt:%d: there is no folder src/%s" % (number, module))
            modules.append(module)
            uses[module] = set(used)
    return modules, uses, faults


def module_of(path, modules):
    """The module a path under src/ (or an include path) belongs to: its longest folder match."""
    folder = os.path.dirname(path)
    best = None
    for m in modules:
        if folder == m or folder.startswith(m + "/"):
            if best is None or len(m) > len(best):
                best = m
    return best if best is not None and folder == best else None


def platform_fault(name, header):
    base = os.path.basename(name)
    windows_file = base.endswith("_win32.cpp")
    linux_file = base.endswith("_linux.cpp")
    posix_file = base.endswith("_posix.cpp") or linux_file
    if header in WINDOWS_HEADERS:
        return None if windows_file else "a Windows header in a file not named *_win32.cpp"
    if header.startswith(LINUX_PREFIXES):
        return None if linux_file else "a Linux-only header in a file not named *_linux.cpp"
    if header in POSIX_HEADERS or header.startswith(POSIX_PREFIXES):
        return None if posix_file else "a POSIX header in a portable file"
    if header.startswith(LIBRARY_PREFIXES):
        return None if (posix_file or windows_file) else "a library header in a portable file"
    return None


def closure(module, uses):
    """Every module that `module` builds on, directly or through others."""
    seen = set()
    todo = list(uses.get(module, ()))
    while todo:
        m = todo.pop()
        if m not in seen:
            seen.add(m)
            todo.extend(uses.get(m, ()))
    return seen


def main():
    modules, uses, faults = read_table()
    files = 0
    for folder, _, names in os.walk(SRC):
        for name in sorted(names):
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.relpath(os.path.join(folder, name), SRC)
            own = module_of(path, modules)
            if own is None:
                faults.append("src/%s: its folder is no module of src/modules.txt" % path)
                continue
            files += 1
            with open(os.path.join(SRC, path), encoding="utf-8") as source:
                for number, line in enumerate(source, 1):
                    found = INCLUDE.match(line)
                    if not found:
                        continue
                    kind, header = found.groups()
                    where = "src/%s:%d: %s" % (path, number, header)
                    if kind == "<":
                        problem = platform_fault(name, header)
                        if problem:
                            faults.append("%s: %s" % (where, problem))
                        continue
                    target = module_of(header, modules)
                    if target is None:
                        faults.append("%s: not a header of any module" % where)
                    elif target != own and target not in uses[own]:
                        above = own in closure(target, uses)
                        faults.append("%s: %s %s, which %s does not use" % (
                            where, "reaches up to" if above else "reaches sideways to", target,
                            own))
    for fault in faults:
        print(fault)
    if faults:
        print("layers: %d fault%s" % (len(faults), "" if len(faults) == 1 else "s"))
        return 1
    print("layers: %d files in %d modules, no fault" % (files, len(modules)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
