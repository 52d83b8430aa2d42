# Cross-compile the GoogleTest programs for 32-bit Windows.
set(MINGW_CPU i686)
set(MINGW_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
