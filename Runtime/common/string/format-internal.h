// Internal interfaces between the formatting engine, the %R runtime types and
// the extended %R families: bad-pointer rendering and the family entry points.
#pragma once

#include <quab/fmt.h>

// A pointer the formatter must not dereference: within 4 KiB of address 0 or
// of the top of the address space.
inline bool rtFmtIsBadPtr(const void *pv)
{
    return !RTPtrIsValid(pv);
}

// Renders a bad pointer in place of the value it points at: "<NULL>" for a
// null pointer, else "<" + the value as hex digits (two per pointer byte) +
// pszMarker + ">", padded to cchWidth with blanks (after with FMT_F_LEFT).
size_t rtFmtBadPointer(FmtOutputFn pfnOutput, void *pvArgOutput, const void *pv, int cchWidth, unsigned fFlags,
                       const char *pszMarker);

// Outputs cch blanks (nothing when cch <= 0) and returns the callback total.
size_t rtFmtPadBlanks(FmtOutputFn pfnOutput, void *pvArgOutput, int cch);

// The extended %R families h (hx, hX, hc, hu; not hr), b, f, D, M and A. The
// cursor points at the family letter (the one after the R) on entry and is
// left behind the last character of the directive it recognised.
size_t rtFmtExtendedType(FmtOutputFn pfnOutput, void *pvArgOutput, const char **ppszFormat, va_list *pArgs,
                         int cchWidth, int cchPrecision, unsigned fFlags, char chArgSize);

// The %R[name] custom conversions; the cursor points at the '[' on entry.
size_t rtFmtCustomType(FmtOutputFn pfnOutput, void *pvArgOutput, const char **ppszFormat, va_list *pArgs,
                       int cchWidth, int cchPrecision, unsigned fFlags, char chArgSize);

// What a row of a %R name table describes.
enum FmtTypeKind : uint32_t
{
    FMT_KIND_NUMBER = 0,
    FMT_KIND_HEXWORD = 1,
    FMT_KIND_BOOL = 2,
    FMT_KIND_FAR16 = 3,
    FMT_KIND_FAR32 = 4,
    FMT_KIND_FAR64 = 5,
    FMT_KIND_IPV4 = 6,
    FMT_KIND_IPV6 = 7,
    FMT_KIND_MAC = 8,
    FMT_KIND_NETADDR = 9,
    FMT_KIND_UUID = 10,
    FMT_KIND_ERRINFO = 11,
    FMT_KIND_ERRINFO_MSG = 12,
};

// One row of a %R name table; tables are sorted by the byte values of the
// names so that they can be searched by halving.
struct FmtTypeEntry
{
    uint8_t cchName;
    char szName[11];
    uint8_t cbValue;
    uint8_t uBase;
    FmtTypeKind enmKind;
    uint16_t fFlags;
};

// Finds the row whose name is a prefix of pszText; nullptr when none is.
// Never reads pszText past its terminator.
const FmtTypeEntry *rtFmtTypeLookup(const FmtTypeEntry *paEntries, size_t cEntries, const char *pszText);

// Far pointers as they are passed by value to %RTfp16, %RTfp32 and %RTfp64.
struct RTFAR16
{
    uint16_t off;
    uint16_t sel;
};
struct RTFAR32
{
    uint32_t off;
    uint16_t sel;
};
// The 64-bit offset is kept in two halves so the record is 12 bytes with
// every compiler's alignment rules.
struct RTFAR64
{
    uint32_t offLo;
    uint32_t offHi;
    uint16_t sel;
};

// A network address for %RTnaddr: IPv4 in the first 4 bytes, IPv6 in all 16,
// a MAC address in the first 6.
struct NetAddress
{
    uint8_t abAddr[16];
    uint32_t enmType;   // NETADDR_TYPE_*
    uint32_t uPort;     // NETADDR_PORT_NONE when there is none
};
inline constexpr uint32_t NETADDR_TYPE_IPV4 = 1;
inline constexpr uint32_t NETADDR_TYPE_IPV6 = 2;
inline constexpr uint32_t NETADDR_TYPE_MAC = 4;
inline constexpr uint32_t NETADDR_PORT_NONE = 0xffffffffu;
