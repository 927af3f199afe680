# Shared part of the MinGW-w64 toolchain files; WH_MINGW_TRIPLE is set.
set(CMAKE_C_COMPILER ${WH_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${WH_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${WH_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${WH_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# One file that runs on a stock Windows: no libgcc, libstdc++ or
# winpthread DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
