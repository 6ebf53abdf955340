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
  receives it. The selectors come from the selector tables in the code; the methods from the
  executable's Objective-C metadata, read here from the Mach-O file itself, with its pointers
  resolved whether the linker wrote chained fixups (Apple's linker for macOS 12 and later, which
  objdump does not follow) or rebase opcodes, and its method lists whether relative or not.
- The Info.plists and the extension's entitlements carry what the system needs; the application
  carries its icon.
- The starter documents are in the application's resources.
- Where the build has its tests, the test programs are Mach-O executables of every architecture,
  and the Mac's fake user database can be inserted (it interposes getpwuid).

--self-test feeds each check the fault it exists for (a slice with another minimum version, an
unsigned arm64 slice, a class without one of the selectors, linked with chained fixups, a plist
without a key) and fails unless each check fails on it and passes on the sound version. It builds
small programs with clang against the SDK, linked as Apple's linker links for macOS 13 (on Linux
with LLVM 16's ld64.lld and -fixup_chains), and rewrites copies of them into the other forms
Apple's linker writes: chained pointers as offsets from the image, relative method lists.

On Linux it uses Debian's LLVM tools; on a Mac, Xcode's (lipo, otool, objdump).
"""
import atexit
import plistlib
import re
import shutil
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

SOURCE = Path(__file__).resolve().parent.parent
LLVM = Path("/usr/lib/llvm-14/bin")
ON_LINUX = LLVM.is_dir()
LIPO, OTOOL, OBJDUMP = ((LLVM / "llvm-lipo", LLVM / "llvm-otool", LLVM / "llvm-objdump")
                        if ON_LINUX else ("lipo", "otool", "objdump"))
CROSS_LINKER = None  # on Linux, a folder whose ld64.lld is LLVM 16's (see self_test)
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


LC_SEGMENT_64 = 0x19
LC_DYLD_CHAINED_FIXUPS = 0x80000034


class MachO:
    """A thin 64-bit Mach-O file, read for its Objective-C metadata."""

    def __init__(self, data):
        self.data = data
        magic, _, _, _, ncmds, _, _, _ = struct.unpack_from("<8I", data, 0)
        if magic != 0xFEEDFACF:
            raise ValueError("not a thin 64-bit Mach-O file")
        self.segments, self.sections, self.formats, self.chains = [], {}, {}, []
        chained = None
        at = 32
        for _ in range(ncmds):
            cmd, size = struct.unpack_from("<2I", data, at)
            if cmd == LC_SEGMENT_64:
                vmaddr, vmsize, fileoff, filesize, _, _, nsects, _ = \
                    struct.unpack_from("<4Q4I", data, at + 24)
                self.segments.append((vmaddr, vmsize, fileoff))
                if fileoff == 0 and filesize > 0:
                    self.base = vmaddr  # where the Mach-O header is mapped: __TEXT
                for k in range(nsects):
                    sect = struct.unpack_from("<16s16s2Q", data, at + 72 + 80 * k)
                    self.sections[sect[0].rstrip(b"\0").decode()] = (sect[2], sect[3])
            elif cmd == LC_DYLD_CHAINED_FIXUPS:
                chained = struct.unpack_from("<I", data, at + 8)[0]
            at += size
        if chained is not None:
            # dyld_chained_fixups_header, then dyld_chained_starts_in_image: for each segment
            # with fixups, dyld_chained_starts_in_segment (its pointer format, and where in each
            # page its chain of fixups starts).
            starts = chained + struct.unpack_from("<I", data, chained + 4)[0]
            count = struct.unpack_from("<I", data, starts)[0]
            for i, offset in enumerate(struct.unpack_from(f"<{count}I", data, starts + 4)):
                if offset:
                    at = starts + offset
                    _, page_size, fmt, segment_offset, _, pages = \
                        struct.unpack_from("<IHHQIH", data, at)
                    self.formats[i] = fmt
                    self.chains.append((at + 6, segment_offset, page_size,
                                        struct.unpack_from(f"<{pages}H", data, at + 22)))

    def offset(self, address):
        for i, (vmaddr, vmsize, fileoff) in enumerate(self.segments):
            if vmaddr <= address < vmaddr + vmsize:
                return fileoff + address - vmaddr, i
        raise ValueError(f"address 0x{address:x} lies in no segment")

    def pointer(self, address):
        """The address a pointer in the file points to; None for a symbol bound at load time."""
        at, segment = self.offset(address)
        value = struct.unpack_from("<Q", self.data, at)[0]
        fmt = self.formats.get(segment)
        if fmt is None:
            return value or None  # classic rebase opcodes: the file holds the address
        if fmt not in (2, 6):  # DYLD_CHAINED_PTR_64, DYLD_CHAINED_PTR_64_OFFSET
            raise ValueError(f"pointer format {fmt} is not read here")
        if value >> 63:
            return None  # a bind
        target = value & ((1 << 36) - 1)
        high8 = (value >> 36) & 0xFF
        return (high8 << 56) | (target if fmt == 2 else self.base + target)

    def string(self, address):
        at, _ = self.offset(address)
        return self.data[at:self.data.index(b"\0", at)].decode()

    def methods(self, address):
        """The names in a method list (pointer lists, and the relative ones of Apple's linker)."""
        if not address:
            return set()
        flags_size, count = struct.unpack_from("<2I", self.data, self.offset(address)[0])
        size = flags_size & 0xFFFC
        names = set()
        for i in range(count):
            entry = address + 8 + i * size
            if flags_size & 0x80000000:  # relative: an offset to the selector's reference
                delta = struct.unpack_from("<i", self.data, self.offset(entry)[0])[0]
                names.add(self.string(self.pointer(entry + delta)))
            else:
                names.add(self.string(self.pointer(entry)))
        return names

    def objc_classes(self):
        """Class name -> the methods of the class and of its categories."""
        def class_info(cls):
            ro = self.pointer(cls + 32) & ~7
            return self.string(self.pointer(ro + 24)), self.pointer(ro + 32)
        classes = {}
        for section, owner in (("__objc_classlist", None), ("__objc_catlist", "cls")):
            if section not in self.sections:
                continue
            address, size = self.sections[section]
            for k in range(0, size, 8):
                item = self.pointer(address + k)
                if owner is None:
                    name, methods = class_info(item)
                else:
                    cls = self.pointer(item + 8)
                    if cls is None:
                        continue  # a category on another image's class
                    name, methods = class_info(cls)[0], self.pointer(item + 16)
                classes.setdefault(name, set()).update(self.methods(methods))
        return classes



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
            image = MachO(thin(executable, arch).read_bytes())
            how = "chained fixups" if image.formats else "rebase opcodes"
            check_selectors(f"{arch}, {how}", image.objc_classes(), objc_class, selectors)

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


def rewritten(universal, name, rewrite):
    """A copy of a universal program, each slice's bytes changed by rewrite(image, data)."""
    slices_ = []
    for arch in sorted(ARCHITECTURES):
        image = MachO(thin(universal, arch).read_bytes())
        data = bytearray(image.data)
        rewrite(image, data)
        out = SCRATCH / f"{name}.{arch}"
        out.write_bytes(bytes(data))
        slices_.append(out)
    return joined(name, slices_)


def joined(name, slices_):
    universal = SCRATCH / name
    run(LIPO, "-create", *slices_, "-output", universal)
    return universal


def with_offset_pointers(universal):
    """A copy of a program whose chained fixups point by address (DYLD_CHAINED_PTR_64, as LLVM's
    linker writes them), rewritten to point by offset from the image (DYLD_CHAINED_PTR_64_OFFSET),
    the form Apple's linker may write instead."""
    def rewrite(image, data):
        for format_at, segment_offset, page_size, page_starts in image.chains:
            struct.pack_into("<H", data, format_at, 6)
            for page, start in enumerate(page_starts):
                address = None if start == 0xFFFF else \
                    image.base + segment_offset + page * page_size + start
                while address is not None:
                    at = image.offset(address)[0]
                    value = struct.unpack_from("<Q", data, at)[0]
                    if not value >> 63:  # a rebase: its target less the image's address
                        target = (value & ((1 << 36) - 1)) - image.base
                        value = value & ~((1 << 36) - 1) | target
                        struct.pack_into("<Q", data, at, value)
                    step = (value >> 51) & 0xFFF
                    address = address + 4 * step if step else None

    return rewritten(universal, "offsets", rewrite)


def with_relative_method_lists(universal):
    """A copy of a program whose method lists are rewritten in the relative form of Apple's
    linker: entries of three 32-bit offsets, each from its own field, the name's to the
    selector's reference. (The program must message each of its methods, so that every selector
    has a reference.)"""
    def rewrite(image, data):
        address, size = image.sections["__objc_selrefs"]
        references = {image.string(image.pointer(address + k)): address + k
                      for k in range(0, size, 8)}
        address, size = image.sections["__objc_classlist"]
        for k in range(0, size, 8):
            ro = image.pointer(image.pointer(address + k) + 32) & ~7
            methods = image.pointer(ro + 32)
            count = struct.unpack_from("<2I", data, image.offset(methods)[0])[1]
            entries = [[image.pointer(methods + 8 + 24 * i + field) for field in (0, 8, 16)]
                       for i in range(count)]
            struct.pack_into("<2I", data, image.offset(methods)[0], 0x80000000 | 12, count)
            for i, (name, types, imp) in enumerate(entries):
                entry = methods + 8 + 12 * i
                struct.pack_into("<3i", data, image.offset(entry)[0],
                                 references[image.string(name)] - entry, types - entry - 4,
                                 imp - entry - 8)

    return rewritten(universal, "relative", rewrite)


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

    def program(name, arm64_version="13.0", signed=True, methods=None):
        """A universal program, linked as Apple's linker links for its target (chained fixups);
        with `methods`, of Objective-C: a class FinderSyncExt with those methods."""
        source = SCRATCH / ("main.c" if methods is None else "main.m")
        text = "int main(void) { return 0; }\n"
        if methods is not None:
            text = ("__attribute__((objc_root_class)) @interface FinderSyncExt\n@end\n"
                    "@implementation FinderSyncExt\n"
                    + "".join(f"- (void){m[:-1]}:(id)sender {{ (void)sender; }}\n"
                              if m.endswith(":") else f"- (void){m} {{}}\n" for m in methods)
                    + "@end\n"
                    # every selector messaged, so that each has a reference (__objc_selrefs)
                    + "void use(FinderSyncExt* o) {\n"
                    + "".join(f"  [o {m[:-1]}:0];\n" if m.endswith(":") else f"  [o {m}];\n"
                              for m in methods)
                    + "}\n" + text)
        source.write_text(text)
        built = []
        for arch, version in (("arm64", arm64_version), ("x86_64", "13.0")):
            out = SCRATCH / f"{name}.{arch}"
            flags = (["-B", CROSS_LINKER, "-fuse-ld=lld", "-mlinker-version=705",
                      "-Wl,-fixup_chains"] if ON_LINUX else [])
            if arch == "arm64" and not signed:
                flags.append("-Wl,-no_adhoc_codesign")
            if methods is not None:
                flags.append("-lobjc")
            run("clang", "-target", f"{arch}-apple-macos{version}", "-isysroot", sdk, *flags,
                source, "-o", out)
            built.append(out)
        return joined(name, built)

    print(f"macOS checks, fed what each exists to catch (SDK {sdk})")
    global CROSS_LINKER
    if ON_LINUX:
        CROSS_LINKER = SCRATCH / "linker"
        CROSS_LINKER.mkdir()
        (CROSS_LINKER / "ld64.lld").symlink_to("/usr/lib/llvm-16/bin/ld64.lld")
    sound = program("sound")
    expect(None, "a sound universal program", lambda: check_executable(sound, "13.0"))
    older = program("older", arm64_version="11.0")
    expect("[arm64]: minos 11.0", "an arm64 slice for macOS 11 beside an x86_64 one for 13",
           lambda: check_executable(older, "13.0"))
    unsigned = program("unsigned", signed=False)
    expect("[arm64]: signed", "an unsigned arm64 slice",
           lambda: check_executable(unsigned, "13.0"))

    selectors = ["menuForMenuKind:"] + [f"doc{i:02d}:" for i in range(20)] + ["openHostApp:"]

    def selectors_of(universal):
        for arch in sorted(ARCHITECTURES):
            image = MachO(thin(universal, arch).read_bytes())
            check(bool(image.formats), f"{universal.name} [{arch}]: linked with chained fixups")
            check_selectors(arch, image.objc_classes(), "FinderSyncExt", selectors)

    whole = program("whole", methods=selectors)
    expect(None, "a class with every method, linked with chained fixups",
           lambda: selectors_of(whole))
    offsets = with_offset_pointers(whole)
    expect(None, "the same with pointers as offsets from the image (DYLD_CHAINED_PTR_64_OFFSET)",
           lambda: selectors_of(offsets))
    relative = with_relative_method_lists(whole)
    expect(None, "the same with relative method lists", lambda: selectors_of(relative))
    short = program("short", methods=[s for s in selectors if s != "doc07:"])
    expect("missing: doc07:", "that class without doc07:", lambda: selectors_of(short))
    short_relative = with_relative_method_lists(short)
    expect("missing: doc07:", "that class with relative method lists",
           lambda: selectors_of(short_relative))

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
