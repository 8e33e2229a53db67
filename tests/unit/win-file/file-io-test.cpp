// Reading and writing: full and partial transfers, end of file, the
// chunked retry when the system is short of memory, and disk-full
// classification by file system.
#include "fs-test-util.h"

#include <vector>

#include <quab/file.h>

#include "r3/win/fileint-win.h"

namespace {

// A replaceable ReadFile/WriteFile: requests larger than cbFailAbove fail
// with dwErr; every request size is recorded.
struct FakeIo {
    DWORD cbFailAbove = ~0u;
    DWORD dwErr = ERROR_NOT_ENOUGH_MEMORY;
    DWORD cbZeroAfter = ~0u;        // once this much went through, transfer nothing
    DWORD cbDone = 0;
    std::vector<DWORD> aRequests;
};
FakeIo g_Io;

BOOL WINAPI fakeWriteFile(HANDLE h, const void *pv, DWORD cb, DWORD *pcb, OVERLAPPED *pOv)
{
    g_Io.aRequests.push_back(cb);
    if (cb > g_Io.cbFailAbove) {
        SetLastError(g_Io.dwErr);
        return FALSE;
    }
    if (g_Io.cbDone >= g_Io.cbZeroAfter) {
        *pcb = 0;
        return TRUE;
    }
    BOOL const fOk = WriteFile(h, pv, cb, pcb, pOv);
    g_Io.cbDone += *pcb;
    return fOk;
}

BOOL WINAPI fakeReadFile(HANDLE h, void *pv, DWORD cb, DWORD *pcb, OVERLAPPED *pOv)
{
    g_Io.aRequests.push_back(cb);
    if (cb > g_Io.cbFailAbove) {
        SetLastError(g_Io.dwErr);
        return FALSE;
    }
    return ReadFile(h, pv, cb, pcb, pOv);
}

const char16_t *g_pwszFsName = u"NTFS";
RTNTSTATUS g_rcNtVolume = 0;

RTNTSTATUS NTAPI fakeQueryVolume(HANDLE, RTNTIOSTATUSBLOCK *pIos, void *pv, ULONG cb, ULONG uClass)
{
    if (g_rcNtVolume)
        return g_rcNtVolume;
    auto *pInfo = static_cast<RTNTFSATTRIBUTEINFO *>(pv);
    ULONG cwc = 0;
    while (g_pwszFsName[cwc])
        cwc++;
    if (uClass != RTNT_FileFsAttributeInformation || cb < 12 + cwc * 2)
        return static_cast<RTNTSTATUS>(0xC0000004);
    pInfo->FileSystemAttributes = 0;
    pInfo->MaximumComponentNameLength = 255;
    pInfo->FileSystemNameLength = cwc * 2;
    memcpy(pInfo->FileSystemName, g_pwszFsName, cwc * 2);
    pIos->Status = 0;
    pIos->Information = 12 + cwc * 2;
    return 0;
}

class FileIoTest : public FsScratchTest {
protected:
    void SetUp() override
    {
        FsScratchTest::SetUp();
        g_Io = FakeIo();
        g_pwszFsName = u"NTFS";
        g_rcNtVolume = 0;
    }
    void TearDown() override
    {
        g_pfnrtFileReadFile = m_pfnRead;
        g_pfnrtFileWriteFile = m_pfnWrite;
        g_pfnrtFileNtQueryVolumeInformationFile = m_pfnVolume;
        FsScratchTest::TearDown();
    }
    PFNRTREADFILE m_pfnRead = g_pfnrtFileReadFile;
    PFNRTWRITEFILE m_pfnWrite = g_pfnrtFileWriteFile;
    PFNRTNTQUERYVOLUMEINFORMATIONFILE m_pfnVolume = g_pfnrtFileNtQueryVolumeInformationFile;
};

std::string pattern(size_t cb)
{
    std::string s(cb, '\0');
    for (size_t i = 0; i < cb; i++)
        s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return s;
}

} // namespace

TEST_F(FileIoTest, FullAndPartialReads)
{
    writeFile(path("ten"), "0123456789");
    FileHandle h;
    ASSERT_EQ(RTFileOpenPath(&h, path("ten").c_str(), 0x701, nullptr), RT_OK);
    char ab[20];
    EXPECT_EQ(RTFileRead(h, ab, 20, nullptr), RTE_EOF);   // the whole count or nothing
    SetFilePointer(h, 0, nullptr, FILE_BEGIN);
    size_t cbRead = 99;
    EXPECT_EQ(RTFileRead(h, ab, 20, &cbRead), RT_OK);
    EXPECT_EQ(cbRead, 10u);
    EXPECT_EQ(std::string(ab, 10), "0123456789");
    EXPECT_EQ(RTFileRead(h, ab, 20, &cbRead), RT_OK);     // at the end: zero bytes, not an error
    EXPECT_EQ(cbRead, 0u);
    cbRead = 99;
    EXPECT_EQ(RTFileRead(h, ab, 0, &cbRead), RT_OK);
    EXPECT_EQ(cbRead, 0u);
    SetFilePointer(h, 4, nullptr, FILE_BEGIN);
    EXPECT_EQ(RTFileRead(h, ab, 6, nullptr), RT_OK);
    EXPECT_EQ(std::string(ab, 6), "456789");
    EXPECT_EQ(RTFileClose(h), RT_OK);

    // A handle without read access fails with the converted error.
    ASSERT_EQ(RTFileOpenPath(&h, path("ten").c_str(), 0x702, nullptr), RT_OK);
    EXPECT_EQ(RTFileRead(h, ab, 5, nullptr), RTE_ACCESS_DENIED);
    EXPECT_EQ(RTFileClose(h), RT_OK);
}

TEST_F(FileIoTest, ChunkedWriteWhenShortOfMemory)
{
    g_pfnrtFileWriteFile = fakeWriteFile;
    g_Io.cbFailAbove = 0x2000;
    std::string const sData = pattern(100000);
    FileHandle h;
    ASSERT_EQ(RTFileOpenPath(&h, path("w").c_str(), 0x322, nullptr), RT_OK);
    EXPECT_EQ(RTFileWrite(h, sData.data(), sData.size(), nullptr), RT_OK);
    EXPECT_EQ(RTFileClose(h), RT_OK);
    EXPECT_EQ(readFile(path("w")), sData);
    // The whole count, then 32 KiB halved until the system takes it.
    ASSERT_GE(g_Io.aRequests.size(), 4u);
    EXPECT_EQ(g_Io.aRequests[0], 100000u);
    EXPECT_EQ(g_Io.aRequests[1], 0x8000u);
    EXPECT_EQ(g_Io.aRequests[2], 0x4000u);
    EXPECT_EQ(g_Io.aRequests[3], 0x2000u);
    for (size_t i = 3; i + 1 < g_Io.aRequests.size(); i++)
        EXPECT_EQ(g_Io.aRequests[i], 0x2000u);

    // A small request: half of it rounded up to 256 bytes; the chunk stops
    // halving at 8 bytes and the error is returned.
    g_Io = FakeIo();
    g_Io.cbFailAbove = 0;
    ASSERT_EQ(RTFileOpenPath(&h, path("w2").c_str(), 0x322, nullptr), RT_OK);
    EXPECT_EQ(RTFileWrite(h, sData.data(), 1000, nullptr), RTE_NO_MEMORY);
    std::vector<DWORD> const aExpected = {1000, 512, 256, 128, 64, 32, 16, 8};
    EXPECT_EQ(g_Io.aRequests, aExpected);
    EXPECT_EQ(RTFileClose(h), RT_OK);

    // With a bytes-written output the first chunk that goes through ends the call.
    g_Io = FakeIo();
    g_Io.cbFailAbove = 0x1000;
    ASSERT_EQ(RTFileOpenPath(&h, path("w3").c_str(), 0x322, nullptr), RT_OK);
    size_t cbWritten = 0;
    EXPECT_EQ(RTFileWrite(h, sData.data(), 50000, &cbWritten), RT_OK);
    EXPECT_EQ(cbWritten, 3136u);   // 25088, 12544, 6272 refused; 3136 taken
    std::vector<DWORD> const aExpected3 = {50000, 25088, 12544, 6272, 3136};
    EXPECT_EQ(g_Io.aRequests, aExpected3);
    EXPECT_EQ(RTFileClose(h), RT_OK);
}

TEST_F(FileIoTest, ChunkedReadWhenShortOfMemory)
{
    std::string const sData = pattern(70000);
    writeFile(path("r"), sData);
    g_pfnrtFileReadFile = fakeReadFile;
    g_Io.cbFailAbove = 0x1000;
    FileHandle h;
    ASSERT_EQ(RTFileOpenPath(&h, path("r").c_str(), 0x701, nullptr), RT_OK);
    std::string sBuf(sData.size(), '\0');
    EXPECT_EQ(RTFileRead(h, &sBuf[0], sBuf.size(), nullptr), RT_OK);
    EXPECT_EQ(sBuf, sData);
    ASSERT_GE(g_Io.aRequests.size(), 5u);
    std::vector<DWORD> const aHead(g_Io.aRequests.begin(), g_Io.aRequests.begin() + 4);
    std::vector<DWORD> const aExpected = {70000, 0x4000, 0x2000, 0x1000};
    EXPECT_EQ(aHead, aExpected);

    // Past the end: a chunk of zero bytes is the end of file.
    SetFilePointer(h, 69000, nullptr, FILE_BEGIN);
    EXPECT_EQ(RTFileRead(h, &sBuf[0], 5000, nullptr), RTE_EOF);
    EXPECT_EQ(RTFileClose(h), RT_OK);
}

TEST_F(FileIoTest, WriteWithoutProgressAndPartialWrites)
{
    g_pfnrtFileWriteFile = fakeWriteFile;
    g_Io.cbZeroAfter = 0;
    FileHandle h;
    ASSERT_EQ(RTFileOpenPath(&h, path("z").c_str(), 0x322, nullptr), RT_OK);
    EXPECT_EQ(RTFileWrite(h, "abc", 3, nullptr), RTE_WRITE_ERROR);
    size_t cbWritten = 99;
    EXPECT_EQ(RTFileWrite(h, "abc", 3, &cbWritten), RT_OK);
    EXPECT_EQ(cbWritten, 0u);
    EXPECT_EQ(RTFileWrite(h, "abc", 0, nullptr), RT_OK);
    EXPECT_EQ(RTFileClose(h), RT_OK);
}

TEST_F(FileIoTest, DiskFullIsClassifiedByFileSystem)
{
    struct Case {
        const char16_t *pwszFs;
        uint64_t offPos;
        int32_t rc;
    } const aCases[] = {
        {u"FAT32", UINT64_C(5) << 30, RTE_FILE_TOO_BIG},
        {u"NTFS", UINT64_C(5) << 30, RTE_DISK_FULL},
        {u"FAT", UINT64_C(4) << 30, RTE_FILE_TOO_BIG},        // at the limit counts
        {u"FAT32", (UINT64_C(4) << 30) - 200, RTE_DISK_FULL},   // the wanted end stays below 4 GiB
        {u"HPFS", UINT64_C(2) << 30, RTE_FILE_TOO_BIG},
        {u"CDFS", UINT64_C(5) << 30, RTE_DISK_FULL},
        {u"fat32", UINT64_C(5) << 30, RTE_DISK_FULL},          // names compare exactly
        {u"FAT32", 1000, RTE_DISK_FULL},                        // small files never ask
    };
    g_pfnrtFileWriteFile = fakeWriteFile;
    g_pfnrtFileNtQueryVolumeInformationFile = fakeQueryVolume;
    g_Io.cbFailAbove = 0;
    g_Io.dwErr = ERROR_DISK_FULL;
    FileHandle h;
    ASSERT_EQ(RTFileOpenPath(&h, path("big").c_str(), 0x322, nullptr), RT_OK);
    for (auto const &c : aCases) {
        g_pwszFsName = c.pwszFs;
        LONG offHigh = static_cast<LONG>(c.offPos >> 32);
        SetFilePointer(h, static_cast<LONG>(c.offPos & 0xFFFFFFFF), &offHigh, FILE_BEGIN);
        ASSERT_EQ(RTFileGetPos(h), c.offPos);
        EXPECT_EQ(RTFileWrite(h, "0123456789", 10, nullptr), c.rc) << (const wchar_t *)c.pwszFs << " " << c.offPos;
    }
    // An unreadable volume leaves a plain disk-full.
    g_rcNtVolume = static_cast<RTNTSTATUS>(0xC0000022);
    LONG offHigh = 5;
    SetFilePointer(h, 0, &offHigh, FILE_BEGIN);
    EXPECT_EQ(RTFileWrite(h, "x", 1, nullptr), RTE_DISK_FULL);
    EXPECT_EQ(RTFileClose(h), RT_OK);
}

TEST_F(FileIoTest, FileSystemKind)
{
    struct Case {
        const char16_t *pwszFs;
        FsKind enmKind;
    } const aCases[] = {
        {u"NTFS", FsKind_NTFS}, {u"FAT", FsKind_FAT}, {u"FAT32", FsKind_FAT32}, {u"exFAT", FsKind_exFAT},
        {u"UDF", FsKind_UDF}, {u"CDFS", FsKind_CDFS}, {u"HPFS", FsKind_HPFS}, {u"ReFS", FsKind_ReFS},
        {u"MorvSharedFolderFS", FsKind_MorvSharedFolderFS}, {u"NTFS2", FsKind_Unknown}, {u"ntfs", FsKind_Unknown},
        {u"FA", FsKind_Unknown},
    };
    FileHandle h;
    ASSERT_EQ(RTFileOpenPath(&h, path("k").c_str(), 0x322, nullptr), RT_OK);
    FsKind enmReal = FsKind_Unknown;
    EXPECT_EQ(RTFileGetFsKind(h, &enmReal), RT_OK);
    printf("file-system kind of the prefix's drive: %u\n", enmReal);

    g_pfnrtFileNtQueryVolumeInformationFile = fakeQueryVolume;
    for (auto const &c : aCases) {
        g_pwszFsName = c.pwszFs;
        FsKind enmKind = static_cast<FsKind>(99);
        EXPECT_EQ(RTFileGetFsKind(h, &enmKind), RT_OK);
        EXPECT_EQ(enmKind, c.enmKind) << (const wchar_t *)c.pwszFs;
    }
    g_rcNtVolume = static_cast<RTNTSTATUS>(0xC0000008);
    FsKind enmKind = FsKind_NTFS;
    EXPECT_EQ(RTFileGetFsKind(h, &enmKind), RTE_INVALID_HANDLE);
    EXPECT_EQ(enmKind, FsKind_Unknown);
    EXPECT_EQ(RTFileClose(h), RT_OK);
}
