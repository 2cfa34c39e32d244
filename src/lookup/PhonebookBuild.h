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
//   when ConnectOutlook() is true: first the user's contacts, then the contacts this
//   program created, each in file-name order. Each contact adds every number, in
//   card order, through AddHSP.
// - BuildPhonebook: empties the dictionary, then runs the three.
//
// Callers may rely on a malformed line, row, card or unreadable contact file costing
// one log line and nothing more: the build goes on with the next record. A file that
// exists but cannot be read, or is larger than its limit (a contact file 1 MB,
// Friends.txt and the CSV file 200 MB), costs one log line; a contact file only
// itself, the others only their own source. An exception in one source (even
// memory exhaustion) is logged and the next source is read. Log lines go to hooks.Report()
// with type "xapvynCID" and the routine's name first, e.g.
// "BuildFriendsPhonebook /home/me/Friends.txt line 7 skipped: no number before the
// first TAB". BuildPhonebook never throws. Pure C++, no Qt.
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
