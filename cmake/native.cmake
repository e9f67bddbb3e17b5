# Native build: the platform-free code under GoogleTest, with sanitizers.
#   TW_SANITIZE=address (ASan+UBSan, default) or thread (TSan).
find_package(GTest REQUIRED)
set(TW_SANITIZE "address" CACHE STRING "address or thread")
if(TW_SANITIZE STREQUAL "thread")
  set(san -fsanitize=thread)
else()
  set(san -fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
add_compile_options(-Wall -Wextra -g -O1 ${san})
add_link_options(${san})

add_library(tapwise_pure STATIC ${TW_PURE_SOURCES})
target_include_directories(tapwise_pure PUBLIC ${PROJECT_SOURCE_DIR}/app)

file(GLOB native_tests CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/native/*.cpp)
add_executable(native_tests ${native_tests})
target_link_libraries(native_tests tapwise_pure GTest::gtest_main pthread)
include(GoogleTest)
gtest_discover_tests(native_tests DISCOVERY_TIMEOUT 60)

# Who may include whom in app/, and no include cycle.
add_test(NAME layers.includes
         COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tools/check-includes ${PROJECT_SOURCE_DIR}/app)
