# Shared by both MinGW toolchain files. A missing tool fails here, at configure time.
# The posix thread model: GoogleTest needs std::mutex, which the win32 model lacks.
# Everything is linked statically, so the programs still import only system DLLs.
find_program(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres REQUIRED)
find_program(WINE_PROGRAM wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
