#pragma once
#include <cstdint>
#include <string>

// An endpoint's name as a back end got it in UTF-8, as GetFriendlyName reports it: bIsText 1 with
// the text for a non-empty, well-formed name; 0 and an empty name otherwise (a list then shows
// "Unknown").
void FriendlyNameText(const std::string& Utf8Name, std::u16string& Name, int32_t& bIsText);
