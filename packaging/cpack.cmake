# Packages built by `cpack` from the install rules of packaging/CMakeLists.txt.
#   Linux:   kadro-serve_<version>_amd64.deb (kadro-serve and kadro-remote; no desktop library)
#            and kadro_<version>_amd64.deb (the window program, depending on kadro-serve), one
#            per install component (cpack -G DEB, the default generator here)
#   Windows: kadro-<version>-win64.zip (cpack -G ZIP) and kadro-<version>-win64.exe, the
#            installer (cpack -G NSIS, needs makensis), each with every program
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

kadro-serve serves the same way on a terminal or as a service, without a
desktop; kadro-remote plays the remote machine on a serial line, to check a
cable and the port settings before the real machine is connected.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_SOURCE_GENERATOR "")

if(WIN32)
  # Windows: the same files twice, as a zip to unpack anywhere and as an installer.
  set(CPACK_GENERATOR ZIP NSIS)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  # The installer's script lines below carry backslashes and dollar signs for NSIS.
  set(CPACK_VERBATIM_VARIABLES ON)

  # A 64-bit Unicode installer that puts the programs in Program Files\KADRO and registers its
  # uninstaller in Apps & features under the key KADRO.
  set(CPACK_NSIS_DEFINES "Target amd64-unicode")
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
  set(CPACK_PACKAGE_INSTALL_DIRECTORY KADRO)
  set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY KADRO)
  set(CPACK_NSIS_PACKAGE_NAME KADRO)
  set(CPACK_NSIS_DISPLAY_NAME "KADRO ${PROJECT_VERSION}")
  set(CPACK_NSIS_CONTACT "${KADRO_PACKAGE_MAINTAINER}")
  set(CPACK_NSIS_MUI_ICON "${KADRO_WINDOWS_ICON}")
  set(CPACK_NSIS_MUI_UNIICON "${KADRO_WINDOWS_ICON}")
  set(CPACK_NSIS_INSTALLED_ICON_NAME kadro.exe)
  set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
  # One package of every program, whatever the install components.
  set(CPACK_MONOLITHIC_INSTALL ON)

  # KADRO reads KADRO.INI from the folder it starts in and writes it there, so the shortcut
  # starts it in a folder of the user's own, Documents\KADRO (as the Linux menu entry uses
  # ~/KADRO), never in Program Files. The shortcut, that folder and the uninstaller's entry
  # belong to the user who installs: the installer's own set-up picks all users for an
  # administrator, so the shell context is set back to the current user before anything is
  # written, and again in the uninstaller before it reads its entry.
  set(CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS "SetShellVarContext current")
  set(CPACK_NSIS_CREATE_ICONS_EXTRA [=[
  CreateDirectory "$DOCUMENTS\KADRO"
  SetOutPath "$DOCUMENTS\KADRO"
  CreateShortCut "$SMPROGRAMS\$STARTMENU_FOLDER\KADRO.lnk" "$INSTDIR\kadro.exe" "" \
                 "$INSTDIR\kadro.exe" 0
  SetOutPath "$INSTDIR"]=])
  set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS [=[
  SetShellVarContext current
  ReadRegStr $START_MENU SHCTX \
             "Software\Microsoft\Windows\CurrentVersion\Uninstall\KADRO" "StartMenu"]=])
  # Documents\KADRO stays: it holds the user's KADRO.INI and images.
  set(CPACK_NSIS_DELETE_ICONS_EXTRA [=[
  Delete "$SMPROGRAMS\$MUI_TEMP\KADRO.lnk"]=])
else()
  set(CPACK_GENERATOR DEB)
  # One package per install component: kadro-serve for a machine without a desktop, kadro for
  # the window program on top of it.
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL serve kadro)
  set(CPACK_DEBIAN_SERVE_PACKAGE_NAME kadro-serve)
  set(CPACK_DEBIAN_KADRO_PACKAGE_NAME kadro)
  set(CPACK_DEBIAN_SERVE_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_KADRO_FILE_NAME DEB-DEFAULT)
  set(CPACK_COMPONENT_KADRO_DEPENDS serve)
  # kadro-remote and its manual page came in kadro itself before 1.1.0: taking them over from an
  # installed older kadro is an upgrade, not a conflict.
  set(CPACK_DEBIAN_SERVE_PACKAGE_REPLACES "kadro (<< 1.1.0)")
  set(CPACK_DEBIAN_SERVE_PACKAGE_BREAKS "kadro (<< 1.1.0)")
  set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
  # Each package's text below the one summary line both share.
  set(CPACK_DEBIAN_SERVE_DESCRIPTION
      "kadro-serve serves a floppy-disk image (a .vks file), track by track, to a
remote machine connected through a serial line at 57600 baud, on a terminal,
over SSH or as a systemd service: the log goes to standard output, with a
status line on a terminal. It needs no display and no desktop library.

kadro-remote plays the remote machine on a serial line, to check a cable and
the port settings before the real machine is connected.")
  set(CPACK_DEBIAN_KADRO_DESCRIPTION
      "KADRO serves a floppy-disk image (a .vks file), track by track, to a remote
machine connected through a serial line at 57600 baud. The remote machine asks
for each track; KADRO shows what it sends in a log window. The serial port is
named in KADRO.INI in the folder KADRO is started from.")
  set(CPACK_DEBIAN_PACKAGE_SECTION comm)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Depends is computed from the binaries by dpkg-shlibdeps.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()

include(CPack)
