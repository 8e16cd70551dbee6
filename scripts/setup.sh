#!/usr/bin/env bash
# Installs every Debian package the project needs and fetches the zlib source
# the Windows builds compile their inflate from. Idempotent: packages that are
# already present are skipped and the source is fetched once, so running it
# again costs one dpkg query and one file test.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config dpkg-dev
  zlib1g-dev googletest libgtest-dev
  clang libclang-rt-14-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  libz-mingw-w64-dev
  wine wine64
  xvfb xauth xdotool imagemagick
  nlohmann-json3-dev libcli11-dev
  osslsigncode openssl
  nsis
  debootstrap
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

install_packages() {
  local missing=() p
  for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    echo "setup: all packages present"
    return
  fi
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# --- zlib source -------------------------------------------------------------
# The Windows builds compile inflate from Debian's zlib source package, sized
# for the stub (cmake/ZlibInflate.cmake). It is unpacked outside the
# repository, into the first of these that applies (CMake looks in the same
# places):
#   $SAVER_ZLIB_SOURCE                          when set
#   /var/cache/saversetup/zlib-src/zlib         when run as root
#   $HOME/.cache/saversetup/zlib-src/zlib       otherwise
# Its upstream version must be the one of the installed zlib headers and
# libraries. A failed fetch is reported but does not stop the set-up: the
# Windows builds then link the prebuilt libz.a and say so.
zlib_source_dir() {
  if [ -n "${SAVER_ZLIB_SOURCE:-}" ]; then
    echo "$SAVER_ZLIB_SOURCE"
  elif [ "$(id -u)" -eq 0 ]; then
    echo /var/cache/saversetup/zlib-src/zlib
  else
    echo "${HOME:?}/.cache/saversetup/zlib-src/zlib"
  fi
}

# The upstream part of a Debian version: 1:1.2.13.dfsg-1 and 1.2.13+dfsg-1
# both give 1.2.13.
upstream_version() {
  local v=${1#*:}
  v=${v%-*}
  v=${v%%[+~]*}
  echo "${v%.dfsg}"
}

# "URI SUITE KEYRING" of the machine's own Debian archive (not its security
# archive), from the deb822 sources or, failing that, the one-line list.
debian_archive() {
  local f=/etc/apt/sources.list.d/debian.sources
  if [ -r "$f" ]; then
    awk '
      function flush() {
        if (!done && deb && uri != "" && suite != "") { print uri, suite, (key == "" ? "-" : key); done = 1 }
        uri = ""; suite = ""; key = ""; deb = 0
      }
      /^[ \t]*$/ { flush(); next }
      /^Types:/ { for (i = 2; i <= NF; i++) if ($i == "deb") deb = 1 }
      /^URIs:/ { uri = $2 }
      /^Suites:/ { for (i = 2; i <= NF; i++) if ($i !~ /-/) { suite = $i; break } }
      /^Signed-By:/ { key = $2 }
      END { flush() }' "$f"
    return
  fi
  if [ -r /etc/apt/sources.list ]; then
    awk '$1 == "deb" && $0 !~ /security/ {
           for (i = 2; i <= NF; i++) if ($i !~ /^\[/ && $i !~ /\]$/) break
           print $i, $(i + 1), "-"; exit }' /etc/apt/sources.list
  fi
}

fetch_zlib_source() {
  local dest want stamp
  dest=$(zlib_source_dir)
  stamp="$dest/.saver-zlib-version"
  want=$(upstream_version "$(dpkg-query -W -f='${Version}' zlib1g-dev)")
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ] && [ -f "$dest/inflate.c" ]; then
    echo "setup: zlib $want source present in $dest"
    return 0
  fi
  local mingw
  mingw=$(upstream_version "$(dpkg-query -W -f='${Version}' libz-mingw-w64-dev)")
  if [ "$mingw" != "$want" ]; then
    echo "setup: WARNING: zlib1g-dev is $want but libz-mingw-w64-dev is $mingw" >&2
  fi

  local archive uri suite key
  archive=$(debian_archive || true)
  read -r uri suite key <<<"$archive" || true
  if [ -z "${uri:-}" ] || [ -z "${suite:-}" ]; then
    echo "setup: WARNING: no Debian archive found in the apt sources; zlib source not fetched" >&2
    return 1
  fi

  # A throw-away apt configuration: one deb-src line, its own lists and
  # cache. The machine's apt sources are left as they are.
  local opts signed=""
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  mkdir -p "$tmp/lists/partial" "$tmp/cache/archives/partial" "$tmp/parts" "$tmp/get"
  if [ "$key" != "-" ]; then signed="[signed-by=$key] "; fi
  echo "deb-src ${signed}$uri $suite main" >"$tmp/sources.list"
  opts=(-o "Dir::Etc::SourceList=$tmp/sources.list" -o "Dir::Etc::SourceParts=$tmp/parts"
        -o "Dir::State::Lists=$tmp/lists" -o "Dir::Cache=$tmp/cache"
        -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=" -o "APT::Sandbox::User=root")
  echo "setup: fetching Debian's zlib source from $uri $suite"
  if ! apt-get "${opts[@]}" update -qq >"$tmp/log" 2>&1 \
     || ! (cd "$tmp/get" && apt-get "${opts[@]}" source --download-only -qq zlib) >>"$tmp/log" 2>&1; then
    sed 's/^/  /' "$tmp/log" >&2
    echo "setup: WARNING: fetching the zlib source failed" >&2
    return 1
  fi
  local dsc
  dsc=$(ls "$tmp"/get/zlib_*.dsc 2>/dev/null | head -n 1)
  local got
  got=$(upstream_version "$(sed -n 's/^Version: //p' "$dsc")")
  if [ "$got" != "$want" ]; then
    echo "setup: WARNING: the archive's zlib source is $got, the installed zlib is $want; not used" >&2
    return 1
  fi
  if ! dpkg-source -x "$dsc" "$tmp/zlib" >"$tmp/log" 2>&1; then
    sed 's/^/  /' "$tmp/log" >&2
    echo "setup: WARNING: unpacking the zlib source failed" >&2
    return 1
  fi
  echo "$got" >"$tmp/zlib/.saver-zlib-version"
  mkdir -p "$(dirname "$dest")"
  rm -rf "$dest"
  mv "$tmp/zlib" "$dest"
  echo "setup: zlib $got source unpacked in $dest"
}

install_packages
if ! fetch_zlib_source; then
  echo "setup: WARNING: the Windows builds will link the prebuilt libz.a (a larger stub)" >&2
fi
