// Stand-ins for the installer's report operations: they record what would
// have been shown instead of showing it.
#pragma once

#include <string>
#include <vector>

extern std::vector<std::string> g_aNotifiedErrors;
