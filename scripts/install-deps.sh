#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian machine. Idempotent and quick
# when everything is already there.
set -euo pipefail

packages=(
  g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  mingw-w64-tools
  wine wine32:i386 wine64 libwine-dev xvfb
  fonts-wine xdotool
  nsis imagemagick sqlite3 curl python3 python3-pefile osslsigncode openssl faketime
  cmake googletest clang-format
  libcpp-httplib-dev libsqlite3-dev libsodium-dev pkg-config
  clang libclang-rt-14-dev llvm
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: these packages are missing and root is needed to install them: ${missing[*]}" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
