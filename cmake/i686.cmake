# Toolchain for the 32-bit host build: the portable code compiled as the
# Windows build compiles SETUP.EXE (32-bit x86 for the Pentium, as
# setup/CMakeLists.txt asks, and x87 floating point), so that the decoder's
# speed is measured as it ships.  Debian's g++-multilib with the i386 zlib,
# libdeflate and Google Benchmark packages (scripts/install-deps.sh).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32 -march=pentium")
set(CMAKE_CXX_FLAGS_INIT "-m32 -march=pentium")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
