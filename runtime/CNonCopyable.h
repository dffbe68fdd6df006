#pragma once

// Base of every class that owns something (a handle, a buffer, a thread, a place in a list) and so
// must never be copied: copying would share or free it twice. Inherit privately.
class CNonCopyable
{
public:
    CNonCopyable(const CNonCopyable&) = delete;
    CNonCopyable& operator=(const CNonCopyable&) = delete;

protected:
    CNonCopyable() = default;
    ~CNonCopyable() = default;
};
