#include "tests/common/ScopedVariable.h"

#include <cstdlib>

namespace
{
void SetVariable(const char* pName, const char* pValue)
{
#ifdef _WIN32
    _putenv_s(pName, pValue != nullptr ? pValue : "");
#else
    if (pValue != nullptr)
    {
        setenv(pName, pValue, 1);
    }
    else
    {
        unsetenv(pName);
    }
#endif
}
} // namespace

ScopedVariable::ScopedVariable(const char* pName, const char* pValue) : Name(pName)
{
    const char* pOld = std::getenv(pName);
    bHad = pOld != nullptr;
    Old = bHad ? pOld : "";
    SetVariable(pName, pValue);
}

ScopedVariable::~ScopedVariable()
{
    SetVariable(Name.c_str(), bHad ? Old.c_str() : nullptr);
}
