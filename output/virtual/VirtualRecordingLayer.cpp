#include "output/virtual/VirtualRecordingLayer.h"

#include "app/player/RateTable.h"
#include "wave/WaveFileWriter.h"

#include <utility>
#include <vector>

VirtualRecordingLayer::VirtualRecordingLayer(std::u16string RecordingPath)
    : pDevice(std::make_shared<VirtualAudioDevice>()), Path(std::move(RecordingPath))
{
    pDevice->SetFriendlyName(u"Larkspur Virtual Output");
    pDevice->UseRealTimeClock(1);
    for (uint32_t i = 0; i < RateTable::COUNT; ++i)
    {
        for (uint32_t uiBits : {32u, 24u, 16u})
        {
            pDevice->AcceptFormat(AUDIO_SHAREMODE_EXCLUSIVE, RateTable::Hz(i), uiBits);
            pDevice->AcceptFormat(AUDIO_SHAREMODE_SHARED, RateTable::Hz(i), uiBits);
        }
    }
    Inner.AddDevice(pDevice);
    Inner.SetDefaultDevice(pDevice);
}

VirtualRecordingLayer::~VirtualRecordingLayer()
{
    WriteRecording();
}

int32_t VirtualRecordingLayer::WriteRecording()
{
    const VirtualStreamState State = pDevice->GetStreamState();
    const uint32_t uiBits = State.Format.wBitsPerSample;
    if (Path.empty() || State.bInitialized == 0 || State.Format.nChannels != 2 ||
        (uiBits != 16 && uiBits != 24 && uiBits != 32))
    {
        return 0;
    }
    const std::vector<uint8_t> Bytes = pDevice->GetWrittenBytes();
    const uint32_t uiBytesPerSample = uiBits / 8;
    const uint64_t ullSamples = Bytes.size() / uiBytesPerSample;
    // The writer takes 32-bit words whose top bytes are the samples, as a device does.
    std::vector<uint32_t> Words(static_cast<size_t>(ullSamples));
    for (uint64_t s = 0; s < ullSamples; ++s)
    {
        uint32_t uiWord = 0;
        for (uint32_t b = 0; b < uiBytesPerSample; ++b)
        {
            uiWord |= static_cast<uint32_t>(Bytes[s * uiBytesPerSample + b])
                      << (8 * (4 - uiBytesPerSample + b));
        }
        Words[s] = uiWord;
    }
    const WaveSampleFormat Format = uiBits == 16   ? WaveSampleFormat::Pcm16
                                    : uiBits == 24 ? WaveSampleFormat::Pcm24
                                                   : WaveSampleFormat::Pcm32;
    WaveFileWriter Writer;
    if (Writer.Open(Path.c_str(), 2, State.Format.nSamplesPerSec, Format) != 1)
    {
        return -1;
    }
    uint64_t ullFrames = ullSamples / 2;
    const int32_t iWritten = Writer.WriteWords(Words.data(), ullFrames);
    return iWritten == 1 && Writer.Close() == 1 ? 1 : -1;
}
