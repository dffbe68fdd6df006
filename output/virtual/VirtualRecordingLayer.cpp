#include "output/virtual/VirtualRecordingLayer.h"

#include "output/AudioClientConstants.h"
#include "output/virtual/CVirtualOutputEnumerator.h"

#include <new>
#include <utility>

VirtualRecordingLayer::VirtualRecordingLayer(std::u16string RecordingPath)
    : pDevice(std::make_shared<VirtualOutputDevice>(std::move(RecordingPath)))
{
}

int32_t VirtualRecordingLayer::CreateDeviceEnumerator(std::unique_ptr<SAudioDeviceEnumerator>& pEnumerator)
{
    pEnumerator.reset(new (std::nothrow) CVirtualOutputEnumerator(pDevice));
    return pEnumerator != nullptr ? AUDIO_OK : AUDIO_E_OUTOFMEMORY;
}
