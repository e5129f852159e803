# Shared part of the two mingw-w64 toolchains. KIT_MINGW_TRIPLE is set by the
# including file. The posix thread model gives std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER   ${KIT_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KIT_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${KIT_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KIT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Each deliverable must load with system DLLs only.
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# The Wine loader of the machine type, if installed, runs the tests.
find_program(KIT_WINE ${KIT_WINE_LOADER} PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(KIT_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KIT_WINE})
endif()
