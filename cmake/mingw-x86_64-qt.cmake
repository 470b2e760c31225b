# Cross build for 64-bit Windows with the desktop program: Qt 6 for x86_64
# mingw-w64 as scripts/build-qt-windows.sh makes or unpacks it, in
# ZANTIC_QT_WINDOWS (default build/qt6-win64-6.4.2 in the source tree).
# The programs load Qt's DLLs and mingw-w64's C++ runtime DLLs; under ctest
# wine finds them through the emulator's --qt switch.
set(ZANTIC_MINGW_ARCH x86_64)
set(ZANTIC_MINGW_SHARED_RUNTIME ON)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

if(NOT ZANTIC_QT_WINDOWS)
  if(DEFINED ENV{ZANTIC_QT_WINDOWS} AND NOT "$ENV{ZANTIC_QT_WINDOWS}" STREQUAL "")
    set(ZANTIC_QT_WINDOWS "$ENV{ZANTIC_QT_WINDOWS}")
  else()
    get_filename_component(ZANTIC_QT_WINDOWS "${CMAKE_CURRENT_LIST_DIR}/../build/qt6-win64-6.4.2" ABSOLUTE)
  endif()
endif()
if(NOT EXISTS "${ZANTIC_QT_WINDOWS}/lib/cmake/Qt6/Qt6Config.cmake")
  message(FATAL_ERROR "No Qt for Windows in ${ZANTIC_QT_WINDOWS}: run scripts/build-qt-windows.sh first")
endif()
# Try-compiles see the same values.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZANTIC_QT_WINDOWS)
set(ZANTIC_QT_WINDOWS "${ZANTIC_QT_WINDOWS}" CACHE PATH "Qt 6 for x86_64 mingw-w64")

list(PREPEND CMAKE_FIND_ROOT_PATH "${ZANTIC_QT_WINDOWS}")
list(PREPEND CMAKE_PREFIX_PATH "${ZANTIC_QT_WINDOWS}/lib/cmake")
# Qt's build tools (moc, rcc, uic) are the host's, of the same version.
set(QT_HOST_PATH /usr CACHE PATH "")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh --qt ${ZANTIC_QT_WINDOWS})
