#!/usr/bin/env python3
"""Reads the resources of zenka_setup.exe back with tools that know nothing of this project:
pev's peres for the version block, icoutils for the icon, the manifest as stored text.
    check_resources.py EXE
"""
import os
import re
import struct
import subprocess
import sys
import tempfile

exe = sys.argv[1]
failures = []


def check(condition, message):
    print(("ok: " if condition else "FAIL: ") + message)
    if not condition:
        failures.append(message)


def extract(resource_type, name="1", raw=True):
    args = ["wrestool", "-x", "--type=%s" % resource_type, "--name=%s" % name]
    if raw:
        args.append("--raw")
    return subprocess.run(args + [exe], capture_output=True, check=True).stdout


# Version block: peres reads the fixed part; the string table is read from the raw resource.
peres = subprocess.run(["peres", "-v", exe], capture_output=True, text=True).stdout
check(re.search(r"Product Version:\s+2\.1\.0\.0", peres) is not None, "peres: product version 2.1.0.0")
version = extract(16)
signature = version.find(struct.pack("<I", 0xFEEF04BD))
check(signature >= 0, "fixed version info present")
if signature >= 0:
    fields = struct.unpack_from("<13I", version, signature)
    check(fields[2:6] == ((2 << 16) | 1, 0, (2 << 16) | 1, 0), "fixed file and product version 2.1.0.0")
    check(fields[9] == 1, "file type is an application")
text = version.decode("utf-16-le", errors="replace")
strings = {
    "CompanyName": "ZENKA Team",
    "FileDescription": "ZENKA Setup & Bootstrapper",
    "FileVersion": "2.1.0.0",
    "ProductVersion": "2.1.0.0",
    "InternalName": "zenka_setup.exe",
    "OriginalFilename": "zenka_setup.exe",
    "ProductName": "ZENKA Game Launcher",
}
for key, value in strings.items():
    check(re.search(key + r"\x00+" + re.escape(value) + r"\x00", text) is not None, "%s = %s" % (key, value))
check("040904B0" in text.upper(), "string table 040904B0")
translation = version.find("Translation".encode("utf-16-le"))
check(translation >= 0 and struct.pack("<HH", 0x0409, 0x04B0) in version[translation:translation + 40],
      "translation 0x0409 / 0x04B0")

# Icon resource 1: one image, 256 x 256, 32 bits.
with tempfile.TemporaryDirectory() as folder:
    icon = os.path.join(folder, "icon.ico")
    with open(icon, "wb") as out:
        out.write(subprocess.run(["wrestool", "-x", "--type=14", "--name=1", exe], capture_output=True,
                                 check=True).stdout)
    listing = subprocess.run(["icotool", "-l", icon], capture_output=True, text=True, check=True).stdout
    images = [line for line in listing.splitlines() if line.strip()]
    check(len(images) == 1, "icon group 1 holds one image (%d)" % len(images))
    check(all("--width=256 --height=256 --bit-depth=32" in line for line in images), "256 x 256, 32-bit: %s" % listing.strip())
    # Stored as a PNG frame: as a DIB the same pixels would be most of the exe's resources.
    check(extract(3).startswith(b"\x89PNG\r\n\x1a\n"), "the 256 x 256 image is PNG-compressed")

# The manifest, as the loader will read it.
manifest = extract(24).decode("utf-8")
for needle in [
    'name="ZENKA.Bootstrapper"', 'version="1.0.0.0"', 'type="win32"', 'processorArchitecture="*"',
    "<description>ZENKA Web Bootstrapper &amp; Installer</description>",
    'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"',
    'level="requireAdministrator" uiAccess="false"',
    ">true/pm</dpiAware>", ">PerMonitorV2, PerMonitor</dpiAwareness>",
    'supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"',
]:
    check(needle in " ".join(manifest.split()), "manifest: %s" % needle)
check(subprocess.run(["wrestool", "-l", "--type=24", exe], capture_output=True, text=True).stdout.count("--type=24") == 1,
      "exactly one manifest")

if failures:
    sys.exit("%d check(s) failed" % len(failures))
print("all checks passed")
