// The mode word made from Windows attributes, and the random draws behind
// unique directory names.
#include <gtest/gtest.h>

#include <set>

#include <quab/file.h>
#include <quab/rand.h>

TEST(FsMode, FromWinAttributes)
{
    struct Case {
        uint32_t fAttr;
        const char16_t *pwszName;
        uint32_t uTag;
        uint32_t fLow;   // expected POSIX part
    } const aCases[] = {
        {0x80, u"readme.txt", 0, RTFS_TYPE_FILE | 0666},
        {0x01, u"readme.txt", 0, RTFS_TYPE_FILE | 0444},          // read-only file: no write bits
        {0x20, u"setup.EXE", 0, RTFS_TYPE_FILE | 0777},
        {0x20, u"x.Bat", 0, RTFS_TYPE_FILE | 0777},
        {0x20, u"x.cmd", 0, RTFS_TYPE_FILE | 0777},
        {0x20, u"x.com", 0, RTFS_TYPE_FILE | 0777},
        {0x21, u"x.btm", 0, RTFS_TYPE_FILE | 0555},
        {0x20, u"exe", 0, RTFS_TYPE_FILE | 0666},                 // no dot before the suffix
        {0x20, u"x.exe2", 0, RTFS_TYPE_FILE | 0666},
        {0x20, nullptr, 0, RTFS_TYPE_FILE | 0666},
        {0x10, u"dir.exe", 0, RTFS_TYPE_DIRECTORY | 0777},
        {0x11, u"dir", 0, RTFS_TYPE_DIRECTORY | 0777},            // read-only does not apply to directories
        {0x420, u"link", 0xA000000C, RTFS_TYPE_SYMLINK | 0666},
        {0x410, u"dirlink", 0xA000000C, RTFS_TYPE_SYMLINK | 0777},
        {0x410, u"junction", 0xA0000003, RTFS_TYPE_DIRECTORY | 0777},   // only symbolic links are links
    };
    for (auto const &c : aCases) {
        size_t cwc = 0;
        if (c.pwszName)
            while (c.pwszName[cwc])
                cwc++;
        uint32_t const fMode = RTFsModeFromWinAttributes(c.fAttr, c.pwszName, cwc, c.uTag);
        EXPECT_EQ(fMode & RTFS_UNIX_MASK, c.fLow) << std::hex << c.fAttr;
        EXPECT_EQ(fMode >> RTFS_DOS_SHIFT, c.fAttr & 0x7FFF) << std::hex << c.fAttr;
    }
    EXPECT_EQ(RTFsModeFromWinAttributes(0x8080, nullptr, 0, 0) >> RTFS_DOS_SHIFT, 0x80u);   // only 15 bits kept
}

TEST(Rand, RangeStaysInsideAndCoversIt)
{
    std::set<uint32_t> seen;
    for (int i = 0; i < 5000; i++) {
        uint32_t const u = RTRandRange(0, 35);
        ASSERT_LE(u, 35u);
        seen.insert(u);
    }
    EXPECT_EQ(seen.size(), 36u);
    for (int i = 0; i < 1000; i++) {
        uint32_t const u = RTRandRange(100, 103);
        ASSERT_GE(u, 100u);
        ASSERT_LE(u, 103u);
    }
    EXPECT_EQ(RTRandRange(7, 7), 7u);
}
