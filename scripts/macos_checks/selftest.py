"""--self-test: each check fed the fault it exists for, and the sound version.

The programs are built with clang against the SDK, linked as Apple's linker links for macOS 13
(chained fixups; on Linux with LLVM 19's ld64.lld and -fixup_chains), in whatever form the linker
at hand writes them: LLVM's (pointers by address, lists of pointers), Apple's on a Mac (pointers
as offsets from the image, relative method lists on arm64), or that of a wrapper around clang
that rewrites LLVM's into Apple's. The rewriters below then write each slice in the other forms,
so that the reader meets both whichever linker made them.
"""
import struct
import subprocess
import sys
from pathlib import Path

from . import checks
from .checks import (ARCHITECTURES, LIPO, ON_LINUX, SCRATCH, check, check_executable,
                     check_plist, check_selectors, read_classes, run, thin)

TARGET = (1 << 36) - 1  # a chained rebase's target, in formats 2 and 6 alike
NEXT = 0xFFF << 51  # its distance to the next fixup of its page, in 4-byte steps
RELATIVE = 0x80000000


class Layout:
    """What the rewriters need of one thin Mach-O file, read here from its load commands and its
    chained fixups on their own, never through the reader the self-test tests: the rewriters and
    the reader must not agree by construction (the image's address, above all, is __TEXT's here,
    taken by its name)."""

    def __init__(self, data):
        self.data = data  # a bytearray, rewritten in place
        self.segments, self.sections, self.starts = [], {}, {}
        fixups, at = None, 32
        for _ in range(struct.unpack_from("<I", data, 16)[0]):
            cmd, size = struct.unpack_from("<2I", data, at)
            if cmd == 0x19:  # LC_SEGMENT_64
                name = bytes(data[at + 8:at + 24]).rstrip(b"\0").decode()
                self.segments.append((name, *struct.unpack_from("<4Q", data, at + 24)))
                for k in range(struct.unpack_from("<I", data, at + 64)[0]):
                    s = at + 72 + 80 * k
                    sect, seg = (bytes(data[o:o + 16]).rstrip(b"\0").decode() for o in (s, s + 16))
                    self.sections[seg, sect] = struct.unpack_from("<2Q", data, s + 32)
            elif cmd == 0x80000034:  # LC_DYLD_CHAINED_FIXUPS
                fixups = struct.unpack_from("<I", data, at + 8)[0]
            at += size
        self.text = next(s[1] for s in self.segments if s[0] == "__TEXT")
        if fixups is not None:  # segment index -> its dyld_chained_starts_in_segment
            image = fixups + struct.unpack_from("<I", data, fixups + 4)[0]
            for i in range(struct.unpack_from("<I", data, image)[0]):
                offset = struct.unpack_from("<I", data, image + 4 + 4 * i)[0]
                if offset:
                    self.starts[i] = image + offset

    def segment(self, address):
        for i, (_, vmaddr, _, _, filesize) in enumerate(self.segments):
            if vmaddr <= address < vmaddr + filesize:
                return i
        raise ValueError(f"0x{address:x} is in no segment")

    def at(self, address):
        _, vmaddr, _, fileoff, _ = self.segments[self.segment(address)]
        return fileoff + address - vmaddr

    def get(self, fmt, address):
        return struct.unpack_from(fmt, self.data, self.at(address))[0]

    def put(self, fmt, address, *values):
        struct.pack_into(fmt, self.data, self.at(address), *values)

    def format(self, address):
        start = self.starts.get(self.segment(address))
        return None if start is None else struct.unpack_from("<H", self.data, start + 6)[0]

    def target(self, address):
        """Where the pointer at `address` points; None for a null or a bind."""
        value, fmt = self.get("<Q", address), self.format(address)
        if value == 0 or fmt is not None and value >> 63:
            return None
        if fmt not in (None, 2, 6):
            raise ValueError(f"pointer format {fmt}: the self-test writes 2 and 6")
        return value if fmt is None else (value & TARGET) + (self.text if fmt == 6 else 0)

    def point(self, address, target):
        """The pointer at `address` made to point to `target`, in its segment's format."""
        offset = target - (self.text if self.format(address) == 6 else 0)
        self.put("<Q", address, self.get("<Q", address) & ~TARGET | offset)

    def string(self, address):
        at = self.at(address)
        return bytes(self.data[at:self.data.index(b"\0", at)]).decode()

    def pointers(self, section):
        address, size = next((v for (_, s), v in self.sections.items() if s == section), (0, 0))
        return [(address + k, self.target(address + k)) for k in range(0, size, 8)]

    def method_lists(self):
        """[(the field that points to a method list, the list)] of every class here, its
        metaclass and every category."""
        fields = []
        for _, cls in self.pointers("__objc_classlist"):
            for c in (cls, self.target(cls)):  # the class, and its metaclass (its isa)
                ro = None if c is None else self.target(c + 32)
                if ro is not None:
                    fields.append((ro & ~7) + 32)
        for _, category in self.pointers("__objc_catlist"):
            fields += [category + 16, category + 24]
        return [(f, self.target(f)) for f in fields if self.target(f) is not None]

    def pages(self):
        """(page address, its size, where its chain's start is written) of every page with
        fixups."""
        for i, start in self.starts.items():
            _, page_size, _, _, _, count = struct.unpack_from("<IHHQIH", self.data, start)
            for p in range(count):
                yield self.segments[i][1] + p * page_size, page_size, start + 22 + 2 * p

    def chain(self, page, start_at):
        """The addresses of a page's fixups, in the chain's order. A method list made relative in
        place (by a rewriter; Apple's linker writes relative lists into __TEXT, outside every
        chain) now holds offsets where the chain ran through its pointers: the chain goes on from
        the first old pointer after the new entries, which still holds its link."""
        first = struct.unpack_from("<H", self.data, start_at)[0]
        resume = {}
        for _, ml in self.method_lists():
            flags, count = self.get("<I", ml), self.get("<I", ml + 4)
            if flags & RELATIVE and self.format(ml) is not None:
                resume[ml + 8] = ml + 8 + (12 * count + 7) // 8 * 8
        found, address = [], None if first == 0xFFFF else page + first
        while address is not None:
            address = resume.get(address, address)
            found.append(address)
            step = (self.get("<Q", address) & NEXT) >> 51
            address = address + 4 * step if step else None
        return found

    def form(self):
        """The pointer formats, and each method list's kind."""
        formats = {struct.unpack_from("<H", self.data, s + 6)[0] for s in self.starts.values()}
        lists = tuple("relative" if self.get("<I", ml) & RELATIVE else "pointer"
                      for _, ml in self.method_lists())
        return tuple(sorted(formats)), lists


def other_pointer_format(layout):
    """Chained pointers by address (DYLD_CHAINED_PTR_64, LLVM's) rewritten as offsets from the
    image (DYLD_CHAINED_PTR_64_OFFSET, Apple's), or the other way round."""
    if not layout.starts:
        raise ValueError("the program has no chained fixups")
    walks = [layout.chain(page, start_at) for page, _, start_at in layout.pages()]
    formats = {}
    for i, start in layout.starts.items():
        fmt = struct.unpack_from("<H", layout.data, start + 6)[0]
        if fmt not in (2, 6):
            raise ValueError(f"pointer format {fmt}: the self-test writes 2 and 6")
        formats[i] = fmt
    for address in (a for walk in walks for a in walk):
        value = layout.get("<Q", address)
        if not value >> 63:  # a rebase; a bind names its symbol alike in both
            shift = -layout.text if formats[layout.segment(address)] == 2 else layout.text
            layout.put("<Q", address, value & ~TARGET | (value & TARGET) + shift)
    for i, start in layout.starts.items():
        struct.pack_into("<H", layout.data, start + 6, 6 if formats[i] == 2 else 2)


def other_method_lists(layout):
    """Each method list of pointers rewritten relative, as Apple's linker writes it for arm64
    (entries of three 32-bit offsets from their own fields, the name's to the selector's
    reference; into __TEXT), and each relative list rewritten as a list of pointers (into
    __DATA, in its segment's pointer format). The program holds room for them, and messages every
    method, so that each selector has a reference. The new pointers are in no chain: the copy is
    for reading, pointer by pointer, as the reader reads it, not for dyld."""
    references = {layout.string(name): ref for ref, name in layout.pointers("__objc_selrefs")}
    rooms = {seg: list(layout.sections[seg, "__lv_room"]) for seg in ("__TEXT", "__DATA")}

    def room(segment, size):
        where = rooms[segment]
        where[0], where[1] = where[0] + size, where[1] - size
        if where[1] < 0:
            raise ValueError(f"no room left in {segment}")
        return where[0] - size

    for field, ml in layout.method_lists():
        flags, count = layout.get("<I", ml), layout.get("<I", ml + 4)
        if flags & RELATIVE:
            new = room("__DATA", 8 + 24 * count)
            layout.put("<2I", new, 24, count)
            for j in range(count):
                entry = ml + 8 + (flags & 0xFFFC) * j
                name, types, imp = struct.unpack_from("<3i", layout.data, layout.at(entry))
                targets = (layout.target(entry + name), entry + 4 + types, entry + 8 + imp)
                for k, target in enumerate(targets):
                    layout.put("<Q", new + 8 + 24 * j + 8 * k, 0)
                    layout.point(new + 8 + 24 * j + 8 * k, target)
        else:
            if flags & 0xFFFC != 24:
                raise ValueError(f"a method list of {flags & 0xFFFC}-byte entries")
            new = room("__TEXT", 8 + 12 * count)
            layout.put("<2I", new, RELATIVE | 12, count)
            for j in range(count):
                name, types, imp = (layout.target(ml + 8 + 24 * j + 8 * k) for k in range(3))
                entry = new + 8 + 12 * j
                layout.put("<3i", entry, references[layout.string(name)] - entry,
                           types - entry - 4, imp - entry - 8)
        layout.point(field, new)


def describe(form):
    formats, lists = form
    kinds = [f"{lists.count(k)} {k}" for k in ("pointer", "relative") if k in lists]
    return (f"chained format {' '.join(map(str, formats))}" if formats else "no chained fixups") \
        + f", method lists: {', '.join(kinds) or 'none'}"


def joined(name, parts):
    universal = SCRATCH / name
    run(LIPO, "-create", *parts, "-output", universal)
    return universal


def rewritten(universal, name, *rewriters):
    """A copy of a universal program, each slice rewritten by each of `rewriters` in turn."""
    parts = []
    for arch in sorted(ARCHITECTURES):
        data = bytearray(thin(universal, arch).read_bytes())
        for rewrite in rewriters:
            rewrite(Layout(data))
        parts.append(SCRATCH / f"{name}.{arch}")
        parts[-1].write_bytes(bytes(data))
    return joined(name, parts)


def forms(universal):
    return {arch: Layout(bytearray(thin(universal, arch).read_bytes())).form()
            for arch in sorted(ARCHITECTURES)}


def objc_source(methods):
    """FinderSyncExt with `methods`, the last of them (an action) in a category; beside it what
    the reader must read right: a category with class methods only and a class without instance
    methods (null method lists), a category on NSObject (its class bound at load time). Every
    method is messaged, so that its selector has a reference, and there is room for the method
    lists the rewriters write."""
    def define(m, kind="-"):
        return (f"{kind} (void){m[:-1]}:(id)sender {{ (void)sender; }}\n" if m.endswith(":")
                else f"{kind} (void){m} {{}}\n")

    def message(receiver, m):
        return f"  [{receiver} {m[:-1]}:0];\n" if m.endswith(":") else f"  [{receiver} {m}];\n"

    return ("#include <objc/NSObject.h>\n"
            '__attribute__((used, section("__TEXT,__lv_room"))) static const char text_room'
            "[4096] = {1};\n"
            '__attribute__((used, section("__DATA,__lv_room"))) static char data_room'
            "[4096] = {1};\n"
            "@interface FinderSyncExt : NSObject\n@end\n@implementation FinderSyncExt\n"
            + "".join(define(m) for m in methods[:-1]) + "@end\n"
            "@interface FinderSyncExt (Actions)\n@end\n@implementation FinderSyncExt (Actions)\n"
            + define(methods[-1]) + "@end\n"
            "@interface FinderSyncExt (Making)\n@end\n@implementation FinderSyncExt (Making)\n"
            + define("made", "+") + "@end\n"
            "@interface Quiet : NSObject\n@end\n@implementation Quiet\n"
            + define("hush", "+") + "@end\n"
            "@interface NSObject (Probing)\n@end\n@implementation NSObject (Probing)\n"
            + define("probe") + "@end\n"
            "void use(FinderSyncExt* o) {\n" + "".join(message("o", m) for m in methods)
            + message("FinderSyncExt", "made") + message("Quiet", "hush") + message("o", "probe")
            + "}\nint main(void) { return 0; }\n")


def self_test(sdk):
    """Each check fails on the fault it exists for, and passes on the sound version."""
    checks.feeding_faults = True
    failures = checks.failures
    results = []

    def expect(fault, what, body):
        """`fault`: what every failure must say, or None where the check must pass."""
        before = len(failures)
        try:
            body()
        except Exception as error:  # noqa: BLE001: the reader's errors fail the check too
            check(False, f"{what}: {type(error).__name__}: {error}")
        failed = failures[before:]
        del failures[before:]
        ok = not failed if fault is None else bool(failed) and all(fault in f for f in failed)
        results.append(ok)
        print(f"  {'ok  ' if ok else 'FAIL'}  self-test: {what}: "
              + (f"the check failed ({'; '.join(failed)})" if failed else "the check passed"))

    linker = SCRATCH / "linker"  # on Linux, a folder whose ld64.lld is LLVM 19's

    def program(name, arm64_version="13.0", signed=True, methods=None):
        """A universal program, linked as Apple's linker links for its target (chained fixups);
        with `methods`, of Objective-C (objc_source)."""
        source = SCRATCH / ("main.c" if methods is None else "main.m")
        source.write_text("int main(void) { return 0; }\n" if methods is None
                          else objc_source(methods))
        built = []
        for arch, version in (("arm64", arm64_version), ("x86_64", "13.0")):
            out = SCRATCH / f"{name}.{arch}"
            flags = (["-B", linker, "-fuse-ld=lld", "-mlinker-version=705", "-Wl,-fixup_chains"]
                     if ON_LINUX else [])
            if arch == "arm64" and not signed:
                flags.append("-Wl,-no_adhoc_codesign")
            if methods is not None:
                flags.append("-lobjc")
            run("clang", "-target", f"{arch}-apple-macos{version}", "-isysroot", sdk, *flags,
                source, "-o", out)
            built.append(out)
        return joined(name, built)

    print(f"macOS checks, fed what each exists to catch (SDK {sdk})")
    if ON_LINUX:
        linker.mkdir()
        (linker / "ld64.lld").symlink_to("/usr/lib/llvm-19/bin/ld64.lld")
    sound = program("sound")
    expect(None, "a sound universal program", lambda: check_executable(sound, "13.0"))
    older = program("older", arm64_version="11.0")
    expect("[arm64]: minos 11.0", "an arm64 slice for macOS 11 beside an x86_64 one for 13",
           lambda: check_executable(older, "13.0"))
    unsigned = program("unsigned", signed=False)
    expect("[arm64]: signed", "an unsigned arm64 slice",
           lambda: check_executable(unsigned, "13.0"))

    # The selectors, in each form: as linked, and rewritten into the other pointer format, the
    # other kind of method lists, and both.
    selectors = ["menuForMenuKind:"] + [f"doc{i:02d}:" for i in range(20)] + ["openHostApp:"]
    flip = {2: 6, 6: 2, "pointer": "relative", "relative": "pointer"}
    rewrites = [("as linked", "", ()),
                ("in the other pointer format", "format", (other_pointer_format,)),
                ("with the other method lists", "lists", (other_method_lists,)),
                ("in the other pointer format and method lists", "both",
                 (other_pointer_format, other_method_lists))]

    def selectors_of(universal, form, methods):
        """The reader reads exactly the program's classes, in the form asked for, and the
        selector check then asks them for every selector."""
        expected = {"FinderSyncExt": set(methods), "Quiet": set()}
        for arch, (formats, lists) in form.items():
            check(forms(universal)[arch] == (formats, lists) and bool(formats),
                  f"{universal.name} [{arch}]: {describe((formats, lists))}")
            read = read_classes(universal, arch)
            if read is not None:
                check(read[1] == expected, f"{universal.name} [{arch}]: the reader reads its "
                      "classes, the categories' methods and the classes without methods")
                check_selectors(arch, read[1], "FinderSyncExt", selectors)

    for name, fault, methods in (("whole", None, selectors),
                                 ("short", "missing: doc07:",
                                  [s for s in selectors if s != "doc07:"])):
        linked = program(name, methods=methods)
        print(f"  ({name}: {'; '.join(f'{a} {describe(f)}' for a, f in forms(linked).items())})")
        for what, tag, rewriters in rewrites:
            universal = rewritten(linked, f"{name}-{tag}", *rewriters) if rewriters else linked
            form = {arch: (tuple(sorted(flip[f] for f in formats))
                           if other_pointer_format in rewriters else formats,
                           tuple(flip[k] for k in lists)
                           if other_method_lists in rewriters else lists)
                    for arch, (formats, lists) in forms(linked).items()}
            expect(fault, ("a class with every action, one in a category" if fault is None else
                           "that class without doc07:") + ", " + what,
                   lambda: selectors_of(universal, form, methods))
        if fault is None:
            whole = linked

    def list_methods():
        arm64 = thin(whole, "arm64")
        arm64e = SCRATCH / "whole.arm64e"
        arm64e.write_bytes(arm64.read_bytes()[:8] + struct.pack("<I", 2)
                           + arm64.read_bytes()[12:])
        listed = subprocess.run([sys.executable, Path(__file__).parents[1] / "macos-checks.py",
                                 "--list-methods", whole, arm64, arm64e],
                                capture_output=True, text=True)
        expected = [f"{path} [{arch}] {line}" for path, archs in ((whole, ARCHITECTURES),
                                                                  (arm64, ["arm64"]))
                    for arch in sorted(archs)
                    for line in [" ".join(["FinderSyncExt:"] + sorted(selectors)), "Quiet:"]]
        lines = listed.stdout.splitlines()
        check(listed.returncode == 1 and not listed.stderr
              and sorted(lines[:-1]) == sorted(expected)
              and lines[-1].startswith(f"{arm64e} [arm64e]: not read: "),
              "--list-methods: a universal file, a thin one, and an arm64e slice it does not "
              f"read (exit {listed.returncode}; {listed.stderr.strip()[-200:]})")
    expect(None, "--list-methods", list_methods)

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
