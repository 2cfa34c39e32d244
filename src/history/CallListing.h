#pragma once
// The text forms of stored calls for people and programs: the listing of
// `xapvynCID --calls` and its JSON form. Pure: std::string in, std::string out.
//
// Texts of a call are 8-bit: a text that is valid UTF-8 is taken as UTF-8, any other as
// Latin-1, and both come out as UTF-8. Times are shown in the local time zone (TZ).
//  - ListingText: one line per call, in the order given: local time
//    "2026-12-10 14:03:22", the display number (the raw number when there is none), the
//    announced name and how it was named (NamedByText), separated by two spaces; number
//    and name are padded to the widest of the listing, so the columns line up. Control
//    characters (C0, DEL, C1) become "?", so a caller-ID name cannot steer the terminal.
//  - ListingJson: a JSON array, one object per line, with every field: id, time
//    (ISO 8601 with the local offset, "2026-12-10T14:03:22+01:00"), number,
//    display_number, name, caller_id_name, named_by, source, source_detail, and
//    first_name only when set. Control characters are escaped as \u00XX.
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "common/JsonText.h"

#include "history/StoredCall.h"

// text as UTF-8: unchanged when it is valid UTF-8, else each byte read as Latin-1.
std::string TextAsUtf8(std::string_view text);
bool IsValidUtf8(std::string_view text);


// "2026-12-10 14:03:22" (iso false) or "2026-12-10T14:03:22+01:00" (iso true), local time,
// to the second.
std::string LocalTimeText(std::chrono::system_clock::time_point time, bool iso);

std::string ListingText(const std::vector<StoredCall>& calls);
std::string ListingJson(const std::vector<StoredCall>& calls);
