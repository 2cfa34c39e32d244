#pragma once
// The entry point of the desktop module (ui/DesktopPlugin.cpp), looked up by name
// with dlsym: runs the program with its desktop on a QApplication and returns the
// exit status, as RunApplication does.
#include "app/Application.h"

inline constexpr const char* kDesktopModuleFile = "xapvynCID-desktop.so";
inline constexpr const char* kDesktopEntry = "xapvyncid_run_desktop";
using DesktopEntry = int (*)(int* argc, char** argv, const Application::Options* options);
