// Scratch files for the stream tests, read back with the system's own calls
// so that the check does not depend on the code under test.
#pragma once

#include <windows.h>

#include <string>

#include <quab/string.h>

#include "r3/stream-internal.h"

class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    // UTF-8 path of a file in the directory.
    std::string Path(const char *pszName) const;
    std::wstring WPath(const char *pszName) const;

private:
    std::wstring m_wstrDir;
};

std::string ReadWholeFile(const std::string &strPath);
void WriteWholeFile(const std::string &strPath, const std::string &strContent);
// The bytes a stream has buffered but not yet written.
std::string Unflushed(const RtStream *pStream);
