#!/usr/bin/env bash
# What a release must hold, checked on a second build of the shipped files (both architectures'
# Corvane.dll and Zephlist.exe, both setups) made now in another folder:
#  1. it is byte for byte the build in build/ (or $TAVRELLO_BUILD_DIR), made earlier elsewhere;
#  2. scripts/sign.sh signs every shipped file, the uninstaller inside the setups too, with a
#     throw-away authority and code-signing certificate made here (none is kept); each verifies
#     against that authority, a changed byte does not (nor does one flipped in the signature
#     block, for osslsigncode and for Windows), and a signature taken off again gives back the
#     unsigned build;
#  3. the signed setup installs under Wine, the programs it installs are the unsigned build
#     once their signatures are off, and Windows' own check (WinVerifyTrust) sees the
#     signatures of the setup and of the uninstaller it wrote.
# Run by scripts/test.sh after the Windows suites (TAVRELLO_RELEASE_CHECK=0 skips it there).
set -euo pipefail
repo_root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${TAVRELLO_BUILD_DIR:-$repo_root/build}
second=$build_dir/release-check
source "$repo_root/scripts/arches.sh"
decide_arches >/dev/null

shipped=(x64/bin/Corvane.dll x64/bin/Zephlist.exe x64/installer/TavrelloSetup-x64.exe
    x86/bin/Corvane.dll x86/bin/Zephlist.exe x86/installer/TavrelloSetup.exe)
passed=0
failed=0
check() { # check DESCRIPTION COMMAND...: one line for each check
    if "${@:2}" >/dev/null 2>&1; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "release-check: FAILED: $1" >&2
    fi
}
for file in "${shipped[@]}"; do
    [ -f "$build_dir/$file" ] || { echo "release-check: $build_dir/$file is not built" >&2; exit 1; }
done

echo "release-check: a second build of the shipped files in $second"
started=$(date +%s)
rm -rf "$second"
mkdir -p "$second"
TAVRELLO_BUILD_DIR=$second "$repo_root/scripts/build.sh" --target TavrelloSetup >"$second.log" 2>&1 || {
    echo "release-check: the second build failed; see $second.log" >&2
    exit 1
}
echo "release-check: built in $(($(date +%s) - started)) s"
for file in "${shipped[@]}"; do
    check "$file is the same in both builds" cmp "$build_dir/$file" "$second/$file"
done

keys=$(mktemp -d)
trap 'rm -rf "$keys"' EXIT
(
    cd "$keys"
    openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -days 1 \
        -subj "/CN=Tavrello throw-away test authority" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign"
    openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj "/CN=Orvek test/O=Orvek"
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >signer.ext
    openssl x509 -req -in signer.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 1 \
        -extfile signer.ext -out signer.crt
    openssl rand -hex 16 >password
    openssl pkcs12 -export -inkey signer.key -in signer.crt -certfile ca.crt -out signer.p12 \
        -passout file:password
) >"$keys/openssl.log" 2>&1 || { cat "$keys/openssl.log" >&2; exit 1; }

TAVRELLO_SIGN_PKCS12=$keys/signer.p12 TAVRELLO_SIGN_PASSWORD=$(cat "$keys/password") \
    TAVRELLO_BUILD_DIR=$second "$repo_root/scripts/sign.sh" >>"$second.log" 2>&1 || {
    echo "release-check: signing failed; see $second.log" >&2
    exit 1
}
verify() { osslsigncode verify -CAfile "$keys/ca.crt" -in "$1"; }
for file in "${shipped[@]}"; do
    check "$file is signed by the test authority" verify "$second/$file"
done
cp "$second/x64/bin/Corvane.dll" "$keys/changed.dll"
printf '\x5a' | dd of="$keys/changed.dll" bs=1 seek=4096 conv=notrunc status=none
refused() { ! verify "$1"; }
check "a changed byte breaks the signature" refused "$keys/changed.dll"
# flip_signature_byte IN OUT: OUT is IN with one byte of its signature block changed, in the
# signer's signature value: near the end of the PKCS#7 data (an untimed signature has nothing
# after that value) that the PE header's security directory points at.
flip_signature_byte() {
    local header magic directory block length
    header=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    magic=$(od -An -tu2 -j$((header + 24)) -N2 "$1" | tr -d ' ')
    # The data directories follow the optional header's fixed part (PE32+: 523); the fifth
    # names the certificate table, whose entry has an 8-byte header before the PKCS#7 data.
    directory=$((header + 24 + (magic == 523 ? 112 : 96) + 4 * 8))
    block=$(od -An -tu4 -j"$directory" -N4 "$1" | tr -d ' ')
    [ "$block" -gt 0 ] || return 1
    # A DER sequence of two length bytes: 30 82 high low.
    length=$(od -An -tu1 -j$((block + 8)) -N4 "$1" | awk '$1 == 48 && $2 == 130 { print $3 * 256 + $4 + 4 }')
    [ -n "$length" ] || return 1
    cp "$1" "$2"
    local at=$((block + 8 + length - 16)) byte
    byte=$(od -An -tu1 -j"$at" -N1 "$1" | tr -d ' ')
    printf "\\x$(printf %02x $((byte ^ 0xff)))" | dd of="$2" bs=1 seek="$at" conv=notrunc status=none
}
flipped=$keys/flipped-setup.exe
check "a flipped byte in the signature block is made" \
    flip_signature_byte "$second/x86/installer/TavrelloSetup.exe" "$flipped"
check "a flipped byte in the signature block breaks the signature" refused "$flipped"
# unsigned_equals SIGNED UNSIGNED: SIGNED with its signature taken off is UNSIGNED, byte for byte.
unsigned_equals() {
    rm -f "$keys/stripped"
    osslsigncode remove-signature -in "$1" -out "$keys/stripped" && cmp "$keys/stripped" "$2"
}
check "x86/bin/Corvane.dll without its signature is the unsigned build" \
    unsigned_equals "$second/x86/bin/Corvane.dll" "$build_dir/x86/bin/Corvane.dll"

# The signed setup of the architecture this host runs, installed once.
export TAVRELLO_ARCH=${run_arches[0]}
setup=$second/x86/installer/TavrelloSetup.exe
[ "$TAVRELLO_ARCH" = x64 ] && setup=$second/x64/installer/TavrelloSetup-x64.exe
export TAVRELLO_WINEPREFIX=$second/$TAVRELLO_ARCH/wine-prefix
source "$repo_root/scripts/wine-env.sh"
ensure_wine_prefix
trap 'wineserver -k 2>/dev/null || true; rm -rf "$keys"' EXIT
wineserver -p
wine cmd /c exit >/dev/null 2>&1 </dev/null || true
check "the signed $(basename "$setup") installs" wine "$setup" /S /URL=https://127.0.0.1:9/
program_files=$(wine cmd /c echo '%ProgramFiles%' 2>/dev/null | tr -d '\r')
installed=$(winepath -u "$program_files\\Tavrello" 2>/dev/null)
for file in Uninstall.exe Corvane.dll Zephlist.exe; do
    check "the installed $file is signed" verify "$installed/$file"
done
# What a signed setup installs compares with a rebuild once the signatures are off.
for file in Corvane.dll Zephlist.exe; do
    check "the installed $file without its signature is the unsigned build" \
        unsigned_equals "$installed/$file" "$build_dir/$TAVRELLO_ARCH/bin/$file"
done
probe=$build_dir/$TAVRELLO_ARCH/tests/signature_probe.exe
windows_answer() { wine "$probe" "$(winepath -w "$1")" 2>/dev/null | tr -d '\r'; }
no_signature_for_windows() { [ "$(windows_answer "$1")" = 800B0100 ]; } # TRUST_E_NOSIGNATURE
# A whole signature from the throw-away authority: trusted (00000000, as Wine answers here) or
# whole but from an authority this system does not know (CERT_E_UNTRUSTEDROOT, as Windows
# answers). Anything else, such as TRUST_E_CERT_SIGNATURE or TRUST_E_BAD_DIGEST, is a broken one.
signature_for_windows() {
    local answer
    answer=$(windows_answer "$1")
    [ "$answer" = 00000000 ] || [ "$answer" = 800B0109 ]
}
broken_for_windows() { [ -n "$(windows_answer "$1")" ] && ! signature_for_windows "$1"; }
check "WinVerifyTrust finds no signature on the unsigned setup" \
    no_signature_for_windows "$build_dir/${setup#"$second"/}"
check "WinVerifyTrust sees the setup's signature" signature_for_windows "$setup"
check "WinVerifyTrust sees the installed uninstaller's signature" \
    signature_for_windows "$installed/Uninstall.exe"
check "WinVerifyTrust refuses the setup with a flipped byte in its signature" \
    broken_for_windows "$flipped"
wine "$installed/Uninstall.exe" /S >/dev/null 2>&1 || true

echo "release-check: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
