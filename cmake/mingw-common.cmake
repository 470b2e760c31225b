# Cross build for Windows with Debian's mingw-w64 toolchain; the including
# toolchain file sets ZANTIC_MINGW_ARCH. The posix thread model gives
# std::thread and std::mutex; everything is linked statically, so the
# programs need no DLL beside them (and run under wine). The desktop build
# (mingw-x86_64-qt.cmake) links against Qt's DLLs and so shares their C++
# runtime DLLs instead of carrying a second, static copy.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${ZANTIC_MINGW_ARCH})
set(CMAKE_C_COMPILER ${ZANTIC_MINGW_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZANTIC_MINGW_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${ZANTIC_MINGW_ARCH}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZANTIC_MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
if(NOT ZANTIC_MINGW_SHARED_RUNTIME)
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
  set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
endif()
# ctest runs the test programs through wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
