// The publisher's certificate: carried in the executable and added to a
// system certificate store before a silent installation.
#include <windows.h>

#include <quab/lazy.h>
#include <quab/stream.h>
#include <quab/string.h>

#include "MorvStub.h"

namespace {

// The DER bytes are build input; the build writes them as a list of bytes.
constexpr uint8_t g_abPublisherCert0[] = {
#include "publisher-cert.inc"
};

constexpr DWORD MORV_CERT_ENCODING = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

} // namespace

const PublisherCertificate g_aPublisherCertificates[] = {
    {g_abPublisherCert0, sizeof(g_abPublisherCert0)},
};
const size_t g_cPublisherCertificates = RT_ELEMENTS(g_aPublisherCertificates);

bool AddCertificateToStore(uint32_t fStoreFlags, const char *pszStoreName, const void *pvData, uint32_t cbData)
{
    PCCERT_CONTEXT pCert = g_pfnCertCreateCertificateContext(MORV_CERT_ENCODING, static_cast<const BYTE *>(pvData),
                                                             cbData);
    if (!pCert) {
        RTMessageError("Unable to get certificate context: %d", static_cast<int>(GetLastError()));
        return false;
    }

    HCERTSTORE hStore = nullptr;
    RTUTF16 *pwszStoreName = nullptr;
    if (RT_SUCCESS_NP(RTStrToUtf16(pszStoreName, &pwszStoreName))) {
        // Without the open-existing flag the system creates a missing store.
        hStore = g_pfnCertOpenStore(CERT_STORE_PROV_SYSTEM_W, MORV_CERT_ENCODING, 0,
                                    fStoreFlags & ~static_cast<uint32_t>(CERT_STORE_OPEN_EXISTING_FLAG),
                                    pwszStoreName);
        RTStrDispose(pwszStoreName);
    }
    if (!hStore) {
        RTMessageError("Unable to open certificates store: %d", static_cast<int>(GetLastError()));
        g_pfnCertFreeCertificateContext(pCert);
        return false;
    }

    // Replacing keeps a second run of the installer from failing.
    bool const fAdded = g_pfnCertAddCertificateContextToStore(hStore, pCert, CERT_STORE_ADD_REPLACE_EXISTING, nullptr)
                        != FALSE;
    if (!fAdded)
        RTMessageError("Unable to install certificate: %d", static_cast<int>(GetLastError()));
    g_pfnCertCloseStore(hStore, CERT_CLOSE_STORE_CHECK_FLAG);
    g_pfnCertFreeCertificateContext(pCert);
    return fAdded;
}
