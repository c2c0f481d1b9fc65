#!/usr/bin/env python3
"""resources_check.py START.EXE ROOT ICON_MAKER WORKDIR

start.exe's resources read back from the file with icoutils' wrestool and
icotool: the manifest declares per-monitor DPI awareness (v2, per-monitor,
and true/pm for older Windows) and runs as the invoker; the icon holds the
menu icon's picture in 16, 24, 32, 48 and 256 pixels, the 256 one pixel for
pixel what the menu icon's maker makes from the title picture; the version
resource names the product, the project's version and the licence's
copyright. Prints one line and exits 0 when all hold; otherwise prints what
does not and exits 1."""
import os
import re
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET

exe, root, icon_maker, work = sys.argv[1:5]
os.makedirs(work, exist_ok=True)
problems = []


def resource(kind):
    # Icons come out as an .ico file; every other kind only as its raw bytes.
    raw = [] if kind == 14 else ["--raw"]
    r = subprocess.run(["wrestool", "-x"] + raw + ["--type=%d" % kind, exe], capture_output=True)
    return r.stdout if r.returncode == 0 else b""


# ---- the manifest (resource type 24, RT_MANIFEST, id 1)
manifest = resource(24)
if not manifest:
    problems.append("no manifest")
else:
    try:
        doc = ET.fromstring(manifest)
    except ET.ParseError as e:
        doc = None
        problems.append("the manifest is not XML: %s" % e)
    if doc is not None:
        def text(namespace, tag):
            found = doc.findall(".//{%s}%s" % (namespace, tag))
            return [f.text.strip() for f in found if f.text]
        if text("http://schemas.microsoft.com/SMI/2016/WindowsSettings", "dpiAwareness") != ["PerMonitorV2,PerMonitor"]:
            problems.append("dpiAwareness is not PerMonitorV2,PerMonitor")
        if text("http://schemas.microsoft.com/SMI/2005/WindowsSettings", "dpiAware") != ["true/pm"]:
            problems.append("dpiAware is not true/pm")
        levels = [e.get("level") for e in doc.iter("{urn:schemas-microsoft-com:asm.v3}requestedExecutionLevel")]
        if levels != ["asInvoker"]:
            problems.append("requestedExecutionLevel is %s, not asInvoker" % levels)

# ---- the icon (group icon, type 14, rebuilt as an .ico file by wrestool)
ico = os.path.join(work, "start.ico")
with open(ico, "wb") as f:
    f.write(resource(14))
listing = subprocess.run(["icotool", "-l", ico], capture_output=True, text=True).stdout
sizes = sorted(int(w) for w, h in re.findall(r"--width=(\d+) --height=(\d+)", listing) if w == h)
if sizes != [16, 24, 32, 48, 256]:
    problems.append("icon sizes %s, not 16, 24, 32, 48 and 256 (%s)" % (sizes, listing.strip()))
else:
    out = os.path.join(work, "icon")
    os.makedirs(out, exist_ok=True)
    subprocess.run(["icotool", "-x", "--width=256", "--height=256", "-o", out, ico], check=True)
    pngs = [os.path.join(out, n) for n in os.listdir(out) if n.endswith(".png")]
    made = os.path.join(work, "menu256.png")
    subprocess.run([icon_maker, os.path.join(root, "assets", "litelogo.png"), "256", made], check=True)

    def rgba(path):
        return subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgba", "-"],
                              capture_output=True, check=True).stdout
    if len(pngs) != 1 or rgba(pngs[0]) != rgba(made):
        problems.append("the 256-pixel icon is not the menu icon")

# ---- the version resource (type 16): VS_VERSIONINFO's tree of blocks
version = resource(16)


def blocks(data, at, end):
    """(key, value bytes, value length field, type, children) of each block in data[at:end]."""
    while at + 6 <= end:
        length, value_length, kind = struct.unpack_from("<HHH", data, at)
        if length == 0:
            break
        key_end = at + 6
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[at + 6:key_end].decode("utf-16-le")
        value_at = (key_end + 2 + 3) & ~3
        value_bytes = value_length * 2 if kind == 1 else value_length
        value = data[value_at:value_at + value_bytes]
        children_at = (value_at + value_bytes + 3) & ~3
        yield key, value, kind, list(blocks(data, children_at, at + length))
        at = (at + length + 3) & ~3


strings = {}
fixed = None
for key, value, kind, children in blocks(version, 0, len(version)):
    if key == "VS_VERSION_INFO" and len(value) >= 52:
        fixed = struct.unpack_from("<13I", value)
    for child_key, _, _, tables in children:
        if child_key == "StringFileInfo":
            for _, _, _, entries in tables:
                for name, text_value, _, _ in entries:
                    strings[name] = text_value.decode("utf-16-le").rstrip("\0")
project = open(os.path.join(root, "CMakeLists.txt")).read()
wanted_version = re.search(r"^project\(corbanet VERSION ([0-9.]+)", project, re.M).group(1)
copyright_line = next(l.strip() for l in open(os.path.join(root, "LICENSE")) if l.startswith("Copyright"))
if not version:
    problems.append("no version resource")
else:
    if fixed is None or fixed[0] != 0xFEEF04BD:
        problems.append("no VS_FIXEDFILEINFO")
    else:
        parts = [int(p) for p in wanted_version.split(".")] + [0, 0, 0, 0]
        if (fixed[2], fixed[3]) != ((parts[0] << 16) | parts[1], (parts[2] << 16) | parts[3]):
            problems.append("the file version is not %s" % wanted_version)
    for name, wanted in (("ProductName", "tha corbanet demo"), ("ProductVersion", wanted_version),
                         ("FileVersion", wanted_version), ("LegalCopyright", copyright_line),
                         ("OriginalFilename", "start.exe")):
        if strings.get(name) != wanted:
            problems.append("%s is %r, not %r" % (name, strings.get(name), wanted))
    description = strings.get("FileDescription", "")
    if not description or "\n" in description:
        problems.append("FileDescription is %r, not one line" % description)

if problems:
    print("; ".join(problems))
    sys.exit(1)
print("manifest PerMonitorV2, icon %s, version %s" % (sizes, wanted_version))
