// The publisher certificate into a system store: the calls, the replace
// disposition, and the three failure points with their messages. The store
// functions are pointed at recording stand-ins; one test uses the real ones.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include <quab/lazy.h>
#include <quab/stream.h>

#include "MorvStub.h"
#include "r3/stream-internal.h"

namespace {

struct Calls {
    std::vector<std::string> aOrder;
    DWORD fOpenFlags = 0;
    std::wstring wstrStore;
    DWORD enmDisposition = 0;
    DWORD fCloseFlags = 0;
};
Calls g_Calls;
bool g_fFailCreate, g_fFailOpen, g_fFailAdd;
int g_iFakeCert;

PCCERT_CONTEXT WINAPI FakeCreate(DWORD fEncoding, const BYTE *, DWORD)
{
    g_Calls.aOrder.push_back("create:" + std::to_string(fEncoding));
    if (g_fFailCreate) {
        SetLastError(static_cast<DWORD>(CRYPT_E_ASN1_BADTAG));
        return nullptr;
    }
    return reinterpret_cast<PCCERT_CONTEXT>(&g_iFakeCert);
}

HCERTSTORE WINAPI FakeOpen(LPCSTR pszProvider, DWORD fEncoding, HCRYPTPROV_LEGACY, DWORD fFlags, const void *pvPara)
{
    g_Calls.aOrder.push_back("open:" + std::to_string(reinterpret_cast<uintptr_t>(pszProvider)) + ":"
                             + std::to_string(fEncoding));
    g_Calls.fOpenFlags = fFlags;
    g_Calls.wstrStore = static_cast<const wchar_t *>(pvPara);
    if (g_fFailOpen) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return reinterpret_cast<HCERTSTORE>(&g_Calls);
}

BOOL WINAPI FakeAdd(HCERTSTORE, PCCERT_CONTEXT, DWORD enmDisposition, PCCERT_CONTEXT *ppOut)
{
    g_Calls.aOrder.push_back("add");
    g_Calls.enmDisposition = enmDisposition;
    EXPECT_EQ(ppOut, nullptr);
    if (g_fFailAdd) {
        SetLastError(ERROR_WRITE_PROTECT);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI FakeClose(HCERTSTORE, DWORD fFlags)
{
    g_Calls.aOrder.push_back("close");
    g_Calls.fCloseFlags = fFlags;
    return TRUE;
}

BOOL WINAPI FakeFree(PCCERT_CONTEXT)
{
    g_Calls.aOrder.push_back("free");
    return TRUE;
}

class CertTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_apfnSaved = {g_pfnCertCreateCertificateContext, g_pfnCertOpenStore, g_pfnCertAddCertificateContextToStore,
                       g_pfnCertCloseStore, g_pfnCertFreeCertificateContext};
        g_Calls = Calls();
        g_fFailCreate = g_fFailOpen = g_fFailAdd = false;
        wchar_t wszTemp[MAX_PATH];
        GetTempPathW(MAX_PATH, wszTemp);
        m_wstrErr = std::wstring(wszTemp) + L"win-cert-err-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
        char szErr[MAX_PATH * 3];
        WideCharToMultiByte(CP_UTF8, 0, m_wstrErr.c_str(), -1, szErr, sizeof(szErr), nullptr, nullptr);
        ASSERT_EQ(RTStreamOpenByName(szErr, "w", &m_pErr), RT_OK);
        m_pSavedErr = g_pStreamStdErr;
        g_pStreamStdErr = m_pErr;
    }
    void TearDown() override
    {
        g_pfnCertCreateCertificateContext = m_apfnSaved.pfnCreate;
        g_pfnCertOpenStore = m_apfnSaved.pfnOpen;
        g_pfnCertAddCertificateContextToStore = m_apfnSaved.pfnAdd;
        g_pfnCertCloseStore = m_apfnSaved.pfnClose;
        g_pfnCertFreeCertificateContext = m_apfnSaved.pfnFree;
        g_pStreamStdErr = m_pSavedErr;
        rtStreamTerm();
        DeleteFileW(m_wstrErr.c_str());
    }
    void UseFakes()
    {
        g_pfnCertCreateCertificateContext = FakeCreate;
        g_pfnCertOpenStore = FakeOpen;
        g_pfnCertAddCertificateContextToStore = FakeAdd;
        g_pfnCertCloseStore = FakeClose;
        g_pfnCertFreeCertificateContext = FakeFree;
    }
    std::string StdErr()
    {
        EXPECT_EQ(rtStreamFlush(m_pErr), RT_OK);
        HANDLE h = CreateFileW(m_wstrErr.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        char ach[4096];
        DWORD cb = 0;
        ReadFile(h, ach, sizeof(ach), &cb, nullptr);
        CloseHandle(h);
        return std::string(ach, cb);
    }

    struct {
        decltype(g_pfnCertCreateCertificateContext) pfnCreate;
        decltype(g_pfnCertOpenStore) pfnOpen;
        decltype(g_pfnCertAddCertificateContextToStore) pfnAdd;
        decltype(g_pfnCertCloseStore) pfnClose;
        decltype(g_pfnCertFreeCertificateContext) pfnFree;
    } m_apfnSaved;
    std::wstring m_wstrErr;
    RtStream *m_pErr = nullptr;
    RtStream *m_pSavedErr = nullptr;
};

TEST_F(CertTest, AddsWithReplaceAndReleasesEverything)
{
    UseFakes();
    static const uint8_t s_ab[] = {0x30, 0x03, 0x02, 0x01, 0x00};
    EXPECT_TRUE(AddCertificateToStore(0x20000 | CERT_STORE_OPEN_EXISTING_FLAG, "TrustedPublisher", s_ab, sizeof(s_ab)));
    EXPECT_EQ(g_Calls.aOrder, (std::vector<std::string>{"create:65537", "open:10:65537", "add", "close", "free"}));
    EXPECT_EQ(g_Calls.fOpenFlags, 0x20000u);   // open-existing cleared: a missing store is made
    EXPECT_EQ(g_Calls.wstrStore, L"TrustedPublisher");
    EXPECT_EQ(g_Calls.enmDisposition, static_cast<DWORD>(CERT_STORE_ADD_REPLACE_EXISTING));
    EXPECT_EQ(g_Calls.fCloseFlags, static_cast<DWORD>(CERT_CLOSE_STORE_CHECK_FLAG));
    EXPECT_EQ(StdErr(), "");
}

TEST_F(CertTest, EachFailurePointHasItsMessageAndLeavesNothingOpen)
{
    UseFakes();
    struct Case {
        bool *pfFail;
        const char *pszStore;
        std::vector<std::string> aOrder;
        std::string strMessage;   // after the program name and "error: "
        bool fExact;              // else the system's error number follows
    };
    const Case aCases[] = {
        {&g_fFailCreate, "TrustedPublisher", {"create:65537"},
         "Unable to get certificate context: " + std::to_string(static_cast<int>(CRYPT_E_ASN1_BADTAG)), true},
        {&g_fFailOpen, "TrustedPublisher", {"create:65537", "open:10:65537", "free"},
         "Unable to open certificates store: 5", true},
        {&g_fFailAdd, "TrustedPublisher", {"create:65537", "open:10:65537", "add", "close", "free"},
         "Unable to install certificate: 19", true},
        // A store name that is not UTF-8 never reaches the system.
        {nullptr, "Trusted\xff", {"create:65537", "free"}, "Unable to open certificates store: ", false},
    };
    size_t offErr = 0;
    for (const Case &c : aCases) {
        g_Calls = Calls();
        g_fFailCreate = g_fFailOpen = g_fFailAdd = false;
        if (c.pfFail)
            *c.pfFail = true;
        EXPECT_FALSE(AddCertificateToStore(0x20000, c.pszStore, "x", 1)) << c.strMessage;
        EXPECT_EQ(g_Calls.aOrder, c.aOrder) << c.strMessage;
        // This program recorded no executable path: the name part is empty.
        std::string const strAll = StdErr();
        std::string const strLine = strAll.substr(offErr);
        offErr = strAll.size();
        std::string const strPrefix = ": error: " + c.strMessage;
        if (c.fExact)
            EXPECT_EQ(strLine, strPrefix + "\r\n");
        else {
            EXPECT_EQ(strLine.rfind(strPrefix, 0), 0u) << strLine;
            EXPECT_EQ(strLine.find_first_not_of("-0123456789", strPrefix.size()), strLine.size() - 2) << strLine;
        }
    }
}

// The real store functions: a blob that is no certificate is refused by the
// system itself at the first step.
TEST_F(CertTest, RealStoreRefusesABlobThatIsNoCertificate)
{
    static const uint8_t s_abNotACert[] = {0x30, 0x82, 0x01, 0x00, 'N', 'o', 't', ' ', 'a', ' ', 'c', 'e', 'r', 't'};
    EXPECT_FALSE(AddCertificateToStore(0x20000, "TrustedPublisher", s_abNotACert, sizeof(s_abNotACert)));
    EXPECT_NE(StdErr().find("error: Unable to get certificate context: "), std::string::npos);
}

TEST(PublisherCertificateTable, HoldsOneDerCertificate)
{
    ASSERT_EQ(g_cPublisherCertificates, 1u);
    const PublisherCertificate &Cert = g_aPublisherCertificates[0];
    ASSERT_GT(Cert.cbData, 4u);
    EXPECT_EQ(Cert.pbData[0], 0x30);   // one ASN.1 SEQUENCE
    // The system reads it as a certificate.
    PCCERT_CONTEXT pCtx = g_pfnCertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, Cert.pbData,
                                                            Cert.cbData);
    ASSERT_NE(pCtx, nullptr);
    g_pfnCertFreeCertificateContext(pCtx);
}

} // namespace
