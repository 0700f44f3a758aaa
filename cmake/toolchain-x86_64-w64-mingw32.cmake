# Cross-build for 64-bit Windows with MinGW-w64: the same sources, tested
# under 64-bit Wine where a host cannot run 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
