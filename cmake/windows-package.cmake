# The Windows package: kadro.exe and kadro-remote.exe in one zip, made by
#   cpack -G ZIP   (in the build folder)   ->  kadro-<version>-win64.zip
install(TARGETS kadro kadro-remote RUNTIME DESTINATION .)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME kadro)
set(CPACK_PACKAGE_VENDOR "KADRO")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Serves a floppy-disk image, track by track, over a serial line")
set(CPACK_SYSTEM_NAME win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)
include(CPack)
