# What the cross toolchain files share: Debian's cross compiler for
# ${CMAKE_SYSTEM_PROCESSOR}-linux-gnu (package g++-ARCH-linux-gnu), the target's
# libraries in /usr/ARCH-linux-gnu, and the build machine's own programs (python3
# for the exact-reference checks). The results run under qemu-user: see README.
set(CMAKE_SYSTEM_NAME Linux)
set(emodul_cross_triple ${CMAKE_SYSTEM_PROCESSOR}-linux-gnu)
set(CMAKE_C_COMPILER ${emodul_cross_triple}-gcc)
set(CMAKE_CXX_COMPILER ${emodul_cross_triple}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${emodul_cross_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
