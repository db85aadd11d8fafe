# Cross toolchain for mingw-w64, for the architecture in MINGW_ARCH (i686 or x86_64).
# The -posix compilers are used: the win32 thread model lacks std::mutex, which GoogleTest needs.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MINGW_ARCH)
if(NOT MINGW_ARCH)
    message(FATAL_ERROR "Set MINGW_ARCH to i686 or x86_64")
endif()

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MINGW_ARCH})
set(MINGW_TRIPLE ${MINGW_ARCH}-w64-mingw32)

find_program(MINGW_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
find_program(MINGW_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
find_program(MINGW_RC_COMPILER ${MINGW_TRIPLE}-windres)
find_program(MINGW_OBJCOPY ${MINGW_TRIPLE}-objcopy)
find_program(MINGW_STRIP ${MINGW_TRIPLE}-strip)
foreach(tool MINGW_C_COMPILER MINGW_CXX_COMPILER MINGW_RC_COMPILER MINGW_OBJCOPY MINGW_STRIP)
    if(NOT ${tool})
        message(FATAL_ERROR "${tool} for ${MINGW_TRIPLE} not found: run scripts/setup.sh first")
    endif()
endforeach()
set(CMAKE_C_COMPILER ${MINGW_C_COMPILER})
set(CMAKE_CXX_COMPILER ${MINGW_CXX_COMPILER})
set(CMAKE_RC_COMPILER ${MINGW_RC_COMPILER})
set(CMAKE_OBJCOPY ${MINGW_OBJCOPY} CACHE FILEPATH "" FORCE)
set(CMAKE_STRIP ${MINGW_STRIP} CACHE FILEPATH "" FORCE)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Self-contained executables: no runtime DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# 64-bit builds run here under the host's Wine; 32-bit ones under 32-bit Wine in the
# emulated i386 environment that scripts/setup.sh makes.
if(MINGW_ARCH STREQUAL "x86_64")
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
else()
    get_filename_component(VARDANE_WIN32_RUN ${CMAKE_CURRENT_LIST_DIR}/../scripts/win32-run ABSOLUTE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VARDANE_WIN32_RUN})
endif()
