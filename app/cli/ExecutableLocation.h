#pragma once
#include <string>

// The path (UTF-8) of a file named pName in the running program's folder, with the platform's
// separator; just the name when the folder is unknown.
std::string PathBesideExecutable(const char* pName);
