# Cross build for 64-bit ARM Linux (arm64): cmake -DCMAKE_TOOLCHAIN_FILE=THIS_FILE
set(CMAKE_SYSTEM_PROCESSOR aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
