#!/usr/bin/env bash
# scripts/release with a throwaway CA and code-signing certificate made here: the signed setup
# verifies against that CA and only that CA, fails after one changed byte, comes out the same when
# signed twice, and still starts and shows its welcome page under Wine; without a certificate the
# release is unsigned and says so; the third-party notices lie beside the setup, and a notice that
# cannot be found stops them. The build folder is reused, so nothing is compiled.
#   release_test.sh SOURCE_DIR BUILD_DIR WINEPREFIX
set -uo pipefail
source_dir=$1
build=$2
prefix=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/zenka-release-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0

check() { # check MESSAGE COMMAND...: passes when COMMAND succeeds
  local message=$1
  shift
  if "$@" >>"$work/checks.log" 2>&1; then echo "ok: $message"; else echo "FAIL: $message"; failures=$((failures + 1)); fi
}
fails() { ! "$@"; }

# release NAME [OPTIONS...]: one run of the release command into $work/NAME, its output in NAME.log.
release() {
  local name=$1
  shift
  "$source_dir/scripts/release" --allow-dirty --build-dir "$build" "$@" "$work/$name" >"$work/$name.log" 2>&1
}

# A CA and a certificate for code signing that it issued, for one run of this test only.
make_ca() { # make_ca NAME
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/$1.key" -out "$work/$1.pem" -days 2 \
    -subj "/CN=$1" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
}
make_ca "Throwaway CA" && make_ca "Other CA" || { echo "FAIL: openssl could not make the CAs"; exit 1; }
ca="$work/Throwaway CA.pem"
printf '%s\n' "basicConstraints=CA:FALSE" "keyUsage=critical,digitalSignature" \
  "extendedKeyUsage=codeSigning" >"$work/leaf.ext"
openssl req -newkey rsa:2048 -nodes -keyout "$work/sign.key" -out "$work/sign.csr" \
  -subj "/CN=ZENKA Test Publisher" 2>/dev/null &&
  openssl x509 -req -in "$work/sign.csr" -CA "$ca" -CAkey "$work/Throwaway CA.key" -CAcreateserial \
    -days 2 -extfile "$work/leaf.ext" -out "$work/sign.pem" 2>/dev/null &&
  openssl pkcs12 -export -inkey "$work/sign.key" -in "$work/sign.pem" -certfile "$ca" \
    -out "$work/sign.p12" -passout pass:not-a-real-secret ||
  { echo "FAIL: openssl could not make the signing certificate"; exit 1; }
export ZENKA_SIGN_PASSWORD=not-a-real-secret

# Without a certificate.
check "a release without a certificate succeeds" release unsigned
check "it says that the setup is not signed" grep -q "NOT SIGNED" "$work/unsigned.log"
check "its setup is the build's exe, with no signature" cmp "$work/unsigned/zenka_setup.exe" "$build/zenka_setup.exe"
check "SHA256SUMS covers the setup, the package and the notices" \
  bash -c 'cd "$1" && sha256sum -c SHA256SUMS && [ "$(wc -l <SHA256SUMS)" = 4 ]' _ "$work/unsigned"

# The notices: what the build compiled (miniz's own LICENSE) and the Debian copyright files of the
# runtime libraries the links pull in.
notices=$work/unsigned/THIRD-PARTY-NOTICES.txt
holds() { python3 -c 'import sys; sys.exit(open(sys.argv[2], "rb").read() not in open(sys.argv[1], "rb").read())' "$@"; }
check "the notices hold miniz's LICENSE whole" holds "$notices" "$source_dir/node_modules/miniz.c/LICENSE"
check "and the copyright file of the GCC runtime, with its exception" \
  holds "$notices" /usr/share/doc/gcc-mingw-w64-x86-64-posix/copyright
check "and that of the mingw-w64 runtime and winpthreads" holds "$notices" /usr/share/doc/mingw-w64-x86-64-dev/copyright
# A build whose miniz sources are gone: no notices, and the one line that says which is missing.
mkdir -p "$work/no-miniz/source" "$work/no-miniz/build/CMakeFiles/compiler"
cp "$build"/CMakeFiles/*/CMakeCXXCompiler.cmake "$work/no-miniz/build/CMakeFiles/compiler/"
echo "CMAKE_HOME_DIRECTORY:INTERNAL=$work/no-miniz/source" >"$work/no-miniz/build/CMakeCache.txt"
notices_without_miniz() {
  "$source_dir/tools/third-party-notices" "$work/no-miniz/build" "$work/no-miniz/notices.txt" 2>"$work/no-miniz.log"
}
check "a notice that cannot be found stops the notices" fails notices_without_miniz
check "with the line that names it" grep -qxF "third-party-notices: miniz's licence notice \
$work/no-miniz/source/node_modules/miniz.c/LICENSE is missing (scripts/setup installs it)" "$work/no-miniz.log"
check "and writes nothing" test ! -e "$work/no-miniz/notices.txt"

# Signed with the PKCS#12 file, twice.
check "a signed release succeeds" release signed --pkcs12 "$work/sign.p12" --ca "$ca"
check "it names the signer" grep -q "signed by /CN=ZENKA Test Publisher" "$work/signed.log"
check "the password shows nowhere in its output" fails grep -q "not-a-real-secret" "$work/signed.log"
check "the signed setup verifies against the CA" osslsigncode verify -CAfile "$ca" -in "$work/signed/zenka_setup.exe"
check "it does not verify against another CA" \
  fails osslsigncode verify -CAfile "$work/Other CA.pem" -in "$work/signed/zenka_setup.exe"
check "SHA256SUMS matches the signed release" bash -c 'cd "$1" && sha256sum -c SHA256SUMS' _ "$work/signed"
cp "$work/signed/zenka_setup.exe" "$work/changed.exe"
printf '\x5a' | dd of="$work/changed.exe" bs=1 seek=70000 conv=notrunc status=none
check "one changed byte (and the test did change one)" fails cmp -s "$work/changed.exe" "$work/signed/zenka_setup.exe"
check "fails verification" fails osslsigncode verify -CAfile "$ca" -in "$work/changed.exe"
check "signing again gives the same bytes" release again --pkcs12 "$work/sign.p12" --ca "$ca"
check "identical to the first signed setup" cmp "$work/again/zenka_setup.exe" "$work/signed/zenka_setup.exe"

# A certificate and key given through the environment; a CA that did not issue them is refused.
release_from_environment() {
  ZENKA_SIGN_CERT="$work/sign.pem" ZENKA_SIGN_KEY="$work/sign.key" ZENKA_SIGN_CA="$ca" release pem
}
check "a release signed with a PEM certificate and key verifies" release_from_environment
check "a signature that does not verify against the CA given fails the release" \
  fails release foreign --pkcs12 "$work/sign.p12" --ca "$work/Other CA.pem"
check "and leaves no setup behind" test ! -e "$work/foreign/zenka_setup.exe"

# The signed exe still runs: its welcome page, its buttons, cancel.
check "the signed setup shows its welcome page under Wine" \
  python3 "$source_dir/tests/ui/gui/welcome_and_buttons.py" "$prefix" "$work/signed/zenka_setup.exe"

if [ "$failures" != 0 ]; then
  echo "--- output of the failed steps and the release runs:"
  tail -n 20 "$work"/*.log
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
