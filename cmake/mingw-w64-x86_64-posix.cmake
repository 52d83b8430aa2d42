# Cross-compile the GoogleTest programs for 64-bit Windows.
set(MINGW_CPU x86_64)
set(MINGW_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
