# Native build: the platform-free code under GoogleTest, with sanitizers.
#   TW_SANITIZE=address (ASan+UBSan, default) or thread (TSan).
# Cross-built for 32-bit x86 Linux (cmake/linux-i686.cmake) the same suite runs
# under qemu-i386 with 32-bit long, size_t and pointers: GoogleTest is built
# from its sources for that target, and undefined behaviour traps, since the
# sanitizer runtimes do not link statically.
if(CMAKE_CROSSCOMPILING)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(TW_SANITIZE "trap")
  set(san -fsanitize=undefined -fsanitize-undefined-trap-on-error)
else()
  find_package(GTest REQUIRED)
  set(TW_SANITIZE "address" CACHE STRING "address or thread")
  if(TW_SANITIZE STREQUAL "thread")
    set(san -fsanitize=thread)
  else()
    set(san -fsanitize=address,undefined -fno-sanitize-recover=all)
  endif()
endif()
add_compile_options(-Wall -Wextra -g -O1 ${san})
add_link_options(${san})

add_library(tapwise_pure STATIC ${TW_PURE_SOURCES})
target_include_directories(tapwise_pure PUBLIC ${PROJECT_SOURCE_DIR}/app)

file(GLOB native_tests CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/native/*.cpp)
add_executable(native_tests ${native_tests})
target_link_libraries(native_tests tapwise_pure GTest::gtest_main pthread)
if(CMAKE_CROSSCOMPILING)
  # One emulated run of the whole suite; listing it first would cost a second.
  add_test(NAME native_tests COMMAND native_tests)
else()
  include(GoogleTest)
  gtest_discover_tests(native_tests DISCOVERY_TIMEOUT 60)
  # Who may include whom in app/, and no include cycle.
  add_test(NAME layers.includes
           COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tools/check-includes ${PROJECT_SOURCE_DIR}/app)
  # The house style of app/ and hooklib/.
  add_test(NAME style.format COMMAND bash ${PROJECT_SOURCE_DIR}/tools/check-format)
endif()
