# Cross build for ARM64 Linux with Debian's cross compiler and its arm64
# libraries (multiarch: `dpkg --add-architecture arm64`, then the :arm64
# -dev packages; scripts/install-deps --arm64 installs them).
#
#   cmake -S . -B build-arm64 -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
#     -DORCHID_HOST_BUILD=<folder of a native build>
#
# The programs and their tests run through qemu's user-mode emulator, with
# the cross C library's folder as the root of the dynamic loader's paths.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(ORCHID_CROSS_TRIPLET aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${ORCHID_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${ORCHID_CROSS_TRIPLET}-g++)
set(CMAKE_ASM_COMPILER ${ORCHID_CROSS_TRIPLET}-gcc)
# Debian's wrapper reads the arm64 libraries' .pc files only.
set(PKG_CONFIG_EXECUTABLE ${ORCHID_CROSS_TRIPLET}-pkg-config CACHE FILEPATH "")

# Libraries and headers of the target: the cross tree, then the multiarch
# folders of the arm64 packages (found through CMAKE_LIBRARY_ARCHITECTURE);
# programs (the generators, pkg-config, ffmpeg) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${ORCHID_CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/${ORCHID_CROSS_TRIPLET})
