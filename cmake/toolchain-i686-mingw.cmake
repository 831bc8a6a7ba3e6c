# Cross build for 32-bit Windows with Debian's MinGW-w64 (posix thread model) against a Qt 5.15
# prefix built for i686-w64-mingw32 whose host tools (moc, rcc, uic) are Linux programs.
#
#   cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-mingw.cmake \
#         -DQT_MINGW_PREFIX=/path/to/qt5-i686 ...
#
# Tests run under Wine through scripts/windows/wine-run.sh (set WINEPREFIX for the prefix).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(_triple i686-w64-mingw32)
# The -posix drivers: the Qt prefix was built with them, and mixing thread models breaks
# std::thread and exception unwinding across the DLL boundary.
set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)
set(CMAKE_AR /usr/bin/${_triple}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB /usr/bin/${_triple}-ranlib CACHE FILEPATH "")

# Cache entries, so that try_compile() projects, which read this file again, see the same values.
set(QT_MINGW_PREFIX "" CACHE PATH "Qt 5 prefix built for i686-w64-mingw32")
if(NOT QT_MINGW_PREFIX AND DEFINED ENV{QT_MINGW_PREFIX})
    set(QT_MINGW_PREFIX "$ENV{QT_MINGW_PREFIX}" CACHE PATH "" FORCE)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QT_MINGW_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
if(QT_MINGW_PREFIX)
    list(APPEND CMAKE_FIND_ROOT_PATH "${QT_MINGW_PREFIX}")
    list(APPEND CMAKE_PREFIX_PATH "${QT_MINGW_PREFIX}")
endif()
# Programs from the host; libraries, headers and packages only from the target's roots. Qt's
# own config files name moc, rcc and uic by absolute path, so they run as they are.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest runs the target's programs under Wine, with the Qt and MinGW runtime DLLs on its path.
if(QT_MINGW_PREFIX)
    get_filename_component(_tralvo_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
    set(CMAKE_CROSSCOMPILING_EMULATOR
        "${_tralvo_root}/scripts/windows/wine-run.sh;${QT_MINGW_PREFIX}")
endif()
