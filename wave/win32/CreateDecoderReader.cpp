#include "wave/DecoderReaderFactory.h"
#include "wave/win32/MediaFoundationFileReader.h"

#include <new>

std::unique_ptr<SAudioFileReader> CreateDecoderReader()
{
    return std::unique_ptr<SAudioFileReader>(new (std::nothrow) MediaFoundationFileReader());
}
