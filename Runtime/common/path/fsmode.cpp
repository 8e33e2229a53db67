// The POSIX-style mode word made from Windows file attributes.
#include <quab/file.h>

namespace {

inline constexpr uint32_t kAttrReadOnly = 0x0001;
inline constexpr uint32_t kAttrDirectory = 0x0010;
inline constexpr uint32_t kAttrReparsePoint = 0x0400;
inline constexpr uint32_t kReparseTagSymlink = 0xA000000C;

// Suffixes that make a file executable for the permission bits.
constexpr char g_aszExecSuffixes[][4] = {"exe", "bat", "com", "cmd", "btm"};

bool isExecutableName(const RTUTF16 *pwszName, size_t cwcName)
{
    if (!pwszName || cwcName < 4 || pwszName[cwcName - 4] != u'.')
        return false;
    const RTUTF16 *pwszSuffix = pwszName + cwcName - 3;
    for (auto const &szSuffix : g_aszExecSuffixes) {
        bool fMatch = true;
        for (unsigned i = 0; i < 3 && fMatch; i++) {
            RTUTF16 wc = pwszSuffix[i];
            if (wc >= u'A' && wc <= u'Z')
                wc = static_cast<RTUTF16>(wc - u'A' + u'a');
            fMatch = wc == static_cast<RTUTF16>(szSuffix[i]);
        }
        if (fMatch)
            return true;
    }
    return false;
}

} // namespace

uint32_t RTFsModeFromWinAttributes(uint32_t fAttributes, const RTUTF16 *pwszName, size_t cwcName, uint32_t uReparseTag)
{
    uint32_t fMode = (fAttributes & 0x7FFF) << RTFS_DOS_SHIFT;
    bool const fDir = (fAttributes & kAttrDirectory) != 0;
    if (fDir)
        fMode |= RTFS_TYPE_DIRECTORY | 0555;
    else
        fMode |= RTFS_TYPE_FILE | (isExecutableName(pwszName, cwcName) ? 0555 : 0444);
    if ((fAttributes & kAttrReparsePoint) && uReparseTag == kReparseTagSymlink)
        fMode = (fMode & ~RTFS_TYPE_MASK) | RTFS_TYPE_SYMLINK;
    if (!(fAttributes & kAttrReadOnly) || fDir)
        fMode |= 0222;
    return fMode;
}
