#!/usr/bin/env bash
# Where the bytes of the shipped 32-bit stub go.
#
# Builds the stub with the win32 preset's settings in a build folder of its
# own, with the linker writing a map beside it, and prints a table of the
# bytes of setup.exe by part (each of the project's folders, zlib's inflate,
# the C/C++ run-time, imports, resources, relocations, headers and padding)
# and by section. The map does not change the program: its setup.exe has the
# size of build/win32/bin/setup.exe.
#
#   scripts/stub-size.sh                    build/win32-map, the shipped settings
#   scripts/stub-size.sh DIR [CMAKE_ARGS]   another folder, with settings to try,
#                                           e.g. build/try-lto -DCMAKE_CXX_FLAGS=-flto
#   scripts/stub-size.sh --map EXE MAP      only the tables, of a program and its map
#
# SAVER_BUILD_ROOT (default: build) is where the default folder goes;
# SAVER_STUB_LDFLAGS adds linker flags to try (e.g. -Wl,--disable-reloc-section;
# a change relinks only). SAVER_STUB_OBJECTS=N also lists the N largest
# object files.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

if [ "${1:-}" = --map ]; then
  exe=${2:?--map EXE MAP}
  map=${3:?--map EXE MAP}
else
  dir=${1:-${SAVER_BUILD_ROOT:-build}/win32-map}
  shift $(($# > 0 ? 1 : 0))
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  map=$dir/setup.map
  # The flag goes to every program of the build; only the stub is built.
  cmake --preset win32 -B "$dir" -DCMAKE_EXE_LINKER_FLAGS="-Wl,-Map=$map ${SAVER_STUB_LDFLAGS:-}" "$@" >"$dir/configure.log" ||
    { cat "$dir/configure.log" >&2; exit 1; }
  # The map is written only by a link: make sure there is one.
  rm -f "$map" "$dir/bin/setup.exe"
  cmake --build "$dir" --target setup >"$dir/build.log" || { tail -n 30 "$dir/build.log" >&2; exit 1; }
  exe=$dir/bin/setup.exe
fi
[ -f "$exe" ] && [ -f "$map" ] || { echo "stub-size: $exe or $map is missing" >&2; exit 1; }

python3 - "$exe" "$map" "${SAVER_STUB_OBJECTS:-0}" <<'EOF'
import re, struct, sys

exe_path, map_path, top_objects = sys.argv[1], sys.argv[2], int(sys.argv[3])
data = open(exe_path, 'rb').read()

# --- the program's sections, as the file holds them ---------------------------
pe = struct.unpack_from('<I', data, 0x3C)[0]
nsec, optsize = struct.unpack_from('<H12xH', data, pe + 6)
opt = pe + 24
headers = struct.unpack_from('<I', data, opt + 60)[0]
sections = []  # (name, virtual size, raw size)
for i in range(nsec):
    h = pe + 24 + optsize + 40 * i
    name = data[h:h + 8].rstrip(b'\0').decode()
    vsize, _va, raw, _ptr = struct.unpack_from('<IIII', data, h + 8)
    sections.append((name, vsize, raw))
# Bytes behind the last section (a package, a signature) are not the stub's.
image_end = max([headers] + [struct.unpack_from('<I', data, pe + 24 + optsize + 40 * i + 20)[0] + s[2]
                             for i, s in enumerate(sections)])

# --- the map: input sections by output section ----------------------------------
PARTS = [
    ('zlib inflate', lambda f: 'zlib' in f or f.endswith('libz.a')),
    ('framework/', lambda f: 'libframework.a' in f),
    ('script/', lambda f: 'libscript.a' in f),
    ('objects/', lambda f: 'libobjects.a' in f),
    ('registry/', lambda f: 'libregistry.a' in f),
    ('sysutil/', lambda f: 'libsysutil.a' in f),
    ('shell/', lambda f: 'libshell.a' in f or 'libcommandline.a' in f or 'setup.dir' in f),
]
# Members of import libraries: a head, a tail and one per imported function
# (its table entries and the jump thunk the code calls).
LTO = 'project code and zlib (LTO: not told apart)'
IMPORT_MEMBER = re.compile(r'\.a\(\w+?(?:s\d+|[th])\.o\)$')

def part_of(out_sec, in_sec, f):
    if out_sec == '.rsrc':
        return 'resources'
    if out_sec == '.reloc':
        return 'relocations'
    if out_sec == '.idata' or in_sec.startswith('.idata'):
        return 'imports (tables and thunks)'
    if IMPORT_MEMBER.search(f):
        return 'imports (tables and thunks)'
    if not f:
        return 'headers and padding'
    if '.ltrans' in f:
        return LTO
    for name, test in PARTS:
        if test(f):
            return name
    return 'C/C++ run-time (libgcc, libstdc++, mingw-w64)'

kept = {s[0] for s in sections}
contrib = {}  # (part, output section) -> bytes
by_object = {}  # object file -> bytes in the program's sections
text = open(map_path, encoding='utf-8', errors='replace').read()
body = text[text.find('Linker script and memory map'):]
out_sec = None
pending = None  # an input section name whose address and size follow on the next line
HEX = r'0x[0-9a-fA-F]+'
for line in body.splitlines():
    m = re.match(r'^(\.[^\s]+)(?:\s+(' + HEX + r')\s+(' + HEX + r'))?', line)
    if m:
        # A section's name in the program holds at most 8 characters.
        out_sec = m.group(1)[:8]
        pending = None
        continue
    if out_sec not in kept:
        continue
    m = re.match(r'^ (\S+)\s+(' + HEX + r')\s+(' + HEX + r')\s*(.*)$', line)
    if m:
        name, size, f = m.group(1), int(m.group(3), 16), m.group(4).strip()
    elif pending is not None and re.match(r'^\s+' + HEX + r'\s+' + HEX, line):
        m = re.match(r'^\s+(' + HEX + r')\s+(' + HEX + r')\s*(.*)$', line)
        name, size, f = pending, int(m.group(2), 16), m.group(3).strip()
    else:
        m = re.match(r'^ (\.\S+|COMMON)\s*$', line)
        pending = m.group(1) if m else None
        continue
    pending = None
    if name == '*fill*':
        f = ''
    key = (part_of(out_sec, name, f), out_sec)
    contrib[key] = contrib.get(key, 0) + size
    if f and out_sec != '.reloc':
        short = re.sub(r'^.*/', '', f)
        by_object[short] = by_object.get(short, 0) + size

# Whatever a section's raw size holds beyond its input sections is padding
# (file alignment, fill); so is the header block.
rows = {}
by_section = {}
for name, vsize, raw in sections:
    used = 0
    for (part, sec), n in contrib.items():
        if sec == name:
            take = min(n, raw - used)
            if take > 0:
                rows[part] = rows.get(part, 0) + take
                by_section.setdefault(name, {})[part] = take
                used += take
    if raw > used:
        rows['headers and padding'] = rows.get('headers and padding', 0) + raw - used
rows['headers and padding'] = rows.get('headers and padding', 0) + headers

total = sum(rows.values())
order = ['zlib inflate'] + [p for p, _ in PARTS[1:]] + ([LTO] if LTO in rows else []) + [
    'C/C++ run-time (libgcc, libstdc++, mingw-w64)', 'imports (tables and thunks)', 'resources',
    'relocations', 'headers and padding']

print(f'{exe_path}: {len(data):,} bytes' + (f' ({image_end:,} of them the program)' if image_end != len(data) else ''))
print()
print(f'| {"part":46} | {"bytes":>7} | {"share":>6} |')
print(f'|{"-" * 48}|{"-" * 8}:|{"-" * 7}:|')
for p in order:
    n = rows.get(p, 0)
    print(f'| {p:46} | {n:>7,} | {100.0 * n / total:5.1f}% |')
print(f'| {"total":46} | {total:>7,} | 100.0% |')
if total != image_end:
    print(f'(the table adds up to {total:,} bytes, the program is {image_end:,}: the map is not of this program)',
          file=sys.stderr)
    sys.exit(1)
print()
print(f'| {"section":8} | {"raw bytes":>9} | {"in use":>7} | largest parts |')
print(f'|{"-" * 10}|{"-" * 10}:|{"-" * 8}:|{"-" * 15}|')
for name, vsize, raw in sections:
    if raw == 0:
        continue
    parts = sorted(by_section.get(name, {}).items(), key=lambda kv: -kv[1])[:3]
    desc = ', '.join(f'{p} {n:,}' for p, n in parts)
    print(f'| {name:8} | {raw:>9,} | {min(vsize, raw):>7,} | {desc} |')
if top_objects:
    print()
    print(f'| {"object file":60} | {"bytes":>7} |')
    print(f'|{"-" * 62}|{"-" * 8}:|')
    for f, n in sorted(by_object.items(), key=lambda kv: -kv[1])[:top_objects]:
        print(f'| {f:60} | {n:>7,} |')
EOF
