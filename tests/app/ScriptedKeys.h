#pragma once
#include "app/cli/SKeySource.h"

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

// Keys from a script: each step is asked on every loop turn (about every 10 ms) until it gives a
// key; it may look at the player first. With the steps used up, no more keys.
class ScriptedKeys : public SKeySource
{
public:
    using Step = std::function<ConsoleKey()>;
    explicit ScriptedKeys(std::vector<Step> Steps) : Steps(std::move(Steps)) {}

    ConsoleKey WaitForKey(uint32_t uiMilliseconds) override
    {
        // The loop's own pace, as a terminal's wait would take it.
        std::this_thread::sleep_for(std::chrono::milliseconds(uiMilliseconds));
        if (uiNext >= Steps.size())
        {
            return ConsoleKey::None;
        }
        const ConsoleKey Key = Steps[uiNext]();
        if (Key != ConsoleKey::None)
        {
            ++uiNext;
        }
        return Key;
    }
    bool IsStopRequested() override { return bStop; }

    bool bStop = false;
    size_t uiNext = 0;

private:
    std::vector<Step> Steps;
};
