#pragma once
// The texts of the display-client service window that do not depend on Qt.
//  - InformationBlock(slots): the "&Advanced Information" text: two CR LF, a banner of
//    56 asterisks around "Orvo Server", the credit lines, "Registered CID clients:",
//    one "--> " line per client slot (slot text as stored, so "" for a cleared slot
//    and "-" + address for one that unsubscribed), and two CR LF. Every line ends in
//    CR LF.
//  - RegisteredDisplays(slots): how many slots hold a subscribed display (not empty and
//    not starting with "-").
//  - The test call's name and number.
#include <string>
#include <vector>

inline constexpr const char* kTestCallerName = "Test Caller";
inline constexpr const char* kTestCallerNumber = "(123)456-7890";
inline constexpr const char* kTestMessageLine = "Sending Test Message.";

std::string InformationBlock(const std::vector<std::string>& clientSlots);
int RegisteredDisplays(const std::vector<std::string>& clientSlots);
