// Writing the finished installer: the stub's image with a new resource
// section at its end.
#pragma once

#include "pe-image.h"
#include "resource-tree.h"

#include <filesystem>
#include <string>
#include <vector>

struct StreamedFile {
    std::filesystem::path path;
    uint32_t size;            // what the resource tree was laid out for
};

// Lays the tree out, rewrites headers, section table, data directories and
// checksum, and writes the result to a temporary file beside out, which
// then replaces out. Warnings (dropped signature, dropped overlay) go to
// warnings. Throws PackError; on failure nothing is left at out's place.
void WriteInstaller(const pe::Image &stub, const rsrc::Tree &tree, const std::vector<StreamedFile> &streams,
                    const std::filesystem::path &out, std::vector<std::string> &warnings);
