// Directories: creation, unique names from templates, removal, handles
// that keep a directory in place, and information by path.
#include "../win-file/fs-test-util.h"

#include <sddl.h>

#include <set>
#include <vector>

#include <quab/dir.h>
#include <quab/file.h>

#include "r3/win/dirsec-win.h"

namespace {

class DirTest : public FsScratchTest {};

bool onlyBase36(const std::string &s)
{
    for (char ch : s)
        if (!((ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'z')))
            return false;
    return true;
}

// The DACL of an object as read back from the system: whether it is
// protected, and its entries as (SID string, mask, flags).
struct AceView {
    std::string sSid;
    DWORD fMask;
    BYTE fFlags;
    BYTE bType;
};
struct DaclView {
    bool fRead = false;
    bool fProtected = false;
    std::vector<AceView> aAces;
};

DaclView readDacl(const std::string &sPath)
{
    DaclView View;
    std::wstring const wsPath = fsWide(sPath);
    DWORD cbNeeded = 0;
    GetFileSecurityW(wsPath.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &cbNeeded);
    std::vector<BYTE> abSd(cbNeeded ? cbNeeded : 1);
    if (!GetFileSecurityW(wsPath.c_str(), DACL_SECURITY_INFORMATION, abSd.data(), cbNeeded, &cbNeeded))
        return View;
    SECURITY_DESCRIPTOR_CONTROL fControl = 0;
    DWORD uRevision = 0;
    GetSecurityDescriptorControl(abSd.data(), &fControl, &uRevision);
    View.fProtected = (fControl & SE_DACL_PROTECTED) != 0;
    BOOL fPresent = FALSE, fDefaulted = FALSE;
    ACL *pAcl = nullptr;
    if (!GetSecurityDescriptorDacl(abSd.data(), &fPresent, &pAcl, &fDefaulted) || !fPresent || !pAcl)
        return View;
    View.fRead = true;
    for (DWORD i = 0; i < pAcl->AceCount; i++) {
        ACE_HEADER *pHdr = nullptr;
        if (!GetAce(pAcl, i, reinterpret_cast<void **>(&pHdr)))
            continue;
        AceView Ace = {"", 0, pHdr->AceFlags, pHdr->AceType};
        if (pHdr->AceType == ACCESS_ALLOWED_ACE_TYPE || pHdr->AceType == ACCESS_DENIED_ACE_TYPE) {
            auto *pAce = reinterpret_cast<ACCESS_ALLOWED_ACE *>(pHdr);
            Ace.fMask = pAce->Mask;
            char *pszSid = nullptr;
            if (ConvertSidToStringSidA(&pAce->SidStart, &pszSid)) {
                Ace.sSid = pszSid;
                LocalFree(pszSid);
            }
        }
        View.aAces.push_back(Ace);
    }
    return View;
}

std::string currentUserSid()
{
    HANDLE hToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken))
        return "";
    BYTE abBuf[256];
    DWORD cb = 0;
    std::string sSid;
    if (GetTokenInformation(hToken, TokenUser, abBuf, sizeof(abBuf), &cb)) {
        char *pszSid = nullptr;
        if (ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER *>(abBuf)->User.Sid, &pszSid)) {
            sSid = pszSid;
            LocalFree(pszSid);
        }
    }
    CloseHandle(hToken);
    return sSid;
}

std::set<std::string> sidsOf(const DaclView &View)
{
    std::set<std::string> Sids;
    for (auto const &Ace : View.aAces)
        Sids.insert(Ace.sSid);
    return Sids;
}

} // namespace

TEST(DirSecurity, PrivateDescriptorIsProtectedAndInheritable)
{
    std::string const sUser = currentUserSid();
    ASSERT_FALSE(sUser.empty());
    RTDIRPRIVATESECURITY Sec;
    ASSERT_EQ(rtDirInitPrivateSecurity(&Sec), RT_OK);
    ASSERT_TRUE(IsValidSecurityDescriptor(&Sec.Sd));
    SECURITY_DESCRIPTOR_CONTROL fControl = 0;
    DWORD uRevision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(&Sec.Sd, &fControl, &uRevision));
    EXPECT_EQ(fControl & (SE_DACL_PRESENT | SE_DACL_PROTECTED | SE_DACL_DEFAULTED),
              SE_DACL_PRESENT | SE_DACL_PROTECTED);
    BOOL fPresent = FALSE, fDefaulted = FALSE;
    ACL *pAcl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(&Sec.Sd, &fPresent, &pAcl, &fDefaulted));
    ASSERT_TRUE(fPresent && pAcl);
    ASSERT_TRUE(IsValidAcl(pAcl));
    std::set<std::string> Sids;
    for (DWORD i = 0; i < pAcl->AceCount; i++) {
        ACCESS_ALLOWED_ACE *pAce = nullptr;
        ASSERT_TRUE(GetAce(pAcl, i, reinterpret_cast<void **>(&pAce)));
        EXPECT_EQ(pAce->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(pAce->Mask, static_cast<DWORD>(FILE_ALL_ACCESS));
        // Inheritable, so that the packages written inside get the same.
        EXPECT_EQ(pAce->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        char *pszSid = nullptr;
        ASSERT_TRUE(ConvertSidToStringSidA(&pAce->SidStart, &pszSid));
        Sids.insert(pszSid);
        LocalFree(pszSid);
    }
    EXPECT_EQ(Sids, (std::set<std::string>{sUser, "S-1-5-18", "S-1-5-32-544"}));
    EXPECT_EQ(pAcl->AceCount, Sids.size());   // one entry per principal
}

TEST_F(DirTest, PrivateModeKeepsOthersOut)
{
    // The scratch directory lives in the shared temporary directory and
    // grants what that grants. This Wine stores no descriptor: it turns the
    // DACL into the Unix mode of the directory and reads one back made from
    // that mode, so what can be seen here is that nobody but the owner (and
    // SYSTEM, which Wine always adds) has an entry.
    std::string const sUser = currentUserSid();
    std::set<std::string> const Private = {sUser, "S-1-5-18", "S-1-5-32-544"};
    char szUnique[1024];
    strcpy(szUnique, path("uXXXXXX").c_str());
    ASSERT_EQ(RTDirMakeUnique(szUnique, 0700), RT_OK);
    ASSERT_EQ(RTDirMake(path("private").c_str(), 0700, 0), RT_OK);
    ASSERT_EQ(RTDirMake(path("bare").c_str(), RTFS_TYPE_DIRECTORY, 0), RT_OK);   // no permission bits at all
    for (std::string const &sDir : {std::string(szUnique), path("private"), path("bare")}) {
        DaclView const View = readDacl(sDir);
        ASSERT_TRUE(View.fRead) << sDir;
        std::set<std::string> const Sids = sidsOf(View);
        EXPECT_TRUE(Sids.count(sUser)) << sDir;
        for (auto const &sSid : Sids)
            EXPECT_TRUE(Private.count(sSid)) << sDir << ": " << sSid;
        // Where the system keeps the descriptor as given, it is protected.
        if (Sids == Private) {
            EXPECT_TRUE(View.fProtected) << sDir;
        }
    }

    // A mode that grants group or others anything keeps the parent's
    // security, as before: here that includes everyone.
    for (uint32_t fMode : {0750u, 0705u, 0755u, 0777u}) {
        std::string const sDir = path("shared" + std::to_string(fMode));
        ASSERT_EQ(RTDirMake(sDir.c_str(), fMode, 0), RT_OK) << fMode;
        DaclView const View = readDacl(sDir);
        ASSERT_TRUE(View.fRead) << fMode;
        EXPECT_FALSE(View.fProtected) << fMode;
        EXPECT_TRUE(sidsOf(View).count("S-1-1-0")) << fMode;
    }
}

TEST_F(DirTest, MakeUniqueTemplates)
{
    bool const fKeepsAttr = keepsNotIndexedAttribute();
    struct Case {
        std::string sTemplate;
        size_t offRun, cchRun;   // where the random characters go
    } const aCases[] = {
        {path("abcXXXXXX"), path("abc").size(), 6},
        {path("XXXX.tmp"), path("").size(), 4},
        {path("aXXXb.d"), path("a").size(), 3},
        {path("XXXXXXXXXXXXXXXXXXXXXXXX"), path("").size(), 24},
        {path("pre-XXXxXXXX-post"), path("pre-XXXx").size(), 4},   // the right-most run of three or more
        {path("oneX"), path("one").size(), 1},                     // a trailing run may be a single X
    };
    for (auto const &c : aCases) {
        char szBuf[1024];
        strcpy(szBuf, c.sTemplate.c_str());
        ASSERT_EQ(RTDirMakeUnique(szBuf, 0700), RT_OK) << c.sTemplate;
        std::string const s = szBuf;
        ASSERT_EQ(s.size(), c.sTemplate.size());
        EXPECT_EQ(s.substr(0, c.offRun), c.sTemplate.substr(0, c.offRun));
        EXPECT_EQ(s.substr(c.offRun + c.cchRun), c.sTemplate.substr(c.offRun + c.cchRun));
        EXPECT_TRUE(onlyBase36(s.substr(c.offRun, c.cchRun))) << s;
        EXPECT_TRUE(RTDirExists(s.c_str())) << s;
        if (fKeepsAttr) {
            DWORD const fAttr = GetFileAttributesW(fsWide(s).c_str());
            EXPECT_TRUE(fAttr & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED) << std::hex << fAttr;
        }
    }

    // No run: the template is emptied and nothing is made.
    for (std::string const &sBad : {path("aXX.b"), std::string("C:\\XXX\\file"), path("XXa"), path("")}) {
        char szBuf[512];
        strcpy(szBuf, sBad.c_str());
        EXPECT_EQ(RTDirMakeUnique(szBuf, 0700), RTE_INVALID_PARAMETER) << sBad;
        EXPECT_STREQ(szBuf, "") << sBad;
    }
}

TEST_F(DirTest, MakeUniqueDrawsAgainAndStopsAtOnceForAMissingParent)
{
    // 35 of the 36 one-character names exist: only the last one is free.
    const char szAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (int i = 0; i < 35; i++)
        ASSERT_TRUE(CreateDirectoryW(fsWide(path(std::string("n") + szAlphabet[i])).c_str(), nullptr));
    char szBuf[512];
    strcpy(szBuf, path("nX").c_str());
    ASSERT_EQ(RTDirMakeUnique(szBuf, 0700), RT_OK);
    EXPECT_EQ(std::string(szBuf), path("nz"));

    // A missing parent ends the attempts at the first one.
    strcpy(szBuf, path("missing\\XXXXXX").c_str());
    DWORD const msStart = GetTickCount();
    EXPECT_EQ(RTDirMakeUnique(szBuf, 0700), RTE_PATH_NOT_FOUND);
    EXPECT_LT(GetTickCount() - msStart, 500u);
    EXPECT_STREQ(szBuf, "");
}

TEST_F(DirTest, MakeUniqueGivesUpAfterAllAttempts)
{
    const char szAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (int i = 0; i < 36; i++)
        ASSERT_TRUE(CreateDirectoryW(fsWide(path(std::string("n") + szAlphabet[i])).c_str(), nullptr));
    char szBuf[512];
    strcpy(szBuf, path("nX").c_str());
    EXPECT_EQ(RTDirMakeUnique(szBuf, 0700), RTE_ALREADY_EXISTS);
    EXPECT_STREQ(szBuf, "");
}

TEST_F(DirTest, MakeDeleteAndExists)
{
    std::string const sDir = path("d");
    EXPECT_FALSE(RTDirExists(sDir.c_str()));
    ASSERT_EQ(RTDirMake(sDir.c_str(), 0700, 0), RT_OK);
    EXPECT_TRUE(RTDirExists(sDir.c_str()));
    EXPECT_TRUE(RTDirExists((sDir + "\\").c_str()));
    EXPECT_EQ(RTDirMake(sDir.c_str(), 0700, 0), RTE_ALREADY_EXISTS);
    EXPECT_EQ(RTDirMake(path("x\\y").c_str(), 0700, 0), RTE_PATH_NOT_FOUND);
    writeFile(path("file"), "x");
    EXPECT_EQ(RTDirMake(path("file").c_str(), 0700, 0), RTE_ALREADY_EXISTS);
    EXPECT_FALSE(RTDirExists(path("file").c_str()));
    EXPECT_FALSE(RTDirExists(path("x\\y").c_str()));
    EXPECT_FALSE(RTDirExists(""));

    // Mode validation: a file type that claims the directory attribute.
    EXPECT_EQ(RTDirMake(path("m1").c_str(), RTFS_TYPE_FILE | RTFS_DOS_DIRECTORY | 0700, 0), RTE_INVALID_FILE_MODE);
    EXPECT_EQ(RTDirMake(path("m2").c_str(), RTFS_TYPE_DIRECTORY | 0755, 0), RT_OK);
    EXPECT_EQ(RTDirMake(path("m3").c_str(), 0700, DIRMAKE_KEEP_INDEXING), RT_OK);
    EXPECT_FALSE(GetFileAttributesW(fsWide(path("m3")).c_str()) & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (keepsNotIndexedAttribute()) {
        EXPECT_TRUE(GetFileAttributesW(fsWide(path("m2")).c_str()) & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    }
    EXPECT_FALSE(exists(path("m1")));

    writeFile(sDir + "\\inner", "x");
    EXPECT_EQ(RTDirDelete(sDir.c_str()), RTE_DIR_NOT_EMPTY);
    DeleteFileW(fsWide(sDir + "\\inner").c_str());
    EXPECT_EQ(RTDirDelete(sDir.c_str()), RT_OK);
    EXPECT_FALSE(exists(sDir));
    int32_t const rc = RTDirDelete(sDir.c_str());
    EXPECT_TRUE(rc == RTE_FILE_NOT_FOUND || rc == RTE_PATH_NOT_FOUND) << rc;
    EXPECT_EQ(RTDirDelete(path("x\\y").c_str()), RTE_PATH_NOT_FOUND);
}

TEST_F(DirTest, OpenHandleKeepsTheDirectory)
{
    std::string const sDir = path("held");
    ASSERT_EQ(RTDirMake(sDir.c_str(), 0700, 0), RT_OK);
    DirHandle hDir = nullptr;
    ASSERT_EQ(RTDirOpenPath(&hDir, sDir.c_str()), RT_OK);
    EXPECT_TRUE(RTDirCheckHandle(hDir));

    int32_t const rcHeld = RTDirDelete(sDir.c_str());
    printf("deleting a held directory: %d\n", rcHeld);
    EXPECT_TRUE(RT_FAILURE_NP(rcHeld));
    EXPECT_TRUE(exists(sDir));
    EXPECT_FALSE(MoveFileW(fsWide(sDir).c_str(), fsWide(path("moved")).c_str()));
    // Files inside can still be made and removed.
    writeFile(sDir + "\\f", "x");
    EXPECT_EQ(RTFileUnlink((sDir + "\\f").c_str()), RT_OK);

    EXPECT_EQ(RTDirClose(hDir), RT_OK);
    EXPECT_EQ(RTDirDelete(sDir.c_str()), RT_OK);
    EXPECT_FALSE(exists(sDir));

    EXPECT_EQ(RTDirClose(nullptr), RTE_INVALID_PARAMETER);
    EXPECT_FALSE(RTDirCheckHandle(nullptr));
    EXPECT_FALSE(RTDirCheckHandle(reinterpret_cast<DirHandle>(0x10)));
    EXPECT_EQ(RTDirOpenPath(nullptr, sDir.c_str()), RTE_INVALID_POINTER);
    EXPECT_EQ(RTDirOpenPath(&hDir, nullptr), RTE_INVALID_POINTER);
}

TEST_F(DirTest, OpenFailures)
{
    writeFile(path("file"), "x");
    struct Case {
        std::string sPath;
        int32_t rc;
    } const aCases[] = {
        {path("missing"), RTE_FILE_NOT_FOUND},
        {path("missing\\deeper"), RTE_PATH_NOT_FOUND},
    };
    for (auto const &c : aCases) {
        DirHandle hDir = reinterpret_cast<DirHandle>(0x1234);
        EXPECT_EQ(RTDirOpenPath(&hDir, c.sPath.c_str()), c.rc) << c.sPath;
        EXPECT_EQ(hDir, nullptr);
    }
    // A file: the name with its separator appended is not a directory
    // (Wine calls such a name invalid).
    DirHandle hFile = reinterpret_cast<DirHandle>(0x1234);
    int32_t const rcFile = RTDirOpenPath(&hFile, path("file").c_str());
    EXPECT_TRUE(rcFile == RTE_NOT_A_DIRECTORY || rcFile == RTE_INVALID_NAME) << rcFile;
    EXPECT_EQ(hFile, nullptr);
    // Relative paths and the drive root open too.
    DirHandle hDir;
    ASSERT_EQ(RTDirOpenPath(&hDir, "C:\\"), RT_OK);
    EXPECT_EQ(RTDirClose(hDir), RT_OK);
    ASSERT_EQ(RTDirOpenPath(&hDir, "."), RT_OK);
    EXPECT_EQ(RTDirClose(hDir), RT_OK);
}

TEST_F(DirTest, ObjInfoByPath)
{
    writeFile(path("tool.Exe"), std::string(123, 'x'));
    writeFile(path("plain.txt"), "x");
    CreateDirectoryW(fsWide(path("sub")).c_str(), nullptr);
    FsObjectInfo Info;
    ASSERT_EQ(RTPathGetObjInfo(path("tool.Exe").c_str(), &Info, InfoDetail_None, RTPATH_F_FOLLOW_LINK), RT_OK);
    EXPECT_EQ(Info.cbObject, 123);
    EXPECT_EQ(Info.fMode & (RTFS_TYPE_MASK | 0777), RTFS_TYPE_FILE | 0777u);   // named: the suffix counts
    ASSERT_EQ(RTPathGetObjInfo(path("plain.txt").c_str(), &Info, InfoDetail_None, RTPATH_F_ON_LINK), RT_OK);
    EXPECT_EQ(Info.fMode & (RTFS_TYPE_MASK | 0777), RTFS_TYPE_FILE | 0666u);
    ASSERT_EQ(RTPathGetObjInfo(path("sub").c_str(), &Info, InfoDetail_None, RTPATH_F_FOLLOW_LINK), RT_OK);
    EXPECT_EQ(Info.fMode & RTFS_TYPE_MASK, RTFS_TYPE_DIRECTORY);
    EXPECT_TRUE(Info.fMode & RTFS_DOS_DIRECTORY);
    ASSERT_EQ(RTPathGetObjInfo("C:\\", &Info, InfoDetail_None, RTPATH_F_FOLLOW_LINK), RT_OK);
    EXPECT_EQ(Info.fMode & RTFS_TYPE_MASK, RTFS_TYPE_DIRECTORY);

    // The Unix detail takes the handle route and gives the same identity as
    // an open handle.
    ASSERT_EQ(RTPathGetObjInfo(path("plain.txt").c_str(), &Info, InfoDetail_Unix, RTPATH_F_FOLLOW_LINK), RT_OK);
    FileHandle h;
    ASSERT_EQ(RTFileOpenPath(&h, path("plain.txt").c_str(), 0x1C000781, nullptr), RT_OK);
    FsObjectInfo InfoH;
    ASSERT_EQ(RTFileQueryInfo(h, &InfoH, InfoDetail_Unix), RT_OK);
    EXPECT_EQ(Info.Detail.Unix.INodeId, InfoH.Detail.Unix.INodeId);
    EXPECT_EQ(Info.Detail.Unix.INodeIdDevice, InfoH.Detail.Unix.INodeIdDevice);
    EXPECT_EQ(RTFileClose(h), RT_OK);

    // Held open without any sharing: information still comes (from the
    // directory entry when the object cannot be opened).
    HANDLE hExcl = CreateFileW(fsWide(path("plain.txt")).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hExcl, INVALID_HANDLE_VALUE);
    int32_t const rcExcl = RTPathGetObjInfo(path("plain.txt").c_str(), &Info, InfoDetail_Unix, RTPATH_F_FOLLOW_LINK);
    printf("exclusively held file: %d, size %lld\n", rcExcl, (long long)Info.cbObject);
    EXPECT_EQ(rcExcl, RT_OK);
    EXPECT_EQ(Info.cbObject, 1);
    CloseHandle(hExcl);

    struct Case {
        std::string sPath;
        InfoDetail enmDetail;
        uint32_t fFlags;
        int32_t rc;
    } const aCases[] = {
        {path("missing"), InfoDetail_None, RTPATH_F_FOLLOW_LINK, RTE_FILE_NOT_FOUND},
        {path("missing\\x"), InfoDetail_None, RTPATH_F_FOLLOW_LINK, RTE_PATH_NOT_FOUND},
        {"", InfoDetail_None, RTPATH_F_FOLLOW_LINK, RTE_INVALID_PARAMETER},
        {path("sub"), static_cast<InfoDetail>(0), RTPATH_F_FOLLOW_LINK, RTE_INVALID_PARAMETER},
        {path("sub"), static_cast<InfoDetail>(6), RTPATH_F_FOLLOW_LINK, RTE_INVALID_PARAMETER},
        {path("sub"), InfoDetail_None, 0, RTE_INVALID_PARAMETER},
        {path("sub"), InfoDetail_None, 3, RTE_INVALID_PARAMETER},
        {path("sub"), InfoDetail_None, RTPATH_F_FOLLOW_LINK | RTPATH_F_NO_SYMLINKS, RT_OK},
    };
    for (auto const &c : aCases)
        EXPECT_EQ(RTPathGetObjInfo(c.sPath.c_str(), &Info, c.enmDetail, c.fFlags), c.rc) << c.sPath;
    EXPECT_EQ(RTPathGetObjInfo(nullptr, &Info, InfoDetail_None, RTPATH_F_FOLLOW_LINK), RTE_INVALID_POINTER);
    EXPECT_EQ(RTPathGetObjInfo(path("sub").c_str(), nullptr, InfoDetail_None, RTPATH_F_FOLLOW_LINK), RTE_INVALID_POINTER);
}

TEST_F(DirTest, SymbolicLinkToADirectory)
{
    CreateDirectoryW(fsWide(path("target")).c_str(), nullptr);
    if (!CreateSymbolicLinkW(fsWide(path("link")).c_str(), fsWide(path("target")).c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY)
        || !exists(path("link")))
        FS_SKIP("this system cannot create a symbolic link (error " << GetLastError() << ")");
    EXPECT_TRUE(RTDirExists(path("link").c_str()));
    FsObjectInfo Info;
    ASSERT_EQ(RTPathGetObjInfo(path("link").c_str(), &Info, InfoDetail_None, RTPATH_F_ON_LINK), RT_OK);
    EXPECT_EQ(Info.fMode & RTFS_TYPE_MASK, RTFS_TYPE_SYMLINK);
    ASSERT_EQ(RTPathGetObjInfo(path("link").c_str(), &Info, InfoDetail_None, RTPATH_F_FOLLOW_LINK), RT_OK);
    EXPECT_EQ(Info.fMode & RTFS_TYPE_MASK, RTFS_TYPE_DIRECTORY);
}

TEST(DirNamespace, ObjectManagerNames)
{
    // A name outside every file system: a directory of the object namespace.
    FsObjectInfo Info;
    ASSERT_EQ(RTPathGetObjInfo("\\\\?\\GLOBALROOT\\Device", &Info, InfoDetail_None, RTPATH_F_FOLLOW_LINK), RT_OK);
    EXPECT_EQ(Info.fMode & RTFS_TYPE_MASK, RTFS_TYPE_DIRECTORY);
    EXPECT_FALSE(RTDirExists("\\\\?\\GLOBALROOT\\NoSuchObjectHere"));
}
