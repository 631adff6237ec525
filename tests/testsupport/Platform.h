// Facts about the platform the tests run on.
#pragma once

#include <string>

// True under Wine: its ntdll exports wine_get_version. Tests that meet a
// measured Wine limitation branch on this and say so.
bool RunningOnWine();

// "8.0" or similar under Wine; empty elsewhere.
std::string WineVersion();

// The directory of the running test executable, with a trailing backslash.
std::string ExecutableDirectory();
