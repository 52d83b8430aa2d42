# Cross-compile for 32-bit Windows (2000, XP and later).
set(MINGW_CPU i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
