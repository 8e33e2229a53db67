// Rebuilding the stub's image around a new resource section and writing it
// atomically.
#include "rebuild.h"

#include "pack-error.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <system_error>

namespace {

// The stub is not large-address-aware: its whole image, mapped as one
// piece, must find a free range in a 2 GiB user address space that also
// holds the system DLLs, the heap and the stacks. 1.5 GiB is the most that
// can be counted on.
constexpr uint64_t kMaxImageSize = 0x60000000;

constexpr uint32_t kPageSize = 4096;

std::string ImageTooLarge(uint64_t cbImage)
{
    // Hundredths of a GiB rounded up, so that an image just over the limit
    // never reads as the limit itself.
    unsigned long long const centi = (cbImage * 100 + (1ull << 30) - 1) >> 30;
    char msg[256];
    std::snprintf(msg, sizeof(msg),
                  "the installer image would be %llu.%02llu GiB (0x%llX bytes); a 32-bit installer image may be at "
                  "most 1.5 GiB (0x%llX bytes): ship fewer or smaller packages",
                  centi / 100, centi % 100, static_cast<unsigned long long>(cbImage),
                  static_cast<unsigned long long>(kMaxImageSize));
    return msg;
}

uint32_t VirtualSpan(const pe::Section &s) { return s.virtualSize ? s.virtualSize : s.sizeOfRawData; }

bool RvaInside(pe::DataDir d, const pe::Section &s)
{
    return d.rva && d.rva >= s.virtualAddress && d.rva - s.virtualAddress < VirtualSpan(s);
}

// Data directories hold RVAs, except the certificate table's file offset.
bool OtherDirInside(const pe::Image &img, const pe::Section &s, unsigned allowed)
{
    for (unsigned i = 0; i < img.dataDirCount(); i++)
        if (i != pe::kDirSecurity && i != allowed && RvaInside(img.dataDir(i), s))
            return true;
    return false;
}

// The COFF symbol and string table behind the sections, as long section
// names ("/4") refer into it; 0 when there is none or it is damaged.
size_t SymbolTableSize(const pe::Image &img)
{
    auto const &b = img.bytes();
    uint32_t const offSym = pe::rd32(b, img.coffOffset() + 8);
    if (!offSym || offSym < img.rawEnd() || offSym > b.size())
        return 0;
    uint64_t const offStrings = offSym + 18ull * pe::rd32(b, img.coffOffset() + 12);
    if (offStrings + 4 > b.size())
        return 0;
    uint64_t const end = offStrings + pe::rd32(b, offStrings);
    return end <= b.size() ? static_cast<size_t>(end - offSym) : 0;
}

struct Move {
    size_t oldIndex;
    uint32_t dstVa;
    uint32_t dstRaw;
};

struct Plan {
    size_t prefixEnd = 0;            // stub bytes kept in place (headers patched)
    size_t cKept = 0;                // section table entries kept unchanged
    std::vector<Move> moves;         // sections moved behind the new resources
    uint32_t rsrcVa = 0, rsrcRaw = 0, rsrcCharacteristics = 0x40000040;  // initialised data, readable
    uint32_t oldRsrcRawSize = 0;     // initialised data that leaves the image
    uint32_t symRaw = 0;             // where the symbol table goes, when kept
    size_t cbSymbols = 0;
};

// The resource section is replaced in place when it is the last section or
// is followed only by the base relocations, which nothing but their
// directory points to and which can therefore move behind it. Otherwise the
// old section stays (unreferenced) and the new one is appended.
Plan MakePlan(const pe::Image &img)
{
    auto const &secs = img.sections();
    Plan p;
    pe::DataDir const rsrc = img.dataDir(pe::kDirResource);
    int const r = rsrc.rva ? img.sectionOfRva(rsrc.rva) : -1;
    bool replace = r >= 0 && std::memcmp(secs[r].name, ".rsrc\0\0", 8) == 0 && secs[r].sizeOfRawData &&
                   !OtherDirInside(img, secs[r], pe::kDirResource);
    if (replace) {
        for (size_t i = r + 1; i < secs.size() && replace; i++) {
            pe::DataDir const rel = img.dataDir(pe::kDirBaseReloc);
            replace = RvaInside(rel, secs[i]) && rel.rva - secs[i].virtualAddress + uint64_t{rel.size} <=
                                                    VirtualSpan(secs[i]) &&
                      !OtherDirInside(img, secs[i], pe::kDirBaseReloc);
        }
        for (int i = 0; i < r && replace; i++)
            replace = !secs[i].sizeOfRawData ||
                      secs[i].pointerToRawData + uint64_t{secs[i].sizeOfRawData} <= secs[r].pointerToRawData;
    }

    uint32_t va;
    if (replace) {
        p.prefixEnd = secs[r].pointerToRawData;
        p.cKept = r;
        p.oldRsrcRawSize = secs[r].sizeOfRawData;
        p.rsrcCharacteristics = secs[r].characteristics;
        va = secs[r].virtualAddress;
    } else {
        if (!img.sectionTableFits(secs.size() + 1))
            throw PackError("the stub has no room in its headers for another section");
        p.prefixEnd = img.rawEnd();
        p.cKept = secs.size();
        va = pe::alignUp(uint64_t{secs.back().virtualAddress} + VirtualSpan(secs.back()), img.sectionAlignment());
    }
    uint32_t raw = pe::alignUp(p.prefixEnd, img.fileAlignment());
    for (size_t i = p.cKept + (replace ? 1 : 0); i < secs.size(); i++) {
        p.moves.push_back({i, va, secs[i].sizeOfRawData ? raw : 0});
        raw += pe::alignUp(secs[i].sizeOfRawData, img.fileAlignment());
        va = pe::alignUp(uint64_t{va} + VirtualSpan(secs[i]), img.sectionAlignment());
    }
    // Symbols stay in front of the resources, so that the packages end the file.
    p.cbSymbols = SymbolTableSize(img);
    if (p.cbSymbols) {
        p.symRaw = raw;
        raw = pe::alignUp(uint64_t{raw} + p.cbSymbols, img.fileAlignment());
    }
    p.rsrcVa = va;
    // The packages are nearly all of the image. The loader can map a
    // section straight from the file only when its file offset lies on a
    // page boundary, as its address does; elsewhere the whole image is read
    // into private memory at start. The gap in front stays zeros that no
    // section claims.
    uint32_t const mapAlign = std::max(img.fileAlignment(), std::min(img.sectionAlignment(), kPageSize));
    p.rsrcRaw = pe::alignUp(raw, mapAlign);
    return p;
}

void PutSection(std::vector<uint8_t> &b, size_t off, const char *name, uint32_t vsize, uint32_t va, uint32_t rawSize,
                uint32_t rawPtr, uint32_t characteristics)
{
    std::memset(b.data() + off, 0, 40);
    std::memcpy(b.data() + off, name, 8);
    pe::wr32(b, off + 8, vsize);
    pe::wr32(b, off + 12, va);
    pe::wr32(b, off + 16, rawSize);
    pe::wr32(b, off + 20, rawPtr);
    pe::wr32(b, off + 36, characteristics);
}

// Sequential output that keeps the checksum as it goes.
class Output {
public:
    explicit Output(const std::filesystem::path &path) : path_(path)
    {
        f_ = std::fopen(path.string().c_str(), "wb");
        if (!f_)
            throw PackError("cannot create '" + path.string() + "': " + std::strerror(errno));
    }
    ~Output()
    {
        if (f_)
            std::fclose(f_);
    }

    void write(std::span<const uint8_t> data)
    {
        if (!data.empty() && std::fwrite(data.data(), 1, data.size(), f_) != data.size())
            fail();
        sum_.add(data);
        pos_ += data.size();
    }
    void padTo(uint64_t pos)
    {
        static constexpr uint8_t kZeros[4096] = {};
        while (pos_ < pos)
            write(std::span<const uint8_t>(kZeros, std::min<uint64_t>(sizeof(kZeros), pos - pos_)));
    }
    uint64_t pos() const { return pos_; }

    void finish(size_t offChecksum)
    {
        uint8_t cs[4];
        uint32_t const v = sum_.finish(pos_);
        for (int i = 0; i < 4; i++)
            cs[i] = static_cast<uint8_t>(v >> (8 * i));
        if (std::fseek(f_, static_cast<long>(offChecksum), SEEK_SET) != 0 || std::fwrite(cs, 1, 4, f_) != 4 ||
            std::fflush(f_) != 0)
            fail();
        FILE *f = f_;
        f_ = nullptr;
        if (std::fclose(f) != 0)
            fail();
    }

private:
    [[noreturn]] void fail() { throw PackError("cannot write '" + path_.string() + "': " + std::strerror(errno)); }

    std::filesystem::path path_;
    FILE *f_ = nullptr;
    pe::Checksum sum_;
    uint64_t pos_ = 0;
};

void CopyFile(Output &out, const StreamedFile &src)
{
    FILE *f = std::fopen(src.path.string().c_str(), "rb");
    if (!f)
        throw PackError("cannot open '" + src.path.string() + "': " + std::strerror(errno));
    std::vector<uint8_t> buf(1 << 20);
    uint64_t left = src.size;
    while (left) {
        size_t const want = static_cast<size_t>(std::min<uint64_t>(buf.size(), left));
        size_t const got = std::fread(buf.data(), 1, want, f);
        if (got != want) {
            std::fclose(f);
            throw PackError("'" + src.path.string() + "' became shorter while it was packed");
        }
        out.write(std::span<const uint8_t>(buf.data(), got));
        left -= got;
    }
    bool const longer = std::fgetc(f) != EOF;
    std::fclose(f);
    if (longer)
        throw PackError("'" + src.path.string() + "' grew while it was packed");
}

std::filesystem::path TempPathBeside(const std::filesystem::path &out)
{
    std::random_device rd;
    for (int i = 0; i < 100; i++) {
        char suffix[16];
        std::snprintf(suffix, sizeof(suffix), "%08x", static_cast<unsigned>(rd()));
        std::string name = ".";
        name += out.filename().string();
        name += ".partial-";
        name += suffix;
        auto p = out.parent_path() / name;
        std::error_code ec;
        if (!std::filesystem::exists(p, ec) && !ec)
            return p;
    }
    throw PackError("cannot find a free temporary name beside '" + out.string() + "'");
}

}  // namespace

void WriteInstaller(const pe::Image &stub, const rsrc::Tree &tree, const std::vector<StreamedFile> &streams,
                    const std::filesystem::path &out, std::vector<std::string> &warnings)
{
    Plan const plan = MakePlan(stub);
    uint32_t const fa = stub.fileAlignment(), sa = stub.sectionAlignment();
    uint64_t const sizeOfImage = pe::alignUp64(uint64_t{plan.rsrcVa} + rsrc::sectionSize(tree), sa);
    if (sizeOfImage > kMaxImageSize)
        throw PackError(ImageTooLarge(sizeOfImage));
    rsrc::Layout const lay = rsrc::layOut(tree, plan.rsrcVa);
    if (lay.streamSizes.size() != streams.size())
        throw PackError("internal error: streamed resources and files disagree");
    uint32_t const rsrcRawSize = pe::alignUp(lay.size, fa);
    // Symbols kept in front of the resources take file space but no image space.
    if (uint64_t{plan.rsrcRaw} + rsrcRawSize > 0x7fffffffu)
        throw PackError("the installer would be larger than 2 GiB");

    auto const &secs = stub.sections();
    std::vector<uint8_t> head(stub.bytes().begin(), stub.bytes().begin() + plan.prefixEnd);
    size_t const cSections = plan.cKept + plan.moves.size() + 1;
    for (size_t i = 0; i < plan.moves.size(); i++) {
        pe::Section const &s = secs[plan.moves[i].oldIndex];
        size_t const off = stub.sectionTableOffset() + (plan.cKept + i) * 40;
        std::memmove(head.data() + off, stub.bytes().data() + s.headerOffset, 40);
        pe::wr32(head, off + 12, plan.moves[i].dstVa);
        pe::wr32(head, off + 20, plan.moves[i].dstRaw);
    }
    PutSection(head, stub.sectionTableOffset() + (cSections - 1) * 40, ".rsrc\0\0", lay.size, plan.rsrcVa,
               rsrcRawSize, plan.rsrcRaw, plan.rsrcCharacteristics);
    for (size_t i = cSections; i < secs.size(); i++)
        std::memset(head.data() + stub.sectionTableOffset() + i * 40, 0, 40);

    size_t const coff = stub.coffOffset(), opt = stub.optOffset();
    pe::wr16(head, coff + 2, static_cast<uint16_t>(cSections));
    if (plan.cbSymbols) {
        pe::wr32(head, coff + 8, plan.symRaw);
    } else if (pe::rd32(head, coff + 8) >= plan.prefixEnd) {
        pe::wr32(head, coff + 8, 0);
        pe::wr32(head, coff + 12, 0);
    }
    uint32_t const initData = pe::rd32(head, opt + 8);
    pe::wr32(head, opt + 8, initData - std::min(initData, plan.oldRsrcRawSize) + rsrcRawSize);
    pe::wr32(head, opt + 56, static_cast<uint32_t>(sizeOfImage));
    pe::wr32(head, stub.checksumOffset(), 0);
    if (stub.dataDirCount() <= pe::kDirBaseReloc)
        throw PackError("the stub's optional header has too few data directories");
    pe::wr32(head, stub.dataDirOffset(pe::kDirResource), plan.rsrcVa);
    pe::wr32(head, stub.dataDirOffset(pe::kDirResource) + 4, lay.size);

    pe::DataDir const cert = stub.dataDir(pe::kDirSecurity);
    if (cert.rva || cert.size)
        warnings.push_back("the stub's signature was dropped: it does not match the new image; sign the installer");
    pe::wr32(head, stub.dataDirOffset(pe::kDirSecurity), 0);
    pe::wr32(head, stub.dataDirOffset(pe::kDirSecurity) + 4, 0);
    for (Move const &m : plan.moves) {
        pe::DataDir const rel = stub.dataDir(pe::kDirBaseReloc);
        if (RvaInside(rel, secs[m.oldIndex]))
            pe::wr32(head, stub.dataDirOffset(pe::kDirBaseReloc), rel.rva - secs[m.oldIndex].virtualAddress + m.dstVa);
    }
    // The signature is dropped knowingly and the symbols move; anything
    // else behind the sections is worth a word.
    size_t const overlay = stub.bytes().size() - stub.rawEnd();
    size_t const cbCert = cert.size && cert.rva >= stub.rawEnd() ? cert.size : 0;
    if (overlay > cbCert + plan.cbSymbols)
        warnings.push_back(std::to_string(overlay - cbCert - plan.cbSymbols) +
                           " bytes after the stub's last section were not kept");

    std::filesystem::path const tmp = TempPathBeside(out);
    try {
        {
            Output o(tmp);
            o.write(head);
            for (Move const &m : plan.moves) {
                pe::Section const &s = secs[m.oldIndex];
                o.padTo(m.dstRaw);
                o.write(std::span<const uint8_t>(stub.bytes()).subspan(s.pointerToRawData, s.sizeOfRawData));
            }
            if (plan.cbSymbols) {
                o.padTo(plan.symRaw);
                o.write(std::span<const uint8_t>(stub.bytes()).subspan(pe::rd32(stub.bytes(), coff + 8),
                                                                       plan.cbSymbols));
            }
            o.padTo(plan.rsrcRaw);
            o.write(lay.head);
            for (size_t i = 0; i < streams.size(); i++) {
                if (streams[i].size != lay.streamSizes[i])
                    throw PackError("internal error: streamed size mismatch");
                o.padTo(uint64_t{plan.rsrcRaw} + lay.streamOffsets[i]);
                CopyFile(o, streams[i]);
            }
            o.padTo(uint64_t{plan.rsrcRaw} + rsrcRawSize);
            o.finish(stub.checksumOffset());
        }
        std::error_code ec;
        auto const perms = std::filesystem::status(out, ec).permissions();
        if (!ec && perms != std::filesystem::perms::unknown)
            std::filesystem::permissions(tmp, perms, ec);
        else
            std::filesystem::permissions(tmp,
                                         std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                             std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                                             std::filesystem::perms::others_exec,
                                         ec);
        std::filesystem::rename(tmp, out, ec);
        if (ec)
            throw PackError("cannot replace '" + out.string() + "': " + ec.message());
    } catch (...) {
        std::error_code ec;
        std::filesystem::remove(tmp, ec);
        throw;
    }
}
