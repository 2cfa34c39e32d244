#pragma once
// Where the program keeps its files, and the computer's name.
//  - the program folder: --home DIR, else ${XDG_CONFIG_HOME:-$HOME/.config}/xapvynCID;
//    Config/ and Data/ lie beneath it;
//  - the program file path: the running executable;
//  - the computer name: the host name, at most 128 characters, read once.
#include <string>

std::string DefaultProgramFolder();
std::string ProgramFilePath();
std::string LocalComputerName();
// Removes trailing "/" (but keeps a lone "/").
std::string WithoutTrailingSlash(std::string path);
