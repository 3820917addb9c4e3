# Packages built by `cpack` from the install rules of packaging/CMakeLists.txt.
#   Linux:   kadro_<version>_amd64.deb (cpack -G DEB, the default generator here)
#   Windows: kadro-<version>-win64.zip (cpack -G ZIP)
set(CPACK_PACKAGE_NAME kadro)
set(CPACK_PACKAGE_VENDOR "KADRO maintainers")
set(CPACK_PACKAGE_CONTACT "${KADRO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "serve a floppy-disk image to a remote machine over a serial line")
set(CPACK_PACKAGE_DESCRIPTION
    "KADRO serves a floppy-disk image (a .vks file), track by track, to a remote
machine connected through a serial line at 57600 baud. The remote machine asks
for each track; KADRO shows what it sends in a log window. The serial port is
named in KADRO.INI in the folder KADRO is started from.

kadro-remote plays the remote machine on a serial line, to check a cable and
the port settings before the real machine is connected.")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_SOURCE_GENERATOR "")

if(WIN32)
  # Windows: a zip holding kadro.exe, kadro-remote.exe and LEGGIMI-README.txt at its top. The
  # installer (NSIS, with a Start-menu shortcut whose working folder holds KADRO.INI) is to come.
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION comm)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Depends is computed from the binaries by dpkg-shlibdeps.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()

include(CPack)
