# Toolchain for the 32-bit host build: the portable code compiled as the
# Windows build compiles SETUP.EXE (32-bit x86 for the Pentium, as
# the top-level TV_CODE_OPTIONS ask, and x87 floating point), so that the decoder's
# speed is measured as it ships.  Debian's g++-multilib with the i386 zlib,
# libdeflate and Google Benchmark packages (scripts/install-deps.sh).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
# Large-file offsets: directory reads of a 64-bit file system (or under an
# emulator on a 64-bit kernel) return offsets that do not fit 32 bits.
# Position-dependent code, as the Windows build makes: Debian's compiler
# makes position-independent programs by default, which on 32-bit x86 keeps
# a register from the decoder's loop that SETUP.EXE has.
set(CMAKE_C_FLAGS_INIT "-m32 -march=pentium -D_FILE_OFFSET_BITS=64 -fno-pie")
set(CMAKE_CXX_FLAGS_INIT "-m32 -march=pentium -D_FILE_OFFSET_BITS=64 -fno-pie")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32 -no-pie")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
