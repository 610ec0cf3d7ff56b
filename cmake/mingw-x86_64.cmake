# Cross-compiling the Windows programs with MinGW-w64 for 64-bit Windows.
# Used where the machine cannot run Wine's 32-bit loader (a kernel without
# 32-bit program support); the sources are the same.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TRELM_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
