# Signs the bundles on a Mac: the extension first, with its entitlements, then the application
# around it (which has none). Ad-hoc by default, for a build that stays on this Mac. With a real
# identity (LEMVORA_CODESIGN_IDENTITY, such as "Developer ID Application: …"), the signatures get
# a secure timestamp and the hardened runtime, as notarization demands; without them Gatekeeper
# blocks the application on other Macs. Builds that cross-compile from another system cannot
# sign and skip this.
set(LEMVORA_CODESIGN_IDENTITY "-" CACHE STRING "codesign identity (\"-\": ad-hoc)")
find_program(LEMVORA_CODESIGN codesign)
if(CMAKE_HOST_APPLE AND LEMVORA_CODESIGN)
    if(LEMVORA_CODESIGN_IDENTITY STREQUAL "-")
        set(lemvora_sign_options --timestamp=none)
    else()
        set(lemvora_sign_options --timestamp --options runtime)
    endif()
    add_custom_target(lemvora_sign ALL
        COMMAND ${LEMVORA_CODESIGN} --force ${lemvora_sign_options}
                --sign ${LEMVORA_CODESIGN_IDENTITY}
                --entitlements ${PROJECT_SOURCE_DIR}/extension/LemvoraMenu.entitlements
                ${LEMVORA_APPEX_DIR}
        COMMAND ${LEMVORA_CODESIGN} --force ${lemvora_sign_options}
                --sign ${LEMVORA_CODESIGN_IDENTITY} ${LEMVORA_APP_DIR}
        DEPENDS Lemvora LemvoraMenu
        COMMENT "Signing LemvoraMenu.appex, then Lemvora.app")
else()
    message(STATUS "Not signing: no codesign on this system")
endif()
