#pragma once
#include "runtime/SStream.h"

class SFileStream : public SStream
{
public:
    // Opens an existing file (never creates one); read-only when iReadOnly is nonzero.
    virtual int32_t Open(const char16_t* pPath, int32_t iReadOnly) = 0;
    virtual int32_t CloseFile() = 0;
};
