# Cross build for 64-bit Arm Linux with Debian's cross toolchain
# (g++-aarch64-linux-gnu) and arm64 libraries installed through multiarch;
# tests run under qemu-user.
#
#   cmake -S . -B build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
#
# scripts/deps.sh aarch64 installs what it needs.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

# Target libraries and headers only from the target's paths; programs (nm,
# gsl-config, bash) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest runs the target's executables through qemu; its -L prefix lets the
# emulated loader find the arm64 libc when no binfmt handler is installed.
find_program(HANKEL_TRANSF_QEMU_AARCH64 qemu-aarch64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${HANKEL_TRANSF_QEMU_AARCH64} -L /usr/aarch64-linux-gnu)

# Debian's libgsl-dev cannot be installed for two architectures at once.
# Its headers are the same for every architecture, so the host's serve; the
# arm64 runtime libraries (libgsl27:arm64, libgslcblas0:arm64, which can be)
# are linked by their full names.
set(GSL_INCLUDE_DIR /usr/include CACHE PATH "GSL headers (architecture-independent)")
set(GSL_LIBRARY /usr/lib/aarch64-linux-gnu/libgsl.so.27 CACHE FILEPATH "arm64 libgsl")
set(GSL_CBLAS_LIBRARY /usr/lib/aarch64-linux-gnu/libgslcblas.so.0 CACHE FILEPATH "arm64 libgslcblas")

# pkg-config (FFTW3 ships only a .pc file) answers for the arm64 libraries.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
