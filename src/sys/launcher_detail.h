// What the shared launcher asks of the platform files. Included by the sys layer's launcher
// files alone.
#pragma once

#include <string>

#include "sys/launcher.h"

// The executable name a Handover search adopts besides the launch's descendants: `processName`
// when given; else (Windows) the launched executable's own file name, long form; Linux none.
std::string HandoverName(const std::string& commandLine, const std::string& processName);

// Brings the adopted process's window forward and gives it the asked size (Windows). False while
// the process shows no window yet; Linux places no windows and answers true.
bool PlaceWindow(const Process& process, const LaunchOptions& options);
