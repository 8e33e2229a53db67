// The parser's own report of a result: one prefixed line on standard error
// per result kind, and the exit code 2.
#include <gtest/gtest.h>

#include <string>

#include <quab/getopt.h>
#include <quab/string.h>

#include "report-capture.h"

namespace {

std::string Rrs(int32_t rc)
{
    char sz[256];
    RTStrFmtToBuf(sz, sizeof(sz), "%Rrs", rc);
    return sz;
}

TEST(GetOptShowError, MessageByResult)
{
    static constexpr RTOPTDEF s_Path = {"--path", 'p', RTOPT_TYPE_STRING};
    RTOPTVALUE Str{};
    Str.str = "B=2";
    RTOPTVALUE Def{};
    Def.def = &s_Path;
    RTOPTVALUE None{};

    struct {
        int rc;
        RTOPTVALUE const *pValue;
        std::string line;
    } const aCases[] = {
        {RTI_NOT_OPTION, &Str, "Invalid parameter: B=2"},
        {'x', &None, "Unhandled option: -x"},
        {'!', &None, "Unhandled option: -!"},
        {'~', &None, "Unhandled option: -~"},
        {1000, &None, "Unhandled option: 1000 (0x3e8)"},
        {127, &None, "Unhandled option: 127 (0x7f)"},
        {RTE_OPTION_UNKNOWN, &Str, "Unknown option: 'B=2'"},
        {RTE_OPTION_MISSING_VALUE, &None, Rrs(RTE_OPTION_MISSING_VALUE)},
        {RTE_INVALID_UTF8, &None, Rrs(RTE_INVALID_UTF8)},
        {RTE_OPTION_INVALID_VALUE, &Def, "The value given '--path' has an invalid format."},
        {RTE_OPTION_MISSING_VALUE, &Def, "--path: " + Rrs(RTE_OPTION_MISSING_VALUE)},
        {RTE_OPTION_MISSING_INDEX, &Def, "--path: " + Rrs(RTE_OPTION_MISSING_INDEX)},
    };
    for (auto const &Case : aCases) {
        SCOPED_TRACE(Case.line);
        ReportCapture Capture;
        EXPECT_EQ(RTGetOptShowError(Case.rc, Case.pValue), 2);
        EXPECT_EQ(Capture.StdErr(), MessagePrefix() + "error: " + Case.line + "\n");
        EXPECT_EQ(Capture.StdOut(), "");
    }
}

} // namespace
