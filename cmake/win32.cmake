# Windows build: Tapwise.dll, then Tapwise.exe carrying it as a resource, the
# Win32 test programs and the end-to-end harness.
set(TW_BIN ${CMAKE_BINARY_DIR}/bin)
file(MAKE_DIRECTORY ${TW_BIN})
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(TW_64 1)
else()
  set(TW_64 0)
endif()

# --- optional Authenticode signing (tools/sign-pe, Debian's osslsigncode) ---
# Without a certificate the build stays unsigned. The library is signed before
# the program embeds it, so the installer writes out the signed library.
set(TW_SIGN_PFX "" CACHE FILEPATH "PKCS#12 file to sign Tapwise.dll and Tapwise.exe with; empty: unsigned")
set(TW_SIGN_PASSWORD_FILE "" CACHE FILEPATH "file that holds the password of TW_SIGN_PFX")
set(TW_SIGN_TIMESTAMP_URL "" CACHE STRING "time-stamping service for the signatures; empty: none")
set(tw_sign_dll)
set(tw_sign_deps)
if(TW_SIGN_PFX)
  if(NOT TW_SIGN_PASSWORD_FILE)
    message(FATAL_ERROR "TW_SIGN_PFX needs TW_SIGN_PASSWORD_FILE")
  endif()
  set(tw_sign /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tools/sign-pe)
  set(tw_sign_with ${TW_SIGN_PFX} ${TW_SIGN_PASSWORD_FILE} ${TW_SIGN_TIMESTAMP_URL})
  set(tw_sign_deps ${TW_SIGN_PFX} ${PROJECT_SOURCE_DIR}/tools/sign-pe)
endif()

# --- Tapwise.dll: no runtime, own entry point, fixed base, no time stamp ---
set(TW_DLL ${TW_BIN}/Tapwise.dll)
if(TW_SIGN_PFX)
  set(tw_sign_dll COMMAND ${tw_sign} ${TW_DLL} ${tw_sign_with})
endif()
if(TW_64)
  set(hook_def ${PROJECT_SOURCE_DIR}/hooklib/Tapwise64.def)
  set(hook_entry DllMain)
  set(hook_base 0x180000000)
else()
  set(hook_def ${PROJECT_SOURCE_DIR}/hooklib/Tapwise.def)
  set(hook_entry _DllMain@12)
  set(hook_base 0x10000000)
endif()
add_custom_command(
  OUTPUT ${TW_DLL}
  COMMAND ${CMAKE_C_COMPILER} -Wall -Werror -Os -s -fno-asynchronous-unwind-tables -fno-ident
          -fno-stack-protector -shared -nostdlib -Wl,-e,${hook_entry}
          -Wl,--no-insert-timestamp -Wl,--image-base,${hook_base}
          -o ${TW_DLL} ${PROJECT_SOURCE_DIR}/hooklib/hook.c ${hook_def} -lkernel32 -luser32
  COMMAND ${PROJECT_SOURCE_DIR}/tools/check-hooklib ${TW_DLL} ${TW_64}
  ${tw_sign_dll}
  DEPENDS ${PROJECT_SOURCE_DIR}/hooklib/hook.c ${hook_def} ${PROJECT_SOURCE_DIR}/tools/check-hooklib ${tw_sign_deps}
  COMMENT "Building and checking Tapwise.dll"
  VERBATIM)
add_custom_target(hooklib ALL DEPENDS ${TW_DLL})

# --- resources: the .rc embeds the library image built above ---
set(TW_GEN ${CMAKE_BINARY_DIR}/generated)
file(WRITE ${TW_GEN}/library_file.h.in "#define TW_LIBRARY_FILE \"${TW_DLL}\"\n")
configure_file(${TW_GEN}/library_file.h.in ${TW_GEN}/library_file.h COPYONLY)
set(TW_RC ${PROJECT_SOURCE_DIR}/resources/tapwise.rc)
file(GLOB rc_inputs ${PROJECT_SOURCE_DIR}/resources/*)
set_source_files_properties(${TW_RC} PROPERTIES OBJECT_DEPENDS "${TW_DLL};${rc_inputs}")
add_library(tapwise_resources OBJECT ${TW_RC})
target_include_directories(tapwise_resources PRIVATE ${TW_GEN} ${PROJECT_SOURCE_DIR}/resources)
add_dependencies(tapwise_resources hooklib)

# --- the program ---
set(tw_warnings -Wall -Wextra -Wno-cast-function-type -Wno-missing-field-initializers)
# The program uses no exceptions, run-time types or unwinding: their tables are
# left out and every function nothing calls is dropped. Not -fdata-sections:
# mingw's linker script files zero-filled .bss.* sections with the initialised
# data, which would store the program's 10 KB of empty buffers in the exe. The
# exe loads at its fixed base, so it carries no relocation table.
set(tw_lean -Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables
            -ffunction-sections)
set(tw_lean_link -s -Wl,--no-insert-timestamp,--gc-sections,--disable-dynamicbase,--disable-reloc-section)
add_library(tapwise_core STATIC ${TW_PURE_SOURCES} ${TW_WIN32_SOURCES})
target_include_directories(tapwise_core PUBLIC ${PROJECT_SOURCE_DIR}/app ${PROJECT_SOURCE_DIR}/resources)
target_compile_definitions(tapwise_core PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501 _WIN32_IE=0x0500)
target_compile_options(tapwise_core PRIVATE ${tw_warnings} ${tw_lean})
# ole32 and oleaut32 are loaded at run time by setup alone (setup/com_support).
target_link_libraries(tapwise_core PUBLIC comctl32 shell32 uuid advapi32 gdi32 user32 kernel32)

set(tw_static -static -static-libgcc -static-libstdc++)
add_executable(Tapwise WIN32 ${PROJECT_SOURCE_DIR}/${TW_MAIN_SOURCE} $<TARGET_OBJECTS:tapwise_resources>)
target_compile_options(Tapwise PRIVATE ${tw_warnings} ${tw_lean})
target_link_libraries(Tapwise tapwise_core)
target_link_options(Tapwise PRIVATE ${tw_static} ${tw_lean_link})
set_target_properties(Tapwise PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TW_BIN})
if(TW_SIGN_PFX)
  add_custom_command(TARGET Tapwise POST_BUILD COMMAND ${tw_sign} $<TARGET_FILE:Tapwise> ${tw_sign_with} VERBATIM)
endif()

if(NOT TW_64)
  # The shipped binaries, checked from the outside by an independent PE parser.
  add_test(NAME binary.check_pe
           COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tests/e2e/check_pe.py ${TW_BIN}/Tapwise.exe ${TW_DLL})
  # CMake would otherwise run this host tool through the Windows emulator.
  set_tests_properties(binary.check_pe PROPERTIES LABELS binary)
endif()

# --- the shipped 32-bit build executed: emulated library, i686 Linux core ---
if(NOT TW_64)
  include(${PROJECT_SOURCE_DIR}/cmake/i686-tests.cmake)
  include(${PROJECT_SOURCE_DIR}/cmake/guest.cmake)
endif()

if(NOT TW_BUILD_TESTS)
  return()
endif()

# --- GoogleTest, cross-built from the Debian sources ---
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(TW_TEST_BIN ${CMAKE_BINARY_DIR}/testbin)
file(GLOB win32_tests CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/win32/test_*.cpp)
add_executable(win32_tests ${win32_tests} $<TARGET_OBJECTS:tapwise_resources>)
target_include_directories(win32_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests/win32)
target_compile_options(win32_tests PRIVATE ${tw_warnings})
target_link_libraries(win32_tests tapwise_core gtest_main gtest ole32)
target_link_options(win32_tests PRIVATE ${tw_static})
set_target_properties(win32_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TW_TEST_BIN})

# Helper programs the tests start: the robot, a do-nothing hook library for the
# benchmarks, a plain window program that receives clicks.
file(GLOB helper_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/e2e/*.cpp)
foreach(src ${helper_sources})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_compile_options(${name} PRIVATE ${tw_warnings})
  target_link_libraries(${name} comctl32 user32 gdi32 advapi32 shell32 ole32)
  target_link_options(${name} PRIVATE ${tw_static})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TW_TEST_BIN})
endforeach()

include(GoogleTest)
gtest_add_tests(TARGET win32_tests SOURCES ${win32_tests} WORKING_DIRECTORY ${TW_TEST_BIN} TEST_LIST win32_list)
set_tests_properties(${win32_list} PROPERTIES LABELS win32 RUN_SERIAL TRUE)

# End-to-end scenarios: Python drivers of the real program.
file(GLOB e2e_scripts CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/e2e/test_*.py)
foreach(script ${e2e_scripts})
  get_filename_component(name ${script} NAME_WE)
  add_test(NAME e2e.${name} COMMAND /usr/bin/python3 ${script})
  set_tests_properties(e2e.${name} PROPERTIES LABELS e2e RUN_SERIAL TRUE
    ENVIRONMENT "TW_BIN=${TW_BIN};TW_TEST_BIN=${TW_TEST_BIN};TW_SOURCE=${PROJECT_SOURCE_DIR}")
endforeach()

# Scenarios that need Windows mechanisms stock Wine lacks: run in a session on
# the test rig (TW_RIG=1, tools/wine-rig.sh), after the rest.
file(GLOB rig_scripts CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/e2e/rig_*.py)
foreach(script ${rig_scripts})
  get_filename_component(name ${script} NAME_WE)
  add_test(NAME rig.${name} COMMAND /usr/bin/python3 ${script})
  set_tests_properties(rig.${name} PROPERTIES LABELS rig RUN_SERIAL TRUE
    ENVIRONMENT "TW_BIN=${TW_BIN};TW_TEST_BIN=${TW_TEST_BIN};TW_SOURCE=${PROJECT_SOURCE_DIR}")
endforeach()

# Benchmarks (programs and libraries of their own, run by bench/run.sh).
include(${PROJECT_SOURCE_DIR}/cmake/bench.cmake OPTIONAL)

# A hook library that lacks TapwiseReset, for the start-up test of a broken install.
set(half_dir ${TW_TEST_BIN}/halfhook)
set(half_def ${CMAKE_BINARY_DIR}/halfhook.def)
if(TW_64)
  file(WRITE ${half_def} "LIBRARY \"TAPWISE.dll\"\nEXPORTS\n    TapwiseInit @1\n")
else()
  file(WRITE ${half_def} "LIBRARY \"TAPWISE.dll\"\nEXPORTS\n    TapwiseInit = TapwiseInit@4 @1\n")
endif()
add_custom_command(
  OUTPUT ${half_dir}/Tapwise.dll
  COMMAND ${CMAKE_COMMAND} -E make_directory ${half_dir}
  COMMAND ${CMAKE_C_COMPILER} -Os -s -shared -nostdlib -fno-stack-protector -Wl,-e,${hook_entry}
          -o ${half_dir}/Tapwise.dll ${PROJECT_SOURCE_DIR}/hooklib/hook.c ${half_def} -lkernel32 -luser32
  DEPENDS ${PROJECT_SOURCE_DIR}/hooklib/hook.c
  VERBATIM)
add_custom_target(halfhook ALL DEPENDS ${half_dir}/Tapwise.dll)
