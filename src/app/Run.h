#pragma once
// RunApplication: one run of the program on the event loop the caller made
// (QCoreApplication for a headless run, QApplication for the desktop). It routes
// SIGINT and SIGTERM to the orderly shutdown, SIGHUP to Application::Reload,
// starts the program, calls attach (the desktop joins here) and runs the event
// loop. Returns the exit status: 0
// after an orderly shutdown, 1 when the xAP transport cannot start.
#include <functional>

#include "app/Application.h"

int RunApplication(Application::Options options,
                   const std::function<void(Application&)>& attach = {});
