# Signs the bundles on a Mac: the extension first, with its entitlements, then the application
# around it (which has none). Ad-hoc by default, for a build that stays on this Mac. With a real
# identity (LEMVORA_CODESIGN_IDENTITY, such as "Developer ID Application: NAME (TEAMID)"), the
# signatures get the hardened runtime and a secure timestamp, as notarization demands; without
# them Gatekeeper blocks the application on other Macs. Builds that cross-compile from another
# system find no codesign and skip this, unless LEMVORA_CODESIGN names a stand-in (the
# cross-check's, which checks the commands).
set(LEMVORA_CODESIGN_IDENTITY "-" CACHE STRING "codesign identity (\"-\": ad-hoc)")
option(LEMVORA_CODESIGN_TIMESTAMP
       "With a real identity, ask Apple's time-stamp service (notarization needs it)" ON)
# What the signing program needs in its environment, as NAME=VALUE entries. The build folder
# keeps it, so that a rebuild by hand signs as the configuring script did: the cross-check's
# stand-in reads its log file and the identity it expects from there.
set(LEMVORA_CODESIGN_ENVIRONMENT "" CACHE STRING
    "NAME=VALUE entries (a ;-list) set for every codesign command")
find_program(LEMVORA_CODESIGN codesign)
if(LEMVORA_CODESIGN)
    # Every signing command of the build, the tests' ad-hoc copy's too, starts with this.
    set(LEMVORA_CODESIGN_COMMAND ${LEMVORA_CODESIGN})
    if(LEMVORA_CODESIGN_ENVIRONMENT)
        set(LEMVORA_CODESIGN_COMMAND ${CMAKE_COMMAND} -E env ${LEMVORA_CODESIGN_ENVIRONMENT}
                                     ${LEMVORA_CODESIGN})
    endif()
    if(LEMVORA_CODESIGN_IDENTITY STREQUAL "-")
        set(lemvora_sign_options --timestamp=none)
    elseif(LEMVORA_CODESIGN_TIMESTAMP)
        set(lemvora_sign_options --timestamp --options runtime)
    else()
        set(lemvora_sign_options --timestamp=none --options runtime)
    endif()
    # VERBATIM: every identity of Apple's holds blanks and a parenthesis, which must reach
    # codesign as one argument, not the shell as syntax.
    add_custom_target(lemvora_sign ALL
        COMMAND ${LEMVORA_CODESIGN_COMMAND} --force ${lemvora_sign_options}
                --sign ${LEMVORA_CODESIGN_IDENTITY}
                --entitlements ${PROJECT_SOURCE_DIR}/extension/LemvoraMenu.entitlements
                ${LEMVORA_APPEX_DIR}
        COMMAND ${LEMVORA_CODESIGN_COMMAND} --force ${lemvora_sign_options}
                --sign ${LEMVORA_CODESIGN_IDENTITY} ${LEMVORA_APP_DIR}
        DEPENDS Lemvora LemvoraMenu
        COMMENT "Signing LemvoraMenu.appex, then Lemvora.app"
        VERBATIM)
else()
    message(STATUS "Not signing: no codesign on this system")
endif()
