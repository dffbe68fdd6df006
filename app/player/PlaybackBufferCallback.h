#pragma once
#include "output/SoundStreamBuffer.h"

#include <cstdint>

// The render stream's buffer callback (a BufferCallbackFunction; the user parameter is the
// PlayerState to read, null for the process's record). Takes one period out of the record's
// IntelligentSoundBuffer into its pdfDeviceBlock and
// copies it into the stream's block, followed by silence when the stream asks for more frames than
// the period holds; ullFrameCount reports the period's frames only. 1 when the period came from the
// buffer without error; 0 when the read failed (the current block is still copied), and 0 without
// touching the stream's block when there is no device block or the block is not a stereo render
// block. A 0 ends the stream.
int32_t PlaybackBufferCallback(SoundStreamBuffer* pSoundStreamBuffer, void* pUserParameter);
