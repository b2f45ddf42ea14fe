# The Windows program built with clang and lld instead of GCC, for the same
# mingw-w64 target: a second compiler's warnings (-Werror here too) and a
# second linker over the same sources. Debian's clang brings no C++ library
# for this target, so it takes the mingw-w64 headers and import libraries and
# the C++ library of the posix GCC, the one the GCC build links.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(MINGW_SYSROOT /usr/${MINGW_TRIPLE})

set(CMAKE_FIND_ROOT_PATH ${MINGW_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# The archiver, resource compiler and linker come from the same LLVM as the
# compiler: Debian installs the unversioned names only for some of its tools.
find_program(MIRROWCAST_CLANGXX NAMES clang++ clang++-16 clang++-15 clang++-14 REQUIRED)
get_filename_component(MIRROWCAST_LLVM_BIN ${MIRROWCAST_CLANGXX} REALPATH)
get_filename_component(MIRROWCAST_LLVM_BIN ${MIRROWCAST_LLVM_BIN} DIRECTORY)
set(CMAKE_C_COMPILER ${MIRROWCAST_LLVM_BIN}/clang)
set(CMAKE_CXX_COMPILER ${MIRROWCAST_LLVM_BIN}/clang++)
set(CMAKE_C_COMPILER_TARGET ${MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${MINGW_TRIPLE})
set(CMAKE_AR ${MIRROWCAST_LLVM_BIN}/llvm-ar)
set(CMAKE_RANLIB ${MIRROWCAST_LLVM_BIN}/llvm-ranlib)
set(CMAKE_RC_COMPILER ${MIRROWCAST_LLVM_BIN}/llvm-windres)
# Without a sysroot clang's driver searches the build machine's own /usr/include
# and /usr/include/c++ (glibc and the Linux libstdc++) for a Windows target.
set(CMAKE_SYSROOT ${MINGW_SYSROOT})

# The newest posix GCC's C++ headers and static libraries (GCC's own runtime
# libgcc and libgcc_eh sit beside them).
file(GLOB MIRROWCAST_GCC_DIRS LIST_DIRECTORIES true /usr/lib/gcc/${MINGW_TRIPLE}/*-posix)
list(SORT MIRROWCAST_GCC_DIRS COMPARE NATURAL ORDER DESCENDING)
list(GET MIRROWCAST_GCC_DIRS 0 MIRROWCAST_GCC_DIR)
if(NOT IS_DIRECTORY "${MIRROWCAST_GCC_DIR}/include/c++")
    message(FATAL_ERROR "No posix mingw-w64 GCC found under /usr/lib/gcc/${MINGW_TRIPLE} "
                        "(package g++-mingw-w64-x86-64-posix)")
endif()
# (With the sysroot set, clang itself finds no C++ headers to add.)
set(CMAKE_CXX_FLAGS_INIT
    "-isystem ${MIRROWCAST_GCC_DIR}/include/c++ -isystem ${MIRROWCAST_GCC_DIR}/include/c++/${MINGW_TRIPLE}")
# The posix C++ library takes its threads from winpthread, which GCC's driver
# adds by itself and clang's does not; lld finds archive members in any order.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${MIRROWCAST_GCC_DIR} -lpthread")
