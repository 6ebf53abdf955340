# The package layout of macOS, laid out the same way on every system so that the programs find
# their resources and each other exactly as they do on a Mac:
#
#   Lemvora.app/Contents/Info.plist
#   Lemvora.app/Contents/MacOS/Lemvora
#   Lemvora.app/Contents/Resources/Templates/bos.{docx,xlsx,pptx}
#   Lemvora.app/Contents/Resources/Lemvora.icns, Lemvora.png (the icon: macOS's, Linux's window's)
#   Lemvora.app/Contents/PlugIns/LemvoraMenu.appex/Contents/{Info.plist,MacOS/LemvoraMenu}
set(LEMVORA_BUNDLE_ID "com.lemvora.Lemvora" CACHE STRING "Bundle identifier of the host application")
set(LEMVORA_APP_DIR ${CMAKE_BINARY_DIR}/Lemvora.app)
set(LEMVORA_APPEX_DIR ${LEMVORA_APP_DIR}/Contents/PlugIns/LemvoraMenu.appex)
set(LEMVORA_STARTER_DOCUMENTS bos.docx bos.xlsx bos.pptx)

function(lemvora_lay_out_resources)
    configure_file(${PROJECT_SOURCE_DIR}/app/Info.plist.in ${LEMVORA_APP_DIR}/Contents/Info.plist
                   @ONLY)
    foreach(document ${LEMVORA_STARTER_DOCUMENTS})
        configure_file(${PROJECT_SOURCE_DIR}/resources/Templates/${document}
                       ${LEMVORA_APP_DIR}/Contents/Resources/Templates/${document} COPYONLY)
    endforeach()
    foreach(icon Lemvora.icns Lemvora.png)
        configure_file(${PROJECT_SOURCE_DIR}/resources/icon/${icon}
                       ${LEMVORA_APP_DIR}/Contents/Resources/${icon} COPYONLY)
    endforeach()
    file(MAKE_DIRECTORY ${LEMVORA_APP_DIR}/Contents/MacOS ${LEMVORA_APP_DIR}/Contents/PlugIns)
endfunction()

# Puts an executable target at Contents/MacOS of the given bundle folder.
function(lemvora_bundle_executable target bundle_dir)
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${bundle_dir}/Contents/MacOS)
endfunction()
