# Signs the bundles on a Mac: the extension first, with its entitlements, then the application
# around it (which has none). Ad-hoc by default; set LEMVORA_CODESIGN_IDENTITY to a real identity
# to distribute. Builds that cross-compile from another system cannot sign and skip this.
set(LEMVORA_CODESIGN_IDENTITY "-" CACHE STRING "codesign identity (\"-\": ad-hoc)")
find_program(LEMVORA_CODESIGN codesign)
if(CMAKE_HOST_APPLE AND LEMVORA_CODESIGN)
    add_custom_target(lemvora_sign ALL
        COMMAND ${LEMVORA_CODESIGN} --force --options runtime --timestamp=none
                --sign ${LEMVORA_CODESIGN_IDENTITY}
                --entitlements ${PROJECT_SOURCE_DIR}/extension/LemvoraMenu.entitlements
                ${LEMVORA_APPEX_DIR}
        COMMAND ${LEMVORA_CODESIGN} --force --options runtime --timestamp=none
                --sign ${LEMVORA_CODESIGN_IDENTITY} ${LEMVORA_APP_DIR}
        DEPENDS Lemvora LemvoraMenu
        COMMENT "Signing LemvoraMenu.appex, then Lemvora.app")
else()
    message(STATUS "Not signing: no codesign on this system")
endif()
