set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KIT_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# Tests of this build run the Windows code under wine64.
find_program(KIT_WINE64 wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(KIT_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KIT_WINE64})
endif()
