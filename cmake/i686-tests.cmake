# The shipped 32-bit code executed, on a machine whose kernel runs no 32-bit
# code: Tapwise.dll on an emulated CPU, and the platform-free code cross-built
# for i686 Linux and run under qemu-i386. Both tests are host programs and name
# no target, so CMake runs them directly, not through the Windows emulator.
add_test(NAME i686.hooklib
         COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tests/i686/test_hooklib.py ${TW_DLL})
set_tests_properties(i686.hooklib PROPERTIES LABELS i686)

find_program(TW_I686_LINUX_CXX i686-linux-gnu-g++)
find_program(TW_QEMU_I386 qemu-i386)
if(NOT TW_I686_LINUX_CXX OR NOT TW_QEMU_I386)
  add_test(NAME i686.native COMMAND sh -c "echo 'i686-linux-gnu-g++ or qemu-i386 missing: run tools/setup.sh'; exit 1")
  set_tests_properties(i686.native PROPERTIES LABELS i686)
  return()
endif()

include(ExternalProject)
set(i686_native_dir ${CMAKE_BINARY_DIR}/i686-linux)
ExternalProject_Add(i686_native
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${i686_native_dir}
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/linux-i686.cmake
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${i686_native_dir} -j2
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${i686_native_dir}/native_tests)
add_test(NAME i686.native COMMAND ${TW_QEMU_I386} ${i686_native_dir}/native_tests --gtest_brief=1)
set_tests_properties(i686.native PROPERTIES LABELS i686)
