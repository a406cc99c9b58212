# Linux on 32-bit arm with hardware floats (Debian's armhf: Raspberry Pi 2,
# 3 and 4 on a 32-bit system, and other ARMv7 boards), with Debian's cross
# compiler (g++-arm-linux-gnueabihf). Debian's armhf baseline is ARMv7 with
# VFPv3-D16 and no NEON; the modules assume NEON and VFPv4 (every Cortex-A7,
# A9 with NEON, A15, A53 and A72 running 32-bit code: all Raspberry Pi
# models from the Pi 2 on), which gives them vector integer units and the
# fused multiply-add.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
set(TESSEL_TOOL_PREFIX arm-linux-gnueabihf-)
set(CMAKE_C_FLAGS_INIT "-march=armv7-a -mfpu=neon-vfpv4 -mfloat-abi=hard")
set(CMAKE_CXX_FLAGS_INIT "-march=armv7-a -mfpu=neon-vfpv4 -mfloat-abi=hard")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
