# Cross build for IBM Z Linux (s390x, big-endian): cmake -DCMAKE_TOOLCHAIN_FILE=THIS_FILE
set(CMAKE_SYSTEM_PROCESSOR s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
