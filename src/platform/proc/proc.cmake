# Process, memory and GPU-time probes over /proc and /sys (included by
# src/platform/CMakeLists.txt).
set(VXR_PLATFORM_PROC_SOURCES
    proc/proc_files.cpp proc/proc_files.h
    proc/process_table.cpp proc/process_table.h
    proc/process_tree.cpp proc/process_tree.h
    proc/process_tree_watch.cpp proc/process_tree_watch.h
    proc/host_memory.cpp proc/host_memory.h
    proc/gpu_time.cpp proc/gpu_time.h
    proc/nvml_process_time.cpp proc/nvml_process_time.h
    proc/measurement_pool.cpp proc/measurement_pool.h)
set(VXR_PLATFORM_PROC_LIBS ${CMAKE_DL_LIBS})
