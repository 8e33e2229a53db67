// Package arguments, manifest and header records, and the --list reader.
#include "payload.h"

#include "pack-error.h"

#include <cstring>
#include <system_error>

namespace {

struct ArchRow {
    const char *name;
    uint32_t value;
};
constexpr ArchRow kArches[] = {{"all", 1}, {"x86", 2}, {"amd64", 3}, {"arm64", 4}};

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view s)
{
    size_t i = 0;
    while (i < s.size()) {
        unsigned char const c = static_cast<unsigned char>(s[i]);
        size_t n;
        uint32_t cp;
        if (c < 0x80) {
            i++;
            continue;
        } else if ((c & 0xe0) == 0xc0) {
            n = 1, cp = c & 0x1f;
        } else if ((c & 0xf0) == 0xe0) {
            n = 2, cp = c & 0x0f;
        } else if ((c & 0xf8) == 0xf0) {
            n = 3, cp = c & 0x07;
        } else {
            return false;
        }
        if (s.size() - i <= n)
            return false;
        for (size_t k = 1; k <= n; k++) {
            unsigned char const cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xc0) != 0x80)
                return false;
            cp = cp << 6 | (cc & 0x3f);
        }
        static constexpr uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[n] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff))
            return false;
        i += n + 1;
    }
    return true;
}

std::string Numbered(const char *prefix, size_t idx)
{
    std::string s = std::to_string(idx);
    if (s.size() < 2)
        s.insert(0, 2 - s.size(), '0');
    return prefix + s;
}

// A text field of a header: what lies before the terminator, which must be
// inside the field.
std::string Field(std::span<const uint8_t> b, size_t off, size_t cb, const char *what, unsigned idx)
{
    const void *nul = std::memchr(b.data() + off, 0, cb);
    if (!nul)
        throw PackError("header #" + std::to_string(idx) + ": " + what + " has no terminator in its field");
    return std::string(reinterpret_cast<const char *>(b.data() + off),
                       static_cast<const uint8_t *>(nul) - (b.data() + off));
}

}  // namespace

uint32_t ParseArch(std::string_view name)
{
    for (ArchRow const &r : kArches)
        if (name == r.name)
            return r.value;
    return 0;
}

std::string ArchName(uint32_t arch)
{
    for (ArchRow const &r : kArches)
        if (arch == r.value)
            return r.name;
    return "unknown(" + std::to_string(arch) + ")";
}

std::string FileNameProblem(std::string_view name)
{
    if (name.empty())
        return "the file name is empty";
    if (name.size() > kFileNameMax)
        return "the file name is " + std::to_string(name.size()) + " bytes long, more than " +
               std::to_string(kFileNameMax);
    // The installer joins the name to its extraction directory: anything
    // that could lead out of it is refused here already.
    if (name.find_first_of("\\/:") != std::string_view::npos)
        return "the file name contains \"\\\", \"/\" or \":\"";
    if (name == "." || name == "..")
        return "the file name is \".\" or \"..\"";
    if (!IsValidUtf8(name))
        return "the file name is not valid UTF-8";
    return {};
}

PackageSpec CheckPackageArg(std::string_view arg)
{
    size_t const colon = arg.find(':');
    if (colon == std::string_view::npos)
        throw PackError("package argument '" + std::string(arg) + "' is not ARCH:FILE");
    std::string_view const arch = arg.substr(0, colon);
    std::string const file(arg.substr(colon + 1));
    PackageSpec pkg{ParseArch(arch), std::filesystem::path(file), {}, 0};
    if (!pkg.arch)
        throw PackError("unknown architecture '" + std::string(arch) + "' in '" + std::string(arg) +
                        "' (use all, x86, amd64 or arm64)");
    if (file.empty())
        throw PackError("package argument '" + std::string(arg) + "' names no file");
    pkg.fileName = pkg.path.filename().string();
    if (std::string const why = FileNameProblem(pkg.fileName); !why.empty())
        throw PackError("package '" + file + "': " + why);
    std::error_code ec;
    auto const st = std::filesystem::status(pkg.path, ec);
    if (ec || !std::filesystem::exists(st))
        throw PackError("package '" + file + "' does not exist");
    if (!std::filesystem::is_regular_file(st))
        throw PackError("package '" + file + "' is not a regular file");
    pkg.size = std::filesystem::file_size(pkg.path, ec);
    if (ec)
        throw PackError("package '" + file + "': " + ec.message());
    if (pkg.size == 0)
        throw PackError("package '" + file + "' is empty");
    if (pkg.size > 0x7fffffffu)
        throw PackError("package '" + file + "' is larger than 2 GiB");
    return pkg;
}

std::string HeaderResourceName(size_t idx) { return Numbered("HDR_", idx); }
std::string DataResourceName(size_t idx) { return Numbered("BIN_", idx); }

bool IsPayloadResourceName(const rsrc::Id &name)
{
    if (!name.named)
        return false;
    std::string const s = name.display();
    auto numbered = [&](const char *prefix) {
        return s.size() > 4 && s.compare(0, 4, prefix) == 0 &&
               s.find_first_not_of("0123456789", 4) == std::string::npos;
    };
    return s == "MANIFEST" || numbered("HDR_") || numbered("BIN_");
}

std::vector<uint8_t> ManifestBytes(size_t cPackages)
{
    std::vector<uint8_t> b(kManifestSize, 0);
    std::memcpy(b.data(), kManifestMagic, sizeof(kManifestMagic) - 1);
    b[15] = static_cast<uint8_t>(cPackages);
    return b;
}

std::vector<uint8_t> HeaderBytes(const PackageSpec &pkg, const std::string &dataName)
{
    std::vector<uint8_t> b(kHeaderSize, 0);
    pe::wr32(b, 0, pkg.arch);
    std::memcpy(b.data() + 4, dataName.data(), std::min<size_t>(dataName.size(), 27));
    std::memcpy(b.data() + 32, pkg.fileName.data(), std::min(pkg.fileName.size(), kFileNameMax));
    return b;
}

std::vector<ListedPackage> ListPackages(const rsrc::Tree &tree)
{
    rsrc::Id const rcdata = rsrc::Id::number(rsrc::kRtRcdata);
    const rsrc::Leaf *man = rsrc::find(tree, rcdata, rsrc::Id::string("MANIFEST"));
    if (!man)
        throw PackError("no package manifest (\"MANIFEST\" resource): not an installer made by morvstub-pack");
    auto const manifest = man->data();
    if (manifest.size() < kManifestSize || std::memcmp(manifest.data(), kManifestMagic, sizeof(kManifestMagic)) != 0)
        throw PackError("the package manifest is damaged");
    unsigned const c = manifest[15];
    std::vector<ListedPackage> out;
    for (unsigned i = 0; i < c; i++) {
        std::string const hdrName = HeaderResourceName(i);
        const rsrc::Leaf *hdr = rsrc::find(tree, rcdata, rsrc::Id::string(hdrName));
        if (!hdr)
            throw PackError("package header " + hdrName + " is missing");
        auto const record = hdr->data();
        if (record.size() < kHeaderSize)
            throw PackError("package header " + hdrName + " is too short");
        ListedPackage p;
        p.index = i;
        p.arch = pe::rd32(record, 0);
        p.dataName = Field(record, 4, 28, "the data resource name", i);
        p.fileName = Field(record, 32, 224, "the file name", i);
        const rsrc::Leaf *data = rsrc::find(tree, rcdata, rsrc::Id::string(p.dataName));
        if (!data)
            throw PackError("package #" + std::to_string(i) + ": data resource " + p.dataName + " is missing");
        p.size = data->size;
        out.push_back(std::move(p));
    }
    return out;
}
