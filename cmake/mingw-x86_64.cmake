set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KIT_MINGW_TRIPLE x86_64-w64-mingw32)
# Tests of this build run the Windows code under wine64.
set(KIT_WINE_LOADER wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
