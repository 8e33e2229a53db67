// The %R handler: dispatch by family, the typed-value table, status codes,
// Windows errors and HRESULTs.
#include <quab/err.h>
#include <quab/errinfo.h>
#include <quab/fmt.h>

#include "format-internal.h"

namespace {

constexpr uint16_t kSigned = static_cast<uint16_t>(FMT_F_SIGNED);
constexpr uint16_t kZeroPad = static_cast<uint16_t>(FMT_F_ZEROPAD);
constexpr uint16_t kHidePtr = static_cast<uint16_t>(FMT_F_HIDE_PTR);

constexpr FmtTypeEntry rtFmtRow(const char *pszName, uint8_t cbValue, uint8_t uBase, FmtTypeKind enmKind,
                                uint16_t fFlags = 0)
{
    FmtTypeEntry Entry{};
    uint8_t cch = 0;
    while (pszName[cch])
    {
        Entry.szName[cch] = pszName[cch];
        cch++;
    }
    Entry.cchName = cch;
    Entry.cbValue = cbValue;
    Entry.uBase = uBase;
    Entry.enmKind = enmKind;
    Entry.fFlags = fFlags;
    return Entry;
}

// The pointer row takes whatever a pointer is on the build, so that a caller
// passing a pointer never desynchronises the argument list.
constexpr uint8_t kcbPtr = static_cast<uint8_t>(sizeof(void *));

constexpr FmtTypeEntry g_aTypes[] = {
    rtFmtRow("Ci", 4, 10, FMT_KIND_NUMBER, kSigned),
    rtFmtRow("Cp", 8, 16, FMT_KIND_HEXWORD),
    rtFmtRow("Cr", 4, 16, FMT_KIND_HEXWORD),
    rtFmtRow("Cu", 4, 10, FMT_KIND_NUMBER),
    rtFmtRow("Cv", 4, 16, FMT_KIND_HEXWORD),
    rtFmtRow("Cx", 4, 16, FMT_KIND_NUMBER),
    rtFmtRow("Gi", 8, 10, FMT_KIND_NUMBER, kSigned),
    rtFmtRow("Gp", 8, 16, FMT_KIND_HEXWORD),
    rtFmtRow("Gr", 8, 16, FMT_KIND_HEXWORD),
    rtFmtRow("Gu", 8, 10, FMT_KIND_NUMBER),
    rtFmtRow("Gv", 8, 16, FMT_KIND_HEXWORD),
    rtFmtRow("Gx", 8, 16, FMT_KIND_NUMBER),
    rtFmtRow("Hi", 4, 10, FMT_KIND_NUMBER, kSigned),
    rtFmtRow("Hp", 8, 16, FMT_KIND_HEXWORD),
    rtFmtRow("Hr", 4, 16, FMT_KIND_HEXWORD),
    rtFmtRow("Hu", 4, 10, FMT_KIND_NUMBER),
    rtFmtRow("Hv", 4, 16, FMT_KIND_HEXWORD),
    rtFmtRow("Hx", 4, 16, FMT_KIND_NUMBER),
    rtFmtRow("I16", 2, 10, FMT_KIND_NUMBER, kSigned),
    rtFmtRow("I32", 4, 10, FMT_KIND_NUMBER, kSigned),
    rtFmtRow("I64", 8, 10, FMT_KIND_NUMBER, kSigned),
    rtFmtRow("I8", 1, 10, FMT_KIND_NUMBER, kSigned),
    rtFmtRow("Kv", 4, 16, FMT_KIND_NUMBER, kHidePtr),
    rtFmtRow("Rv", 4, 16, FMT_KIND_HEXWORD),
    rtFmtRow("Tbool", 1, 10, FMT_KIND_BOOL),
    rtFmtRow("Teic", 4, 16, FMT_KIND_ERRINFO),
    rtFmtRow("Teim", 4, 16, FMT_KIND_ERRINFO_MSG),
    rtFmtRow("Tfile", 4, 10, FMT_KIND_NUMBER),
    rtFmtRow("Tfmode", 4, 16, FMT_KIND_HEXWORD),
    rtFmtRow("Tfoff", 8, 10, FMT_KIND_NUMBER, kSigned),
    rtFmtRow("Tfp16", 4, 16, FMT_KIND_FAR16, kZeroPad),
    rtFmtRow("Tfp32", 6, 16, FMT_KIND_FAR32, kZeroPad),
    rtFmtRow("Tfp64", 10, 16, FMT_KIND_FAR64, kZeroPad),
    rtFmtRow("Tgid", 4, 10, FMT_KIND_NUMBER, kSigned),
    rtFmtRow("Tino", 8, 16, FMT_KIND_HEXWORD),
    rtFmtRow("Tint", 4, 10, FMT_KIND_NUMBER, kSigned),
    rtFmtRow("Tiop", 2, 16, FMT_KIND_HEXWORD),
    rtFmtRow("Tldrm", 4, 16, FMT_KIND_HEXWORD),
    rtFmtRow("Tmac", 4, 16, FMT_KIND_MAC),
    rtFmtRow("Tnaddr", 4, 10, FMT_KIND_NETADDR),
    rtFmtRow("Tnaipv4", 4, 10, FMT_KIND_IPV4),
    rtFmtRow("Tnaipv6", 4, 16, FMT_KIND_IPV6),
    rtFmtRow("Tnthrd", 4, 16, FMT_KIND_HEXWORD),
    rtFmtRow("Tproc", 4, 16, FMT_KIND_HEXWORD),
    rtFmtRow("Tptr", kcbPtr, 16, FMT_KIND_HEXWORD),
    rtFmtRow("Treg", 4, 16, FMT_KIND_HEXWORD),
    rtFmtRow("Tsel", 2, 16, FMT_KIND_HEXWORD),
    rtFmtRow("Tsem", 4, 16, FMT_KIND_HEXWORD),
    rtFmtRow("Tsock", 4, 10, FMT_KIND_NUMBER),
    rtFmtRow("Tthrd", 4, 16, FMT_KIND_HEXWORD),
    rtFmtRow("Tuid", 4, 10, FMT_KIND_NUMBER, kSigned),
    rtFmtRow("Tuint", 4, 10, FMT_KIND_NUMBER),
    rtFmtRow("Tunicp", 4, 16, FMT_KIND_HEXWORD, kZeroPad),
    rtFmtRow("Tutf16", 2, 16, FMT_KIND_HEXWORD, kZeroPad),
    rtFmtRow("Tuuid", 4, 16, FMT_KIND_UUID),
    rtFmtRow("Txint", 4, 16, FMT_KIND_NUMBER),
    rtFmtRow("U16", 2, 10, FMT_KIND_NUMBER),
    rtFmtRow("U32", 4, 10, FMT_KIND_NUMBER),
    rtFmtRow("U64", 8, 10, FMT_KIND_NUMBER),
    rtFmtRow("U8", 1, 10, FMT_KIND_NUMBER),
    rtFmtRow("X16", 2, 16, FMT_KIND_NUMBER),
    rtFmtRow("X32", 4, 16, FMT_KIND_NUMBER),
    rtFmtRow("X64", 8, 16, FMT_KIND_NUMBER),
    rtFmtRow("X8", 1, 16, FMT_KIND_NUMBER),
};
static_assert(RT_ELEMENTS(g_aTypes) == 64);

constexpr int rtFmtNameCmp(const FmtTypeEntry &A, const FmtTypeEntry &B)
{
    for (unsigned i = 0;; i++)
    {
        unsigned char const chA = i < A.cchName ? static_cast<unsigned char>(A.szName[i]) : 0;
        unsigned char const chB = i < B.cchName ? static_cast<unsigned char>(B.szName[i]) : 0;
        if (chA != chB)
            return chA < chB ? -1 : 1;
        if (!chA)
            return 0;
    }
}

constexpr bool rtFmtIsSorted(const FmtTypeEntry *paEntries, size_t cEntries)
{
    for (size_t i = 1; i < cEntries; i++)
        if (rtFmtNameCmp(paEntries[i - 1], paEntries[i]) >= 0)
            return false;
    return true;
}
static_assert(rtFmtIsSorted(g_aTypes, RT_ELEMENTS(g_aTypes)), "the type table must be sorted for the search");

// Compares the text with the name over the name's length; a terminator in
// the text compares low and ends the comparison.
int rtFmtPrefixCmp(const char *pszText, const FmtTypeEntry &Entry)
{
    for (unsigned i = 0; i < Entry.cchName; i++)
    {
        unsigned char const chText = static_cast<unsigned char>(pszText[i]);
        unsigned char const chName = static_cast<unsigned char>(Entry.szName[i]);
        if (chText != chName)
            return chText < chName ? -1 : 1;
    }
    return 0;
}

struct FmtTypedValue
{
    uint64_t u64;     // the value, or the offset of a far pointer
    uint16_t uSel;    // the selector of a far pointer
    const void *pv;   // the argument of the pointer kinds
    unsigned fSize;   // FMT_F_8BIT ... FMT_F_64BIT
};

unsigned rtFmtSizeFlag(unsigned cbValue)
{
    switch (cbValue)
    {
        case 1: return FMT_F_8BIT;
        case 2: return FMT_F_16BIT;
        case 4: return FMT_F_32BIT;
        case 8: return FMT_F_64BIT;
        default: return 0;
    }
}

bool rtFmtKindTakesPointer(FmtTypeKind enmKind)
{
    switch (enmKind)
    {
        case FMT_KIND_IPV6:
        case FMT_KIND_MAC:
        case FMT_KIND_NETADDR:
        case FMT_KIND_UUID:
        case FMT_KIND_ERRINFO:
        case FMT_KIND_ERRINFO_MSG:
            return true;
        default:
            return false;
    }
}

// Signed rows narrower than 64 bits widen the int with its sign and do not
// truncate it; unsigned rows of 1 and 2 bytes keep only their low bits.
FmtTypedValue rtFmtTakeTyped(const FmtTypeEntry &Entry, va_list *pArgs)
{
    FmtTypedValue Value{};
    if (rtFmtKindTakesPointer(Entry.enmKind))
    {
        Value.pv = va_arg(*pArgs, const void *);
        return Value;
    }
    Value.fSize = rtFmtSizeFlag(Entry.cbValue);
    bool const fSigned = (Entry.fFlags & FMT_F_SIGNED) != 0;
    switch (Entry.cbValue)
    {
        case 1:
        case 2:
        {
            int const iArg = va_arg(*pArgs, int);
            if (fSigned)
                Value.u64 = static_cast<uint64_t>(static_cast<int64_t>(iArg));
            else
                Value.u64 = static_cast<unsigned>(iArg) & (Entry.cbValue == 1 ? 0xffu : 0xffffu);
            break;
        }
        case 4:
            if (fSigned)
                Value.u64 = static_cast<uint64_t>(static_cast<int64_t>(va_arg(*pArgs, int32_t)));
            else
                Value.u64 = va_arg(*pArgs, uint32_t);
            break;
        case 6:
        {
            RTFAR32 const Far = va_arg(*pArgs, RTFAR32);
            Value.u64 = Far.off;
            Value.uSel = Far.sel;
            break;
        }
        case 10:
        {
            RTFAR64 const Far = va_arg(*pArgs, RTFAR64);
            Value.u64 = (static_cast<uint64_t>(Far.offHi) << 32) | Far.offLo;
            Value.uSel = Far.sel;
            break;
        }
        default:
            Value.u64 = va_arg(*pArgs, uint64_t);
            break;
    }
    return Value;
}

size_t rtFmtNumberOut(FmtOutputFn pfnOutput, void *pvArgOutput, uint64_t u64, unsigned uBase, int cchWidth,
                      int cchPrecision, unsigned fFlags)
{
    char szNum[64];
    int const cch = RTFmtNumber(szNum, u64, uBase, cchWidth, cchPrecision, fFlags);
    return pfnOutput(pvArgOutput, szNum, static_cast<size_t>(cch));
}

size_t rtFmtBool(FmtOutputFn pfnOutput, void *pvArgOutput, uint64_t u64, unsigned fFlags)
{
    uint8_t const b = static_cast<uint8_t>(u64);
    if (b == 1)
        return (fFlags & FMT_F_SPECIAL) ? pfnOutput(pvArgOutput, "true ", 5) : pfnOutput(pvArgOutput, "true", 4);
    if (b == 0)
        return pfnOutput(pvArgOutput, "false", 5);
    return RTFmtToCallback(pfnOutput, pvArgOutput, nullptr, nullptr, "!%lld!", static_cast<long long>(b));
}

// Selector, colon, offset: fixed-width lower-case hex whatever the directive
// asked for, so that far pointers line up in dumps.
size_t rtFmtFar(FmtOutputFn pfnOutput, void *pvArgOutput, const FmtTypedValue &Value, int cchOffDigits)
{
    char szText[64];
    int cch = RTFmtNumber(szText, Value.uSel, 16, 4, -1, FMT_F_ZEROPAD | FMT_F_16BIT);
    szText[cch++] = ':';
    cch += RTFmtNumber(&szText[cch], Value.u64, 16, cchOffDigits, -1, FMT_F_ZEROPAD | FMT_F_64BIT);
    return pfnOutput(pvArgOutput, szText, static_cast<size_t>(cch));
}

size_t rtFmtIpv4Bytes(FmtOutputFn pfnOutput, void *pvArgOutput, const uint8_t *pb)
{
    return RTFmtToCallback(pfnOutput, pvArgOutput, nullptr, nullptr, "%u.%u.%u.%u", pb[0], pb[1], pb[2], pb[3]);
}

size_t rtFmtIpv6(FmtOutputFn pfnOutput, void *pvArgOutput, const uint8_t *pb)
{
    static constexpr uint8_t s_abMapped[4] = {0x00, 0x00, 0xff, 0xff};
    static constexpr uint8_t s_abTranslated[4] = {0xff, 0xff, 0x00, 0x00};
    static constexpr uint8_t s_abZero[4] = {0, 0, 0, 0};
    static constexpr uint8_t s_abLoopback[4] = {0, 0, 0, 1};

    bool fIpv4Tail = false;
    if (__builtin_memcmp(pb, "\0\0\0\0\0\0\0\0", 8) == 0)
        fIpv4Tail = __builtin_memcmp(&pb[8], s_abMapped, 4) == 0
                 || __builtin_memcmp(&pb[8], s_abTranslated, 4) == 0
                 || (__builtin_memcmp(&pb[8], s_abZero, 4) == 0 && __builtin_memcmp(&pb[12], s_abZero, 4) != 0
                     && __builtin_memcmp(&pb[12], s_abLoopback, 4) != 0);
    int const cGroups = fIpv4Tail ? 6 : 8;

    uint16_t auGroups[8];
    for (int i = 0; i < 8; i++)
        auGroups[i] = static_cast<uint16_t>((pb[i * 2] << 8) | pb[i * 2 + 1]);

    int iRunStart = -1;
    int cRunBest = 1;
    for (int i = 0; i < cGroups;)
    {
        if (auGroups[i] != 0)
        {
            i++;
            continue;
        }
        int j = i;
        while (j < cGroups && auGroups[j] == 0)
            j++;
        if (j - i > cRunBest)
        {
            cRunBest = j - i;
            iRunStart = i;
        }
        i = j;
    }

    // Eight groups of four digits, seven colons and a dotted tail fit.
    char szText[64];
    int cch = 0;
    bool fAfterRun = false;
    for (int i = 0; i < cGroups; i++)
    {
        if (i == iRunStart)
        {
            szText[cch++] = ':';
            szText[cch++] = ':';
            i += cRunBest - 1;
            fAfterRun = true;
            continue;
        }
        if (i > 0 && !fAfterRun)
            szText[cch++] = ':';
        fAfterRun = false;
        cch += RTFmtNumber(&szText[cch], auGroups[i], 16, -1, -1, FMT_F_32BIT);
    }
    size_t cchOut = pfnOutput(pvArgOutput, szText, static_cast<size_t>(cch));
    if (fIpv4Tail)
    {
        if (!fAfterRun)
            cchOut += pfnOutput(pvArgOutput, ":", 1);
        cchOut += rtFmtIpv4Bytes(pfnOutput, pvArgOutput, &pb[12]);
    }
    return cchOut;
}

size_t rtFmtMac(FmtOutputFn pfnOutput, void *pvArgOutput, const uint8_t *pb)
{
    return RTFmtToCallback(pfnOutput, pvArgOutput, nullptr, nullptr, "%02x:%02x:%02x:%02x:%02x:%02x", pb[0], pb[1],
                           pb[2], pb[3], pb[4], pb[5]);
}

size_t rtFmtNetAddr(FmtOutputFn pfnOutput, void *pvArgOutput, const NetAddress *pAddr)
{
    switch (pAddr->enmType)
    {
        case NETADDR_TYPE_IPV4:
            if (pAddr->uPort == NETADDR_PORT_NONE)
                return rtFmtIpv4Bytes(pfnOutput, pvArgOutput, pAddr->abAddr);
            return RTFmtToCallback(pfnOutput, pvArgOutput, nullptr, nullptr, "%u.%u.%u.%u:%u", pAddr->abAddr[0],
                                   pAddr->abAddr[1], pAddr->abAddr[2], pAddr->abAddr[3], pAddr->uPort);
        case NETADDR_TYPE_IPV6:
            if (pAddr->uPort == NETADDR_PORT_NONE)
                return rtFmtIpv6(pfnOutput, pvArgOutput, pAddr->abAddr);
            return RTFmtToCallback(pfnOutput, pvArgOutput, nullptr, nullptr, "[%RTnaipv6]:%u", pAddr->abAddr,
                                   pAddr->uPort);
        case NETADDR_TYPE_MAC:
            return rtFmtMac(pfnOutput, pvArgOutput, pAddr->abAddr);
        default:
            return RTFmtToCallback(pfnOutput, pvArgOutput, nullptr, nullptr, "unsupported-netaddr-type=%u",
                                   pAddr->enmType);
    }
}

size_t rtFmtUuid(FmtOutputFn pfnOutput, void *pvArgOutput, const uint8_t *pb)
{
    uint32_t u32;
    uint16_t u16A, u16B;
    __builtin_memcpy(&u32, pb, 4);
    __builtin_memcpy(&u16A, pb + 4, 2);
    __builtin_memcpy(&u16B, pb + 6, 2);
    return RTFmtToCallback(pfnOutput, pvArgOutput, nullptr, nullptr,
                           "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", u32, u16A, u16B, pb[8], pb[9],
                           pb[10], pb[11], pb[12], pb[13], pb[14], pb[15]);
}

size_t rtFmtErrInfo(FmtOutputFn pfnOutput, void *pvArgOutput, const RTERRINFO *pErrInfo, bool fWithStatus,
                    unsigned fFlags)
{
    size_t cch = 0;
    if (fWithStatus)
    {
        char szTmp[80];
        cch += RTStatusFormatMessage(pErrInfo->rc, pfnOutput, pvArgOutput, szTmp, sizeof(szTmp));
    }
    if (pErrInfo->cbMsg)
    {
        cch += (fFlags & FMT_F_SPECIAL) ? pfnOutput(pvArgOutput, " - ", 3) : pfnOutput(pvArgOutput, ": ", 2);
        const char *pszMsg = pErrInfo->pszMsg;
        if (rtFmtIsBadPtr(pszMsg))
            return cch + rtFmtBadPointer(pfnOutput, pvArgOutput, pszMsg, -1, 0, "!BadStr");
        size_t cchMsg = 0;
        while (cchMsg < pErrInfo->cbMsg && pszMsg[cchMsg])
            cchMsg++;
        if (cchMsg)
            cch += pfnOutput(pvArgOutput, pszMsg, cchMsg);
    }
    return cch;
}

size_t rtFmtTyped(FmtOutputFn pfnOutput, void *pvArgOutput, const char **ppszFormat, va_list *pArgs, int cchWidth,
                  int cchPrecision, unsigned fFlags)
{
    const char *pszName = *ppszFormat + 1;
    const FmtTypeEntry *pEntry = rtFmtTypeLookup(g_aTypes, RT_ELEMENTS(g_aTypes), pszName);
    if (!pEntry)
    {
        *ppszFormat = pszName + 1;
        return 0;
    }

    FmtTypedValue const Value = rtFmtTakeTyped(*pEntry, pArgs);
    fFlags |= pEntry->fFlags;

    // An errinfo record that cannot be read is no better than an unknown name.
    if (pEntry->enmKind == FMT_KIND_ERRINFO || pEntry->enmKind == FMT_KIND_ERRINFO_MSG)
    {
        auto const *pErrInfo = static_cast<const RTERRINFO *>(Value.pv);
        if (rtFmtIsBadPtr(pErrInfo) || !RTErrInfoIsSet(pErrInfo))
        {
            *ppszFormat = pszName + 1;
            return 0;
        }
        *ppszFormat = pszName + pEntry->cchName;
        return rtFmtErrInfo(pfnOutput, pvArgOutput, pErrInfo, pEntry->enmKind == FMT_KIND_ERRINFO, fFlags);
    }
    *ppszFormat = pszName + pEntry->cchName;

    if (fFlags & FMT_F_HIDE_PTR)
        return (fFlags & FMT_F_SPECIAL) ? pfnOutput(pvArgOutput, "0xXXXXXXXX", 10)
                                        : pfnOutput(pvArgOutput, "XXXXXXXX", 8);

    const uint8_t *pb = static_cast<const uint8_t *>(Value.pv);
    switch (pEntry->enmKind)
    {
        case FMT_KIND_HEXWORD:
            if (cchWidth < 0)
            {
                cchWidth = pEntry->cbValue * 2 + ((fFlags & FMT_F_SPECIAL) ? 2 : 0);
                fFlags |= FMT_F_ZEROPAD;
            }
            [[fallthrough]];
        case FMT_KIND_NUMBER:
            return rtFmtNumberOut(pfnOutput, pvArgOutput, Value.u64, pEntry->uBase, cchWidth, cchPrecision,
                                  fFlags | Value.fSize);
        case FMT_KIND_BOOL:
            return rtFmtBool(pfnOutput, pvArgOutput, Value.u64, fFlags);
        case FMT_KIND_FAR16:
        {
            FmtTypedValue Far16 = Value;
            Far16.u64 = Value.u64 & 0xffff;
            Far16.uSel = static_cast<uint16_t>(Value.u64 >> 16);
            return rtFmtFar(pfnOutput, pvArgOutput, Far16, 4);
        }
        case FMT_KIND_FAR32:
            return rtFmtFar(pfnOutput, pvArgOutput, Value, 8);
        case FMT_KIND_FAR64:
            return rtFmtFar(pfnOutput, pvArgOutput, Value, 16);
        case FMT_KIND_IPV4:
        {
            uint32_t const u32 = static_cast<uint32_t>(Value.u64);
            uint8_t ab[4];
            __builtin_memcpy(ab, &u32, 4);
            return rtFmtIpv4Bytes(pfnOutput, pvArgOutput, ab);
        }
        case FMT_KIND_IPV6:
            if (rtFmtIsBadPtr(pb))
                return rtFmtBadPointer(pfnOutput, pvArgOutput, pb, cchWidth, fFlags, "!BadIPv6");
            return rtFmtIpv6(pfnOutput, pvArgOutput, pb);
        case FMT_KIND_MAC:
            if (rtFmtIsBadPtr(pb))
                return rtFmtBadPointer(pfnOutput, pvArgOutput, pb, cchWidth, fFlags, "!BadMac");
            return rtFmtMac(pfnOutput, pvArgOutput, pb);
        case FMT_KIND_NETADDR:
            if (rtFmtIsBadPtr(pb))
                return rtFmtBadPointer(pfnOutput, pvArgOutput, pb, cchWidth, fFlags, "!BadNetAddr");
            return rtFmtNetAddr(pfnOutput, pvArgOutput, static_cast<const NetAddress *>(Value.pv));
        case FMT_KIND_UUID:
            if (rtFmtIsBadPtr(pb))
                return rtFmtBadPointer(pfnOutput, pvArgOutput, pb, cchWidth, fFlags, "!BadUuid");
            return rtFmtUuid(pfnOutput, pvArgOutput, pb);
        default:
            return 0;
    }
}

using FmtStatusFn = size_t (*)(int32_t rc, FmtOutputFn pfnOutput, void *pvArgOutput, char *pszTmp, size_t cbTmp);

struct FmtStatusStyle
{
    char ch;
    FmtStatusFn pfn;
};

constexpr FmtStatusStyle g_aStatusStyles[] = {
    {'c', RTStatusFormatName},
    {'s', RTStatusFormatMessage},
    {'f', RTStatusFormatMessage},
    {'a', RTStatusFormatAll},
};

constexpr FmtStatusStyle g_aWinErrStyles[] = {
    {'c', RTWinErrFormatName},
    {'f', RTWinErrFormatName},
    {'a', RTWinErrFormatAll},
};

// The value is taken before the style letter is known, so an unknown style
// still consumes its argument and the list stays in step.
template <size_t N>
size_t rtFmtStatusFamily(FmtOutputFn pfnOutput, void *pvArgOutput, const char **ppszFormat, va_list *pArgs,
                         const char *pchStyle, const FmtStatusStyle (&aStyles)[N])
{
    if (*pchStyle == '\0')
    {
        *ppszFormat = pchStyle;
        return 0;
    }
    int32_t const rc = va_arg(*pArgs, int32_t);
    *ppszFormat = pchStyle + 1;
    for (FmtStatusStyle const &Style : aStyles)
        if (Style.ch == *pchStyle)
        {
            char szTmp[80];
            return Style.pfn(rc, pfnOutput, pvArgOutput, szTmp, sizeof(szTmp));
        }
    return 0;
}

bool rtFmtIsOneOf(char ch, const char *pszSet)
{
    for (; *pszSet; pszSet++)
        if (*pszSet == ch)
            return true;
    return false;
}

} // namespace

const FmtTypeEntry *rtFmtTypeLookup(const FmtTypeEntry *paEntries, size_t cEntries, const char *pszText)
{
    // Probing until the range is empty reaches the first and last rows too.
    size_t iLo = 0;
    size_t iHi = cEntries;
    while (iLo < iHi)
    {
        size_t const i = iLo + (iHi - iLo) / 2;
        int const iDiff = rtFmtPrefixCmp(pszText, paEntries[i]);
        if (iDiff == 0)
            return &paEntries[i];
        if (iDiff < 0)
            iHi = i;
        else
            iLo = i + 1;
    }
    return nullptr;
}

size_t RTFmtRuntimeType(FmtOutputFn pfnOutput, void *pvArgOutput, const char **ppszFormat, va_list *pArgs,
                        int cchWidth, int cchPrecision, unsigned fFlags, char chArgSize)
{
    const char *psz = *ppszFormat;
    char const chFamily = psz[1];
    if (chFamily == '\0')
    {
        *ppszFormat = psz + 1;
        return 0;
    }
    if (rtFmtIsOneOf(chFamily, "CGHIKRTUX"))
        return rtFmtTyped(pfnOutput, pvArgOutput, ppszFormat, pArgs, cchWidth, cchPrecision, fFlags);

    switch (chFamily)
    {
        case 'r':
            return rtFmtStatusFamily(pfnOutput, pvArgOutput, ppszFormat, pArgs, psz + 2, g_aStatusStyles);
        case 'w':
            return rtFmtStatusFamily(pfnOutput, pvArgOutput, ppszFormat, pArgs, psz + 2, g_aWinErrStyles);
        case 'h':
            if (psz[2] == 'r')
                return rtFmtStatusFamily(pfnOutput, pvArgOutput, ppszFormat, pArgs, psz + 3, g_aWinErrStyles);
            if (psz[2] != '\0' && rtFmtIsOneOf(psz[2], "xXcu"))
                break;
            *ppszFormat = psz[2] == '\0' ? psz + 2 : psz + 3;
            return 0;
        case 'b':
        case 'f':
        case 'D':
        case 'M':
        case 'A':
            break;
        default:
            *ppszFormat = psz + 2;
            return 0;
    }

    *ppszFormat = psz + 1;
    return rtFmtExtendedType(pfnOutput, pvArgOutput, ppszFormat, pArgs, cchWidth, cchPrecision, fFlags, chArgSize);
}
