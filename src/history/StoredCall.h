#pragma once
// StoredCall: one call as the call history keeps it, the completed call plus the number
// of its row. Plain value, no Qt.
#include <cstdint>

#include "common/CompletedCall.h"

struct StoredCall : CompletedCall {
  // The row number in the history, growing with each stored call; 0 for a call that is
  // still waiting in memory to be written.
  std::int64_t id = 0;
};
