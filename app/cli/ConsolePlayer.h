#pragma once
#include "app/cli/ConsoleDialogHost.h"
#include "app/cli/KeyDecoder.h"
#include "app/cli/SKeySource.h"
#include "app/dialog/PlaybackSession.h"
#include "app/player/PlaybackEngine.h"
#include "app/player/PlayerDefaults.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

class PlaybackEngine;
class SAudioClientLayer;

// The terminal player: the main dialog's logic and the controller behind a console dialog host,
// driven as a user drives the window. The settings are made in the controls (device and rate
// combos, bit-count field, enhancer box, speed and volume sliders), the file is chosen through the
// "..." button, Play starts, so the first sample is already at the chosen speed and volume. Then
// the timer ticks every 10 ms, keys become clicks and slider moves, or the practice session's
// seeks, loop marks and trainer, and the status line is drawn from the session's and the last
// start's typed state, until the playback ends: by itself at the end of the file, by q or Esc (the
// close command with its drain wait), or by a stop request.
class ConsolePlayer
{
public:
    static constexpr int EXIT_DONE = 0;
    static constexpr int EXIT_USAGE = 1;
    static constexpr int EXIT_FILE_REFUSED = 2;
    static constexpr int EXIT_DEVICE_FAILED = 3;
    static constexpr int EXIT_INTERRUPTED = 130;

    struct Options
    {
        std::string File;   // empty: the demo
        std::string Device; // endpoint index or name; empty: the default device
        uint32_t uiRateIndex = PlayerDefaults::RATE_INDEX;
        uint32_t uiBitCount = PlayerDefaults::EFFECTIVE_BIT_COUNT;
        int32_t bEnhancer = PlayerDefaults::ENHANCER_ENABLED;
        int32_t iSpeedPosition = PlayerDefaults::SPEED_POSITION;
        int32_t iVolumePosition = PlayerDefaults::VolumePosition();
        int32_t iShift = 0;
        // The loop in seconds of the file (none while the end is not after the start), where
        // playback starts (negative: at the loop's start, or the beginning), and the trainer.
        double dfLoopStart = 0.0;
        double dfLoopEnd = -1.0;
        double dfFrom = -1.0;
        PlaybackSession::TrainerProgram Trainer;
        bool bTrainer = false;
        // The run-up before the loop in seconds (negative: not given) and whether before every
        // repetition.
        double dfRunUp = -1.0;
        bool bRunUpEvery = false;
        // Given on the command line, so they win over what was kept for the file.
        bool bSpeedGiven = false;
        bool bVolumeGiven = false;
        // Keep the file's practice between runs (the command turns it on; --fresh neither reads nor
        // writes it), in StateFolder (empty: the user's state folder).
        bool bRemember = false;
        bool bFresh = false;
        std::u16string StateFolder;
        bool bKeepPitch = false; // the speed changes the tempo only
        bool bVerbose = false;   // let the sound system print its own diagnostics
        bool bHelp = false;      // the help was asked for; nothing else is parsed then
    };

    // Fills Parsed from the words after "play", or says what is wrong in Problem.
    static bool ParseOptions(const std::vector<std::string>& Arguments, Options& Parsed,
                             std::string& Problem);

    // Status: where the status line goes; bStatusInPlace redraws it in place (a terminal), else a
    // plain line each second. Messages: the dialog's messages and the player's own complaints.
    ConsolePlayer(SAudioClientLayer* pLayer, std::ostream& Status, bool bStatusInPlace,
                  std::ostream& Messages);

    // Plays FilePath (UTF-8) with the options; keys from Keys. Returns the exit status.
    int Run(const Options& Chosen, const std::string& FilePath, SKeySource& Keys);

    // What a key of the dialog's own controls does: a slider move or a click on the host.
    static void ApplyKey(ConsoleDialogHost& Host, ConsoleKey Key);

    // Steps of the keys: one speed step, ten with Shift; 0.5 dB of volume.
    static constexpr int32_t SPEED_STEP = 1;
    static constexpr int32_t SPEED_BIG_STEP = 10;
    static constexpr int32_t VOLUME_STEP = 5;

    // The terminal's width in columns, asked before each in-place status line (0: unknown, the
    // whole line is drawn).
    void SetColumnsSource(std::function<uint32_t()> Source) { ColumnsSource = std::move(Source); }

    // Called on the UI thread after every loop turn while playing (tests look at the player there).
    void SetObserver(void (*pFunction)(void*, ConsoleDialogHost&, const PlaybackSession&), void* pContext)
    {
        pObserver = pFunction;
        pObserverContext = pContext;
    }

private:
    // QuitAt: on the last line after a quit, the place heard when the key came.
    void DrawStatus(ConsoleDialogHost& Host, const PlaybackSession& Session,
                    const PlaybackEngine::StartReport& Report, bool bFinal,
                    std::optional<uint64_t> QuitAt = std::nullopt);

    SAudioClientLayer* pLayer;
    std::ostream& Status;
    bool bStatusInPlace;
    std::ostream& Messages;
    // An in-place status line is on the screen without its line end.
    bool bLineOpen = false;
    std::function<uint32_t()> ColumnsSource;
    void (*pObserver)(void*, ConsoleDialogHost&, const PlaybackSession&) = nullptr;
    void* pObserverContext = nullptr;
};
