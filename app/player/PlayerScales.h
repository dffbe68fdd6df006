#pragma once
#include <cstdint>

// The player's fixed numbers: the speed and volume scales of the two sliders, the converter and
// buffer set-up, and the timings of start and stop. The controller, the offline renderer, the
// command-line program and every dialog take them from here.
namespace PlayerScales
{
// Speed slider: position 0 ... 280, one step 1/120 octave (base^120 = 2), x1 at position 120.
constexpr double SPEED_STEP_BASE = 1.00579294106785;
constexpr int32_t SPEED_CENTRE_POSITION = 120;
constexpr int32_t SPEED_MAXIMUM_POSITION = 280;
constexpr int32_t SPEED_TICK_FREQUENCY = 10;
constexpr int32_t SPEED_PAGE_SIZE = 10;
// Volume slider: position 0 ... 800 in tenths of a decibel below 0 dB.
constexpr int32_t VOLUME_MAXIMUM_POSITION = 800;
constexpr int32_t VOLUME_PAGE_SIZE = 25;
constexpr double LOWEST_VOLUME_DB = -80.0;

// The converter as the player sets it up.
constexpr double OVERSAMPLING_FACTOR = 10.0;
constexpr uint32_t BLOCK_ORDER = 8;
// The intelligent sound buffer's period and capacity limit, and the device buffer asked for.
constexpr double PERIOD_SECONDS = 0.01;
constexpr double CAPACITY_LIMIT_SECONDS = 0.1;
constexpr double DEVICE_BUFFER_SECONDS = 0.06;
// How long a start waits for the playback thread to put sound into the sound buffer before it lets
// the render thread fill the device buffer all the same.
constexpr uint32_t SOUND_WAIT_MS = 1000;
// How long a start waits for the render thread's first fill of the device buffer before it starts
// the device all the same.
constexpr uint32_t PREFILL_WAIT_MS = 1000;
// Added to the drain wait at stop so the device has played what it holds.
constexpr uint32_t DRAIN_MARGIN_MS = 100;
// The progress timer.
constexpr uint32_t PROGRESS_TIMER_ID = 0;
constexpr uint32_t PROGRESS_TIMER_MS = 10;
constexpr int32_t PROGRESS_RANGE = 2147483647;
// The effective bit count's limits, and what a field that holds no number stands for.
constexpr uint32_t MAXIMUM_BIT_COUNT = 32;
// Text buffers of the dialog, in bytes: the title, list values, slider labels.
constexpr uint64_t TITLE_BYTES = 128;
constexpr uint64_t LIST_VALUE_BYTES = 64;
constexpr uint64_t LABEL_BYTES = 32;
// The information lists' columns, in pixels, and the file dialog's name buffer, in characters.
constexpr int32_t ITEM_COLUMN_WIDTH = 150;
constexpr int32_t VALUE_COLUMN_WIDTH = 140;
constexpr uint32_t FILE_NAME_CAPACITY = 260;

// The speed factor of a slider position: base^(p - 120).
double SpeedOfPosition(int32_t iPosition);
// The nearest slider position of a speed factor (may lie outside 0 ... 280).
double PositionOfSpeed(double dfSpeed);
// The level in dB of a volume position: p / -10.
double LevelOfVolumePosition(int32_t iPosition);
// The gain of a volume position: 10^(level / 20).
double GainOfVolumePosition(int32_t iPosition);
// The volume slider's position of a level in dB, rounded to the nearest tenth.
double VolumePositionOfLevel(double dfLevelDb);
// Frames of one buffer period at a rate: 0.01 s in whole frames as the sound buffer makes them, at
// least one.
uint64_t PeriodFrames(uint32_t uiDeviceRate);
} // namespace PlayerScales
