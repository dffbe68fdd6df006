#include "output/wasapi/WaveFormatTranslation.h"

#include <cstring>

namespace
{
GUID ToGuid(const AudioFormatGuid& Id)
{
    GUID Native{};
    Native.Data1 = Id.Data1;
    Native.Data2 = Id.Data2;
    Native.Data3 = Id.Data3;
    std::memcpy(Native.Data4, Id.Data4, sizeof(Native.Data4));
    return Native;
}

AudioFormatGuid FromGuid(const GUID& Native)
{
    AudioFormatGuid Id{};
    Id.Data1 = Native.Data1;
    Id.Data2 = Native.Data2;
    Id.Data3 = Native.Data3;
    std::memcpy(Id.Data4, Native.Data4, sizeof(Id.Data4));
    return Id;
}
} // namespace

void ToWaveFormat(const AudioStreamFormat& Format, WAVEFORMATEXTENSIBLE& Native)
{
    Native = {};
    Native.Format.wFormatTag = Format.wFormatTag;
    Native.Format.nChannels = Format.nChannels;
    Native.Format.nSamplesPerSec = Format.nSamplesPerSec;
    Native.Format.nAvgBytesPerSec = Format.nAvgBytesPerSec;
    Native.Format.nBlockAlign = Format.nBlockAlign;
    Native.Format.wBitsPerSample = Format.wBitsPerSample;
    if (Format.wFormatTag != AUDIO_FORMAT_TAG_EXTENSIBLE)
    {
        Native.Format.cbSize = 0;
        return;
    }
    Native.Format.cbSize = Format.cbSize;
    Native.Samples.wValidBitsPerSample = Format.wValidBitsPerSample;
    Native.dwChannelMask = Format.dwChannelMask;
    Native.SubFormat = ToGuid(Format.SubFormat);
}

int32_t FromWaveFormat(const WAVEFORMATEX* pNative, AudioStreamFormat& Format)
{
    Format = {};
    if (pNative == nullptr)
    {
        return -4;
    }
    Format.wFormatTag = pNative->wFormatTag;
    Format.nChannels = pNative->nChannels;
    Format.nSamplesPerSec = pNative->nSamplesPerSec;
    Format.nAvgBytesPerSec = pNative->nAvgBytesPerSec;
    Format.nBlockAlign = pNative->nBlockAlign;
    Format.wBitsPerSample = pNative->wBitsPerSample;
    Format.cbSize = pNative->cbSize;
    if (pNative->wFormatTag == WAVE_FORMAT_EXTENSIBLE && pNative->cbSize >= AUDIO_FORMAT_EXTENSIBLE_SIZE)
    {
        const auto* pExtensible = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(pNative);
        Format.wValidBitsPerSample = pExtensible->Samples.wValidBitsPerSample;
        Format.dwChannelMask = pExtensible->dwChannelMask;
        Format.SubFormat = FromGuid(pExtensible->SubFormat);
        return 1;
    }
    // A basic record: its tag is the first field of the sub-format it stands for.
    Format.wValidBitsPerSample = pNative->wBitsPerSample;
    Format.SubFormat = AUDIO_SUBTYPE_PCM;
    Format.SubFormat.Data1 = pNative->wFormatTag;
    return 1;
}
