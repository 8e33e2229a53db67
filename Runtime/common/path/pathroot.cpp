// Recognising the root of a DOS-style path.
#include "path-internal.h"

RTPATHROOT rtPathParseRoot(const char *psz)
{
    if (rtPathIsLetter(psz[0]) && psz[1] == ':')
        return rtPathIsSep(psz[2]) ? RTPATHROOT{kRtPathRoot_Drive, 3} : RTPATHROOT{kRtPathRoot_DriveRelative, 2};
    if (!rtPathIsSep(psz[0]))
        return {kRtPathRoot_Relative, 0};
    if (!rtPathIsSep(psz[1]))
        return {kRtPathRoot_RootRelative, 1};
    if ((psz[2] == '.' || psz[2] == '?') && rtPathIsSep(psz[3]))
        return {kRtPathRoot_Device, 4};

    // \\server\share\ : the root takes everything up to and including the
    // separator after the share (or what there is of it).
    size_t off = 2;
    while (psz[off] && !rtPathIsSep(psz[off]))
        off++;
    if (psz[off])
        off++;
    while (psz[off] && !rtPathIsSep(psz[off]))
        off++;
    if (psz[off])
        off++;
    return {kRtPathRoot_Unc, off};
}

size_t rtPathRootSpecLen(const char *psz)
{
    RTPATHROOT const Root = rtPathParseRoot(psz);
    switch (Root.enmKind) {
        case kRtPathRoot_Drive: return 3;
        case kRtPathRoot_DriveRelative: return 2;
        case kRtPathRoot_RootRelative: return 1;
        case kRtPathRoot_Unc:
        case kRtPathRoot_Device: return Root.cchRoot;
        default: return 0;
    }
}
