#pragma once
#include <cstdint>

// Values shared by every audio-client back end. Results keep the platform's HRESULT convention:
// negative is failure, zero or positive is success (a positive success carries extra news, such as
// a closest-match offer or an empty capture packet). The numbers are the platform's own, so the
// Windows back end passes its results through unchanged and the others report the same codes.

// Share modes for the format probe and initialisation.
constexpr uint32_t AUDIO_SHAREMODE_SHARED = 0;
constexpr uint32_t AUDIO_SHAREMODE_EXCLUSIVE = 1;

// Stream flags for initialisation.
constexpr uint32_t AUDIO_STREAMFLAGS_EVENTCALLBACK = 0x00040000;
constexpr uint32_t AUDIO_STREAMFLAGS_NOPERSIST = 0x00080000;
// Every flag a back end takes; others are refused as invalid.
constexpr uint32_t AUDIO_STREAMFLAGS_KNOWN = AUDIO_STREAMFLAGS_EVENTCALLBACK | AUDIO_STREAMFLAGS_NOPERSIST;

// Buffer flags of a capture packet and of a released render buffer.
constexpr uint32_t AUDIO_BUFFERFLAGS_DATA_DISCONTINUITY = 0x1;
constexpr uint32_t AUDIO_BUFFERFLAGS_SILENT = 0x2;

// Durations and periods travel in 100 ns units.
constexpr int64_t AUDIO_HNS_PER_SECOND = 10000000;
// The periods a device without its own reports, as a shared device does: 10 ms, 3 ms at the least.
constexpr int64_t AUDIO_DEFAULT_PERIOD_HNS = 100000;
constexpr int64_t AUDIO_MINIMUM_PERIOD_HNS = 30000;

constexpr int32_t AUDIO_OK = 0;
// The format probe in shared mode: not this format exactly, but a closest match is offered.
constexpr int32_t AUDIO_S_CLOSEST_MATCH = 1;
// A capture packet request found no data.
constexpr int32_t AUDIO_S_BUFFER_EMPTY = 0x08890001;

constexpr int32_t AUDIO_E_FAIL = static_cast<int32_t>(0x80004005u);
constexpr int32_t AUDIO_E_POINTER = static_cast<int32_t>(0x80004003u);
constexpr int32_t AUDIO_E_INVALIDARG = static_cast<int32_t>(0x80070057u);
constexpr int32_t AUDIO_E_OUTOFMEMORY = static_cast<int32_t>(0x8007000Eu);
constexpr int32_t AUDIO_E_NOTFOUND = static_cast<int32_t>(0x80070490u);
constexpr int32_t AUDIO_E_NOT_INITIALIZED = static_cast<int32_t>(0x88890001u);
constexpr int32_t AUDIO_E_ALREADY_INITIALIZED = static_cast<int32_t>(0x88890002u);
constexpr int32_t AUDIO_E_WRONG_ENDPOINT_TYPE = static_cast<int32_t>(0x88890003u);
constexpr int32_t AUDIO_E_DEVICE_INVALIDATED = static_cast<int32_t>(0x88890004u);
constexpr int32_t AUDIO_E_NOT_STOPPED = static_cast<int32_t>(0x88890005u);
constexpr int32_t AUDIO_E_BUFFER_TOO_LARGE = static_cast<int32_t>(0x88890006u);
constexpr int32_t AUDIO_E_OUT_OF_ORDER = static_cast<int32_t>(0x88890007u);
constexpr int32_t AUDIO_E_UNSUPPORTED_FORMAT = static_cast<int32_t>(0x88890008u);
constexpr int32_t AUDIO_E_INVALID_SIZE = static_cast<int32_t>(0x88890009u);
constexpr int32_t AUDIO_E_DEVICE_IN_USE = static_cast<int32_t>(0x8889000Au);
constexpr int32_t AUDIO_E_EVENTHANDLE_NOT_SET = static_cast<int32_t>(0x88890014u);
constexpr int32_t AUDIO_E_INVALID_DEVICE_PERIOD = static_cast<int32_t>(0x88890020u);

constexpr bool AudioSucceeded(int32_t iResult)
{
    return iResult >= 0;
}
constexpr bool AudioFailed(int32_t iResult)
{
    return iResult < 0;
}
