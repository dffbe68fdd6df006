#pragma once
#include "wave/SAudioFileReader.h"

#include <cstdint>

// What every file reader shares: whether a file is open and its format, the checks at the start of
// ReadFrames and SeekFrame, and Rewind as a seek to the first frame. A reader supplies what happens
// on its open file.
class AudioFileReaderBase : public SAudioFileReader
{
public:
    int32_t ReadFrames(double* pdfOut, uint64_t* pullFrames) final;
    int32_t Rewind() final;
    int32_t SeekFrame(uint64_t ullFrame) final;
    int32_t IsOpen() const final { return bOpened; }
    const AudioFileFormat& GetFormat() const final { return Format; }

protected:
    // ReadFrames once the arguments are checked and a file is open: at most ullWanted frames into
    // pdfOut, ullDelivered the frames written (also when a failure ends the read). Results as
    // ReadFrames.
    virtual int32_t ReadOpenFile(double* pdfOut, uint64_t ullWanted, uint64_t& ullDelivered) = 0;
    // SeekFrame once a file is open.
    virtual int32_t SeekOpenFile(uint64_t ullFrame) = 0;

    int32_t bOpened = 0;
    AudioFileFormat Format;
};
