# The Windows DLLs, cross-built with mingw-w64 inside a Linux build, so the reference host's DLL
# loader, the tests and the fuzz seeds have them: the deliverables and the test libraries, from
# the same sources, in PLUG_DLL_DIR (test libraries in its testdata/ folder).
find_program(PLUG_MINGW_CXX i686-w64-mingw32-g++)
if(PLUG_MINGW_CXX)
  include(ExternalProject)
  set(PLUG_DLL_DIR ${CMAKE_BINARY_DIR}/windows)
  ExternalProject_Add(windows_dlls
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${PLUG_DLL_DIR}
    CMAKE_GENERATOR ${CMAKE_GENERATOR}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-i686.cmake
               -DCMAKE_BUILD_TYPE=Release
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${PLUG_DLL_DIR}/TAVIN.dll ${PLUG_DLL_DIR}/ostrel.dll)
else()
  message(STATUS "No i686-w64-mingw32-g++: the Windows DLLs and their tests are left out")
endif()
