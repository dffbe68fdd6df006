#pragma once
#include <string>

// The folder of the running program, UTF-8, without a trailing separator; empty when unknown.
std::string ExecutableDirectory();
