// Escaped strings (%RM..): JSON strings, XML attribute values and element text, and URI percent-encoding.
#include "common/string/format-ext-internal.h"

#include <quab/string.h>

namespace {

enum class EscapeKind { Json, XmlAttr, XmlElem, Percent };

struct EscapeStyle {
    char achName[2];
    EscapeKind enmKind;
    char chKeep;        // percent-encoding: the one extra byte that passes (0: none)
    bool fBlankIsPlus;  // percent-encoding: a blank becomes "+"
};

constexpr EscapeStyle g_aStyles[] = {
    {{'j', 's'}, EscapeKind::Json, 0, false},
    {{'a', 's'}, EscapeKind::XmlAttr, 0, false},
    {{'e', 's'}, EscapeKind::XmlElem, 0, false},
    {{'p', 'p'}, EscapeKind::Percent, '/', false},
    {{'p', 'q'}, EscapeKind::Percent, '+', false},
    {{'p', 'a'}, EscapeKind::Percent, 0, false},
    {{'p', 'f'}, EscapeKind::Percent, 0, true},
};

struct XmlEntity {
    char ch;
    const char *psz;
    uint8_t cch;
    bool fAttr;   // escaped in attribute values
    bool fElem;   // escaped in element text
};

constexpr XmlEntity g_aXmlEntities[] = {
    {'<', "&lt;", 4, true, true},       {'>', "&gt;", 4, true, true},
    {'&', "&amp;", 5, true, true},      {'"', "&quot;", 6, true, true},
    {'\'', "&apos;", 6, false, true},   {'\n', "&#xA;", 5, true, false},
    {'\r', "&#xD;", 5, true, false},
};

constexpr char g_achHexUpper[] = "0123456789ABCDEF";
constexpr char g_achHexLower[] = "0123456789abcdef";

// The replacement text of one byte, or 0 when it passes unchanged.
size_t rtFmtEscapeByte(EscapeStyle const &Style, uint8_t b, char *pachOut)
{
    switch (Style.enmKind) {
        case EscapeKind::Json: {
            static constexpr struct { uint8_t b; char ch; } s_aShort[] = {
                {'"', '"'}, {'\\', '\\'}, {0x08, 'b'}, {0x09, 't'}, {0x0A, 'n'}, {0x0C, 'f'},
            };
            for (auto const &Short : s_aShort)
                if (Short.b == b) {
                    pachOut[0] = '\\';
                    pachOut[1] = Short.ch;
                    return 2;
                }
            if (b >= 0x20)
                return 0;
            __builtin_memcpy(pachOut, "\\u00", 4);
            pachOut[4] = g_achHexLower[b >> 4];
            pachOut[5] = g_achHexLower[b & 15];
            return 6;
        }
        case EscapeKind::XmlAttr:
        case EscapeKind::XmlElem:
            for (XmlEntity const &Entity : g_aXmlEntities)
                if (Entity.ch == static_cast<char>(b)
                    && (Style.enmKind == EscapeKind::XmlAttr ? Entity.fAttr : Entity.fElem)) {
                    __builtin_memcpy(pachOut, Entity.psz, Entity.cch);
                    return Entity.cch;
                }
            return 0;
        case EscapeKind::Percent:
            if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-'
                || b == '.' || b == '_' || b == '~' || (Style.chKeep && b == static_cast<uint8_t>(Style.chKeep)))
                return 0;
            if (b == ' ' && Style.fBlankIsPlus) {
                pachOut[0] = '+';
                return 1;
            }
            pachOut[0] = '%';
            pachOut[1] = g_achHexUpper[b >> 4];
            pachOut[2] = g_achHexUpper[b & 15];
            return 3;
    }
    return 0;
}

// Unchanged bytes go out in runs, replacements one at a time.
size_t rtFmtEscapeText(EscapeStyle const &Style, const char *pch, size_t cch, FmtOutputFn pfnOutput,
                       void *pvArgOutput)
{
    size_t cchTotal = 0;
    size_t iRun = 0;
    for (size_t i = 0; i < cch; i++) {
        char achRepl[8];
        size_t const cchRepl = rtFmtEscapeByte(Style, static_cast<uint8_t>(pch[i]), achRepl);
        if (!cchRepl)
            continue;
        if (i > iRun)
            cchTotal += pfnOutput(pvArgOutput, &pch[iRun], i - iRun);
        cchTotal += pfnOutput(pvArgOutput, achRepl, cchRepl);
        iRun = i + 1;
    }
    if (cch > iRun)
        cchTotal += pfnOutput(pvArgOutput, &pch[iRun], cch - iRun);
    return cchTotal;
}

size_t rtFmtEscapePad(EscapeStyle const &Style, int cPad, FmtOutputFn pfnOutput, void *pvArgOutput)
{
    if (Style.enmKind == EscapeKind::Percent)
        return rtFmtExtRepeat(pfnOutput, pvArgOutput, "%20", 3, cPad);
    return rtFmtPadBlanks(pfnOutput, pvArgOutput, cPad);
}

} // namespace

size_t rtFmtExtEscape(RTFMTEXT_FAMILY_ARGS)
{
    const char *psz = *ppszFormat;   // at the M
    EscapeStyle const *pStyle = nullptr;
    for (EscapeStyle const &Style : g_aStyles)
        if (psz[1] == Style.achName[0] && psz[1] != '\0' && psz[2] == Style.achName[1])
            pStyle = &Style;
    if (!pStyle) {
        // An unknown pair is consumed and prints nothing; never step over the terminator.
        *ppszFormat = psz[1] == '\0' ? psz + 1 : psz[2] == '\0' ? psz + 2 : psz + 3;
        return 0;
    }
    *ppszFormat = psz + 3;

    const char *pszText = va_arg(*pArgs, const char *);
    if (rtFmtIsBadPtr(pszText))
        pszText = "<NULL>";
    size_t const cchText = RTStrLenMax(pszText, cchPrecision >= 0 ? static_cast<size_t>(cchPrecision) : RTSTR_MAX);
    int const cPad = cchWidth > 0 && static_cast<size_t>(cchWidth) > cchText
                         ? cchWidth - static_cast<int>(cchText) : 0;
    bool const fQuoted = pStyle->enmKind == EscapeKind::Json || pStyle->enmKind == EscapeKind::XmlAttr;

    size_t cch = 0;
    if (fQuoted)
        cch += pfnOutput(pvArgOutput, "\"", 1);
    if (!(fFlags & FMT_F_LEFT))
        cch += rtFmtEscapePad(*pStyle, cPad, pfnOutput, pvArgOutput);
    cch += rtFmtEscapeText(*pStyle, pszText, cchText, pfnOutput, pvArgOutput);
    if (fFlags & FMT_F_LEFT)
        cch += rtFmtEscapePad(*pStyle, cPad, pfnOutput, pvArgOutput);
    if (fQuoted)
        cch += pfnOutput(pvArgOutput, "\"", 1);
    return cch;
}
