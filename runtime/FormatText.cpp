#include "runtime/FormatText.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstring>

namespace
{
class BoundedOutput
{
public:
    BoundedOutput(char16_t* pBuffer, uint64_t ullUnits) : pBuffer(pBuffer), ullLimit(ullUnits - 1) {}

    void Put(char16_t c)
    {
        if (ullCount < ullLimit)
        {
            pBuffer[ullCount++] = c;
        }
        else
        {
            bCut = true;
        }
    }
    void PutRepeated(char16_t c, int iCount)
    {
        for (int i = 0; i < iCount; ++i)
        {
            Put(c);
        }
    }
    void PutAscii(const char* pText, size_t uLength)
    {
        for (size_t i = 0; i < uLength; ++i)
        {
            Put(static_cast<unsigned char>(pText[i]));
        }
    }
    int32_t Finish()
    {
        pBuffer[ullCount] = 0;
        return bCut ? -1 : 0;
    }

private:
    char16_t* pBuffer;
    uint64_t ullLimit;
    uint64_t ullCount = 0;
    bool bCut = false;
};

struct Conversion
{
    bool bLeft = false;
    bool bPlus = false;
    bool bSpace = false;
    bool bAlternate = false;
    bool bZero = false;
    int iWidth = 0;
    int iPrecision = -1;
};

// Writes sign + prefix + body with the width, justification and zero padding of the conversion.
void PutPadded(BoundedOutput& Out, const Conversion& Directive, const char* pSign, const char* pPrefix,
               const char* pBody, size_t uBodyLength, bool bZeroAllowed)
{
    const size_t uSign = std::strlen(pSign);
    const size_t uPrefix = std::strlen(pPrefix);
    const int iLength = static_cast<int>(uSign + uPrefix + uBodyLength);
    const int iPad = Directive.iWidth > iLength ? Directive.iWidth - iLength : 0;
    if (!Directive.bLeft && !(Directive.bZero && bZeroAllowed))
    {
        Out.PutRepeated(u' ', iPad);
    }
    Out.PutAscii(pSign, uSign);
    Out.PutAscii(pPrefix, uPrefix);
    if (!Directive.bLeft && Directive.bZero && bZeroAllowed)
    {
        Out.PutRepeated(u'0', iPad);
    }
    Out.PutAscii(pBody, uBodyLength);
    if (Directive.bLeft)
    {
        Out.PutRepeated(u' ', iPad);
    }
}

void PutInteger(BoundedOutput& Out, const Conversion& Directive, char cConversion,
                unsigned long long ullValue, bool bNegative)
{
    int iBase = 10;
    if (cConversion == 'o')
    {
        iBase = 8;
    }
    else if (cConversion == 'x' || cConversion == 'X' || cConversion == 'p')
    {
        iBase = 16;
    }
    char Digits[80];
    size_t uDigits = 0;
    if (!(ullValue == 0 && Directive.iPrecision == 0))
    {
        auto Result = std::to_chars(Digits, Digits + sizeof(Digits), ullValue, iBase);
        uDigits = static_cast<size_t>(Result.ptr - Digits);
    }
    if (cConversion == 'X' || cConversion == 'p')
    {
        for (size_t i = 0; i < uDigits; ++i)
        {
            if (Digits[i] >= 'a' && Digits[i] <= 'f')
            {
                Digits[i] = static_cast<char>(Digits[i] - 'a' + 'A');
            }
        }
    }
    int iMinimum = Directive.iPrecision;
    if (cConversion == 'p')
    {
        iMinimum = 16;
    }
    if (cConversion == 'o' && Directive.bAlternate && (uDigits == 0 || Digits[0] != '0') &&
        iMinimum <= static_cast<int>(uDigits))
    {
        iMinimum = static_cast<int>(uDigits) + 1;
    }
    char Body[160];
    size_t uBody = 0;
    for (int i = static_cast<int>(uDigits); i < iMinimum && uBody < 80; ++i)
    {
        Body[uBody++] = '0';
    }
    std::memcpy(Body + uBody, Digits, uDigits);
    uBody += uDigits;

    const char* pSign = "";
    if (bNegative)
    {
        pSign = "-";
    }
    else if ((cConversion == 'd' || cConversion == 'i') && Directive.bPlus)
    {
        pSign = "+";
    }
    else if ((cConversion == 'd' || cConversion == 'i') && Directive.bSpace)
    {
        pSign = " ";
    }
    const char* pPrefix = "";
    if (Directive.bAlternate && ullValue != 0)
    {
        if (cConversion == 'x')
        {
            pPrefix = "0x";
        }
        else if (cConversion == 'X')
        {
            pPrefix = "0X";
        }
    }
    PutPadded(Out, Directive, pSign, pPrefix, Body, uBody, Directive.iPrecision < 0);
}

void PutFloating(BoundedOutput& Out, const Conversion& Directive, char cConversion, double dfValue)
{
    const bool bUpper = cConversion >= 'A' && cConversion <= 'Z';
    const bool bNegative = std::signbit(dfValue);
    const double dfMagnitude = std::fabs(dfValue);
    const char* pSign = bNegative ? "-" : (Directive.bPlus ? "+" : (Directive.bSpace ? " " : ""));
    if (!std::isfinite(dfValue))
    {
        const char* pText = std::isnan(dfValue) ? (bUpper ? "NAN" : "nan") : (bUpper ? "INF" : "inf");
        PutPadded(Out, Directive, pSign, "", pText, 3, false);
        return;
    }
    const int iPrecision = Directive.iPrecision < 0 ? 6 : Directive.iPrecision;
    char Body[512];
    std::to_chars_result Result{};
    switch (cConversion)
    {
    case 'e':
    case 'E':
        Result =
            std::to_chars(Body, Body + sizeof(Body), dfMagnitude, std::chars_format::scientific, iPrecision);
        break;
    case 'g':
    case 'G':
        Result = std::to_chars(Body, Body + sizeof(Body), dfMagnitude, std::chars_format::general,
                               iPrecision == 0 ? 1 : iPrecision);
        break;
    default:
        Result = std::to_chars(Body, Body + sizeof(Body), dfMagnitude, std::chars_format::fixed, iPrecision);
        break;
    }
    if (Result.ec != std::errc())
    {
        // Only fixed notation of huge values with a long precision can overflow the body: fall back.
        Result =
            std::to_chars(Body, Body + sizeof(Body), dfMagnitude, std::chars_format::scientific, iPrecision);
        if (Result.ec != std::errc())
        {
            PutPadded(Out, Directive, pSign, "", "?", 1, false);
            return;
        }
    }
    size_t uBody = static_cast<size_t>(Result.ptr - Body);
    if (Directive.bAlternate && iPrecision == 0 && (cConversion == 'f' || cConversion == 'F') &&
        uBody < sizeof(Body))
    {
        Body[uBody++] = '.';
    }
    if (bUpper)
    {
        for (size_t i = 0; i < uBody; ++i)
        {
            if (Body[i] == 'e')
            {
                Body[i] = 'E';
            }
        }
    }
    PutPadded(Out, Directive, pSign, "", Body, uBody, true);
}

template <typename Unit> void PutText(BoundedOutput& Out, const Conversion& Directive, const Unit* pText)
{
    static const Unit Null[] = {'(', 'n', 'u', 'l', 'l', ')', 0};
    if (pText == nullptr)
    {
        pText = Null;
    }
    int iLength = 0;
    while (pText[iLength] != 0 && (Directive.iPrecision < 0 || iLength < Directive.iPrecision))
    {
        ++iLength;
    }
    const int iPad = Directive.iWidth > iLength ? Directive.iWidth - iLength : 0;
    if (!Directive.bLeft)
    {
        Out.PutRepeated(u' ', iPad);
    }
    for (int i = 0; i < iLength; ++i)
    {
        Out.Put(static_cast<char16_t>(static_cast<std::make_unsigned_t<Unit>>(pText[i])));
    }
    if (Directive.bLeft)
    {
        Out.PutRepeated(u' ', iPad);
    }
}

enum class Length
{
    Default,
    Char,
    Short,
    Long,
    LongLong,
    Size,
    LongDouble,
};

// The length modifiers, each before any shorter one it begins with.
struct LengthModifier
{
    const char16_t* pText;
    Length eLength;
};
constexpr LengthModifier LENGTH_MODIFIERS[] = {
    {u"hh", Length::Char}, {u"h", Length::Short},      {u"ll", Length::LongLong},
    {u"l", Length::Long},  {u"L", Length::LongDouble}, {u"z", Length::Size},
    {u"t", Length::Size},  {u"j", Length::LongLong},   {u"I64", Length::LongLong},
};

// The length modifier at p, if any, moving p past it.
Length ParseLength(const char16_t*& p)
{
    for (const LengthModifier& Modifier : LENGTH_MODIFIERS)
    {
        size_t ullAt = 0;
        while (Modifier.pText[ullAt] != 0 && p[ullAt] == Modifier.pText[ullAt])
        {
            ++ullAt;
        }
        if (Modifier.pText[ullAt] == 0)
        {
            p += ullAt;
            return Modifier.eLength;
        }
    }
    return Length::Default;
}

// The digits of a width or precision at p appended to iValue, moving p past them; at most 4096.
int ParseCount(const char16_t*& p, int iValue)
{
    while (*p >= u'0' && *p <= u'9')
    {
        iValue = iValue * 10 + (*p++ - u'0');
        if (iValue > 4096)
        {
            iValue = 4096;
        }
    }
    return iValue;
}
} // namespace

int32_t FormatTextV(char16_t* pBuffer, uint64_t ullSizeBytes, const char16_t* pFormat, va_list Arguments)
{
    if (pBuffer == nullptr || ullSizeBytes / 2 < 1)
    {
        return -4;
    }
    BoundedOutput Out(pBuffer, ullSizeBytes / 2);
    if (pFormat == nullptr)
    {
        Out.Finish();
        return -4;
    }
    const char16_t* p = pFormat;
    while (*p != 0)
    {
        if (*p != u'%')
        {
            Out.Put(*p++);
            continue;
        }
        const char16_t* pStart = p++;
        Conversion Directive;
        for (;; ++p)
        {
            if (*p == u'-')
                Directive.bLeft = true;
            else if (*p == u'+')
                Directive.bPlus = true;
            else if (*p == u' ')
                Directive.bSpace = true;
            else if (*p == u'#')
                Directive.bAlternate = true;
            else if (*p == u'0')
                Directive.bZero = true;
            else
                break;
        }
        if (*p == u'*')
        {
            Directive.iWidth = va_arg(Arguments, int);
            if (Directive.iWidth < 0)
            {
                Directive.bLeft = true;
                Directive.iWidth = -Directive.iWidth;
            }
            ++p;
        }
        Directive.iWidth = ParseCount(p, Directive.iWidth);
        if (*p == u'.')
        {
            ++p;
            Directive.iPrecision = 0;
            if (*p == u'*')
            {
                Directive.iPrecision = va_arg(Arguments, int);
                ++p;
            }
            Directive.iPrecision = ParseCount(p, Directive.iPrecision);
        }
        const Length eLength = ParseLength(p);
        const char16_t cConversion = *p;
        if (cConversion == 0)
        {
            // An unfinished conversion at the end of the format is shown as it stands.
            for (const char16_t* q = pStart; q < p; ++q)
            {
                Out.Put(*q);
            }
            break;
        }
        ++p;
        switch (cConversion)
        {
        case u'd':
        case u'i':
        {
            long long llValue;
            switch (eLength)
            {
            case Length::Char:
                llValue = static_cast<signed char>(va_arg(Arguments, int));
                break;
            case Length::Short:
                llValue = static_cast<short>(va_arg(Arguments, int));
                break;
            case Length::Long:
                llValue = va_arg(Arguments, long);
                break;
            case Length::LongLong:
                llValue = va_arg(Arguments, long long);
                break;
            case Length::Size:
                llValue = va_arg(Arguments, ptrdiff_t);
                break;
            default:
                llValue = va_arg(Arguments, int);
                break;
            }
            const bool bNegative = llValue < 0;
            const unsigned long long ullMagnitude = bNegative
                                                        ? 0ull - static_cast<unsigned long long>(llValue)
                                                        : static_cast<unsigned long long>(llValue);
            PutInteger(Out, Directive, 'd', ullMagnitude, bNegative);
            break;
        }
        case u'u':
        case u'o':
        case u'x':
        case u'X':
        {
            unsigned long long ullValue;
            switch (eLength)
            {
            case Length::Char:
                ullValue = static_cast<unsigned char>(va_arg(Arguments, unsigned int));
                break;
            case Length::Short:
                ullValue = static_cast<unsigned short>(va_arg(Arguments, unsigned int));
                break;
            case Length::Long:
                ullValue = va_arg(Arguments, unsigned long);
                break;
            case Length::LongLong:
                ullValue = va_arg(Arguments, unsigned long long);
                break;
            case Length::Size:
                ullValue = va_arg(Arguments, size_t);
                break;
            default:
                ullValue = va_arg(Arguments, unsigned int);
                break;
            }
            PutInteger(Out, Directive, static_cast<char>(cConversion), ullValue, false);
            break;
        }
        case u'p':
        {
            const auto ullValue = reinterpret_cast<uintptr_t>(va_arg(Arguments, void*));
            Conversion Plain;
            Plain.iWidth = Directive.iWidth;
            Plain.bLeft = Directive.bLeft;
            PutInteger(Out, Plain, 'p', ullValue, false);
            break;
        }
        case u'f':
        case u'F':
        case u'e':
        case u'E':
        case u'g':
        case u'G':
        {
            double dfValue;
            if (eLength == Length::LongDouble)
            {
                dfValue = static_cast<double>(va_arg(Arguments, long double));
            }
            else
            {
                dfValue = va_arg(Arguments, double);
            }
            PutFloating(Out, Directive, static_cast<char>(cConversion), dfValue);
            break;
        }
        case u'c':
        {
            const char16_t Text[2] = {static_cast<char16_t>(va_arg(Arguments, int)), 0};
            Conversion Single = Directive;
            Single.iPrecision = 1;
            if (Text[0] == 0)
            {
                // A zero character still occupies its place, like printf.
                const int iPad = Directive.iWidth > 1 ? Directive.iWidth - 1 : 0;
                if (!Directive.bLeft)
                    Out.PutRepeated(u' ', iPad);
                Out.Put(u' ');
                if (Directive.bLeft)
                    Out.PutRepeated(u' ', iPad);
            }
            else
            {
                PutText(Out, Single, Text);
            }
            break;
        }
        case u's':
            if (eLength == Length::Short)
            {
                PutText(Out, Directive, va_arg(Arguments, const char*));
            }
            else
            {
                PutText(Out, Directive, va_arg(Arguments, const char16_t*));
            }
            break;
        case u'%':
            Out.Put(u'%');
            break;
        default:
            // Unknown conversions are copied as they stand, consuming no argument.
            for (const char16_t* q = pStart; q < p; ++q)
            {
                Out.Put(*q);
            }
            break;
        }
    }
    return Out.Finish();
}

int32_t FormatText(char16_t* pBuffer, uint64_t ullSizeBytes, const char16_t* pFormat, ...)
{
    va_list Arguments;
    va_start(Arguments, pFormat);
    const int32_t iResult = FormatTextV(pBuffer, ullSizeBytes, pFormat, Arguments);
    va_end(Arguments);
    return iResult;
}
