// morvstub-pack: writes an installer from the stub and the product's
// packages, or lists what an installer carries.
#include "pack-error.h"
#include "payload.h"
#include "pe-image.h"
#include "rebuild.h"
#include "resource-tree.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr char kUsage[] =
    "usage: morvstub-pack --stub STUB --output OUT [--splash PNG | --no-splash] ARCH:FILE...\n"
    "       morvstub-pack --list SETUP\n"
    "\n"
    "Writes OUT: the stub with one package per ARCH:FILE argument, in that order.\n"
    "ARCH is all, x86, amd64 or arm64; FILE a .msi or .cab file, extracted under its own name.\n"
    "  --splash PNG          replace the splash picture (resource PNG/102)\n"
    "  --no-splash           remove the splash picture\n"
    "  --list SETUP          print index, arch, data resource, file name and size of each package\n"
    "For tests of damaged installers:\n"
    "  --drop-resource NAME       remove RT_RCDATA resource NAME after packing\n"
    "  --raw-resource NAME=FILE   then store FILE verbatim as RT_RCDATA resource NAME (may be empty)\n";

struct UsageError {
    std::string msg;
};

struct Args {
    std::optional<std::string> stub, output, splash, list;
    bool noSplash = false;
    std::vector<std::string> packages;
    std::vector<std::pair<std::string, std::string>> rawResources;
    std::vector<std::string> dropResources;
};

Args ParseArgs(int argc, char **argv)
{
    Args a;
    bool endOfOptions = false;
    for (int i = 1; i < argc; i++) {
        std::string_view arg = argv[i];
        if (endOfOptions || arg.size() < 2 || arg.substr(0, 2) != "--") {
            a.packages.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            endOfOptions = true;
            continue;
        }
        std::string_view name = arg;
        std::optional<std::string> inlineValue;
        if (size_t eq = arg.find('='); eq != std::string_view::npos) {
            name = arg.substr(0, eq);
            inlineValue = std::string(arg.substr(eq + 1));
        }
        auto value = [&]() -> std::string {
            if (inlineValue)
                return *inlineValue;
            if (i + 1 >= argc)
                throw UsageError{std::string(name) + " needs a value"};
            return argv[++i];
        };
        auto once = [&](std::optional<std::string> &slot) {
            if (slot)
                throw UsageError{std::string(name) + " given twice"};
            slot = value();
        };
        if (name == "--stub")
            once(a.stub);
        else if (name == "--output")
            once(a.output);
        else if (name == "--splash")
            once(a.splash);
        else if (name == "--list")
            once(a.list);
        else if (name == "--no-splash" && !inlineValue)
            a.noSplash = true;
        else if (name == "--help" && !inlineValue)
            throw UsageError{};
        else if (name == "--raw-resource") {
            std::string v = value();
            size_t eq = v.find('=');
            if (eq == std::string::npos || eq == 0)
                throw UsageError{"--raw-resource wants NAME=FILE"};
            a.rawResources.emplace_back(v.substr(0, eq), v.substr(eq + 1));
        } else if (name == "--drop-resource")
            a.dropResources.push_back(value());
        else
            throw UsageError{"unknown option " + std::string(name)};
    }
    if (a.list) {
        if (a.stub || a.output || a.splash || a.noSplash || !a.packages.empty() || !a.rawResources.empty() ||
            !a.dropResources.empty())
            throw UsageError{"--list takes no other arguments"};
        return a;
    }
    if (!a.stub)
        throw UsageError{"--stub is missing"};
    if (!a.output)
        throw UsageError{"--output is missing"};
    if (a.splash && a.noSplash)
        throw UsageError{"--splash and --no-splash exclude each other"};
    return a;
}

std::vector<uint8_t> ReadFile(const std::string &path, const char *what)
{
    std::ifstream f(path, std::ios::binary | std::ios::ate);
    std::streamoff const cb = f ? static_cast<std::streamoff>(f.tellg()) : -1;
    if (cb < 0)
        throw PackError(std::string("cannot read ") + what + " '" + path + "'");
    std::vector<uint8_t> b(static_cast<size_t>(cb));
    f.seekg(0);
    if (!f.read(reinterpret_cast<char *>(b.data()), cb))
        throw PackError(std::string("cannot read ") + what + " '" + path + "'");
    return b;
}

void CheckResourceName(const std::string &name)
{
    if (name.empty() || name.size() > 27 || name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_") !=
                                                std::string::npos)
        throw PackError("resource name '" + name + "' is not 1 to 27 characters of A-Z, 0-9 and _");
}

int List(const std::string &path)
{
    pe::Image const img(ReadFile(path, "installer"), "'" + path + "'");
    for (ListedPackage const &p : ListPackages(rsrc::read(img)))
        std::printf("%u\t%s\t%s\t%s\t%u\n", p.index, ArchName(p.arch).c_str(), p.dataName.c_str(),
                    p.fileName.c_str(), p.size);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

bool SameNameIgnoringCase(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); i++)
        if (Upper(a[i]) != Upper(b[i]))
            return false;
    return true;
}

int Pack(const Args &a)
{
    // Everything is checked before the output is touched.
    if (a.packages.size() > kMaxPackages)
        throw PackError(std::to_string(a.packages.size()) + " packages given; an installer carries at most " +
                        std::to_string(kMaxPackages));
    std::vector<PackageSpec> pkgs;
    for (std::string const &arg : a.packages)
        pkgs.push_back(CheckPackageArg(arg));
    for (size_t i = 0; i < pkgs.size(); i++)
        for (size_t j = i + 1; j < pkgs.size(); j++)
            if (SameNameIgnoringCase(pkgs[i].fileName, pkgs[j].fileName))
                std::fprintf(stderr,
                             "morvstub-pack: warning: packages #%zu and #%zu are both named '%s'; an extract-only "
                             "run writes both to one file\n",
                             i, j, pkgs[j].fileName.c_str());

    std::vector<uint8_t> splash;
    if (a.splash) {
        splash = ReadFile(*a.splash, "splash picture");
        static constexpr uint8_t kPngSig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
        if (splash.size() < 8 || std::memcmp(splash.data(), kPngSig, 8) != 0)
            throw PackError("splash picture '" + *a.splash + "' is not a PNG file");
    }
    std::vector<std::pair<std::string, std::vector<uint8_t>>> raw;
    for (auto const &[name, file] : a.rawResources) {
        CheckResourceName(name);
        raw.emplace_back(name, ReadFile(file, "resource file"));
    }
    for (std::string const &name : a.dropResources)
        CheckResourceName(name);

    pe::Image const stub(ReadFile(*a.stub, "stub"), "stub '" + *a.stub + "'");
    rsrc::Tree tree = rsrc::read(stub);

    rsrc::Id const rcdata = rsrc::Id::number(rsrc::kRtRcdata);
    if (auto t = tree.find(rcdata); t != tree.end()) {
        // A stub that already carries a payload (an installer packed again)
        // loses all of it, so no old header or data survives by accident.
        std::erase_if(t->second, [](auto const &kv) { return IsPayloadResourceName(kv.first); });
        if (t->second.empty())
            tree.erase(t);
    }

    rsrc::Id const png = rsrc::Id::string("PNG");
    rsrc::Id const splashId = rsrc::Id::number(102);
    if (a.noSplash || a.splash) {
        std::vector<uint16_t> langs;
        if (auto t = tree.find(png); t != tree.end()) {
            if (auto n = t->second.find(splashId); n != t->second.end()) {
                for (auto const &[lang, leaf] : n->second)
                    langs.push_back(lang);
                t->second.erase(n);
            }
            if (t->second.empty())
                tree.erase(t);
        }
        if (a.splash) {
            if (langs.empty())
                langs.push_back(rsrc::kLangEnUs);
            for (uint16_t lang : langs)
                tree[png][splashId][lang] = rsrc::Leaf{splash, static_cast<uint32_t>(splash.size()), -1, 0, {}};
        }
    }

    auto put = [&](const std::string &name, std::vector<uint8_t> bytes) {
        uint32_t const cb = static_cast<uint32_t>(bytes.size());
        auto &langs = tree[rcdata][rsrc::Id::string(name)];
        langs.clear();
        langs[rsrc::kLangEnUs] = rsrc::Leaf{std::move(bytes), cb, -1, 0, {}};
    };
    put("MANIFEST", ManifestBytes(pkgs.size()));
    std::vector<StreamedFile> streams;
    for (size_t i = 0; i < pkgs.size(); i++) {
        std::string const data = DataResourceName(i);
        put(HeaderResourceName(i), HeaderBytes(pkgs[i], data));
        auto &langs = tree[rcdata][rsrc::Id::string(data)];
        langs.clear();
        langs[rsrc::kLangEnUs] = rsrc::Leaf{{}, static_cast<uint32_t>(pkgs[i].size), static_cast<int>(i), 0, {}};
        streams.push_back({pkgs[i].path, static_cast<uint32_t>(pkgs[i].size)});
    }
    for (std::string const &name : a.dropResources) {
        auto &names = tree[rcdata];
        auto n = names.find(rsrc::Id::string(name));
        if (n == names.end())
            throw PackError("--drop-resource: there is no resource " + name);
        for (auto const &[lang, leaf] : n->second)
            if (leaf.streamIdx >= 0) {
                // Renumber the streams behind it; the file is not written.
                int const gone = leaf.streamIdx;
                streams.erase(streams.begin() + gone);
                for (auto &[nn, ll] : names)
                    for (auto &[lg, lf] : ll)
                        if (lf.streamIdx > gone)
                            lf.streamIdx--;
            }
        names.erase(n);
    }

    for (auto &[name, bytes] : raw) {
        bool const wasStreamed = [&] {
            const rsrc::Leaf *l = rsrc::find(tree, rcdata, rsrc::Id::string(name));
            return l && l->streamIdx >= 0;
        }();
        if (wasStreamed)
            throw PackError("--raw-resource cannot replace the package data " + name + "; drop it and add it anew");
        put(name, std::move(bytes));
    }
    std::vector<std::string> warnings;
    WriteInstaller(stub, tree, streams, *a.output, warnings);
    for (std::string const &w : warnings)
        std::fprintf(stderr, "morvstub-pack: warning: %s\n", w.c_str());
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    try {
        Args const a = ParseArgs(argc, argv);
        return a.list ? List(*a.list) : Pack(a);
    } catch (const UsageError &e) {
        if (e.msg.empty()) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        std::fprintf(stderr, "morvstub-pack: error: %s\n%s", e.msg.c_str(), kUsage);
        return 2;
    } catch (const PackError &e) {
        std::fprintf(stderr, "morvstub-pack: error: %s\n", e.what());
        return 1;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "morvstub-pack: error: %s\n", e.what());
        return 1;
    }
}
