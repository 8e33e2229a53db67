// A collecting output callback for the text tests: keeps the text and the calls, can under-report.
#pragma once

#include <quab/fmt.h>

#include <string>
#include <vector>

struct TextSink {
    std::string strText;
    std::vector<std::string> vecCalls;
    unsigned cFlushes = 0;
    size_t cbReportMax = ~static_cast<size_t>(0);   // what each call reports at most

    static size_t Output(void *pvArg, const char *pach, size_t cch)
    {
        auto *pThis = static_cast<TextSink *>(pvArg);
        if (!pach && cch == 0) {
            pThis->cFlushes++;
            return 0;
        }
        pThis->strText.append(pach, cch);
        pThis->vecCalls.emplace_back(pach, cch);
        return cch < pThis->cbReportMax ? cch : pThis->cbReportMax;
    }
};
