# Cross build for 64-bit Windows with MinGW-w64 (Debian's posix-thread
# compilers, which std::thread and std::call_once need).
#
#   cmake -S . -B build-windows -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#     -DORCHID_HOST_BUILD=<folder of a native build>
#
# The C and C++ runtimes (libgcc, libstdc++, winpthread) are linked
# statically, so the program needs no DLL beside it: only the system's own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ORCHID_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ORCHID_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORCHID_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ORCHID_MINGW_PREFIX}-windres)
set(CMAKE_ASM_COMPILER ${ORCHID_MINGW_PREFIX}-gcc-posix)

# Headers and libraries come only from the MinGW tree, programs (the
# generators, pkg-config) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${ORCHID_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Windows keeps the stack 16-byte aligned, and GCC cannot align it further
# for spilled 32-byte AVX2 values, yet may spill them with aligned moves. The
# assembler makes every aligned vector move an unaligned one (same result,
# same speed on aligned data), so AVX2 code cannot fault on a stack slot.
set(CMAKE_C_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")

# Test programs run through Wine, in a Wine prefix inside the build folder.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
