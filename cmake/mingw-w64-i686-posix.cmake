# As mingw-w64-i686.cmake, with the posix-thread compilers: GoogleTest needs std::mutex,
# which the win32-thread ones lack. Used only for the Win32 layer's tests.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-i686.cmake)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
