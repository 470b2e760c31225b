# Cross build for 32-bit Windows (i686), the main target.
set(ZANTIC_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
