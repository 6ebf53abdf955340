# Warnings for the project's own targets: lemvora_warnings(target).
function(lemvora_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                             -Wno-sign-conversion -Wno-missing-field-initializers)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12)
        # GCC 12 reports string concatenation at -O3 as overlapping memcpy (GCC bug 105329).
        target_compile_options(${target} PRIVATE -Wno-restrict)
    endif()
    if(CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 21)
        # Where Xcode 26.4's Apple clang 21 (llvm/llvm-project#222380) warns and clang 19 does not
        # (google/snappy#245 shows it failing on the last one). clang 22 has the first two on by
        # default and the last in -Wall: named, they stay on whatever else the flags say.
        target_compile_options(${target} PRIVATE -Wcharacter-conversion -Wnontrivial-memcall
                                                 -Wuninitialized-const-pointer)
    endif()
    if(LEMVORA_WARNINGS_AS_ERRORS)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
