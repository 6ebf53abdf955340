"""The checks of a macOS build of Lemvora (see scripts/macos-checks.py), and what they share with
the self-test: the tools, and the record of what failed."""
import atexit
import plistlib
import re
import shutil
import subprocess
import tempfile
from pathlib import Path

from .macho import MachO

SOURCE = Path(__file__).resolve().parents[2]
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


def read_classes(executable, arch):
    """How one slice's pointers are written, and its Objective-C classes with their methods; None
    where the reader cannot make sense of the slice, which is a failed check."""
    try:
        image = MachO(thin(executable, arch).read_bytes())
        return ("chained fixups" if image.formats else "rebase opcodes"), image.objc_classes()
    except Exception as error:  # noqa: BLE001: any error of the reader is the finding
        check(False, f"{executable.name} [{arch}]: its Objective-C metadata reads ({error})")
        return None


def check_selectors(what, classes, objc_class, selectors):
    methods = classes.get(objc_class, set())
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


def check_build(build):
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
            read = read_classes(executable, arch)
            if read is not None:
                check_selectors(f"{arch}, {read[0]}", read[1], objc_class, selectors)

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
