# Cross-compiles for 64-bit Windows with Debian's mingw-w64 and runs the results
# under Wine. The posix thread flavour is named explicitly: the win32 one has no
# std::thread or std::mutex, and the plain compiler name may point at it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

# The Qt the window is built with, cross-built apart (scripts/build-qt-mingw). Read
# from the environment, which also reaches CMake's try_compile projects.
if(DEFINED ENV{KAVRO_QT_MINGW})
  set(KAVRO_QT_MINGW "$ENV{KAVRO_QT_MINGW}")
else()
  set(KAVRO_QT_MINGW "$ENV{HOME}/.cache/kavro/qt5-mingw-5.15.8")
endif()

# The gateway libraries, cross-built apart too (scripts/build-gateway-libs-mingw).
if(DEFINED ENV{KAVRO_GATEWAY_LIBS_MINGW})
  set(KAVRO_GATEWAY_LIBS_MINGW "$ENV{KAVRO_GATEWAY_LIBS_MINGW}")
else()
  set(KAVRO_GATEWAY_LIBS_MINGW "$ENV{HOME}/.cache/kavro/gateway-libs-mingw-miniupnpc2.2.4-natpmp20230423")
endif()

# Only these roots: Debian's own Qt and libraries for Linux must never be found for Windows.
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET} ${KAVRO_QT_MINGW} ${KAVRO_GATEWAY_LIBS_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program stands alone: no mingw runtime DLLs to ship beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
