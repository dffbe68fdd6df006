#pragma once
#include <string>

// The path (UTF-8) of a file named pName in the running program's folder, with the platform's
// separator; just the name when the folder is unknown.
std::string PathBesideExecutable(const char* pName);

// Where the program's own data file pName is: beside the program (a build folder, the unpacked
// ZIP), else, on Linux, in the installation's share/larkspur folder next to its bin folder
// (/usr/share/larkspur for /usr/bin). When neither exists, the path beside the program.
std::string PathOfProgramData(const char* pName);
