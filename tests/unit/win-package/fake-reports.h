// What the package code reported, one entry per report:
// "NotifyError: <text>" or "ErrorToStderr: <text>".
#pragma once

#include <string>
#include <vector>

extern std::vector<std::string> g_aReports;
