# Shared settings for the project's own targets: strict warnings as errors.
function(vxr_target_defaults target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror
        -Wno-error=deprecated-declarations)
endfunction()

# vxr_add_library(name SOURCES ... LIBS ...): static library vxr_<name> for one src/ folder.
function(vxr_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(vxr_${name} STATIC ${ARG_SOURCES})
    target_include_directories(vxr_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(vxr_${name} PUBLIC ${ARG_LIBS})
    vxr_target_defaults(vxr_${name})
    # The QML module names types of the libraries below it: their metatypes let the
    # type registrar and qmllint see those types' properties.
    qt_extract_metatypes(vxr_${name})
endfunction()

# vxr_add_test(name SOURCES ... LIBS ... [LABELS ...] [RESOURCE_LOCK ...]): one QtTest executable.
function(vxr_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS;RESOURCE_LOCK;ENVIRONMENT" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
    target_compile_definitions(${name} PRIVATE
        VXR_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data"
        VXR_BINARY_DIR="${CMAKE_BINARY_DIR}")
    vxr_target_defaults(${name})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    add_test(NAME ${name} COMMAND ${name})
    set(env "QT_QPA_PLATFORM=offscreen" ${ARG_ENVIRONMENT})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT 300)
    if(ARG_LABELS)
        set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
    endif()
    if(ARG_RESOURCE_LOCK)
        set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${ARG_RESOURCE_LOCK}")
    endif()
endfunction()

# Called at the end of a test folder whose processes run the application's windows,
# for the sanitizer build. The web engine (Chromium, not instrumented) deletes objects
# through pointers to a smaller base type, which AddressSanitizer reports as
# new-delete-type-mismatch: that check is off for these tests only. And Qt Quick keeps
# textures past their window in caches that only whole stacks can name in a
# suppression, and Qt has no frame pointers: these tests unwind allocations the slow way.
function(vxr_tests_run_windows)
    if(NOT VXR_SANITIZE)
        return()
    endif()
    get_property(tests DIRECTORY PROPERTY TESTS)
    set_property(TEST ${tests} APPEND PROPERTY ENVIRONMENT_MODIFICATION
        "ASAN_OPTIONS=string_append::new_delete_type_mismatch=0:fast_unwind_on_malloc=0")
endfunction()
