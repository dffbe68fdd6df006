#pragma once
#include <chrono>
#include <string>

class ProgramEntry;
class RecordingDialogHost;

// Checks of the whole player on a real device layer, shared by the platforms' playback tests.
namespace PlayerChecks
{
// A playback whose device went away (Device says which) ends by itself: the progress timer stops it
// within Wait, no tick taking longer than the drain wait and 200 ms; no message; the controls as
// after Stop; the device list cleared and both threads ended. Run it under ASSERT_NO_FATAL_FAILURE.
void StopsByItselfWhenTheDeviceGoes(RecordingDialogHost& Host, ProgramEntry& Entry,
                                    std::chrono::milliseconds Wait, const std::string& Device);
} // namespace PlayerChecks
