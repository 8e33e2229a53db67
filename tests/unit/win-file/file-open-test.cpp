// Opening files: the flag word's validation, the open actions, sharing,
// and handles.
#include "fs-test-util.h"

#include <quab/file.h>

namespace {

class FileOpenTest : public FsScratchTest {};

struct OpenResult {
    int32_t rc;
    FileOpenAction enmAction;
};

OpenResult openAndClose(const std::string &sPath, uint64_t fOpen)
{
    FileHandle h = reinterpret_cast<FileHandle>(0x1234);
    OpenResult r;
    r.enmAction = static_cast<FileOpenAction>(77);
    r.rc = RTFileOpenPath(&h, sPath.c_str(), fOpen, &r.enmAction);
    if (RT_SUCCESS_NP(r.rc)) {
        EXPECT_NE(h, NIL_FILEHANDLE);
        EXPECT_EQ(RTFileClose(h), RT_OK);
    } else {
        EXPECT_EQ(h, NIL_FILEHANDLE) << "a failed open leaves the nil handle";
    }
    return r;
}

} // namespace

TEST_F(FileOpenTest, FlagWordTable)
{
    struct Case {
        uint64_t fOpen;
        bool fExisting;     // the file exists before the open
        int32_t rc;
        FileOpenAction enmAction;
    } const aCases[] = {
        {0, true, RTE_INVALID_PARAMETER, FileOpenAction_Invalid},            // no access at all
        {0x10000, true, RT_OK, FileOpenAction_Opened},                       // attribute read alone
        {0x10000, false, RTE_FILE_NOT_FOUND, FileOpenAction_Invalid},
        {0x322, false, RT_OK, FileOpenAction_Created},
        {0x322, true, RT_OK, FileOpenAction_Replaced},
        {0x1202, true, RTE_ALREADY_EXISTS, FileOpenAction_AlreadyExists},
        {0x202, false, RT_OK, FileOpenAction_Created},
        {0x1101, true, RTE_INVALID_PARAMETER, FileOpenAction_Invalid},       // truncate needs write access
        {0x1102, true, RT_OK, FileOpenAction_Truncated},                     // open-or-create, existing
        {0x1102, false, RT_OK, FileOpenAction_Created},
        {0x1702, true, RT_OK, FileOpenAction_Truncated},                     // open existing with truncate
        {0x1003, true, RT_OK, FileOpenAction_Truncated},                     // action 0 is open existing
        {0x102, true, RT_OK, FileOpenAction_Opened},
        {0x901, false, RT_OK, FileOpenAction_Created},                       // not content indexed on a new file
        {0x801, true, RTE_INVALID_PARAMETER, FileOpenAction_Invalid},        // ... but never on a plain open
        {0xF01, true, RTE_INVALID_PARAMETER, FileOpenAction_Invalid},
        {0x401, true, RTE_INVALID_PARAMETER, FileOpenAction_Invalid},
        {0x501, true, RTE_INVALID_PARAMETER, FileOpenAction_Invalid},
        {0x601, true, RTE_INVALID_PARAMETER, FileOpenAction_Invalid},
        {0x9, true, RTE_INVALID_PARAMETER, FileOpenAction_Invalid},
        {0x4001, true, RTE_INVALID_PARAMETER, FileOpenAction_Invalid},
        {0x80000001, true, RTE_INVALID_PARAMETER, FileOpenAction_Invalid},
        {0x91, true, RTE_INVALID_PARAMETER, FileOpenAction_Invalid},         // sharing field above 0x80
        {0xF1, true, RTE_INVALID_PARAMETER, FileOpenAction_Invalid},
        {0x5, true, RTE_INVALID_FLAGS, FileOpenAction_Invalid},              // append without write access
        {0x106, true, RT_OK, FileOpenAction_Opened},                         // append with write access
        {UINT64_C(0xFFFFFFFF00000001), true, RT_OK, FileOpenAction_Opened},  // upper half ignored
        {0x1C000781, true, RT_OK, FileOpenAction_Opened},
        {0x40000322, false, RT_OK, FileOpenAction_Created},                  // temporary attribute
    };
    int i = 0;
    for (auto const &c : aCases) {
        std::string const sPath = path("f" + std::to_string(i++));
        if (c.fExisting)
            writeFile(sPath, "0123456789");
        OpenResult const r = openAndClose(sPath, c.fOpen);
        EXPECT_EQ(r.rc, c.rc) << std::hex << c.fOpen;
        EXPECT_EQ(r.enmAction, c.enmAction) << std::hex << c.fOpen;
        if (c.rc == RT_OK && (c.enmAction == FileOpenAction_Truncated || c.enmAction == FileOpenAction_Replaced)) {
            EXPECT_EQ(readFile(sPath), "") << std::hex << c.fOpen;
        }
        if (c.rc == RT_OK && c.enmAction == FileOpenAction_Opened) {
            EXPECT_EQ(readFile(sPath), "0123456789") << std::hex << c.fOpen;
        }
        if (c.rc != RT_OK && c.fExisting) {
            EXPECT_EQ(readFile(sPath), "0123456789") << std::hex << c.fOpen;
        }
    }
}

TEST_F(FileOpenTest, NotContentIndexedAttribute)
{
    if (!keepsNotIndexedAttribute())
        FS_SKIP("this file system does not keep FILE_ATTRIBUTE_NOT_CONTENT_INDEXED");
    std::string const sPath = path("nci");
    ASSERT_EQ(openAndClose(sPath, 0x922).rc, RT_OK);   // write, deny write, create new, not indexed
    DWORD const fAttr = GetFileAttributesW(fsWide(sPath).c_str());
    EXPECT_TRUE(fAttr & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED) << std::hex << fAttr;
}

TEST_F(FileOpenTest, SharingOfTheExtractionHandles)
{
    std::string const sPath = path("pkg.msi");
    FileHandle hWriter;
    ASSERT_EQ(RTFileOpenPath(&hWriter, sPath.c_str(), 0x1C000322, nullptr), RT_OK);

    // The writer denies writing; a reader that denies writing conflicts with
    // the writer's own write access; a reader that denies nothing does not.
    FileHandle h2;
    EXPECT_EQ(RTFileOpenPath(&h2, sPath.c_str(), 0x00000721, nullptr), RTE_SHARING_VIOLATION);
    EXPECT_EQ(h2, NIL_FILEHANDLE);
    EXPECT_EQ(RTFileOpenPath(&h2, sPath.c_str(), 0x1C000781, nullptr), RT_OK);
    // Another writer is refused, and so is deletion (no delete sharing).
    FileHandle h3;
    EXPECT_EQ(RTFileOpenPath(&h3, sPath.c_str(), 0x102, nullptr), RTE_SHARING_VIOLATION);
    EXPECT_FALSE(DeleteFileW(fsWide(sPath).c_str()));

    EXPECT_EQ(RTFileClose(hWriter), RT_OK);
    // With the writer gone the write-denying reader gets in, and then no
    // writer can.
    EXPECT_EQ(RTFileOpenPath(&h3, sPath.c_str(), 0x00000721, nullptr), RT_OK);
    EXPECT_EQ(RTFileClose(h2), RT_OK);
    FileHandle h4;
    EXPECT_EQ(RTFileOpenPath(&h4, sPath.c_str(), 0x1C000322, nullptr), RTE_SHARING_VIOLATION);
    EXPECT_EQ(RTFileClose(h3), RT_OK);

    // Deny-not-delete lets others delete the file while it is open.
    FileHandle h5;
    ASSERT_EQ(RTFileOpenPath(&h5, sPath.c_str(), 0x741, nullptr), RT_OK);
    EXPECT_TRUE(DeleteFileW(fsWide(sPath).c_str()));
    EXPECT_EQ(RTFileClose(h5), RT_OK);
    EXPECT_FALSE(exists(sPath));
}

TEST_F(FileOpenTest, InvalidArgumentsAndHandles)
{
    FileHandle h = reinterpret_cast<FileHandle>(0x1234);
    EXPECT_EQ(RTFileOpenPath(nullptr, path("x").c_str(), FOPEN_READ, nullptr), RTE_INVALID_PARAMETER);
    EXPECT_EQ(RTFileOpenPath(&h, nullptr, FOPEN_READ, nullptr), RTE_INVALID_PARAMETER);
    EXPECT_EQ(RTFileOpenPath(&h, path("missing\\x").c_str(), FOPEN_READ, nullptr), RTE_PATH_NOT_FOUND);
    EXPECT_EQ(h, NIL_FILEHANDLE);

    // Inheritance follows FOPEN_INHERIT.
    for (uint64_t fInherit : {uint64_t(0), FOPEN_INHERIT}) {
        ASSERT_EQ(RTFileOpenPath(&h, path("inh").c_str(), 0x302 | fInherit, nullptr), RT_OK);
        DWORD fHandle = 0;
        ASSERT_TRUE(GetHandleInformation(h, &fHandle));
        EXPECT_EQ((fHandle & HANDLE_FLAG_INHERIT) != 0, fInherit != 0);
        EXPECT_EQ(RTFileClose(h), RT_OK);
    }

    EXPECT_EQ(RTFileClose(NIL_FILEHANDLE), RT_OK);
    EXPECT_FALSE(RTFileCheckHandle(NIL_FILEHANDLE));
    ASSERT_EQ(RTFileOpenPath(&h, path("x").c_str(), 0x322, nullptr), RT_OK);
    EXPECT_TRUE(RTFileCheckHandle(h));
    EXPECT_EQ(RTFileGetPos(h), 0u);
    EXPECT_EQ(RTFileWrite(h, "abc", 3, nullptr), RT_OK);
    EXPECT_EQ(RTFileGetPos(h), 3u);
    EXPECT_EQ(RTFileClose(h), RT_OK);
    EXPECT_FALSE(RTFileCheckHandle(h));   // closed: the system no longer knows it
    EXPECT_EQ(RTFileClose(h), RTE_INVALID_HANDLE);
    EXPECT_EQ(RTFileGetPos(h), ~UINT64_C(0));
}
