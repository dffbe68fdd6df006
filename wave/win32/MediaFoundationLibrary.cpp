#include "wave/win32/MediaFoundationLibrary.h"

#include <mfapi.h>

namespace
{
template <typename Function> Function FindFunction(const LoadedLibrary& Library, const char* pName)
{
    return reinterpret_cast<Function>(Library.Find(pName));
}
} // namespace

MediaFoundationLibrary::~MediaFoundationLibrary()
{
    Stop();
}

int32_t MediaFoundationLibrary::Start(const wchar_t* pPlatformName, const wchar_t* pReaderName,
                                      StartupFunction pStartup)
{
    Stop();
    if (Platform.Load(pPlatformName) < 0 || Reader.Load(pReaderName) < 0)
    {
        Stop();
        return -1;
    }
    if (pStartup == nullptr)
    {
        pStartup = FindFunction<StartupFunction>(Platform, "MFStartup");
    }
    pShutdown = FindFunction<ShutdownFunction>(Platform, "MFShutdown");
    pCreateMediaType = FindFunction<CreateMediaTypeFunction>(Platform, "MFCreateMediaType");
    pCreateSourceReader = FindFunction<CreateSourceReaderFunction>(Reader, "MFCreateSourceReaderFromURL");
    if (pStartup == nullptr || pShutdown == nullptr || pCreateMediaType == nullptr ||
        pCreateSourceReader == nullptr || FAILED(pStartup(MF_VERSION, MFSTARTUP_NOSOCKET)))
    {
        Stop();
        return -1;
    }
    bStarted = 1;
    using IncrementFunction = HRESULT(WINAPI*)(void** ppCookie);
    const auto pIncrement =
        Com.Load(L"ole32.dll") > 0 ? FindFunction<IncrementFunction>(Com, "CoIncrementMTAUsage") : nullptr;
    if (pIncrement == nullptr || FAILED(pIncrement(&pApartmentUsage)))
    {
        pApartmentUsage = nullptr;
    }
    return 1;
}

void MediaFoundationLibrary::Stop()
{
    if (bStarted != 0)
    {
        pShutdown();
        bStarted = 0;
    }
    using DecrementFunction = HRESULT(WINAPI*)(void* pCookie);
    const auto pDecrement = FindFunction<DecrementFunction>(Com, "CoDecrementMTAUsage");
    if (pApartmentUsage != nullptr && pDecrement != nullptr)
    {
        pDecrement(pApartmentUsage);
    }
    pApartmentUsage = nullptr;
    Com.Free();
    pShutdown = nullptr;
    pCreateMediaType = nullptr;
    pCreateSourceReader = nullptr;
    Reader.Free();
    Platform.Free();
}
