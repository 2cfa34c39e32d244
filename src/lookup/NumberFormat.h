#pragma once
// Phone number forms used throughout caller identification. Both functions are pure, count
// characters only (no digit tests) and accept any text; text that fits no recognised length
// comes back unchanged.
//
// NumberKey: the matching form under which phonebook entries are stored and looked up: the
// text with every "-", "(", ")" and space removed. Dots, plus signs, letters and a leading
// "1" stay.
//
// NationalNumber: the digits of a text, with a leading "1" dropped when there are
// eleven of them ("+1 555 987 6543", "1-555-987-6543" and "555.987.6543" all give
// "5559876543"); empty when the text holds no digit. Lookups try it after the key.
//
// FormatPhoneNumber: the display form. With stripPrefix, one leading "1" is dropped from a
// text longer than 10 characters. Then 11 characters are grouped 4-3-4 ("1800 555 1234"),
// 10 characters not beginning with "*" become "(201) 555-1234", 7 characters become
// "555-1234"; anything else is returned as it is. The formatted forms are 8, 13 and 14
// characters long, so formatting a formatted number with stripPrefix off returns it
// unchanged, and NumberKey of a formatted number gives back the characters it was made from.
#include <string>
#include <string_view>

std::string NumberKey(std::string_view s);
std::string NationalNumber(std::string_view s);
std::string FormatPhoneNumber(std::string_view s, bool stripPrefix);
