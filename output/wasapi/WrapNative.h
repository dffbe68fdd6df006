#pragma once
#include "output/AudioClientConstants.h"
#include "runtime/win32/ComPointer.h"

#include <cstdint>
#include <memory>
#include <new>
#include <utility>

#include <windows.h>

// Wraps the native object a call has just handed over: on the call's success pWrapper holds a new
// TWrapper that owns it; otherwise nothing. The call's result, or AUDIO_E_OUTOFMEMORY.
template <class TWrapper, class TInterface, class TNative>
int32_t WrapNative(HRESULT hResult, ComPointer<TNative>& pObject, std::unique_ptr<TInterface>& pWrapper)
{
    pWrapper.reset();
    if (FAILED(hResult))
    {
        return hResult;
    }
    pWrapper.reset(new (std::nothrow) TWrapper(std::move(pObject)));
    return pWrapper != nullptr ? hResult : AUDIO_E_OUTOFMEMORY;
}
