# Source lists of the program. Pure files build natively and with mingw; the
# Win32 files only with mingw. Paths are relative to the project root.
set(TW_PURE_SOURCES
  app/common/format.cpp
  app/common/paths.cpp
  app/engine/counters.cpp
  app/engine/calendar.cpp
  app/engine/store_names.cpp
  app/engine/startup_approval.cpp
  app/shell/switches.cpp
  app/ui/history_slots.cpp
  app/ui/stats_text.cpp
  app/setup/elevation_plan.cpp
  app/setup/group_commands.cpp
  app/setup/install_rules.cpp
)
set(TW_WIN32_SOURCES
  app/common/main_window_state.cpp
  app/common/message.cpp
  app/common/running_copy.cpp
  app/common/shared_object.cpp
  app/common/text.cpp
  app/engine/intake.cpp
  app/engine/persistence.cpp
  app/engine/registry.cpp
  app/engine/rollover.cpp
  app/shell/main_window.cpp
  app/shell/tray_balloon.cpp
  app/ui/history_page.cpp
  app/ui/settings_page.cpp
  app/ui/dpi_fit.cpp
  app/ui/sheet.cpp
  app/ui/statistics_window.cpp
  app/ui/stats_page.cpp
  app/setup/com_support.cpp
  app/setup/elevation.cpp
  app/setup/installer.cpp
  app/setup/program_group.cpp
  app/setup/retire.cpp
  app/setup/shortcut.cpp
  app/setup/uninstaller.cpp
)
# The entry point stays out of the library, which the test programs link.
set(TW_MAIN_SOURCE app/shell/winmain.cpp)
