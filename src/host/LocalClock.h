#pragma once
// Local time without the cost of the usual library calls, which check /etc/localtime and
// take a lock on every call. The zone's offset is asked of the C library once a minute;
// a change of the zone or of daylight saving time shows from the next minute on.
//   LocalTimeOfDay: "hh:mm:ss", for the time stamps of received text.
//   LocalTm: the broken-down local time of t, as localtime_r gives it (tm_zone left empty).
#include <ctime>
#include <string>

std::string LocalTimeOfDay();
std::tm LocalTm(std::time_t t);
