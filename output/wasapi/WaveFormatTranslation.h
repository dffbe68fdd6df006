#pragma once
#include "output/AudioStreamFormat.h"

#include <windows.h>

#include <mmreg.h>

#include <cstdint>

// The portable format record and the platform's own. An extensible record carries all of it; any
// other tag is written as the basic record alone (no extension, cbSize 0).
void ToWaveFormat(const AudioStreamFormat& Format, WAVEFORMATEXTENSIBLE& Native);

// Reads a record the platform handed out, basic or extensible. A basic one gets valid bits equal to
// its container, no channel mask and the sub-format its tag stands for; cbSize stays as given, so
// the caller can still tell the two apart. 1, or -4 when pNative is null.
int32_t FromWaveFormat(const WAVEFORMATEX* pNative, AudioStreamFormat& Format);
