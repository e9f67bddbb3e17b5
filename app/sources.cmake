# Source lists of the program. Pure files build natively and with mingw; the
# Win32 files only with mingw. Paths are relative to the project root.
set(TW_PURE_SOURCES
  app/engine/counters.cpp
  app/engine/calendar.cpp
  app/engine/store_names.cpp
  app/shell/switches.cpp
  app/ui/stats_text.cpp
  app/setup/setup_logic.cpp
)
set(TW_WIN32_SOURCES
  app/shell/text.cpp
)
# The entry point stays out of the library so that test programs can link it.
set(TW_MAIN_SOURCE app/shell/winmain.cpp)
