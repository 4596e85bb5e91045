# Cross-compiles for 64-bit Windows. The installer ships as a 32-bit program;
# this build exists so the same sources and tests run under a Wine that can
# only run 64-bit programs.
set(MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
