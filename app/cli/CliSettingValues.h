#pragma once
#include <cstdint>
#include <string>

// The values of the player's settings as render and play take them from their options: one check
// and one message each, so both commands refuse the same things the same way. Option is the
// option's name as the command calls it; each returns false with Problem set when the text is no
// value the player can use.
namespace CliSettingValues
{
// A device rate: one of the 20 of the rate list, in Hz; the list's index.
bool ParseRate(const std::string& Option, const std::string& Text, uint32_t& uiRateIndex,
               std::string& Problem);
// A speed 0.5 ... 2.5198, taken to the nearest 1/120-octave step: the speed slider's position.
bool ParseSpeed(const std::string& Option, const std::string& Text, int32_t& iPosition, std::string& Problem);
// A speed slider position 0 ... 280.
bool ParsePosition(const std::string& Option, const std::string& Text, int32_t& iPosition,
                   std::string& Problem);
// A volume 0 ... -80 dB in steps of 0.1 dB: the volume slider's position (tenths of a dB).
bool ParseVolume(const std::string& Option, const std::string& Text, int32_t& iPosition,
                 std::string& Problem);
// Effective bits 1 ... 32.
bool ParseBits(const std::string& Option, const std::string& Text, uint32_t& uiBits, std::string& Problem);
// A spectrum shift -127 ... 127 bins (the converter refuses larger ones).
bool ParseShift(const std::string& Option, const std::string& Text, int32_t& iShift, std::string& Problem);

// A time in a file: seconds ("72.5"), minutes and seconds ("1:12.5") or hours, minutes and seconds
// ("1:12:30.5"), 0 or more.
bool ParseTime(const std::string& Option, const std::string& Text, double& dfSeconds, std::string& Problem);
// A passage "A-B" of two times, B at least dfShortest seconds after A.
bool ParseLoop(const std::string& Option, const std::string& Text, double dfShortest, double& dfStart,
               double& dfEnd, std::string& Problem);
// The speed trainer's program "STEPS/EVERY:UNTIL": STEPS speed-slider steps (1 ... 280) faster after
// every EVERY repetitions (1 ... 1000), until the speed UNTIL (0.5 ... 2.5198), as a slider position.
bool ParseTrainer(const std::string& Option, const std::string& Text, int32_t& iSteps, uint32_t& uiEvery,
                  int32_t& iUntilPosition, std::string& Problem);
// The run-up "S" or "S:every": S seconds (0 ... dfLongest) before the loop, the first repetition
// only or every one.
bool ParseRunUp(const std::string& Option, const std::string& Text, double dfLongest, double& dfSeconds,
                bool& bEvery, std::string& Problem);
// Seconds as m:ss.t, from an hour on h:mm:ss.t, tenths cut ("0:12.0", "12:01.5", "1:12:30.0").
std::string MinutesText(double dfSeconds);

// "8000 9600 11025 ... 384000": the 20 rates, lowest first; or uiCount of them from the
// uiFirst lowest on (for a list spread over lines).
std::string RateList(uint32_t uiFirst = 0, uint32_t uiCount = 20);
} // namespace CliSettingValues
