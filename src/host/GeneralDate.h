#pragma once
// GeneralDateText: a point in time as the local general date-time text,
// "M/d/yyyy h:mm:ss AM" (short date, then long time with AM or PM), the form
// used in the host log and the install change log.
#include <chrono>
#include <string>

std::string GeneralDateText(std::chrono::system_clock::time_point when);
