#!/usr/bin/env python3
"""Checks a macOS build of Lemvora (made by scripts/macos-crosscheck.sh, or on a Mac) for what a
Mac would need of it and that compiling and linking do not prove. Prints each check; exits 1 when
any fails.

Usage: scripts/macos-checks.py BUILD_DIR
       scripts/macos-checks.py --self-test SDK_ROOT
       scripts/macos-checks.py --list-methods FILE...

- Both executables are universal (arm64 and x86_64). Each slice, taken out of the universal file
  before it is read, has the deployment target as its minimum system version, which both
  Info.plists state too; the arm64 slice is signed (Apple silicon runs no unsigned code).
- Every selector the C++ code can hand to AppKit is a method of the Objective-C class that
  receives it. The selectors come from the selector tables in the code; the methods from the
  executable's Objective-C metadata, read here from the Mach-O file itself (macos_checks/macho.py),
  with its pointers resolved whether the linker wrote chained fixups (Apple's linker for macOS 12
  and later, which objdump does not follow) or rebase opcodes, and its method lists whether
  relative or not.
- The Info.plists and the extension's entitlements carry what the system needs; the application
  carries its icon.
- The starter documents are in the application's resources.
- Where the build has its tests, the test programs are Mach-O executables of every architecture,
  and the Mac's fake user database can be inserted (it interposes getpwuid).

--self-test feeds each check the fault it exists for (a slice with another minimum version, an
unsigned arm64 slice, a class without one of the selectors, a plist without a key) and fails
unless each check fails on it and passes on the sound version. It builds small programs with
clang against the SDK, linked as Apple's linker links for macOS 13 (on Linux with LLVM 19's
ld64.lld and -fixup_chains), and reads them as linked and rewritten into the other forms a linker
writes: chained pointers by address or as offsets from the image, method lists of pointers or
relative (macos_checks/selftest.py).

--list-methods prints, for each slice of thin or universal Mach-O files, a line per Objective-C
class: the file, [arch], the class and its instance methods (its categories' too), sorted. A
slice it cannot read (arm64e, 32-bit) gets a line saying why, and it exits 1.

On Linux it uses Debian's LLVM tools; on a Mac, Xcode's (lipo, otool, objdump).
"""
import subprocess
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent))

from macos_checks import checks, macho, selftest  # noqa: E402

if __name__ == "__main__":
    args = sys.argv[1:]
    try:
        if len(args) > 1 and args[0] == "--list-methods":
            sys.exit(macho.list_methods(args[1:]))
        if len(args) == 2 and args[0] == "--self-test":
            sys.exit(selftest.self_test(Path(args[1]).resolve()))
        if len(args) != 1 or args[0].startswith("--"):
            sys.exit(__doc__)
        sys.exit(checks.check_build(Path(args[0]).resolve()))
    except subprocess.CalledProcessError as error:
        sys.exit(f"macos-checks: {' '.join(map(str, error.cmd))} exited {error.returncode}\n"
                 + (error.stderr or "").strip())
