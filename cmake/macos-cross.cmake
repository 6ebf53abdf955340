# Cross-compiles the macOS targets on Linux with clang, lld and the macOS SDK headers, to prove
# that the sources compile and link against the real frameworks. Nothing built this way runs
# here. Use it through scripts/macos-crosscheck.sh SDK_ROOT.
#
# LEMVORA_MACOS_LLVM (19 or 22; 19 by default) picks the LLVM release of Debian 12 that compiles
# and links: clang, lld and the Mach-O tools of that one release.
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR arm64)
set(CMAKE_SYSTEM_VERSION 22.0) # macOS 13

if(NOT LEMVORA_MACOS_SDK)
    set(LEMVORA_MACOS_SDK "$ENV{LEMVORA_MACOS_SDK}")
endif()
if(NOT EXISTS "${LEMVORA_MACOS_SDK}/System/Library/Frameworks/AppKit.framework")
    message(FATAL_ERROR "LEMVORA_MACOS_SDK must name a macOS SDK folder (one holding System/)")
endif()
set(ENV{LEMVORA_MACOS_SDK} "${LEMVORA_MACOS_SDK}") # for try_compile's fresh scopes
if(NOT LEMVORA_MACOS_LLVM)
    set(LEMVORA_MACOS_LLVM "$ENV{LEMVORA_MACOS_LLVM}")
endif()
if(NOT LEMVORA_MACOS_LLVM)
    set(LEMVORA_MACOS_LLVM 19)
endif()
if(NOT LEMVORA_MACOS_LLVM MATCHES "^(19|22)$")
    message(FATAL_ERROR "LEMVORA_MACOS_LLVM must be 19 or 22, not ${LEMVORA_MACOS_LLVM}")
endif()
set(ENV{LEMVORA_MACOS_LLVM} "${LEMVORA_MACOS_LLVM}")
set(llvm /usr/lib/llvm-${LEMVORA_MACOS_LLVM}/bin)

# The architectures and the deployment target come from the project, as on a Mac; the target
# triple only tells clang to build for macOS (each -arch replaces its architecture).
set(target arm64-apple-macos)
# Two releases, two Xcodes: Xcode 16's Apple clang 17 is built from LLVM 19; Xcode 26's Apple
# clang 21 warns as clang 21 and later do, where 19 does not (-Wcharacter-conversion,
# -Wnontrivial-memcall, -Wuninitialized-const-pointer: google/snappy#245 shows Apple clang 21.0.0,
# macOS 26.5, failing on the last), and clang 22 is the newest Debian 12 offers.
set(CMAKE_C_COMPILER ${llvm}/clang)
set(CMAKE_CXX_COMPILER ${llvm}/clang++)
set(CMAKE_OBJCXX_COMPILER ${llvm}/clang++)
set(CMAKE_C_COMPILER_TARGET ${target})
set(CMAKE_CXX_COMPILER_TARGET ${target})
set(CMAKE_OBJCXX_COMPILER_TARGET ${target})
set(CMAKE_OSX_SYSROOT "${LEMVORA_MACOS_SDK}")
# The SDK copy used here lacks the private UIFoundation framework that AppKit re-exports on a
# real Mac, and NSFont lives there, with the font descriptor's attribute keys: let these be bound
# when the program loads. (The class's symbol holds a '$', so it goes through a response file
# rather than the shell.)
set(lemvora_link_file "${CMAKE_BINARY_DIR}/macos-cross-link.rsp")
file(WRITE "${lemvora_link_file}" "-Wl,-U,_OBJC_CLASS_$_NSFont -Wl,-U,_NSFontTraitsAttribute "
                                  "-Wl,-U,_NSFontWeightTrait\n")
# clang joins the slices of a universal build (objects and programs) with "lipo": LLVM's stands in
# for Apple's. It links with ld64.lld of the same release (Debian's lld-19 or lld-22), which
# writes chained fixups as Apple's linker does for a macOS 13 target, so that the checks read
# what a Mac builds; told the linker is that recent, clang passes it -platform_version.
set(lemvora_tools "${CMAKE_BINARY_DIR}/macos-cross-tools")
file(MAKE_DIRECTORY "${lemvora_tools}")
file(CREATE_LINK ${llvm}/llvm-lipo "${lemvora_tools}/lipo" SYMBOLIC)
file(CREATE_LINK ${llvm}/ld64.lld "${lemvora_tools}/ld64.lld" SYMBOLIC)
set(CMAKE_C_FLAGS_INIT "-B${lemvora_tools}")
set(CMAKE_CXX_FLAGS_INIT "-stdlib=libc++ -B${lemvora_tools}")
set(CMAKE_OBJCXX_FLAGS_INIT "-stdlib=libc++ -B${lemvora_tools}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -mlinker-version=705 -Wl,-fixup_chains \
-stdlib=libc++ -B${lemvora_tools} @${lemvora_link_file}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${CMAKE_EXE_LINKER_FLAGS_INIT}")

set(CMAKE_FIND_ROOT_PATH "${LEMVORA_MACOS_SDK}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Mach-O tools from LLVM (Debian's llvm-19 or llvm-22 package) in place of Apple's.
set(CMAKE_AR ${llvm}/llvm-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${llvm}/llvm-ranlib CACHE FILEPATH "")
set(CMAKE_INSTALL_NAME_TOOL ${llvm}/llvm-install-name-tool CACHE FILEPATH "")
set(CMAKE_OTOOL ${llvm}/llvm-otool CACHE FILEPATH "")
# Universal objects go into universal archives, as Apple's libtool makes them (ar cannot).
foreach(lang C CXX OBJCXX)
    set(CMAKE_${lang}_CREATE_STATIC_LIBRARY
        "${llvm}/llvm-libtool-darwin -static -o <TARGET> <LINK_FLAGS> <OBJECTS>")
endforeach()
