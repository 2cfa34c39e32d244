#pragma once
// RunCallsCommand: `xapvynCID --calls [N] [--json]`, the last calls of the history on the
// command line. Opens <home>/Data/calls.sqlite read-only (beside a running program, whose
// WAL it reads, or alone; it never creates or changes a file) and writes the newest n
// calls, newest first, to out: ListingText, or ListingJson when json is set (see
// CallListing.h). n < 1 shows kDefaultCallsShown.
//
// Returns 0 on success (an empty history prints nothing, or "[]"); 2 with one line on err
// when there is no history (no file, or no calls table in it); 1 with one line on err
// when the file cannot be read. Works with or without a QCoreApplication.
#include <cstdio>
#include <string>

constexpr int kDefaultCallsShown = 20;

int RunCallsCommand(const std::string& home, int n, bool json, std::FILE* out, std::FILE* err);
