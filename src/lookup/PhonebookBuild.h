#pragma once
// Filling the phonebook from its three sources, in this order, so that on a number
// two sources share, Friends.txt comes first, then the address book, then the
// contact book:
// - BuildFriendsPhonebook: FriendsLocation + "Friends.txt"; nothing when the setting
//   is empty or the file is missing. The first line for a number wins.
// - BuildHSPPhonebook: the CSV address book ([AddressBook] File); nothing when the
//   setting is empty or the file is missing. Each record adds its home, cell and
//   business numbers, in that order, through AddHSP.
// - BuildOutlookPhonebook: every .vcf of the contact folder ([ContactBook] Folder),
//   in file-name order, when ConnectOutlook() is true. Each contact adds its work,
//   home and cell numbers, in that order, through AddHSP.
// - BuildPhonebook: empties the dictionary, then runs the three.
//
// Callers may rely on a malformed line, row, card or unreadable contact file costing
// one log line and nothing more: the build goes on with the next record. A file that
// exists but cannot be read ends only its own source. Log lines go to hooks.Report()
// with type "xapvynCID" and the routine's name first, e.g.
// "BuildFriendsPhonebook /home/me/Friends.txt line 7 skipped: no number before the
// first TAB". Nothing throws except on memory exhaustion. Pure C++, no Qt.
#include "common/Settings.h"
#include "host/HostHooks.h"
#include "lookup/Phonebook.h"

void BuildFriendsPhonebook(PhonebookEntries& entries, const Settings& settings,
                           const HostHooks& hooks);
void BuildHSPPhonebook(PhonebookEntries& entries, const Settings& settings, const HostHooks& hooks);
void BuildOutlookPhonebook(PhonebookEntries& entries, const Settings& settings,
                           const HostHooks& hooks);
void BuildPhonebook(PhonebookEntries& entries, const Settings& settings, const HostHooks& hooks);

// FriendsLocation with the "/" it must end in (empty stays empty).
std::string FriendsFolder(const std::string& friendsLocation);
