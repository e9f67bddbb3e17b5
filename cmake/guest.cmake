# The shipped 32-bit build on an emulated machine whose kernel runs 32-bit
# code (tools/guest-image.sh, tools/guest-run.sh): a 32-bit robot to drive it,
# and the journey test that boots the machine.
set(TW_TEST_BIN32 ${CMAKE_BINARY_DIR}/testbin32)
add_executable(robot32 ${PROJECT_SOURCE_DIR}/tests/e2e/robot.cpp)
target_compile_options(robot32 PRIVATE ${tw_warnings})
target_link_libraries(robot32 comctl32 user32 gdi32 advapi32 shell32 ole32)
target_link_options(robot32 PRIVATE ${tw_static} -s)
set_target_properties(robot32 PROPERTIES OUTPUT_NAME robot RUNTIME_OUTPUT_DIRECTORY ${TW_TEST_BIN32})

# A host script, named by path so that CMake does not run it through Wine.
add_test(NAME vm.journey COMMAND ${PROJECT_SOURCE_DIR}/tools/guest-journey.sh ${CMAKE_BINARY_DIR})
set_tests_properties(vm.journey PROPERTIES LABELS i686vm TIMEOUT 2700 RUN_SERIAL TRUE)
