#pragma once
#include "output/SAudioEndpoint.h"
#include "runtime/win32/ComPointer.h"

#include <windows.h>

#include <mmdeviceapi.h>

// One endpoint (IMMDevice): its audio clients, its friendly name and its identifier.
class CWasapiEndpoint : public SAudioEndpoint
{
public:
    explicit CWasapiEndpoint(ComPointer<IMMDevice> pDevice);

    int32_t Activate(std::unique_ptr<SAudioClient>& pAudioClient) override;
    int32_t GetFriendlyName(std::u16string& Name, int32_t& bIsText) override;
    int32_t GetId(std::u16string& Id) override;

private:
    ComPointer<IMMDevice> pNative;
};
