#include "wave/DecoderReaderFactory.h"
#include "wave/ffmpeg/FfmpegFileReader.h"

#include <new>

std::unique_ptr<SAudioFileReader> CreateDecoderReader()
{
    return std::unique_ptr<SAudioFileReader>(new (std::nothrow) FfmpegFileReader());
}
