#pragma once
// CallerRecord: the one record of the call being assembled from caller-ID text.
// Number and Name hold what the device reported (the number already in display
// form); the two flags say which of them has arrived for the current call. Both
// are emptied when a call completes. DisplayNumber and CallerName are the lookup's
// answer for the last completed call and stay until the next call completes.
#include <string>

#include "common/CompletedCall.h"

// A call as the caller-ID text gave it, complete but not yet named.
struct CallerIdCall {
  std::string number;     // as the parser formatted it; "" when none arrived
  std::string receivedNumber;  // as the caller-ID text carried it, trimmed
  std::string name;       // withheld-name codes already read as "Unknown"
  bool withheld = false;  // the name was a withheld or out-of-area code
  CallSource source = CallSource::Serial;
  std::string sourceDetail;  // device path, host:port or xAP source address
};

struct CallerRecord {
  std::string Number;
  std::string ReceivedNumber;
  std::string Name;
  bool NameDetected = false;
  bool NumberDetected = false;
  std::string DisplayNumber;
  std::string CallerName;
};
