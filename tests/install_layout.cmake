# Installs the build into a scratch prefix, once plainly and once with only the
# stand-in, and checks what lands where: the product never carries the stand-in worker
# (an installed app would take it for the real one).
# cmake -DBUILD_DIR=... -DSCRATCH=... -DWITH_APP=ON|OFF -P install_layout.cmake
file(REMOVE_RECURSE "${SCRATCH}")

execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${SCRATCH}/product"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "plain install failed: ${result}")
endif()
set(expected bin/UninstallVXRWorker bin/vxr-worker-ctl share/vxr-worker/installed-files)
if(WITH_APP)
    list(APPEND expected bin/VXRWorker share/applications/network.quorbel.vxrworker.desktop
         share/metainfo/network.quorbel.vxrworker.metainfo.xml
         share/icons/hicolor/scalable/apps/network.quorbel.vxrworker.svg
         share/icons/hicolor/symbolic/apps/network.quorbel.vxrworker-symbolic.svg)
endif()
foreach(file ${expected})
    if(NOT EXISTS "${SCRATCH}/product/${file}")
        message(FATAL_ERROR "plain install lacks ${file}")
    endif()
endforeach()
if(EXISTS "${SCRATCH}/product/lib/vxr-worker")
    message(FATAL_ERROR "plain install carries the stand-in worker in lib/vxr-worker")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${SCRATCH}/standin"
                        --component standin
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "stand-in install failed: ${result}")
endif()
foreach(file lib/vxr-worker/vxr-worker.sh lib/vxr-worker/vxr-evaluator.sh
             lib/vxr-worker/vxr-worker/bin/vxr-worker)
    if(NOT EXISTS "${SCRATCH}/standin/${file}")
        message(FATAL_ERROR "stand-in install lacks ${file}")
    endif()
endforeach()
if(EXISTS "${SCRATCH}/standin/bin" OR EXISTS "${SCRATCH}/standin/share/vxr-worker")
    message(FATAL_ERROR "the stand-in component installs the product or its manifest too")
endif()
file(REMOVE_RECURSE "${SCRATCH}")
