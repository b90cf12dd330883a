# Idle-time sources of the platform library. Included from src/platform/CMakeLists.txt,
# which adds VXR_IDLE_SOURCES and VXR_IDLE_LIBS to vxr_platform and then calls
# vxr_platform_idle_setup(vxr_platform).

find_package(X11 REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(WAYLAND_CLIENT REQUIRED IMPORTED_TARGET wayland-client)
pkg_get_variable(WAYLAND_PROTOCOLS_DIR wayland-protocols pkgdatadir)
find_program(WAYLAND_SCANNER NAMES wayland-scanner REQUIRED)
if(NOT TARGET X11::Xss)
    message(FATAL_ERROR "libXss (MIT-SCREEN-SAVER client library) not found")
endif()

set(_idle_xml ${WAYLAND_PROTOCOLS_DIR}/staging/ext-idle-notify/ext-idle-notify-v1.xml)
set(_idle_gen ${CMAKE_CURRENT_BINARY_DIR}/idle_protocols)
file(MAKE_DIRECTORY ${_idle_gen})
add_custom_command(
    OUTPUT ${_idle_gen}/ext-idle-notify-v1-client-protocol.h
    COMMAND ${WAYLAND_SCANNER} client-header ${_idle_xml}
            ${_idle_gen}/ext-idle-notify-v1-client-protocol.h
    DEPENDS ${_idle_xml} VERBATIM)
add_custom_command(
    OUTPUT ${_idle_gen}/ext-idle-notify-v1-protocol.c
    COMMAND ${WAYLAND_SCANNER} private-code ${_idle_xml}
            ${_idle_gen}/ext-idle-notify-v1-protocol.c
    DEPENDS ${_idle_xml} VERBATIM)

set(VXR_IDLE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/dbus_idle_source.cpp ${CMAKE_CURRENT_LIST_DIR}/dbus_idle_source.h
    ${CMAKE_CURRENT_LIST_DIR}/idle_notification_tracker.cpp
    ${CMAKE_CURRENT_LIST_DIR}/idle_notification_tracker.h
    ${CMAKE_CURRENT_LIST_DIR}/idle_source_chain.cpp ${CMAKE_CURRENT_LIST_DIR}/idle_source_chain.h
    ${CMAKE_CURRENT_LIST_DIR}/wayland_idle_source.cpp
    ${CMAKE_CURRENT_LIST_DIR}/wayland_idle_source.h
    ${CMAKE_CURRENT_LIST_DIR}/x11_idle_source.cpp ${CMAKE_CURRENT_LIST_DIR}/x11_idle_source.h
    ${CMAKE_CURRENT_LIST_DIR}/ext_idle_notify_protocol.cpp
    ${_idle_gen}/ext-idle-notify-v1-client-protocol.h
    ${_idle_gen}/ext-idle-notify-v1-protocol.c)
# Included by ext_idle_notify_protocol.cpp, not compiled on its own.
set_source_files_properties(${_idle_gen}/ext-idle-notify-v1-protocol.c
    PROPERTIES HEADER_FILE_ONLY ON)
set(VXR_IDLE_LIBS Qt6::Core Qt6::DBus X11::X11 X11::Xss PkgConfig::WAYLAND_CLIENT)

function(vxr_platform_idle_setup target)
    target_include_directories(${target} PRIVATE ${_idle_gen})
endfunction()
