#!/usr/bin/env bash
# The built sample package: both programs at the root, the extra files, UTF-8 names, the list of
# its files, and a digest file that matches the archive. Environment: SAMPLE_DIR (set by CTest).
set -euo pipefail
cd "$SAMPLE_DIR"
zip=ZENKA-latest-full.zip
[ -f "$zip" ] && [ -f "$zip.sha256" ] || { echo "FAIL: package or digest missing" >&2; exit 1; }

# Exactly 64 lower-case hex digits and a newline, equal to the archive's own digest.
grep -Eqx '[0-9a-f]{64}' "$zip.sha256" || { echo "FAIL: malformed digest file" >&2; exit 1; }
[ "$(wc -c <"$zip.sha256")" -eq 65 ] || { echo "FAIL: digest file is not one line" >&2; exit 1; }
[ "$(sha256sum "$zip" | cut -d' ' -f1)" = "$(cat "$zip.sha256")" ] ||
  { echo "FAIL: digest does not match the package" >&2; exit 1; }

python3 - "$zip" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as archive:
    assert archive.testzip() is None, "corrupt entry"
    names = archive.namelist()
    for required in ("ZENKA.exe", "zenka-updater.exe", "readme.txt", "data/config.ini",
                     "Лицензия.txt"):
        assert required in names, f"{required} missing from {names}"
    for program in ("ZENKA.exe", "zenka-updater.exe"):
        with open(program, "rb") as built:
            assert archive.read(program) == built.read(), f"{program} differs from the build"
        assert archive.read(program)[:2] == b"MZ"
    # The list the uninstaller removes by: every entry of the package, itself included.
    listed = [line for line in archive.read("zenka-files.txt").decode("utf-8").split("\n")
              if line and not line.startswith("#")]
    assert listed == names, f"list {listed} differs from the package {names}"
    info = archive.getinfo("Лицензия.txt")
    assert info.flag_bits & 0x800, "non-ASCII name without the UTF-8 flag"
PY
echo PASS
