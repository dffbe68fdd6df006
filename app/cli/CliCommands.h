#pragma once
#include <ostream>
#include <string>
#include <vector>

class SAudioClientLayer;

// larkspur-cli. Arguments are UTF-8 (the Windows entry point converts them); argument 0 is the
// first word after the program name. Each returns the process exit status.
int RunCli(const std::vector<std::string>& Arguments, std::ostream& Out, std::ostream& Error);

// Subcommands; Arguments start after the subcommand's own name.
int RunInfoCommand(const std::vector<std::string>& Arguments, std::ostream& Out, std::ostream& Error);
int RunRenderCommand(const std::vector<std::string>& Arguments, std::ostream& Out, std::ostream& Error);
// The terminal player; without a file it plays the demo piece.
int RunPlayCommand(const std::vector<std::string>& Arguments, std::ostream& Out, std::ostream& Error);

// Where the demo piece is looked for: larkspur-demo.wav in the program's folder, else in the
// installation's share/larkspur folder.
std::string DemoFilePath();
int RunDevicesCommand(const std::vector<std::string>& Arguments, std::ostream& Out, std::ostream& Error);
// What devices prints for a layer (Description names it); its exit status.
int PrintDevices(SAudioClientLayer& Layer, const std::string& Description, bool bProbe, std::ostream& Out,
                 std::ostream& Error);
