#pragma once
// LocalTimeOfDay: the local time as "hh:mm:ss", for the time stamps of received text.
// The time zone is looked up once a minute rather than on every call: the usual
// library calls check /etc/localtime each time, a file-system call per piece of text.
// A change of the zone or of daylight saving time shows from the next minute on.
#include <string>

std::string LocalTimeOfDay();
