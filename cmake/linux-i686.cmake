# Linux i386: the plug-ins, the reference host and the tests. The contract is 32-bit, so -m32
# lives here in the init flags, where a preset's CMAKE_CXX_FLAGS cannot silently drop it.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
# i386 programs run natively where the kernel allows it, else under qemu-i386.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/run-i386.sh")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
