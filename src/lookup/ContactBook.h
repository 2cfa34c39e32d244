#pragma once
// ContactBook: the vCard folder that stands in for the user's contact book, and the
// contacts the program adds to it for new callers.
//
// Callers may rely on:
// - ConnectOutlook() being true exactly when the Outlook setting is on and the
//   ContactBookFolder setting names an existing folder;
// - ContactVCard() giving a vCard 3.0 text with CR LF line ends and lines folded at
//   75 bytes, holding UID, N (last;first), FN, TEL;TYPE=HOME and ADR;TYPE=HOME with
//   the street "New Caller" and CATEGORIES:New Caller (the mark of a contact this
//   program created); texts are written in UTF-8 (valid UTF-8 kept, anything else
//   read as Latin-1 and converted) and escaped so that ReadVCards() gives them back;
// - CreateContact() writing "<uuid>.vcf" through a temporary file that is flushed and
//   then renamed, so the folder never holds half a contact; a failure comes back as a
//   HostStatus (which step, the system's reason) and leaves no file behind.
// Pure C++ (POSIX), no Qt.
#include <string>
#include <string_view>
#include <utility>

#include "common/Settings.h"
#include "host/HostHooks.h"

struct NewContact {
  std::string FirstName;
  std::string LastName;
  std::string HomeTelephoneNumber;
  std::string HomeAddress = "New Caller";
};

bool ConnectOutlook(const Settings& settings);

// The text before the first space and the text after it; without a space the whole
// text and an empty second part.
std::pair<std::string, std::string> SplitAtFirstSpace(std::string_view name);

// The text in UTF-8: kept when it is valid UTF-8, otherwise read as Latin-1.
std::string ToUtf8(std::string_view text);

// At most maxBytes of a UTF-8 name, cut on a character boundary.
std::string CutName(std::string_view name, std::size_t maxBytes);

// A fresh random (version 4) UUID in lower-case 8-4-4-4-12 form.
std::string NewUuid();

std::string ContactVCard(const NewContact& contact, std::string_view uid);

struct CreatedContact {
  HostStatus status;
  std::string path;  // the new file, when status is ok
};

CreatedContact CreateContact(const std::string& folder, const NewContact& contact);
