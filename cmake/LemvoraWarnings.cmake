# Warnings for the project's own targets: lemvora_warnings(target).
function(lemvora_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                             -Wno-sign-conversion -Wno-missing-field-initializers)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12)
        # GCC 12 reports string concatenation at -O3 as overlapping memcpy (GCC bug 105329).
        target_compile_options(${target} PRIVATE -Wno-restrict)
    endif()
    if(LEMVORA_WARNINGS_AS_ERRORS)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
