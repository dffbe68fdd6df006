#include "tests/wasapi/TestSink.h"

#include "output/SAudioDeviceEnumerator.h"
#include "output/SAudioEndpointCollection.h"

#include <windows.h>

#include <cstdlib>
#include <fstream>

namespace
{
std::wstring Environment(const wchar_t* pName)
{
    wchar_t Value[1024] = {};
    const DWORD dwLength = GetEnvironmentVariableW(pName, Value, 1024);
    return dwLength > 0 && dwLength < 1024 ? std::wstring(Value, dwLength) : std::wstring();
}
} // namespace

uint64_t TestSink::CapturedBytes() const
{
    std::error_code Error;
    const auto ullSize = std::filesystem::file_size(Capture, Error);
    return Error ? 0 : ullSize;
}

std::vector<uint8_t> TestSink::ReadCaptured(uint64_t ullFrom, uint64_t ullTo) const
{
    std::vector<uint8_t> Bytes;
    std::ifstream File(Capture, std::ios::binary);
    if (!File || ullTo <= ullFrom)
    {
        return Bytes;
    }
    File.seekg(static_cast<std::streamoff>(ullFrom));
    Bytes.resize(ullTo - ullFrom);
    File.read(reinterpret_cast<char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
    Bytes.resize(static_cast<size_t>(File.gcount()));
    return Bytes;
}

void TestSinkFixture::SetUp()
{
    const std::wstring Name = Environment(L"LARKSPUR_TEST_SINK_NAME");
    const std::wstring Capture = Environment(L"LARKSPUR_TEST_SINK_CAPTURE");
    if (Name.empty() || Capture.empty())
    {
        GTEST_SKIP() << "no test sink: run under scripts/run-wine-tests.sh with pulseaudio installed";
    }
    Sink.Name.assign(Name.begin(), Name.end());
    Sink.Capture = Capture;
    Sink.uiRate =
        static_cast<uint32_t>(std::wcstoul(Environment(L"LARKSPUR_TEST_SINK_RATE").c_str(), nullptr, 10));
    Sink.uiBits =
        static_cast<uint32_t>(std::wcstoul(Environment(L"LARKSPUR_TEST_SINK_BITS").c_str(), nullptr, 10));
    ASSERT_GE(Layer.InitializeThread(), 0);
    bThreadInitialized = 1;

    std::unique_ptr<SAudioDeviceEnumerator> pEnumerator;
    std::unique_ptr<SAudioEndpointCollection> pCollection;
    uint32_t uiCount = 0;
    ASSERT_GE(Layer.CreateDeviceEnumerator(pEnumerator), 0);
    ASSERT_GE(pEnumerator->EnumAudioEndpoints(pCollection), 0);
    ASSERT_GE(pCollection->GetCount(&uiCount), 0);
    for (uint32_t i = 0; i < uiCount && iSinkIndex < 0; ++i)
    {
        std::unique_ptr<SAudioEndpoint> pEndpoint;
        std::u16string EndpointName;
        int32_t bIsText = 0;
        if (pCollection->Item(i, pEndpoint) >= 0 && pEndpoint->GetFriendlyName(EndpointName, bIsText) >= 0 &&
            bIsText == 1 && EndpointName == Sink.Name)
        {
            iSinkIndex = static_cast<int32_t>(i);
        }
    }
    if (iSinkIndex < 0)
    {
        GTEST_SKIP() << "the test sink is not among the " << uiCount
                     << " output endpoints (Wine's audio driver could not reach PulseAudio)";
    }
}

void TestSinkFixture::TearDown()
{
    if (bThreadInitialized != 0)
    {
        Layer.UninitializeThread();
    }
}
