# The last install rule: share/vxr-worker/installed-files lists, relative to the prefix,
# every file this install wrote, itself included. The uninstaller removes exactly those.
install(CODE [[
    # The entries name the installed paths without DESTDIR.
    set(vxr_manifest "share/vxr-worker/installed-files")
    set(vxr_lines "${vxr_manifest}\n")
    foreach(vxr_file IN LISTS CMAKE_INSTALL_MANIFEST_FILES)
        file(RELATIVE_PATH vxr_relative "${CMAKE_INSTALL_PREFIX}" "${vxr_file}")
        string(APPEND vxr_lines "${vxr_relative}\n")
    endforeach()
    set(vxr_path "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${vxr_manifest}")
    file(WRITE "${vxr_path}" "${vxr_lines}")
    message(STATUS "Installing: ${vxr_path}")
]])

# The Debian package (tools/package): the product's install under /usr, without the
# stand-in worker, its library dependencies computed from the binaries.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vxr-worker)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Lend this computer's idle time to the VXR compute network")
set(CPACK_PACKAGE_DESCRIPTION "VXR Worker runs the VXR compute network's worker when you \
say so or once you have been away from the computer long enough, and shows what it is \
doing: running sandboxes, earnings, live CPU, GPU, memory and network figures, and a \
history of finished jobs.")
set(CPACK_PACKAGE_CONTACT "${VXR_CONTACT_TECHNICAL}")
set(CPACK_PACKAGE_VENDOR "VXR Worker developers")
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${VXR_MAKER_SITE}")
# Loaded at run time, so shlibdeps cannot see them: the QML modules the screens import.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qml6-module-qtqml, qml6-module-qtqml-workerscript, qml6-module-qtquick, qml6-module-qtquick-controls, qml6-module-qtquick-templates, qml6-module-qtquick-window, qml6-module-qtquick-shapes, qml6-module-qtwebengine")
# GNOME shows tray icons only with this extension. Only suggested: as a recommendation,
# apt would pull a whole GNOME Shell onto other desktops (seen: 613 packages on Xfce).
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gnome-shell-extension-appindicator")
include(CPack)
