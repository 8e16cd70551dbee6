#!/usr/bin/env bash
# Runs the shipped 32-bit stub end to end under a 32-bit Wine.
#
# This machine's kernel runs no 32-bit Linux programs, so the 32-bit Wine
# lives in an i386 Debian (debootstrap) whose programs are run by a static
# qemu-i386 (qemu-user of bookworm-backports: Debian's own 7.2 is far too
# slow). qemu-i386 is registered as the handler of i386 programs in a
# binfmt_misc of our own, inside a user, mount and PID namespace: nothing on
# the host changes, and the host's 64-bit Wine is left alone.
#
# Steps: the environment (built once, then reused), the win32 and host
# builds (setup.exe and saverpack), a fresh win32 prefix, the sample saver
# installed silently and made the active one (`-s -a`: exit code 0, its files
# in place with the packed bytes, system.ini's SCRNSAVE.EXE and
# ScreenSaveActive), and one installation whose last step fails (its error
# code, and nothing it did is left: folders, files, an overwritten file,
# registry keys, a new and an overwritten value). Timings of each are
# printed. Measured here: the environment 5-20 minutes (0.9 GB, most of it
# the emulated package set-up), a run with it 40-65 s.
#
#   scripts/stub32-e2e.sh            the whole run
#   scripts/stub32-e2e.sh --prepare  only build (or check) the environment
#   scripts/stub32-e2e.sh --rebuild  build the environment anew, then run
#   scripts/stub32-e2e.sh --cached-only  run only with an environment built
#                                    before; without one, exit 77
#
# Exit codes: 0 every check passed; 1 a check failed or a step broke;
# 77 the environment cannot be built or entered here (no network, no user
# namespaces, no debootstrap): nothing was run, and nothing counts as passed.
#
# Environment:
#   SAVER_I386_WINE   the environment's folder (default
#                     /var/cache/saversetup/i386-wine as root,
#                     ~/.cache/saversetup/i386-wine otherwise)
#   SAVER_BUILD_ROOT  where the builds are (default: build)
#   SAVER_STUB        another stub to run instead of the win32 build's
#                     setup.exe (a trial build, say); the builds are then
#                     only made where they are missing
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
b=${SAVER_BUILD_ROOT:-build}

SKIP=77
SUITE=bookworm
# What the i386 Debian holds; a change here makes the environment anew.
INCLUDE=wine32,wine,libwine
ENV_KEY="$SUITE minbase $INCLUDE qemu-user/$SUITE-backports"

mode=run
case "${1:-}" in
  "") ;;
  --prepare) mode=prepare ;;
  --rebuild) mode=rebuild ;;
  --cached-only) mode=cached ;;
  -h | --help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
  *) echo "stub32-e2e: unknown option $1" >&2; exit 2 ;;
esac

if [ -n "${SAVER_I386_WINE:-}" ]; then
  envdir=$SAVER_I386_WINE
elif [ "$(id -u)" -eq 0 ]; then
  envdir=/var/cache/saversetup/i386-wine
else
  envdir=${HOME:?}/.cache/saversetup/i386-wine
fi
root=$envdir/root
qemu=$envdir/qemu-i386
stamp=$envdir/.saver-ready

say() { echo "stub32-e2e: $*"; }
skip() { echo "stub32-e2e: SKIPPED, nothing was run: $*" >&2; exit $SKIP; }
fail() { echo "stub32-e2e: FAILED: $*" >&2; exit 1; }
now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f s", b - a }'; }

timings=()
timing() { timings+=("$(printf '%-34s %s' "$1" "$2")"); say "$1: $2"; }

# --- namespace ---------------------------------------------------------------
# in_ns SCRIPT [ARGS...]: runs bash SCRIPT as root of a new user namespace
# (uids and gids 0-65535 mapped to the same ids outside when we are root, so
# that packages can own files as their users; only our own id otherwise),
# with its own mount and PID namespace, /proc and binfmt_misc. When $qemu
# exists it is registered there as the handler of i386 ELF programs; the F
# flag opens it now, so that it also serves programs inside the chroot.
in_ns() {
  local script=$1 fifo pid ok=0
  shift
  fifo=$(mktemp -u /tmp/stub32-e2e.XXXXXX)
  mkfifo "$fifo"
  # The child waits until its id maps are written.
  unshare --user --mount --pid --fork --propagation private \
    bash -c 'read -r _ <"$1"; shift; exec "$@"' _ "$fifo" bash -c '
      set -e
      mount -t proc proc /proc
      mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
      if [ -n "$SAVER_QEMU" ] && [ -x "$SAVER_QEMU" ]; then
        printf "%s" ":saver-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:$SAVER_QEMU:FP" \
          >/proc/sys/fs/binfmt_misc/register
      fi
      exec bash "$@"' _ "$script" "$@" &
  pid=$!
  for _ in $(seq 100); do
    if [ "$(readlink /proc/$pid/ns/user 2>/dev/null)" != "$(readlink /proc/self/ns/user)" ]; then ok=1; break; fi
    sleep 0.05
  done
  if [ $ok = 1 ]; then
    if [ "$(id -u)" -eq 0 ]; then
      echo "0 0 65536" >"/proc/$pid/uid_map" && echo "0 0 65536" >"/proc/$pid/gid_map" || ok=0
    else
      { echo deny >"/proc/$pid/setgroups" &&
        echo "0 $(id -u) 1" >"/proc/$pid/uid_map" &&
        echo "0 $(id -g) 1" >"/proc/$pid/gid_map"; } || ok=0
    fi
  fi
  echo go >"$fifo" 2>/dev/null || true
  rm -f "$fifo"
  local rc=0
  wait "$pid" || rc=$?
  [ $ok = 1 ] || return 125
  return $rc
}

# Can we make the namespaces, mount binfmt_misc there and register a handler?
check_namespaces() {
  command -v unshare >/dev/null || skip "unshare (util-linux) is missing"
  local probe rc=0
  probe=$(mktemp /tmp/stub32-e2e-probe.XXXXXX)
  echo 'test -f /proc/sys/fs/binfmt_misc/register' >"$probe"
  SAVER_QEMU="" in_ns "$probe" 2>/dev/null || rc=$?
  rm -f "$probe"
  [ $rc -eq 0 ] || skip "this kernel or user may not make a user namespace with its own binfmt_misc (needs Linux 6.7 or later and unprivileged user namespaces)"
}

# --- environment ---------------------------------------------------------------
debian_mirror() {
  local m=""
  if [ -r /etc/apt/sources.list.d/debian.sources ]; then
    m=$(awk '/^URIs:/ { print $2; exit }' /etc/apt/sources.list.d/debian.sources)
  fi
  if [ -z "$m" ] && [ -r /etc/apt/sources.list ]; then
    m=$(awk '$1 == "deb" && $0 !~ /security/ { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:/) { print $i; exit } }' /etc/apt/sources.list)
  fi
  echo "${m:-http://deb.debian.org/debian}"
}

# The static qemu-i386 of bookworm-backports, fetched with a throw-away apt
# configuration (its own sources, lists and cache): the machine's apt
# sources are left as they are.
fetch_qemu() {
  local mirror=$1 tmp opts deb
  tmp=$(mktemp -d /tmp/stub32-e2e-apt.XXXXXX)
  mkdir -p "$tmp/lists/partial" "$tmp/cache/archives/partial" "$tmp/parts" "$tmp/get" "$tmp/x"
  echo "deb $mirror $SUITE-backports main" >"$tmp/sources.list"
  opts=(-o "Dir::Etc::SourceList=$tmp/sources.list" -o "Dir::Etc::SourceParts=$tmp/parts"
        -o "Dir::State::Lists=$tmp/lists" -o "Dir::Cache=$tmp/cache"
        -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=" -o "APT::Sandbox::User=root")
  if ! apt-get "${opts[@]}" update -qq >"$tmp/log" 2>&1 ||
     ! (cd "$tmp/get" && apt-get "${opts[@]}" download -qq "qemu-user/$SUITE-backports") >>"$tmp/log" 2>&1; then
    sed 's/^/  /' "$tmp/log" >&2
    rm -rf "$tmp"
    skip "could not fetch qemu-user from $mirror $SUITE-backports (no network?)"
  fi
  deb=$(ls "$tmp"/get/qemu-user_*.deb | head -n 1)
  dpkg-deb -x "$deb" "$tmp/x"
  # Static: no program interpreter, so that it also runs inside the chroot.
  if [ ! -f "$tmp/x/usr/bin/qemu-i386" ] || readelf -l "$tmp/x/usr/bin/qemu-i386" | grep -q INTERP; then
    rm -rf "$tmp"
    fail "$(basename "$deb") holds no static qemu-i386"
  fi
  install -m 755 "$tmp/x/usr/bin/qemu-i386" "$qemu.new"
  mv "$qemu.new" "$qemu"
  say "qemu-i386 from $(basename "$deb")"
  rm -rf "$tmp"
}

build_env() {
  local t0 mirror log rc=0
  t0=$(now)
  command -v debootstrap >/dev/null || skip "debootstrap is missing (bash scripts/setup.sh installs it)"
  [ "$(id -u)" -eq 0 ] || skip "building the environment needs root (debootstrap); build it once as root with SAVER_I386_WINE naming a folder this user can read"
  check_namespaces
  mirror=$(debian_mirror)
  mkdir -p "$envdir"
  rm -f "$stamp"
  say "building the i386 Wine environment in $envdir (from $mirror; several minutes)"
  fetch_qemu "$mirror"

  # First stage on the host (downloads and unpacks), second stage inside
  # the chroot, its i386 programs run by qemu-i386.
  rm -rf "$root"
  mkdir -p "$root"
  log=$envdir/debootstrap.log
  if ! debootstrap --foreign --arch=i386 --variant=minbase --include="$INCLUDE" \
       "$SUITE" "$root" "$mirror" >"$log" 2>&1; then
    tail -n 20 "$log" >&2
    if grep -qi 'failed to download\|couldn.t download\|resolve\|connection' "$log"; then
      skip "debootstrap could not download from $mirror (no network?)"
    fi
    fail "debootstrap's first stage failed (log: $log)"
  fi
  local stage2
  stage2=$(mktemp /tmp/stub32-e2e-stage2.XXXXXX)
  cat >"$stage2" <<'EOF'
set -e
root=$1
mount --rbind /dev "$root/dev"
# A user namespace may not make device nodes; as in a container, the second
# stage then takes the bound /dev as it is.
container=lxc chroot "$root" /debootstrap/debootstrap --second-stage
EOF
  SAVER_QEMU=$qemu in_ns "$stage2" "$root" >>"$log" 2>&1 || rc=$?
  rm -f "$stage2"
  if [ $rc -ne 0 ]; then
    tail -n 20 "$log" >&2
    fail "debootstrap's second stage failed (exit $rc, log: $log)"
  fi
  mkdir -p "$root/e2e"
  rm -rf "$root/var/cache/apt/archives/"*.deb
  echo "$ENV_KEY" >"$stamp"
  env_time=$(elapsed "$t0")
  timing "environment built" "$env_time ($(du -sh "$root" | cut -f1))"
}

env_ready() {
  [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$ENV_KEY" ] && [ -x "$qemu" ] &&
    [ -x "$root/usr/lib/wine/wine" ] && [ -d "$root/e2e" ]
}

# One build at a time; a second run waits for the first one's environment.
mkdir -p "$envdir"
exec 8>"$envdir/.lock"
flock 8
if [ "$mode" = cached ] && ! env_ready; then
  skip "no environment in $envdir (scripts/stub32-e2e.sh --prepare builds it, 5 to 20 minutes)"
elif [ "$mode" = rebuild ] || ! env_ready; then
  build_env
else
  check_namespaces
  say "reusing the environment in $envdir"
fi
flock -u 8
[ "$mode" = prepare ] && exit 0

# --- builds ------------------------------------------------------------------
t0=$(now)
stub=${SAVER_STUB:-$b/win32/bin/setup.exe}
saver=$b/win32/bin/glimmer.scr
pack=$b/host/bin/saverpack
if [ -z "${SAVER_STUB:-}" ] || [ ! -f "$saver" ]; then
  if [ ! -f "$b/win32/build.ninja" ]; then
    cmake --preset win32 -B "$b/win32" >/dev/null
  fi
  cmake --build "$b/win32" --target setup example_glimmer >/dev/null
fi
if [ -z "${SAVER_STUB:-}" ] || [ ! -f "$pack" ]; then
  if [ ! -f "$b/host/build.ninja" ]; then
    cmake --preset host -B "$b/host" >/dev/null
  fi
  cmake --build "$b/host" --target saverpack >/dev/null
fi
for f in "$stub" "$saver" "$pack"; do [ -f "$f" ] || fail "$f was not built"; done
timing "builds (win32, saverpack)" "$(elapsed "$t0")"

# --- the installers ------------------------------------------------------------
# Everything the run writes is in one scratch folder, seen in the chroot as
# /e2e: the installers, HOME and the prefix.
work=$(mktemp -d /tmp/stub32-e2e-run.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/good" "$work/bad" "$work/home"

# The sample saver, packed as the demo packs it.
cp examples/glimmer/glimmer.json examples/saver/readme.txt "$saver" "$work/good/"
"$pack" build "$work/good/glimmer.json" --stub "$stub" -o "$work/glimmer-setup.exe" >/dev/null

# An installation whose last step cannot succeed: a link into a folder that
# does not exist (24). Before it the script creates folders, writes a new file
# and overwrites an existing one, creates registry keys, sets a new value and
# overwrites an existing one: all of it must be undone.
printf 'e2e readme\r\n' >"$work/bad/readme.txt"
cat >"$work/bad/failing.json" <<'EOF'
{
  "define": [
    { "type": "define", "name": "SaverName", "value": "Glimmer (failing)" }
  ],
  "prepare": [
    { "type": "dir", "mode": "create", "targets": ["<SysProgDir>\\GlimmerE2E\\Sub"] }
  ],
  "file": [
    { "type": "file", "targets": ["<SysProgDir>\\GlimmerE2E\\readme.txt"], "contentFile": "readme.txt" },
    { "type": "file", "targets": ["<WinDir>\\glimmer-e2e.ini"], "contentText": "[new]\r\n" }
  ],
  "registry": [
    { "type": "registry", "mode": "create", "targets": ["HKEY_LOCAL_MACHINE\\Software\\GlimmerE2E\\Sub"] },
    { "type": "value", "mode": "set", "targets": ["HKEY_CURRENT_USER\\Software\\GlimmerE2E"],
      "valueName": "Installed", "valueType": "REG_SZ", "data": "yes" },
    { "type": "value", "mode": "set", "targets": ["HKEY_CURRENT_USER\\Software\\GlimmerE2EKeep"],
      "valueName": "Kept", "valueType": "REG_SZ", "data": "overwritten" }
  ],
  "finish2": [
    { "type": "link", "file": "<SysProgDir>\\NoSuchFolderE2E\\glimmer.lnk",
      "target": "<SysProgDir>\\GlimmerE2E\\readme.txt" }
  ]
}
EOF
"$pack" build "$work/bad/failing.json" --stub "$stub" -o "$work/failing-setup.exe" >/dev/null
LINK_FAILED=24

# --- the run in the chroot -------------------------------------------------------
cat >"$work/inside.sh" <<'EOF'
# Runs in the i386 chroot. Prints "TIME seconds label" lines for the host and
# "FAIL what" for every check that does not hold; exits non-zero then.
set -u -o pipefail
export HOME=/e2e/home WINEPREFIX=/e2e/pfx WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
export PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin LANG=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY
cd /e2e
now() { date +%s.%N; }
took() { awk -v a="$2" -v b="$(now)" -v l="$1" 'BEGIN { printf "TIME %.1f %s\n", b - a, l }'; }
failed=0
bad() { echo "FAIL $*"; failed=1; }
win() { timeout 120 wine "$@" 2>>/e2e/wine.log | tr -d '\r'; }
sys=$WINEPREFIX/drive_c/windows/system32
windir=$WINEPREFIX/drive_c/windows

t=$(now)
# Each Wine program has a time limit: a run that hangs (a dialog nobody
# answers) fails instead of holding up its caller.
timeout 600 wineboot -i >>/e2e/wine.log 2>&1 || { echo "FAIL wineboot -i"; exit 1; }
# No display here: Wine's null graphics driver.
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >>/e2e/wine.log 2>&1
wineserver -k; wineserver -w
[ -d "$sys" ] || { echo "FAIL the prefix has no system32"; exit 1; }
took prefix "$t"
wineserver -p

# 1. The sample saver, silently, made the active one.
t=$(now)
timeout 300 wine /e2e/glimmer-setup.exe -s -a >>/e2e/wine.log 2>&1
rc=$?
took "install" "$t"
[ $rc -eq 0 ] || bad "glimmer-setup.exe -s -a exited with $rc"
cmp -s /e2e/good/glimmer.scr "$sys/glimmer.scr" || bad "system32/glimmer.scr is missing or differs"
cmp -s /e2e/good/readme.txt "$sys/Glimmer/readme.txt" || bad "system32/Glimmer/readme.txt is missing or differs"
grep -qi '^SCRNSAVE.EXE=.*GLIMM.*\.SCR' "$windir/system.ini" || bad "system.ini names no glimmer saver: $(grep -i scrnsave "$windir/system.ini")"
win reg query 'HKCU\Control Panel\Desktop' /v ScreenSaveActive | grep -q 'ScreenSaveActive.*1$' ||
  bad "ScreenSaveActive is not 1"

# 2. The failing installation: before it, a file and a value that it overwrites.
printf '[old]\r\n' >"$windir/glimmer-e2e.ini"
win reg add 'HKCU\Software\GlimmerE2EKeep' /v Kept /d original /f >/dev/null
# The file the failing installation overwrites gets its bytes back (checked
# below), not its time.
tree() {
  find "$WINEPREFIX/drive_c" \( -type d -printf 'd %p\n' \) -o \( -path "$windir/glimmer-e2e.ini" -printf 'f %p %s\n' \) \
    -o \( ! -type d -printf 'f %p %s %T@\n' \) | sort
}
tree >/e2e/tree-before
t=$(now)
timeout 300 wine /e2e/failing-setup.exe -s >>/e2e/wine.log 2>&1
rc=$?
took "failing install" "$t"
[ $rc -eq LINK_FAILED ] || bad "failing-setup.exe -s exited with $rc, not LINK_FAILED"
[ ! -e "$sys/GlimmerE2E" ] || bad "system32/GlimmerE2E was left"
[ "$(cat "$windir/glimmer-e2e.ini")" = "$(printf '[old]\r\n')" ] || bad "windows/glimmer-e2e.ini was not restored"
tree >/e2e/tree-after
# Files and folders as before: the names of the folders, and names, sizes
# and times of the files on drive C: (nothing left, nothing else touched).
diff /e2e/tree-before /e2e/tree-after | grep '^[<>]' >/e2e/tree-diff
[ ! -s /e2e/tree-diff ] || bad "files changed by the failed installation: $(head -n 5 /e2e/tree-diff | tr '\n' ' ')"
win reg query 'HKLM\Software\GlimmerE2E' >/dev/null 2>&1 && bad "HKLM\\Software\\GlimmerE2E was left"
win reg query 'HKCU\Software\GlimmerE2E' >/dev/null 2>&1 && bad "HKCU\\Software\\GlimmerE2E was left"
win reg query 'HKCU\Software\GlimmerE2EKeep' /v Kept | grep -q 'Kept.*REG_SZ.*original$' ||
  bad "HKCU\\Software\\GlimmerE2EKeep Kept was not restored: $(win reg query 'HKCU\Software\GlimmerE2EKeep' /v Kept)"
wineserver -k
exit $failed
EOF
sed -i "s/LINK_FAILED/$LINK_FAILED/g" "$work/inside.sh"

cat >"$work/enter.sh" <<'EOF'
set -e
root=$1 work=$2
mount --rbind /dev "$root/dev"
mount -t proc proc "$root/proc"
mount -t tmpfs tmpfs "$root/tmp"
mount --bind "$work" "$root/e2e"
exec chroot "$root" /usr/bin/env -i /bin/bash /e2e/inside.sh
EOF

t0=$(now)
rc=0
SAVER_QEMU=$qemu in_ns "$work/enter.sh" "$root" "$work" >"$work/out" 2>&1 || rc=$?
run_time=$(elapsed "$t0")
grep -v '^TIME \|^FAIL ' "$work/out" | sed 's/^/  /' || true
while read -r _ secs label; do
  timing "$label" "$secs s"
done < <(grep '^TIME ' "$work/out")
timing "run in the chroot (all of it)" "$run_time"

echo
echo "== stub32-e2e timings"
printf '  %s\n' "${timings[@]}"
if grep -q '^FAIL ' "$work/out" || [ $rc -ne 0 ]; then
  grep '^FAIL ' "$work/out" | sed 's/^FAIL /  failed: /' >&2 || true
  if [ -s "$work/wine.log" ]; then
    echo "  last lines of Wine's output:" >&2
    tail -n 15 "$work/wine.log" | sed 's/^/    /' >&2
  fi
  fail "the 32-bit stub's end-to-end run (exit $rc)"
fi
say "passed: the 32-bit stub installed the sample saver, and a failed installation was rolled back"
