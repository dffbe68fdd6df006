#pragma once
#include "output/SSettingsLauncher.h"

#include <string>
#include <vector>

// Opens the desktop's sound settings for an ALSA endpoint, with the first of these found on PATH:
// pavucontrol on its output-devices tab; the GNOME settings' sound panel; alsamixer for the
// endpoint's card in the desktop's terminal emulator ($TERMINAL, x-terminal-emulator, then common
// ones). The program is started detached, in a session of its own, and never waited for; it leaves
// no zombie behind.
class CLinuxSettingsLauncher : public SSettingsLauncher
{
public:
    int32_t Launch(const std::u16string& EndpointId) override;

    // The command line Launch would start, program path first; empty when nothing is installed.
    // A terminal whose way of taking a command is unknown gets one word to run: Starter, a small
    // script written here that removes itself when run (empty when no such script was needed).
    static std::vector<std::string> ChooseCommand(const std::string& EndpointId, std::string& Starter);
    // The card an ALSA device string names (CARD=... or hw:N), empty for none.
    static std::string CardOf(const std::string& EndpointId);
    // The executable file of that name in a folder of PATH, empty when there is none.
    static std::string FindOnPath(const std::string& Program);
};
