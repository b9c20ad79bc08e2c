# Cross build for 32-bit Windows, the shipping target. Its tests run under the
# emulated 32-bit Wine of scripts/setup-wine32 (this kernel runs no 32-bit code).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VELMORA_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
