#!/usr/bin/env python3
"""Checks a macOS build of Lemvora (made by scripts/macos-crosscheck.sh, or on a Mac) for what a
Mac would need of it and that compiling and linking do not prove. Prints each check; exits 1 when
any fails.

Usage: scripts/macos-checks.py BUILD_DIR
       scripts/macos-checks.py --self-test SDK_ROOT

- Both executables are universal (arm64 and x86_64). Each slice, taken out of the universal file
  before it is read, has the deployment target as its minimum system version, which both
  Info.plists state too; the arm64 slice is signed (Apple silicon runs no unsigned code).
- Every selector the C++ code can hand to AppKit is a method of the Objective-C class that
  receives it. The selectors come from the selector tables in the code.
- The Info.plists and the extension's entitlements carry what the system needs; the application
  carries its icon.
- The starter documents are in the application's resources.
- Where the build has its tests, the test programs are Mach-O executables of every architecture,
  and the Mac's fake user database can be inserted (it interposes getpwuid).

--self-test feeds each check the fault it exists for (a slice with another minimum version, an
unsigned arm64 slice, a selector missing from a listing in the form Apple's linker gives, a plist
without a key) and fails unless each check fails on it and passes on the sound version. It builds
small programs with clang against the SDK.

On Linux it uses Debian's LLVM tools; on a Mac, Xcode's (lipo, otool, objdump).
"""
import atexit
import plistlib
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

SOURCE = Path(__file__).resolve().parent.parent
LLVM = Path("/usr/lib/llvm-14/bin")
ON_LINUX = LLVM.is_dir()
LIPO, OTOOL, OBJDUMP = ((LLVM / "llvm-lipo", LLVM / "llvm-otool", LLVM / "llvm-objdump")
                        if ON_LINUX else ("lipo", "otool", "objdump"))
ARCHITECTURES = {"arm64", "x86_64"}
STARTER_DOCUMENTS = ["bos.docx", "bos.xlsx", "bos.pptx"]
TEST_PROGRAMS = ["tests/catalogue_test",
                 "tests/Host.app/Contents/PlugIns/Menu.appex/Contents/MacOS/finder_sync_test",
                 "tests/AppHost.app/Contents/MacOS/app_test"]

failures = []
feeding_faults = False  # in --self-test, where a check is meant to fail
SCRATCH = Path(tempfile.mkdtemp(prefix="lemvora-macos-checks."))
atexit.register(shutil.rmtree, SCRATCH, True)


def check(ok, what):
    print(("  ok    " if ok else "  fault " if feeding_faults else "  FAIL  ") + what)
    if not ok:
        failures.append(what)


def run(*argv):
    return subprocess.run([str(a) for a in argv], check=True, capture_output=True, text=True).stdout


def cache_value(build, name):
    cache = (build / "CMakeCache.txt").read_text()
    match = re.search(r"^" + name + r":\w+=(.*)$", cache, re.M)
    return match.group(1).strip() if match else None


def slices(executable):
    return set(run(LIPO, "-archs", executable).split())


def thin(executable, arch):
    """The one slice of a universal file, as a file of its own. Tools asked for one architecture
    of a universal file may answer for another (LLVM 14's otool ignores -arch), so every slice is
    read alone."""
    if slices(executable) == {arch}:
        return executable
    out = SCRATCH / f"{executable.name}.{arch}"
    run(LIPO, executable, "-thin", arch, "-output", out)
    return out


def check_executable(executable, target):
    """Universal, each slice's minimum system version, the arm64 slice signed."""
    archs = slices(executable)
    check(archs == ARCHITECTURES, f"{executable.name}: universal ({' '.join(sorted(archs))})")
    for arch in sorted(archs):
        commands = run(OTOOL, "-l", thin(executable, arch))
        versions = re.findall(r"^\s*minos (\S+)$", commands, re.M)
        check(versions == [target],
              f"{executable.name} [{arch}]: minos {' '.join(versions) or 'none'}")
        if arch == "arm64":
            check(re.search(r"^\s*cmd LC_CODE_SIGNATURE$", commands, re.M) is not None,
                  f"{executable.name} [arm64]: signed (Apple silicon runs no unsigned code)")


def objc_methods(listing):
    """Class name -> every name listed in its metadata (methods of the class and its categories),
    from `objdump --objc-meta-data`. A method's line is `name 0x… sel`, or, in the relative
    method lists that Apple's linker writes, `name 0x… (0x…) sel`."""
    classes = {}
    current = None
    for line in listing.splitlines():
        head = re.match(r"^[0-9a-f]{16} 0x[0-9a-f]+ (\S+)$", line)
        if head:
            symbol = head.group(1)
            owner = re.match(r"^_OBJC_CLASS_\$_(\w+)$|^__OBJC_\$_CATEGORY_(\w+?)_\$_\w+$", symbol)
            current = (owner.group(1) or owner.group(2)) if owner else None
            continue
        name = re.match(r"^\s+name\s+0x[0-9a-f]+(?:\s+\(0x[0-9a-f]+\))?\s+(\S+)$", line)
        if name and current:
            classes.setdefault(current, set()).add(name.group(1))
    return classes


def check_selectors(what, listing, objc_class, selectors):
    methods = objc_methods(listing).get(objc_class, set())
    missing = [s for s in selectors if s not in methods]
    check(not missing, f"{objc_class} [{what}] answers {len(selectors)} selectors"
          + (f"; missing: {' '.join(missing)}" if missing else ""))


def table_selectors(source, owner):
    """The selectors of `owner`'s SelectorTable in a source file."""
    text = source.read_text()
    table = re.search(r"SelectorTable<" + owner + r">\s+table\{(.*?)\n\s*\};", text, re.S)
    return re.findall(r'\{\s*"([^"]+)"', table.group(1)) if table else []


def check_plist(name, info, package_type, target):
    check(info.get("CFBundlePackageType") == package_type,
          f"{name}: CFBundlePackageType is {package_type}")
    check(info.get("LSMinimumSystemVersion") == target,
          f"{name}: LSMinimumSystemVersion is the deployment target {target}")
    check(info.get("NSHighResolutionCapable") is True,
          f"{name}: NSHighResolutionCapable (sharp on a Retina screen)")


def check_icon(app, info):
    name = str(info.get("CFBundleIconFile", ""))
    icon = app / "Contents/Resources" / (name if name.endswith(".icns") else name + ".icns")
    data = icon.read_bytes() if name and icon.is_file() else b""
    # An icns file: its magic, its length, and the 1024-pixel image of Retina screens (ic10).
    check(data[:4] == b"icns" and int.from_bytes(data[4:8], "big") == len(data)
          and b"ic10" in data,
          f"{app.name}: CFBundleIconFile names an icns icon with a Retina image ({icon.name})")


def main(build):
    app = build / "Lemvora.app"
    appex = app / "Contents/PlugIns/LemvoraMenu.appex"
    target = cache_value(build, "CMAKE_OSX_DEPLOYMENT_TARGET")
    print(f"macOS checks of {app} (deployment target {target})")

    # Executables and plists.
    plists = {}
    for bundle, package_type in ((app, "APPL"), (appex, "XPC!")):
        try:
            info = plistlib.loads((bundle / "Contents/Info.plist").read_bytes())
        except Exception as error:  # noqa: BLE001: any parse failure is the finding
            check(False, f"{bundle.name}: Info.plist parses ({error})")
            continue
        plists[bundle] = info
        check_plist(bundle.name, info, package_type, target)
        executable = bundle / "Contents/MacOS" / str(info.get("CFBundleExecutable"))
        check(executable.is_file(), f"{bundle.name}: CFBundleExecutable names {executable.name}, "
                                    "which is there")
        if executable.is_file():
            check_executable(executable, target)

    if app in plists and appex in plists:
        check_icon(app, plists[app])
        app_id = plists[app].get("CFBundleIdentifier", "")
        appex_id = plists[appex].get("CFBundleIdentifier", "")
        check(bool(app_id) and appex_id.startswith(app_id + "."),
              f"extension identifier {appex_id} lies under the application's {app_id}")
        extension = plists[appex].get("NSExtension", {})
        check(extension.get("NSExtensionPointIdentifier") == "com.apple.FinderSync",
              "NSExtensionPointIdentifier is com.apple.FinderSync")
        check(extension.get("NSExtensionPrincipalClass") == "FinderSyncExt",
              "NSExtensionPrincipalClass is FinderSyncExt")

    # Entitlements of the extension.
    entitlements = plistlib.loads((SOURCE / "extension/LemvoraMenu.entitlements").read_bytes())
    check(entitlements.get("com.apple.security.app-sandbox") is True, "entitlements: app sandbox")
    check(entitlements.get(
        "com.apple.security.temporary-exception.files.absolute-path.read-write") == ["/"],
        "entitlements: read-write exception for /")

    # Selectors: what the code can send, against what the receiving class has.
    receivers = [
        (appex / "Contents/MacOS/LemvoraMenu", "FinderSyncExt",
         ["menuForMenuKind:"] + table_selectors(SOURCE / "extension/FinderSyncExt.cpp",
                                                "FinderSyncExt")),
        (app / "Contents/MacOS/Lemvora", "LVObjectProxy",
         table_selectors(SOURCE / "app/AppDelegate.cpp", "AppDelegate")),
    ]
    for executable, objc_class, selectors in receivers:
        check(len(selectors) > 1, f"{objc_class}: selector table found ({len(selectors)})")
        if not executable.is_file():
            continue
        for arch in sorted(ARCHITECTURES & slices(executable)):
            listing = run(OBJDUMP, "--macho", "--objc-meta-data", thin(executable, arch))
            check_selectors(arch, listing, objc_class, selectors)

    # Resources.
    for document in STARTER_DOCUMENTS:
        check((app / "Contents/Resources/Templates" / document).is_file(),
              f"Resources/Templates/{document}")

    # The test programs, to be run by ctest on a Mac.
    if cache_value(build, "LEMVORA_BUILD_TESTS") in ("ON", "TRUE", "1"):
        for program in TEST_PROGRAMS:
            path = build / program
            check(path.is_file() and slices(path) == ARCHITECTURES,
                  f"{path.name}: a Mach-O test program of every architecture")
        fake = build / "tests/liblemvora_fake_passwd.dylib"
        headers = run(OBJDUMP, "--macho", "--section-headers", thin(fake, "arm64")) \
            if fake.is_file() else ""
        check("__interpose" in headers, f"{fake.name}: interposes the user database")
    else:
        print("  (the build has no tests)")

    if failures:
        print(f"{len(failures)} macOS check(s) failed")
        return 1
    print("every macOS check passed")
    return 0


# A class's methods as objdump lists them for a binary from Apple's linker (relative method
# lists); the addresses are made up, the layout is objdump's.
MAC_LISTING = """\
0000000100008010 0x100008c38 _OBJC_CLASS_$_FinderSyncExt
           isa 0x100008c10 _OBJC_METACLASS_$_FinderSyncExt
    superclass 0x0 _OBJC_CLASS_$_FIFinderSync
     baseMethods 0x100004470
\t\t   entsize 12 (relative)
\t\t     count {count}
{methods}"""
MAC_METHOD = ("\t\t      name 0x{offset:x} (0x{address:x}) {name}\n"
              "\t\t     types 0x{offset:x} (0x{address:x}) v24@0:8@16\n"
              "\t\t       imp 0x{offset:x} (0x{address:x}) -[FinderSyncExt {name}]\n")


def mac_listing(selectors):
    methods = "".join(MAC_METHOD.format(offset=0x4bc8 + 12 * i, address=0x100009038 + 8 * i,
                                        name=s) for i, s in enumerate(selectors))
    return MAC_LISTING.format(count=len(selectors), methods=methods)


def self_test(sdk):
    """Each check fails on the fault it exists for, and passes on the sound version."""
    global feeding_faults
    feeding_faults = True
    results = []

    def expect(fault, what, body):
        """`fault`: what every failure must say, or None where the check must pass."""
        before = len(failures)
        body()
        failed = failures[before:]
        del failures[before:]
        ok = not failed if fault is None else bool(failed) and all(fault in f for f in failed)
        results.append(ok)
        print(f"  {'ok  ' if ok else 'FAIL'}  self-test: {what}: "
              + (f"the check failed ({'; '.join(failed)})" if failed else "the check passed"))

    def program(name, arm64_version="13.0", signed=True):
        source = SCRATCH / "main.c"
        source.write_text("int main(void) { return 0; }\n")
        built = []
        for arch, version in (("arm64", arm64_version), ("x86_64", "13.0")):
            out = SCRATCH / f"{name}.{arch}"
            flags = ["-fuse-ld=lld"] if ON_LINUX else []
            if arch == "arm64" and not signed:
                flags.append("-Wl,-no_adhoc_codesign")
            run("clang", "-target", f"{arch}-apple-macos{version}", "-isysroot", sdk, *flags,
                source, "-o", out)
            built.append(out)
        universal = SCRATCH / name
        run(LIPO, "-create", *built, "-output", universal)
        return universal

    print(f"macOS checks, fed what each exists to catch (SDK {sdk})")
    sound = program("sound")
    expect(None, "a sound universal program", lambda: check_executable(sound, "13.0"))
    older = program("older", arm64_version="11.0")
    expect("[arm64]: minos 11.0", "an arm64 slice for macOS 11 beside an x86_64 one for 13",
           lambda: check_executable(older, "13.0"))
    unsigned = program("unsigned", signed=False)
    expect("[arm64]: signed", "an unsigned arm64 slice",
           lambda: check_executable(unsigned, "13.0"))

    selectors = ["menuForMenuKind:"] + [f"doc{i:02d}:" for i in range(20)] + ["openHostApp:"]
    expect(None, "a full listing in the form of Apple's linker",
           lambda: check_selectors("Mac", mac_listing(selectors), "FinderSyncExt", selectors))
    expect("missing: doc07:", "that listing without doc07:",
           lambda: check_selectors("Mac", mac_listing([s for s in selectors if s != "doc07:"]),
                                   "FinderSyncExt", selectors))

    info = {"CFBundlePackageType": "APPL", "LSMinimumSystemVersion": "13.0",
            "NSHighResolutionCapable": True}
    expect(None, "a sound plist", lambda: check_plist("Lemvora.app", info, "APPL", "13.0"))
    blurry = {k: v for k, v in info.items() if k != "NSHighResolutionCapable"}
    expect("NSHighResolutionCapable", "a plist without NSHighResolutionCapable",
           lambda: check_plist("Lemvora.app", blurry, "APPL", "13.0"))

    if all(results):
        print("each macOS check fails on the fault it exists for")
        return 0
    print(f"{results.count(False)} self-test(s) failed")
    return 1


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--self-test":
        sys.exit(self_test(Path(sys.argv[2]).resolve()))
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.exit(main(Path(sys.argv[1]).resolve()))
