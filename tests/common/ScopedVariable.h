#pragma once
#include <string>

// An environment variable set (or, with null, removed) for the object's life; the old value
// returns afterwards.
class ScopedVariable
{
public:
    ScopedVariable(const char* pName, const char* pValue);
    ~ScopedVariable();
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    std::string Name;
    bool bHad = false;
    std::string Old;
};
