# As mingw-w64-x86_64.cmake, with the posix-thread compilers: GoogleTest needs std::mutex,
# which the win32-thread ones lack. Used only for the Win32 layer's tests.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
