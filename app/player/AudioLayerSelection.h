#pragma once
#include "output/SAudioClientLayer.h"

#include <cstdint>
#include <memory>
#include <string>

// Which audio-client layer a program plays through. The platform's back end, unless the setting
// (the environment variable LARKSPUR_AUDIO) asks for the virtual device: "virtual" plays into
// nothing in real time, "virtual:FILE.wav" also keeps what was played last as a WAV file.
//
// 1 the platform's back end; 2 the virtual device; -1 the platform's back end is not available;
// -4 a setting that names neither. Description says in English which one was chosen.
int32_t SelectAudioLayer(const char* pSetting, std::unique_ptr<SAudioClientLayer>& pLayer,
                         std::string& Description);

// The same, with the setting read from the environment.
int32_t SelectAudioLayerFromEnvironment(std::unique_ptr<SAudioClientLayer>& pLayer, std::string& Description);
