#pragma once
#include "output/SAudioClient.h"
#include "runtime/CNonCopyable.h"

#include <cstdint>
#include <memory>
#include <string>

// One output endpoint (Windows: IMMDevice).
class SAudioEndpoint : private CNonCopyable
{
public:
    virtual ~SAudioEndpoint() = default;

    // A new audio client on this endpoint.
    virtual int32_t Activate(std::unique_ptr<SAudioClient>& pAudioClient) = 0;
    // The endpoint's friendly name from its read-only property store. On success bIsText tells
    // whether the property held text: 1 with the text in Name, 0 (Name empty) for a value of
    // another type. Negative when the store or the property cannot be read.
    virtual int32_t GetFriendlyName(std::u16string& Name, int32_t& bIsText) = 0;
    // The endpoint's identifier string.
    virtual int32_t GetId(std::u16string& Id) = 0;
};
