#include "output/wasapi/WaveFormatTranslation.h"

#include <cstring>

namespace
{
// The two GUID types have the same fields; copied field by field so that neither layout is assumed.
template <class TTo, class TFrom> TTo CopyGuid(const TFrom& From)
{
    TTo To{};
    To.Data1 = From.Data1;
    To.Data2 = From.Data2;
    To.Data3 = From.Data3;
    std::memcpy(To.Data4, From.Data4, sizeof(To.Data4));
    return To;
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
    Native.SubFormat = CopyGuid<GUID>(Format.SubFormat);
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
        Format.SubFormat = CopyGuid<AudioFormatGuid>(pExtensible->SubFormat);
        return 1;
    }
    // A basic record: its tag is the first field of the sub-format it stands for.
    Format.wValidBitsPerSample = pNative->wBitsPerSample;
    Format.SubFormat = AUDIO_SUBTYPE_PCM;
    Format.SubFormat.Data1 = pNative->wFormatTag;
    return 1;
}
