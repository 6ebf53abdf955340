"""A reader of Mach-O files for their Objective-C classes and the instance methods of each, as
the runtime would find them: pointers resolved whether the linker wrote chained fixups (formats
DYLD_CHAINED_PTR_64 and DYLD_CHAINED_PTR_64_OFFSET, Apple's linker for macOS 12 and later) or
rebase opcodes, and method lists whether of pointers or relative.

It reads 64-bit slices of arm64 and x86_64. An arm64e slice (whose pointers are signed) and
32-bit files are refused with a reason; so is anything it cannot make sense of.
"""
import struct
import sys

LC_SEGMENT_64 = 0x19
LC_DYLD_CHAINED_FIXUPS = 0x80000034
CPU_ARM64, CPU_X86_64 = 0x0100000C, 0x01000007
CPU_NAMES = {CPU_ARM64: "arm64", CPU_X86_64: "x86_64", 7: "i386", 12: "arm", 18: "ppc",
             0x01000012: "ppc64", 0x0200000C: "arm64_32"}
TARGET_MASK = (1 << 36) - 1  # a chained rebase's target


def arch_name(cputype, cpusubtype):
    if cputype == CPU_ARM64 and cpusubtype & 0xFFFFFF == 2:
        return "arm64e"
    return CPU_NAMES.get(cputype, f"cputype 0x{cputype:x}")


def slices(data):
    """[(arch, bytes)] of a thin or universal Mach-O file."""
    magic = struct.unpack_from(">I", data, 0)[0] if len(data) >= 8 else 0
    if magic in (0xCAFEBABE, 0xCAFEBABF):  # fat_header, then fat_arch or fat_arch_64 entries
        wide = magic == 0xCAFEBABF
        count = struct.unpack_from(">I", data, 4)[0]
        entry = ">2i2QI4x" if wide else ">2i3I"
        found = []
        for i in range(count):
            cputype, cpusubtype, offset, size = struct.unpack_from(
                entry, data, 8 + i * struct.calcsize(entry))[:4]
            if offset + size > len(data):
                raise ValueError("a universal file whose slices lie beyond its end")
            found.append((arch_name(cputype, cpusubtype), data[offset:offset + size]))
        return found
    little = struct.unpack_from("<I", data, 0)[0] if len(data) >= 8 else 0
    if little in (0xFEEDFACF, 0xFEEDFACE):
        return [(arch_name(*struct.unpack_from("<2I", data, 4)), data)]
    raise ValueError("not a Mach-O file")


class MachO:
    """A thin 64-bit Mach-O file, read for its Objective-C metadata."""

    def __init__(self, data):
        self.data = data
        if len(data) < 32:
            raise ValueError("too short for a Mach-O file")
        magic, cputype, cpusubtype, _, ncmds, _, _, _ = struct.unpack_from("<8I", data, 0)
        if magic == 0xFEEDFACE:
            raise ValueError("a 32-bit Mach-O file, not read here")
        if magic != 0xFEEDFACF:
            raise ValueError("not a thin 64-bit Mach-O file")
        if arch_name(cputype, cpusubtype) == "arm64e":
            raise ValueError("arm64e: its pointers are signed, which is not read here")
        self.segments, self.sections, self.formats = [], {}, {}
        self.base = None
        chained = None
        at = 32
        for _ in range(ncmds):
            cmd, size = struct.unpack_from("<2I", data, at)
            if cmd == LC_SEGMENT_64:
                vmaddr, vmsize, fileoff, filesize, _, _, nsects, _ = \
                    struct.unpack_from("<4Q4I", data, at + 24)
                self.segments.append((vmaddr, min(vmsize, filesize), fileoff))
                if fileoff == 0 and filesize > 0:
                    self.base = vmaddr  # where the Mach-O header is mapped: __TEXT
                for k in range(nsects):
                    sect = struct.unpack_from("<16s16s2Q", data, at + 72 + 80 * k)
                    self.sections[sect[0].rstrip(b"\0").decode()] = (sect[2], sect[3])
            elif cmd == LC_DYLD_CHAINED_FIXUPS:
                chained = struct.unpack_from("<I", data, at + 8)[0]
            at += size
        if self.base is None:
            raise ValueError("no segment maps the Mach-O header")
        if chained is not None:
            # dyld_chained_fixups_header, then dyld_chained_starts_in_image: for each segment
            # with fixups, dyld_chained_starts_in_segment, whose pointer format is all we need:
            # pointers are read one by one, never by walking a chain.
            starts = chained + struct.unpack_from("<I", data, chained + 4)[0]
            count = struct.unpack_from("<I", data, starts)[0]
            for i, offset in enumerate(struct.unpack_from(f"<{count}I", data, starts + 4)):
                if offset:
                    self.formats[i] = struct.unpack_from("<H", data, starts + offset + 6)[0]

    def offset(self, address):
        """The file offset of an address, and its segment's index. Only what the file holds is
        read: an address in __PAGEZERO, or in a segment's zero fill, is an error."""
        for i, (vmaddr, size, fileoff) in enumerate(self.segments):
            if vmaddr <= address < vmaddr + size:
                return fileoff + address - vmaddr, i
        raise ValueError(f"address 0x{address:x} lies in no segment's contents")

    def pointer(self, address):
        """The address a pointer in the file points to; None for a null, or for a symbol bound at
        load time (another image's)."""
        at, segment = self.offset(address)
        value = struct.unpack_from("<Q", self.data, at)[0]
        if value == 0:
            return None  # a null is in no chain of fixups, in any format
        fmt = self.formats.get(segment)
        if fmt is None:
            return value  # classic rebase opcodes: the file holds the address
        if fmt not in (2, 6):  # DYLD_CHAINED_PTR_64, DYLD_CHAINED_PTR_64_OFFSET
            raise ValueError(f"pointer format {fmt} is not read here")
        if value >> 63:
            return None  # a bind
        target = value & TARGET_MASK
        high8 = (value >> 36) & 0xFF
        return (high8 << 56) | (target if fmt == 2 else self.base + target)

    def string(self, address):
        at, _ = self.offset(address)
        return self.data[at:self.data.index(b"\0", at)].decode()

    def methods(self, address):
        """The names in a method list (pointer lists, and the relative ones of Apple's linker)."""
        if address is None:
            return set()
        flags_size, count = struct.unpack_from("<2I", self.data, self.offset(address)[0])
        size = flags_size & 0xFFFC
        names = set()
        for i in range(count):
            entry = address + 8 + i * size
            if flags_size & 0x80000000:  # relative: an offset to the selector's reference
                delta = struct.unpack_from("<i", self.data, self.offset(entry)[0])[0]
                name = self.pointer(entry + delta)
            else:
                name = self.pointer(entry)
            if name is None:
                raise ValueError(f"a method at 0x{entry:x} has no name")
            names.add(self.string(name))
        return names

    def objc_classes(self):
        """Class name -> the instance methods of the class and of its categories. A category on
        another image's class (bound at load time) is left out: its class is not here."""
        def class_info(cls):
            ro = self.pointer(cls + 32)  # class_t's data: class_ro_t, with flags in its low bits
            name = None if ro is None else self.pointer((ro & ~7) + 24)
            if name is None:
                raise ValueError(f"the class at 0x{cls:x} has no name")
            return self.string(name), self.pointer((ro & ~7) + 32)
        classes = {}
        for section, is_category in (("__objc_classlist", False), ("__objc_catlist", True)):
            address, size = self.sections.get(section, (0, 0))
            for k in range(0, size, 8):
                item = self.pointer(address + k)
                if item is None:
                    raise ValueError(f"a null in {section}")
                if not is_category:
                    name, methods = class_info(item)
                else:
                    cls = self.pointer(item + 8)
                    if cls is None:
                        continue
                    name, methods = class_info(cls)[0], self.pointer(item + 16)
                classes.setdefault(name, set()).update(self.methods(methods))
        return classes


def list_methods(paths):
    """For each slice of each file, a line per Objective-C class: the file, [arch], the class and
    its instance methods, sorted. A slice that cannot be read gets a line saying why, and the
    result is 1."""
    status = 0
    for path in paths:
        try:
            with open(path, "rb") as f:
                parts = slices(f.read())
        except (OSError, ValueError, struct.error) as error:
            print(f"{path}: not read: {error}")
            status = 1
            continue
        for arch, data in parts:
            try:
                classes = MachO(data).objc_classes()
            except Exception as error:  # noqa: BLE001: whatever the bytes are, one line says so
                print(f"{path} [{arch}]: not read: {error}")
                status = 1
                continue
            for name in sorted(classes):
                print(" ".join([path, f"[{arch}]", name + ":"] + sorted(classes[name])))
    return status


if __name__ == "__main__":
    sys.exit(list_methods(sys.argv[1:]))
