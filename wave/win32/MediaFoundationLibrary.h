#pragma once
#include "runtime/CNonCopyable.h"
#include "wave/win32/LoadedLibrary.h"

#include <cstdint>

#include <windows.h>

#include <mfidl.h>
#include <mfreadwrite.h>

// Media Foundation, loaded at run time and started for as long as the object lives: Windows editions
// without their media features lack its libraries, and the program must still start and play WAV
// there. MFStartup on Start, MFShutdown on destruction (Media Foundation counts both). It also keeps
// COM's multithreaded apartment alive, so threads that never initialised COM (the playback thread, the
// terminal program) can use the decoders.
class MediaFoundationLibrary : private CNonCopyable
{
public:
    using StartupFunction = HRESULT(WINAPI*)(ULONG ulVersion, DWORD dwFlags);
    using ShutdownFunction = HRESULT(WINAPI*)();
    using CreateMediaTypeFunction = HRESULT(WINAPI*)(IMFMediaType** ppType);
    using CreateSourceReaderFunction = HRESULT(WINAPI*)(const WCHAR* pUrl, IMFAttributes* pAttributes,
                                                        IMFSourceReader** ppReader);

    ~MediaFoundationLibrary();

    // Loads the platform and the reader library of those names and starts Media Foundation; pStartup,
    // when given, is called instead of the library's own MFStartup. 1, or -1 when a library or one of
    // its functions is missing or the start fails (nothing stays loaded then).
    int32_t Start(const wchar_t* pPlatformName, const wchar_t* pReaderName,
                  StartupFunction pStartup = nullptr);
    // The system's own libraries.
    int32_t StartSystem() { return Start(L"mfplat.dll", L"mfreadwrite.dll"); }
    int32_t IsStarted() const { return bStarted; }

    // Valid while started.
    CreateMediaTypeFunction pCreateMediaType = nullptr;
    CreateSourceReaderFunction pCreateSourceReader = nullptr;

private:
    void Stop();

    LoadedLibrary Platform;
    LoadedLibrary Reader;
    LoadedLibrary Com;
    ShutdownFunction pShutdown = nullptr;
    // From CoIncrementMTAUsage (Windows 8 and later; without it, Media Foundation's own threads keep
    // the apartment while it runs).
    void* pApartmentUsage = nullptr;
    int32_t bStarted = 0;
};
