#include "tests/wasapi/TestSink.h"

#include "output/SAudioDeviceEnumerator.h"
#include "output/SAudioEndpointCollection.h"

#include <windows.h>

#include <cstdlib>
#include <fstream>

std::wstring TestEnvironment(const wchar_t* pName)
{
    wchar_t Value[1024] = {};
    const DWORD dwLength = GetEnvironmentVariableW(pName, Value, 1024);
    return dwLength > 0 && dwLength < 1024 ? std::wstring(Value, dwLength) : std::wstring();
}

int32_t FindEndpoint(SAudioClientLayer& Layer, const std::u16string& Name, uint32_t& uiCount)
{
    uiCount = 0;
    std::unique_ptr<SAudioDeviceEnumerator> pEnumerator;
    std::unique_ptr<SAudioEndpointCollection> pCollection;
    if (Layer.CreateDeviceEnumerator(pEnumerator) < 0 || pEnumerator->EnumAudioEndpoints(pCollection) < 0 ||
        pCollection->GetCount(&uiCount) < 0)
    {
        return -1;
    }
    for (uint32_t i = 0; i < uiCount; ++i)
    {
        std::unique_ptr<SAudioEndpoint> pEndpoint;
        std::u16string EndpointName;
        int32_t bIsText = 0;
        if (pCollection->Item(i, pEndpoint) >= 0 && pEndpoint->GetFriendlyName(EndpointName, bIsText) >= 0 &&
            bIsText == 1 && EndpointName == Name)
        {
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

int32_t RunPactl(const std::wstring& Arguments)
{
    const std::wstring Program = TestEnvironment(L"LARKSPUR_TEST_PACTL");
    if (Program.empty())
    {
        return -1;
    }
    // Wine splits the command line into the Unix program's arguments by the Windows rules.
    std::wstring CommandLine = L"pactl " + Arguments;
    STARTUPINFOW Startup = {};
    Startup.cb = sizeof(Startup);
    PROCESS_INFORMATION Process = {};
    if (CreateProcessW(Program.c_str(), CommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &Startup, &Process) == 0)
    {
        return -1;
    }
    // What Wine hands back for a Unix program cannot be waited on or asked for an exit code; close
    // whatever it is.
    if (Process.hThread != nullptr)
    {
        CloseHandle(Process.hThread);
    }
    if (Process.hProcess != nullptr)
    {
        CloseHandle(Process.hProcess);
    }
    return 1;
}

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
    const std::wstring Name = TestEnvironment(L"LARKSPUR_TEST_SINK_NAME");
    const std::wstring Capture = TestEnvironment(L"LARKSPUR_TEST_SINK_CAPTURE");
    if (Name.empty() || Capture.empty())
    {
        GTEST_SKIP() << "no test sink: run under scripts/run-wine-tests.sh with pulseaudio installed";
    }
    Sink.Name.assign(Name.begin(), Name.end());
    Sink.Capture = Capture;
    Sink.uiRate =
        static_cast<uint32_t>(std::wcstoul(TestEnvironment(L"LARKSPUR_TEST_SINK_RATE").c_str(), nullptr, 10));
    Sink.uiBits =
        static_cast<uint32_t>(std::wcstoul(TestEnvironment(L"LARKSPUR_TEST_SINK_BITS").c_str(), nullptr, 10));
    ASSERT_GE(Layer.InitializeThread(), 0);
    bThreadInitialized = 1;
    uint32_t uiCount = 0;
    iSinkIndex = FindEndpoint(Layer, Sink.Name, uiCount);
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
