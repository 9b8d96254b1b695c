#!/bin/sh
# Puts zlib's source, as Debian has it, in DIR, for the page: the version
# the programs link (zlib1g's), or where that source cannot be fetched,
# the release's. apt-get source needs a deb-src entry; as root this adds
# one beside each deb entry of the system's sources, and updates.
# Usage: page/zlib-source.sh DIR
set -eu
mkdir -p "$1"
dir=$(cd "$1" && pwd)
[ -f "$dir/inflate.c" ] && exit 0
if ! grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d; then
  if [ "$(id -u)" != 0 ]; then
    echo "zlib-source.sh: apt-get source needs a deb-src entry in /etc/apt/sources.list.d (add one as root)" >&2
    exit 1
  fi
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] && sed 's/^Types: deb$/Types: deb-src/' "$f" >"/etc/apt/sources.list.d/src-$(basename "$f")"
  done
  [ -f /etc/apt/sources.list ] && sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >/etc/apt/sources.list.d/src.list
  apt-get update -q >/dev/null
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
version=$(dpkg-query -W -f='${Version}' zlib1g 2>/dev/null || true)
apt-get source -q "zlib${version:+=$version}" >/dev/null 2>&1 || apt-get source -q -t bookworm zlib >/dev/null
cp -R zlib-*/. "$dir"
