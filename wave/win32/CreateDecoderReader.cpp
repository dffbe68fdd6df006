#include "wave/DecoderReaderFactory.h"

#include <new>

namespace
{
// Until the Media Foundation reader is in: every file that is not a WAV file our reader takes is
// refused, with the reason.
class NoDecoderReader : public SAudioFileReader
{
public:
    int32_t Open(const char16_t* pPath) override { return pPath == nullptr ? -4 : -1; }
    int32_t ReadFrames(double*, uint64_t* pullFrames) override
    {
        if (pullFrames != nullptr)
        {
            *pullFrames = 0;
        }
        return -1;
    }
    int32_t Rewind() override { return -1; }
    int32_t SeekFrame(uint64_t) override { return -1; }
    int32_t Close() override { return 0; }
    int32_t IsOpen() const override { return 0; }
    const AudioFileFormat& GetFormat() const override { return Format; }
    const char16_t* GetErrorText() const override
    {
        return u"compressed files are not decoded by this build; WAV files only";
    }

private:
    AudioFileFormat Format;
};
} // namespace

std::unique_ptr<SAudioFileReader> CreateDecoderReader()
{
    return std::unique_ptr<SAudioFileReader>(new (std::nothrow) NoDecoderReader());
}
