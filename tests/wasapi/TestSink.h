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
