#pragma once
#include "output/SAudioEndpoint.h"
#include "output/wasapi/CWasapiAudioLayer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// The sink the Wine test script sets up: a real-time FIFO sink of a fixed format whose output is
// drained into a file. Its name, format and file come from the environment.
struct TestSink
{
    std::u16string Name;
    std::filesystem::path Capture;
    uint32_t uiRate = 0;
    uint32_t uiBits = 0;

    // The bytes the sink has played so far.
    uint64_t CapturedBytes() const;
    // Bytes [ullFrom, ullTo) of what it played (fewer when the file is shorter).
    std::vector<uint8_t> ReadCaptured(uint64_t ullFrom, uint64_t ullTo) const;
};

// Tests that need the sink: COM is initialised on the test thread through the layer, and the test
// is skipped (with the reason) when the sink is not configured or not among the endpoints.
class TestSinkFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // The index of the sink in the enumeration order, as SetupDevice numbers endpoints.
    int32_t iSinkIndex = -1;
    TestSink Sink;
    CWasapiAudioLayer Layer;

private:
    int32_t bThreadInitialized = 0;
};

// A variable of the environment the Wine test script sets up; empty when it is not set.
std::wstring TestEnvironment(const wchar_t* pName);
// The enumeration index of the output endpoint with this friendly name, -1 when there is none;
// uiCount: how many output endpoints there are.
int32_t FindEndpoint(SAudioClientLayer& Layer, const std::u16string& Name, uint32_t& uiCount);
// Starts the sound server's control program (pactl, which Wine runs as a Unix program) with these
// arguments: 1 when it started, -1 when the script named none or it could not start. Wine gives no
// handle to wait on or to read the exit code from, so the caller waits for the command's effect.
int32_t RunPactl(const std::wstring& Arguments);
