# Cross build for 64-bit Windows with Debian's mingw-w64 toolchain
# (g++-mingw-w64-x86-64-posix: the posix thread model, which std::thread and
# std::mutex need). Used by the `windows` preset and by
# scripts/build-windows-deps for libcurl, zlib, libxlsxwriter and Qt.
#
# Programs link statically (libstdc++, libgcc, winpthread and libcurl), so an
# .exe needs nothing beside it but the system's own DLLs. Tests run under
# Wine through scripts/run-under-wine.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TEEBASKET_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TEEBASKET_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TEEBASKET_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TEEBASKET_MINGW_TRIPLET}-windres)

# Where the Windows builds of the dependencies live (scripts/build-windows-deps
# keeps them outside the source tree and points `curl`, `zlib`, `xlsxwriter`
# and `qt` at the current builds).
if(NOT TEEBASKET_WINDOWS_DEPS)
    if(DEFINED ENV{TEEBASKET_WINDOWS_DEPS})
        set(TEEBASKET_WINDOWS_DEPS "$ENV{TEEBASKET_WINDOWS_DEPS}")
    elseif(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
        set(TEEBASKET_WINDOWS_DEPS "$ENV{XDG_CACHE_HOME}/teebasket/windows-deps")
    else()
        set(TEEBASKET_WINDOWS_DEPS "$ENV{HOME}/.cache/teebasket/windows-deps")
    endif()
endif()
set(TEEBASKET_WINDOWS_DEPS "${TEEBASKET_WINDOWS_DEPS}" CACHE PATH
    "Folder of the Windows builds of the dependencies (scripts/build-windows-deps)")
# try_compile projects see the same folder.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TEEBASKET_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${TEEBASKET_MINGW_TRIPLET} "${TEEBASKET_WINDOWS_DEPS}/curl"
    "${TEEBASKET_WINDOWS_DEPS}/zlib" "${TEEBASKET_WINDOWS_DEPS}/xlsxwriter"
    "${TEEBASKET_WINDOWS_DEPS}/qt")

# Qt for Windows (static) runs its code generators (moc, rcc, uic) from the
# host's Qt of the same version.
if(NOT QT_HOST_PATH)
    set(QT_HOST_PATH /usr)
endif()
if(NOT QT_HOST_PATH_CMAKE_DIR)
    set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QT_HOST_PATH QT_HOST_PATH_CMAKE_DIR)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs, and gtest_discover_tests, run under Wine.
get_filename_component(CMAKE_CROSSCOMPILING_EMULATOR
    "${CMAKE_CURRENT_LIST_DIR}/../scripts/run-under-wine" ABSOLUTE)
