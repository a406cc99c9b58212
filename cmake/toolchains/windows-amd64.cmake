# Windows on x86-64, with Debian's mingw-w64 cross compiler
# (g++-mingw-w64-x86-64-win32: the win32 thread model, which needs no
# winpthread DLL). Modules are DLLs that link the host's import library
# (PD_LIBRARY, pd.lib of the host build) and the system C runtime
# (msvcrt.dll); the compiler's own runtime pieces are linked in statically
# (see tessel_module in CMakeLists.txt).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(TESSEL_TOOL_PREFIX x86_64-w64-mingw32-)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Test programs (GoogleTest) run under wine and carry the C++ runtime in them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
