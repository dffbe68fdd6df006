#pragma once
#include "output/SAudioEndpointCollection.h"
#include "runtime/win32/ComPointer.h"

#include <windows.h>

#include <mmdeviceapi.h>

// A snapshot of the active render endpoints (IMMDeviceCollection).
class CWasapiEndpointCollection : public SAudioEndpointCollection
{
public:
    explicit CWasapiEndpointCollection(ComPointer<IMMDeviceCollection> pCollection);

    int32_t GetCount(uint32_t* puiCount) override;
    int32_t Item(uint32_t uiIndex, std::unique_ptr<SAudioEndpoint>& pEndpoint) override;

private:
    ComPointer<IMMDeviceCollection> pNative;
};
