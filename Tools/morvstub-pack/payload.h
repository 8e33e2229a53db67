// The installer's payload: package arguments, the manifest and header
// records, and reading them back for --list.
#pragma once

#include "resource-tree.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

inline constexpr size_t kMaxPackages = 255;
inline constexpr size_t kManifestSize = 16;
inline constexpr size_t kHeaderSize = 256;
inline constexpr size_t kFileNameMax = 223;   // bytes of UTF-8, the field keeps its terminator
inline constexpr char kManifestMagic[] = "MorvInstV1";

struct PackageSpec {
    uint32_t arch;
    std::filesystem::path path;
    std::string fileName;     // what the header carries: the path's last part
    uint64_t size;
};

// 0 for a name that is none of all, x86, amd64, arm64.
uint32_t ParseArch(std::string_view name);
std::string ArchName(uint32_t arch);

// Checks one ARCH:FILE argument; throws PackError with the reason.
PackageSpec CheckPackageArg(std::string_view arg);
// The same rules for a header's file name alone (empty string: acceptable).
std::string FileNameProblem(std::string_view name);

// "HDR_%02u" and "BIN_%02u".
std::string HeaderResourceName(size_t idx);
std::string DataResourceName(size_t idx);
bool IsPayloadResourceName(const rsrc::Id &name);

std::vector<uint8_t> ManifestBytes(size_t cPackages);
std::vector<uint8_t> HeaderBytes(const PackageSpec &pkg, const std::string &dataName);

struct ListedPackage {
    unsigned index;
    uint32_t arch;
    std::string dataName;
    std::string fileName;
    uint32_t size;
};
// The packages an installer carries; throws PackError for a damaged payload.
std::vector<ListedPackage> ListPackages(const rsrc::Tree &tree);
