# The Windows executables. The native window lives in app/win32 and provides
# the library dedarida_win32_window (RunWindow of app/window_app.h). With it,
# dedarida.exe is a window program that opens no console from Explorer, and
# dedarida.com is the same program for consoles: cmd.exe and PowerShell pick
# it for "dedarida", print its output and get its exit status. Without it,
# dedarida.exe is the headless mode alone.
if(EXISTS "${PROJECT_SOURCE_DIR}/app/win32/CMakeLists.txt")
    set(window_default ON)
else()
    set(window_default OFF)
endif()
option(DEDARIDA_WIN32_WINDOW "Build the native Win32 window (app/win32)" ${window_default})

if(DEDARIDA_WIN32_WINDOW)
    add_subdirectory(app/win32)
    add_executable(dedarida WIN32 app/main.cpp)
    target_link_libraries(dedarida PRIVATE dedarida_win32_window dedarida_headless dedarida_warnings)
    add_executable(dedarida_console app/main.cpp)
    set_target_properties(dedarida_console PROPERTIES OUTPUT_NAME dedarida SUFFIX .com)
    target_link_libraries(dedarida_console PRIVATE dedarida_win32_window dedarida_headless
        dedarida_warnings)
else()
    add_executable(dedarida app/main.cpp app/headless/window_absent.cpp)
    target_link_libraries(dedarida PRIVATE dedarida_headless dedarida_warnings)
endif()
