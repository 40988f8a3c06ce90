# Cross build for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix: the POSIX thread
# model, which std::thread needs). Every program is linked as one static .exe.
#
# The window also needs Qt built for Windows: the unpacked qt6-mingw folder of the static Qt archive,
# given as the cache variable QUENDAL_QT_MINGW or the environment variable of that name. Nothing is
# unpacked here.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT QUENDAL_QT_MINGW AND DEFINED ENV{QUENDAL_QT_MINGW})
    set(QUENDAL_QT_MINGW "$ENV{QUENDAL_QT_MINGW}")
endif()
# Compiler checks run in projects of their own, which see only the variables listed here.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUENDAL_QT_MINGW)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
if(QUENDAL_QT_MINGW)
    list(APPEND CMAKE_FIND_ROOT_PATH "${QUENDAL_QT_MINGW}")
    list(APPEND CMAKE_PREFIX_PATH "${QUENDAL_QT_MINGW}")
    # Qt's build tools (moc, uic, rcc) come from the build machine's qt6-base-dev-tools, the same 6.4.2.
    set(QT_HOST_PATH /usr)
    set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest runs the test programs under Wine (wine64 from Debian), in the WINEPREFIX of the caller.
if(EXISTS /usr/lib/wine/wine64)
    set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
endif()
