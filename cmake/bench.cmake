# Benchmarks: the do-nothing hook library, the Win32 benchmark programs and the
# start-up baseline, all into ${TW_BENCH_BIN}; bench/run.sh runs them.
set(TW_BENCH_BIN ${CMAKE_BINARY_DIR}/benchbin)
set(TW_BENCH_SRC ${PROJECT_SOURCE_DIR}/bench)
file(MAKE_DIRECTORY ${TW_BENCH_BIN})

# --- nullhook.dll: Tapwise.dll's build line with another base, so both can be
# loaded at once without relocating either ---
if(TW_64)
  set(null_base 0x190000000)
  set(null_exports "TapwiseInit @1\n    TapwiseReset @2")
else()
  set(null_base 0x11000000)
  set(null_exports "TapwiseInit = TapwiseInit@4 @1\n    TapwiseReset = TapwiseReset@0 @2")
endif()
set(null_def ${CMAKE_BINARY_DIR}/generated/nullhook.def)
file(WRITE ${null_def}.in "LIBRARY \"NULLHOOK.dll\"\nEXPORTS\n    ${null_exports}\n")
configure_file(${null_def}.in ${null_def} COPYONLY)
set(TW_NULLHOOK ${TW_BENCH_BIN}/nullhook.dll)
add_custom_command(
  OUTPUT ${TW_NULLHOOK}
  COMMAND ${CMAKE_C_COMPILER} -Os -s -fno-asynchronous-unwind-tables -fno-ident
          -fno-stack-protector -shared -nostdlib -Wl,-e,${hook_entry}
          -Wl,--no-insert-timestamp -Wl,--image-base,${null_base}
          -o ${TW_NULLHOOK} ${TW_BENCH_SRC}/nullhook.c ${null_def} -lkernel32 -luser32
  DEPENDS ${TW_BENCH_SRC}/nullhook.c ${null_def}
  COMMENT "Building nullhook.dll"
  VERBATIM)
add_custom_target(nullhook ALL DEPENDS ${TW_NULLHOOK})

# --- programs that drive the program's own engine code ---
foreach(name click_burst click_latency hook_cost engine_calls hook_answer history_open)
  add_executable(${name} ${TW_BENCH_SRC}/${name}.cpp $<TARGET_OBJECTS:tapwise_resources>)
  target_compile_options(${name} PRIVATE ${tw_warnings} -O2)
  target_link_libraries(${name} tapwise_core)
  target_link_options(${name} PRIVATE ${tw_static})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TW_BENCH_BIN})
endforeach()
add_dependencies(hook_cost nullhook)

# --- the start-up probe, and the baseline it is compared with: built as
# Tapwise.exe is (GUI subsystem, -Os, static, stripped) ---
add_executable(startup_probe ${TW_BENCH_SRC}/startup_probe.cpp)
target_compile_options(startup_probe PRIVATE ${tw_warnings} -O2)
target_link_options(startup_probe PRIVATE ${tw_static})
set_target_properties(startup_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TW_BENCH_BIN})

add_executable(minimal WIN32 ${TW_BENCH_SRC}/minimal.cpp)
target_compile_options(minimal PRIVATE ${tw_warnings} ${tw_lean})
target_link_libraries(minimal user32 gdi32 kernel32)
target_link_options(minimal PRIVATE ${tw_static} ${tw_lean_link})
set_target_properties(minimal PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TW_BENCH_BIN})

# The memory floor of a tray program: Tapwise.exe's system libraries and flags.
add_executable(tray_floor WIN32 ${TW_BENCH_SRC}/tray_floor.cpp)
target_compile_definitions(tray_floor PRIVATE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0501 _WIN32_IE=0x0500)
target_compile_options(tray_floor PRIVATE ${tw_warnings} ${tw_lean})
target_link_libraries(tray_floor comctl32 shell32 ole32 advapi32 gdi32 user32 kernel32)
target_link_options(tray_floor PRIVATE ${tw_static} ${tw_lean_link})
set_target_properties(tray_floor PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TW_BENCH_BIN})

add_custom_target(bench DEPENDS nullhook click_burst click_latency hook_cost engine_calls hook_answer history_open startup_probe minimal
                                tray_floor)
