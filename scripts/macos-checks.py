#!/usr/bin/env python3
"""Checks a macOS build of Lemvora (made by scripts/macos-crosscheck.sh, or on a Mac) for what a
Mac would need of it and that compiling and linking do not prove. Prints each check; exits 1 when
any fails.

Usage: scripts/macos-checks.py BUILD_DIR

- Both executables are universal (arm64 and x86_64), each slice with the deployment target as its
  minimum system version, which both Info.plists state too.
- Every selector the C++ code can hand to AppKit is a method of the Objective-C class that
  receives it. The selectors come from the selector tables in the code.
- The Info.plists and the extension's entitlements carry what the system needs.
- The starter documents are in the application's resources.
- Where the build has its tests, the test programs are Mach-O executables of every architecture,
  and the Mac's fake user database can be inserted (it interposes getpwuid).

On Linux it uses Debian's LLVM tools; on a Mac, Xcode's (lipo, otool, objdump).
"""
import plistlib
import re
import subprocess
import sys
from pathlib import Path

SOURCE = Path(__file__).resolve().parent.parent
LLVM = Path("/usr/lib/llvm-14/bin")
LIPO, OTOOL, OBJDUMP = ((LLVM / "llvm-lipo", LLVM / "llvm-otool", LLVM / "llvm-objdump")
                        if LLVM.is_dir() else ("lipo", "otool", "objdump"))
ARCHITECTURES = {"arm64", "x86_64"}
STARTER_DOCUMENTS = ["bos.docx", "bos.xlsx", "bos.pptx"]
TEST_PROGRAMS = ["tests/catalogue_test",
                 "tests/Host.app/Contents/PlugIns/Menu.appex/Contents/MacOS/finder_sync_test",
                 "tests/AppHost.app/Contents/MacOS/app_test"]

failures = []


def check(ok, what):
    print(("  ok    " if ok else "  FAIL  ") + what)
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


def minimum_versions(executable, arch):
    out = run(OTOOL, "-arch", arch, "-l", executable)
    return re.findall(r"^\s*minos (\S+)$", out, re.M)


def objc_methods(executable, arch="arm64"):
    """Class name -> every name listed in its metadata (methods of the class and its categories)."""
    out = run(OBJDUMP, "--macho", "--objc-meta-data", f"--arch={arch}", executable)
    classes = {}
    current = None
    for line in out.splitlines():
        head = re.match(r"^[0-9a-f]{16} 0x[0-9a-f]+ (\S+)$", line)
        if head:
            symbol = head.group(1)
            owner = re.match(r"^_OBJC_CLASS_\$_(\w+)$|^__OBJC_\$_CATEGORY_(\w+?)_\$_\w+$", symbol)
            current = (owner.group(1) or owner.group(2)) if owner else None
            continue
        name = re.match(r"^\s+name 0x[0-9a-f]+ (\S+)$", line)
        if name and current:
            classes.setdefault(current, set()).add(name.group(1))
    return classes


def table_selectors(source, owner):
    """The selectors of `owner`'s SelectorTable in a source file."""
    text = source.read_text()
    table = re.search(r"SelectorTable<" + owner + r">\s+table\{(.*?)\n\s*\};", text, re.S)
    return re.findall(r'\{\s*"([^"]+)"', table.group(1)) if table else []


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
        check(info.get("CFBundlePackageType") == package_type,
              f"{bundle.name}: CFBundlePackageType is {package_type}")
        check(info.get("LSMinimumSystemVersion") == target,
              f"{bundle.name}: LSMinimumSystemVersion is the deployment target {target}")
        executable = bundle / "Contents/MacOS" / str(info.get("CFBundleExecutable"))
        check(executable.is_file(), f"{bundle.name}: CFBundleExecutable names {executable.name}, "
                                    "which is there")
        if not executable.is_file():
            continue
        archs = slices(executable)
        check(archs == ARCHITECTURES, f"{executable.name}: universal ({' '.join(sorted(archs))})")
        for arch in sorted(archs):
            versions = minimum_versions(executable, arch)
            check(versions == [target], f"{executable.name} [{arch}]: minos {' '.join(versions)}")

    if app in plists and appex in plists:
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
        for arch in sorted(ARCHITECTURES):
            methods = objc_methods(executable, arch).get(objc_class, set())
            missing = [s for s in selectors if s not in methods]
            check(not missing, f"{objc_class} [{arch}] answers {len(selectors)} selectors"
                  + (f"; missing: {' '.join(missing)}" if missing else ""))

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
        headers = run(OBJDUMP, "--macho", "--section-headers", "--arch=arm64", fake) \
            if fake.is_file() else ""
        check("__interpose" in headers, f"{fake.name}: interposes the user database")
    else:
        print("  (the build has no tests)")

    if failures:
        print(f"{len(failures)} macOS check(s) failed")
        return 1
    print("every macOS check passed")
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.exit(main(Path(sys.argv[1]).resolve()))
