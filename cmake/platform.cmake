# The target: operating system, processor and float size, and from them the
# module file names and the package's architecture name.
#
#   target             module file          package architecture
#   linux-amd64-32     <class>.pd_linux     Linux-amd64-32
#   linux-amd64-64     <class>.linux-amd64-64.so   Linux-amd64-64
#   linux-arm64-32     <class>.l_arm64      Linux-arm64-32
#   linux-armv7-32     <class>.l_arm        Linux-armv7-32
#   windows-amd64-32   <class>.dll          Windows-amd64-32
#
# Every 32-bit host of a system loads these names (Pd 0.53 and 0.55 alike):
# .pd_linux and .dll in general, .l_arm64 and .l_arm on their processor
# before .pd_linux, so that one folder can hold the modules of every target.
# A double-precision host loads only <class>.<os>-<cpu>-64.<so|dll>.
string(TOLOWER "${CMAKE_SYSTEM_PROCESSOR}" _cpu)
if(_cpu MATCHES "^(x86_64|amd64)$")
  set(TESSEL_CPU amd64)
elseif(_cpu MATCHES "^(aarch64|arm64)$")
  set(TESSEL_CPU arm64)
elseif(_cpu MATCHES "^arm")
  set(TESSEL_CPU armv7)
else()
  message(FATAL_ERROR "no module naming for processor ${CMAKE_SYSTEM_PROCESSOR}")
endif()
if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  set(TESSEL_OS windows)
  set(TESSEL_DEKEN_OS Windows)
  set(_so .dll)
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(TESSEL_OS linux)
  set(TESSEL_DEKEN_OS Linux)
  set(_so .so)
else()
  message(FATAL_ERROR "no module naming for ${CMAKE_SYSTEM_NAME}")
endif()
set(TESSEL_TARGET ${TESSEL_OS}-${TESSEL_CPU}-${TESSEL_FLOATSIZE})
set(TESSEL_DEKEN_ARCH ${TESSEL_DEKEN_OS}-${TESSEL_CPU}-${TESSEL_FLOATSIZE})

if(TESSEL_FLOATSIZE EQUAL 64)
  set(TESSEL_EXT .${TESSEL_TARGET}${_so})
elseif(TESSEL_OS STREQUAL windows)
  set(TESSEL_EXT .dll)
elseif(TESSEL_CPU STREQUAL amd64)
  set(TESSEL_EXT .pd_linux)
elseif(TESSEL_CPU STREQUAL arm64)
  set(TESSEL_EXT .l_arm64)
else()
  set(TESSEL_EXT .l_arm)
endif()
message(STATUS "tessel: modules for ${TESSEL_TARGET} (${TESSEL_EXT}), host ${PD_EXECUTABLE}")
