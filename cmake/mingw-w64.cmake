# Cross build for Windows x64 with Debian's MinGW-w64 (posix threads, so that std::thread
# and std::mutex work), against the Qt and GoogleTest of the Windows SDK unpacked at
# VELOMAR_WINDOWS_SDK (the folder holding qt6-mingw/ and gtest-mingw/). Moc, rcc and uic are
# Debian's own Qt tools of the same version. scripts/build-windows passes both.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 10.0)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_mingw}-windres)
set(CMAKE_AR /usr/bin/${_mingw}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB /usr/bin/${_mingw}-ranlib CACHE FILEPATH "")

# try_compile projects read this file again; they get the SDK's place through the environment.
if(NOT VELOMAR_WINDOWS_SDK AND DEFINED ENV{VELOMAR_WINDOWS_SDK})
  set(VELOMAR_WINDOWS_SDK $ENV{VELOMAR_WINDOWS_SDK})
endif()
if(NOT VELOMAR_WINDOWS_SDK OR NOT EXISTS ${VELOMAR_WINDOWS_SDK}/qt6-mingw)
  message(FATAL_ERROR "VELOMAR_WINDOWS_SDK must name the unpacked Windows SDK (with qt6-mingw/)")
endif()
set(ENV{VELOMAR_WINDOWS_SDK} ${VELOMAR_WINDOWS_SDK})

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw} ${VELOMAR_WINDOWS_SDK}/qt6-mingw ${VELOMAR_WINDOWS_SDK}/gtest-mingw)
set(CMAKE_PREFIX_PATH ${VELOMAR_WINDOWS_SDK}/qt6-mingw ${VELOMAR_WINDOWS_SDK}/gtest-mingw)
# Target libraries, headers and packages from those roots only; programs (moc, windres...)
# are the host's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
# Never the Linux host's .pc files.
set(ENV{PKG_CONFIG_LIBDIR} /usr/${_mingw}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
# No CMAKE_CROSSCOMPILING_EMULATOR: a Windows program runs only under Wine inside a network
# namespace of its own (scripts/test-windows), never from the build.
