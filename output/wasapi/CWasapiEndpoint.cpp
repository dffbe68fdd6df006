#include "output/wasapi/CWasapiEndpoint.h"

#include "output/AudioClientConstants.h"
#include "output/wasapi/CWasapiAudioClient.h"
#include "output/wasapi/WrapNative.h"
#include "runtime/CNonCopyable.h"

#include <windows.h>

#include <audioclient.h>
#include <initguid.h>

// After initguid.h, so that the property key is defined here.
#include <functiondiscoverykeys_devpkey.h>
#include <objbase.h>
#include <propidl.h>
#include <propsys.h>

#include <utility>

namespace
{
// Wide text of the platform (16-bit units on Windows) into the layer's text.
std::u16string ToText(const wchar_t* pText)
{
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    return pText != nullptr ? std::u16string(reinterpret_cast<const char16_t*>(pText)) : std::u16string();
}

// A property value that is cleared whatever way the reading ends.
class PropertyValue : private CNonCopyable
{
public:
    PropertyValue() { PropVariantInit(&Value); }
    ~PropertyValue() { PropVariantClear(&Value); }

    PROPVARIANT Value;
};
} // namespace

CWasapiEndpoint::CWasapiEndpoint(ComPointer<IMMDevice> pDevice) : pNative(std::move(pDevice)) {}

int32_t CWasapiEndpoint::Activate(std::unique_ptr<SAudioClient>& pAudioClient)
{
    ComPointer<IAudioClient> pClient;
    return WrapNative<CWasapiAudioClient>(
        pNative->Activate(__uuidof(IAudioClient), CLSCTX_INPROC_SERVER, nullptr, pClient.ReceiveVoid()),
        pClient, pAudioClient);
}

int32_t CWasapiEndpoint::GetFriendlyName(std::u16string& Name, int32_t& bIsText)
{
    Name.clear();
    bIsText = 0;
    ComPointer<IPropertyStore> pStore;
    HRESULT hResult = pNative->OpenPropertyStore(STGM_READ, pStore.Receive());
    if (FAILED(hResult))
    {
        return hResult;
    }
    PropertyValue Property;
    hResult = pStore->GetValue(PKEY_Device_FriendlyName, &Property.Value);
    if (FAILED(hResult))
    {
        return hResult;
    }
    if (Property.Value.vt == VT_LPWSTR && Property.Value.pwszVal != nullptr)
    {
        Name = ToText(Property.Value.pwszVal);
        bIsText = 1;
    }
    return hResult;
}

int32_t CWasapiEndpoint::GetId(std::u16string& Id)
{
    Id.clear();
    LPWSTR pId = nullptr;
    const HRESULT hResult = pNative->GetId(&pId);
    if (SUCCEEDED(hResult))
    {
        Id = ToText(pId);
    }
    CoTaskMemFree(pId);
    return hResult;
}
