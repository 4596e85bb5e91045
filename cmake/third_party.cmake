# zlib comes from Debian's libz-mingw-w64-dev; minizip is compiled here from
# zlib's contrib sources (unpacked by scripts/install-deps.sh); GoogleTest from
# Debian's googletest sources. None of them is kept in this repository.
find_library(ZLIB_STATIC_LIB NAMES libz.a z REQUIRED)
find_path(ZLIB_INCLUDE_DIR zlib.h REQUIRED)
add_library(zlib_static INTERFACE)
target_link_libraries(zlib_static INTERFACE ${ZLIB_STATIC_LIB})
target_include_directories(zlib_static INTERFACE ${ZLIB_INCLUDE_DIR})

if(NOT EXISTS "${MINIZIP_SOURCE_DIR}/unzip.c")
  message(FATAL_ERROR "minizip sources not found in ${MINIZIP_SOURCE_DIR}; run scripts/install-deps.sh")
endif()
add_library(minizip STATIC
  ${MINIZIP_SOURCE_DIR}/unzip.c ${MINIZIP_SOURCE_DIR}/zip.c
  ${MINIZIP_SOURCE_DIR}/ioapi.c ${MINIZIP_SOURCE_DIR}/iowin32.c)
# Traditional PKWARE encryption stays enabled (NOUNCRYPT is not defined).
target_include_directories(minizip SYSTEM PUBLIC ${MINIZIP_SOURCE_DIR})
target_compile_options(minizip PRIVATE -w)
target_link_libraries(minizip PUBLIC zlib_static)

if(BUILD_TESTING OR NOT DEFINED BUILD_TESTING)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
