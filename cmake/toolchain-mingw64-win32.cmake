# Cross-compiles with MinGW-w64 in the win32 thread model: the C++ runtime
# uses Win32 threads and locks directly, and no threads library (winpthreads)
# is linked in. The hook library is built with it (extender/CMakeLists.txt).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(OMB_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${OMB_MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${OMB_MINGW_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER  ${OMB_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${OMB_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
