# Warnings for the project's own targets: lemvora_warnings(target).
function(lemvora_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                             -Wno-sign-conversion
                                             -Wno-missing-field-initializers)
    if(LEMVORA_WARNINGS_AS_ERRORS)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
