# Linux on 64-bit arm (Raspberry Pi 3, 4, 5 and other arm64 boards), with
# Debian's cross compiler (g++-aarch64-linux-gnu). NEON is part of the base
# architecture: nothing to choose.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(TESSEL_TOOL_PREFIX aarch64-linux-gnu-)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
