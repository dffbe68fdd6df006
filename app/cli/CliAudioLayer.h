#pragma once
#include "output/SAudioClientLayer.h"

#include <memory>
#include <string>

// The audio layer as play and devices open it: LARKSPUR_AUDIO chooses it (see SelectAudioLayer);
// bVerbose sets LARKSPUR_VERBOSE=1 first, which lets the sound system's own diagnostics through
// (the ALSA library's error printing is otherwise silenced). Results as SelectAudioLayer's.
int32_t OpenCliAudioLayer(bool bVerbose, std::unique_ptr<SAudioClientLayer>& pLayer,
                          std::string& Description);

// The one line said when no output device exists and playing cannot start: what was found and
// what to do instead.
extern const char* const NO_OUTPUT_DEVICE_TEXT;
