#!/usr/bin/env bash
# Authenticode signatures with osslsigncode for every shipped file: Corvane.dll and Zephlist.exe
# of both architectures, then both setups, built again so that they pack the signed programs
# and sign their uninstaller before packing it and themselves afterwards.
#
#   scripts/sign.sh               signs what is built in build/ (or $TAVRELLO_BUILD_DIR)
#   scripts/sign.sh --file FILE   signs one file in place (the setup build calls this)
#
# The certificate comes from the environment only, never from the command line or the tree:
#   TAVRELLO_SIGN_PKCS12          the PKCS#12 file with the key and its certificate chain
#   TAVRELLO_SIGN_PASSWORD        its password (handed to osslsigncode through a pipe)
#   TAVRELLO_SIGN_TIMESTAMP_URL   an RFC 3161 time-stamp server, so that the signatures outlive
#                                 the certificate; without one the files are signed untimed
# Without TAVRELLO_SIGN_PKCS12 it signs nothing and says so. Signing keeps the unsigned bytes:
# "osslsigncode remove-signature" gives back the file as built (see README, "Releases").
set -euo pipefail
repo_root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${TAVRELLO_BUILD_DIR:-$repo_root/build}

# sign_file FILE: signs FILE in place, replacing a signature it already has.
sign_file() {
    local file=$1 unsigned=$1.unsigned signed=$1.signed
    rm -f "$unsigned" "$signed"
    osslsigncode remove-signature -in "$file" -out "$unsigned" >/dev/null 2>&1 || cp "$file" "$unsigned"
    local timestamp=()
    [ -n "${TAVRELLO_SIGN_TIMESTAMP_URL:-}" ] && timestamp=(-ts "$TAVRELLO_SIGN_TIMESTAMP_URL")
    if ! osslsigncode sign -pkcs12 "$TAVRELLO_SIGN_PKCS12" \
        -readpass <(printf '%s' "${TAVRELLO_SIGN_PASSWORD:-}") -h sha256 \
        -n "Tavrello" -i "https://www.tavrello.com/" "${timestamp[@]}" \
        -in "$unsigned" -out "$signed" >/dev/null; then
        rm -f "$unsigned" "$signed"
        echo "sign: $file could not be signed" >&2
        return 1
    fi
    mv "$signed" "$file"
    rm -f "$unsigned"
    echo "sign: signed $file"
}

if [ -z "${TAVRELLO_SIGN_PKCS12:-}" ]; then
    # The setup build asks for every setup; it stays quiet there.
    [ "${1:-}" = "--file" ] || echo "sign: no certificate given (TAVRELLO_SIGN_PKCS12): nothing signed"
    exit 0
fi
[ -r "$TAVRELLO_SIGN_PKCS12" ] || {
    echo "sign: cannot read the certificate file $TAVRELLO_SIGN_PKCS12" >&2
    exit 1
}
if [ "${1:-}" = "--file" ]; then
    sign_file "$2"
    exit
fi

source "$repo_root/scripts/arches.sh"
install_dependencies
for arch in x64 x86; do
    for file in Corvane.dll Zephlist.exe; do
        sign_file "$build_dir/$arch/bin/$file"
    done
done
# The 32-bit setup packs the 64-bit Corvane.dll too, so the 64-bit tree goes first.
for arch in x64 x86; do
    cmake --build "$build_dir/$arch" --target TavrelloSetup
done
