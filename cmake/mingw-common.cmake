# The posix thread model: GoogleTest needs std::mutex.
set(CMAKE_C_COMPILER ${TRELM_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TRELM_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TRELM_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TRELM_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Every program is linked statically, so no MinGW runtime DLL is needed.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Tests and programs run under Wine, through the project's wrapper.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh)
