# Cross-compiles for 32-bit Windows, the installer's own architecture.
set(MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
