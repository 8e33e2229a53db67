// The installer's units under test, built into this program; the report
// operations and the silent flag they use are the test's own (report-double).
#include "MorvStubMsi.cpp"
#include "MorvStubCertUtil.cpp"
