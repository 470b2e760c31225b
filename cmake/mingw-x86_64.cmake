# Cross build for 64-bit Windows (x86_64).
set(ZANTIC_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
