// Reading the stub's resource directory and laying out a new one.
#include "resource-tree.h"

#include "pack-error.h"

#include <algorithm>
#include <set>

namespace rsrc {

namespace {

char16_t upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

constexpr uint32_t kHighBit = 0x80000000u;
constexpr unsigned kMaxEntries = 0x10000;

struct Reader {
    const pe::Image &img;
    std::span<const uint8_t> sec;   // the directory's bytes, from its RVA to its section's end
    uint32_t rva;
    // Directories shared between entries, or data entries that overlap,
    // would multiply the work for a damaged file without bound.
    std::set<size_t> seen;
    uint64_t cbCopied = 0;

    void need(size_t off, size_t cb) const
    {
        if (off > sec.size() || sec.size() - off < cb)
            throw PackError("the stub's resource directory is damaged");
    }

    Id id(uint32_t field) const
    {
        if (!(field & kHighBit))
            return Id::number(static_cast<uint16_t>(field));
        size_t const off = field & ~kHighBit;
        need(off, 2);
        size_t const cch = pe::rd16(sec, off);
        need(off + 2, cch * 2);
        Id r;
        r.named = true;
        for (size_t i = 0; i < cch; i++)
            r.name.push_back(static_cast<char16_t>(pe::rd16(sec, off + 2 + i * 2)));
        return r;
    }

    // Calls fn(id, offsetField) for every entry of the directory at off.
    template <typename Fn>
    void entries(size_t off, Fn fn)
    {
        need(off, 16);
        if (!seen.insert(off).second)
            throw PackError("the stub's resource directory is damaged (a directory is used twice)");
        unsigned const c = pe::rd16(sec, off + 12) + pe::rd16(sec, off + 14);
        if (c > kMaxEntries)
            throw PackError("the stub's resource directory is damaged");
        need(off + 16, c * 8u);
        for (unsigned i = 0; i < c; i++)
            fn(id(pe::rd32(sec, off + 16 + i * 8)), pe::rd32(sec, off + 20 + i * 8));
    }

    size_t subdir(uint32_t field) const
    {
        if (!(field & kHighBit))
            throw PackError("the stub's resource directory is damaged");
        return field & ~kHighBit;
    }

    Leaf leaf(uint32_t field)
    {
        if (field & kHighBit)
            throw PackError("the stub's resource directory nests deeper than type, name and language");
        need(field, 16);
        Leaf l;
        l.size = pe::rd32(sec, field + 4);
        l.codePage = pe::rd32(sec, field + 8);
        cbCopied += l.size;
        if (cbCopied > img.bytes().size())
            throw PackError("the stub's resource directory is damaged (its data overlaps)");
        // Views are cheap, but laying them out again copies them: overlapping
        // entries would multiply a damaged file's size.
        auto data = img.bytesAt(pe::rd32(sec, field), l.size);
        l.view = data;
        return l;
    }
};

void put16(std::vector<uint8_t> &b, size_t off, uint16_t v) { pe::wr16(b, off, v); }
void put32(std::vector<uint8_t> &b, size_t off, uint32_t v) { pe::wr32(b, off, v); }

void putDirHeader(std::vector<uint8_t> &b, size_t off, unsigned cNamed, unsigned cIds)
{
    // Characteristics, time stamp and version stay zero: the output must not
    // depend on when it was made.
    put16(b, off + 12, static_cast<uint16_t>(cNamed));
    put16(b, off + 14, static_cast<uint16_t>(cIds));
}

template <typename Map>
std::pair<unsigned, unsigned> countKinds(const Map &m)
{
    unsigned cNamed = 0;
    for (auto const &[k, v] : m)
        cNamed += k.named;
    return {cNamed, static_cast<unsigned>(m.size()) - cNamed};
}

uint32_t checked(uint64_t v)
{
    if (v > 0x7fffffffu)
        throw PackError("the resources do not fit in a 32-bit image (2 GiB at most)");
    return static_cast<uint32_t>(v);
}

}  // namespace

Id Id::string(std::string_view ascii)
{
    Id r;
    r.named = true;
    for (char c : ascii)
        r.name.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return r;
}

std::string Id::display() const
{
    if (!named)
        return std::to_string(num);
    std::string s;
    for (char16_t c : name)
        s.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return s;
}

bool IdLess::operator()(const Id &a, const Id &b) const
{
    if (a.named != b.named)
        return a.named;
    if (!a.named)
        return a.num < b.num;
    return std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
                                        [](char16_t x, char16_t y) { return upper(x) < upper(y); });
}

Tree read(const pe::Image &img)
{
    Tree tree;
    pe::DataDir const dir = img.dataDir(pe::kDirResource);
    if (!dir.rva || !dir.size)
        return tree;
    int const iSec = img.sectionOfRva(dir.rva);
    if (iSec < 0)
        throw PackError("the stub's resource directory lies outside every section");
    pe::Section const &s = img.sections()[iSec];
    uint32_t const cbAvail = std::min(s.sizeOfRawData, s.virtualSize ? s.virtualSize : s.sizeOfRawData);
    if (dir.rva - s.virtualAddress > cbAvail)
        throw PackError("the stub's resource directory is damaged");
    Reader r{img, img.bytesAt(dir.rva, cbAvail - (dir.rva - s.virtualAddress)), dir.rva, {}, 0};
    r.entries(0, [&](Id type, uint32_t fType) {
        r.entries(r.subdir(fType), [&](Id name, uint32_t fName) {
            r.entries(r.subdir(fName), [&](Id lang, uint32_t fLang) {
                tree[type][name][lang.num] = r.leaf(fLang);
            });
        });
    });
    return tree;
}

namespace {

// Where each part of the section goes, in 64 bits: the packages' sizes are
// only checked against what the image may hold once their sum is known.
struct Offsets {
    uint64_t leaves = 0, strings = 0, data = 0;
    uint64_t headEnd = 0;                 // end of everything that is not streamed
    std::vector<uint64_t> streams;        // in stream order
    std::vector<uint32_t> streamSizes;
    uint64_t end = 0;
};

Offsets measure(const Tree &tree)
{
    // Directories first, then the data entries, the name strings and the
    // data; streamed data (the packages) comes last so that it ends the file.
    Offsets o;
    uint64_t off = 16 + 8 * tree.size();
    unsigned cLeaves = 0;
    for (auto const &[t, names] : tree) {
        off += 16 + 8 * names.size();
        for (auto const &[n, langs] : names) {
            off += 16 + 8 * langs.size();
            cLeaves += static_cast<unsigned>(langs.size());
        }
    }
    o.leaves = off;
    off += 16ull * cLeaves;
    o.strings = off;
    for (auto const &[t, names] : tree) {
        if (t.named)
            off += 2 + 2 * t.name.size();
        for (auto const &[n, langs] : names)
            if (n.named)
                off += 2 + 2 * n.name.size();
    }
    off = (off + 7) & ~7ull;
    o.data = off;
    std::vector<const Leaf *> streamed;
    for (auto const &[t, names] : tree)
        for (auto const &[n, langs] : names)
            for (auto const &[l, leaf] : langs) {
                if (leaf.streamIdx >= 0) {
                    if (streamed.size() <= static_cast<size_t>(leaf.streamIdx))
                        streamed.resize(leaf.streamIdx + 1);
                    streamed[leaf.streamIdx] = &leaf;
                } else {
                    off = ((off + leaf.data().size()) + 7) & ~7ull;
                }
            }
    o.headEnd = off;
    for (const Leaf *l : streamed) {
        if (!l)
            throw PackError("internal error: gap in the streamed resources");
        o.streams.push_back(off);
        o.streamSizes.push_back(l->size);
        off = (off + l->size + 7) & ~7ull;
    }
    o.end = off;
    return o;
}

}  // namespace

uint64_t sectionSize(const Tree &tree) { return measure(tree).end; }

Layout layOut(const Tree &tree, uint32_t sectionRva)
{
    Offsets const o = measure(tree);
    Layout lay;
    lay.head.assign(checked(o.headEnd), 0);
    for (uint64_t s : o.streams)
        lay.streamOffsets.push_back(checked(s));
    lay.streamSizes = o.streamSizes;
    lay.size = checked(o.end);

    std::vector<uint8_t> &b = lay.head;
    size_t dirOff = 16 + 8 * tree.size();
    size_t leafOff = o.leaves, strOff = o.strings, dataOff = o.data;
    auto putName = [&](const Id &id) -> uint32_t {
        if (!id.named)
            return id.num;
        size_t const at = strOff;
        put16(b, at, static_cast<uint16_t>(id.name.size()));
        for (size_t i = 0; i < id.name.size(); i++)
            put16(b, at + 2 + 2 * i, id.name[i]);
        strOff += 2 + 2 * id.name.size();
        return kHighBit | static_cast<uint32_t>(at);
    };

    auto [cTypesNamed, cTypeIds] = countKinds(tree);
    putDirHeader(b, 0, cTypesNamed, cTypeIds);
    size_t iType = 0;
    for (auto const &[t, names] : tree) {
        size_t const typeDir = dirOff;
        dirOff += 16 + 8 * names.size();
        put32(b, 16 + 8 * iType, putName(t));
        put32(b, 20 + 8 * iType, kHighBit | static_cast<uint32_t>(typeDir));
        iType++;
        auto [cNamed, cIds] = countKinds(names);
        putDirHeader(b, typeDir, cNamed, cIds);
        size_t iName = 0;
        for (auto const &[n, langs] : names) {
            size_t const nameDir = dirOff;
            dirOff += 16 + 8 * langs.size();
            put32(b, typeDir + 16 + 8 * iName, putName(n));
            put32(b, typeDir + 20 + 8 * iName, kHighBit | static_cast<uint32_t>(nameDir));
            iName++;
            putDirHeader(b, nameDir, 0, static_cast<unsigned>(langs.size()));
            size_t iLang = 0;
            for (auto const &[l, leaf] : langs) {
                put32(b, nameDir + 16 + 8 * iLang, l);
                put32(b, nameDir + 20 + 8 * iLang, static_cast<uint32_t>(leafOff));
                iLang++;
                uint32_t at;
                if (leaf.streamIdx >= 0) {
                    at = lay.streamOffsets[leaf.streamIdx];
                } else {
                    at = static_cast<uint32_t>(dataOff);
                    auto const data = leaf.data();
                    std::copy(data.begin(), data.end(), b.begin() + dataOff);
                    dataOff = (dataOff + data.size() + 7) & ~size_t{7};
                }
                put32(b, leafOff, checked(static_cast<uint64_t>(sectionRva) + at));
                put32(b, leafOff + 4, leaf.size);
                put32(b, leafOff + 8, leaf.codePage);
                leafOff += 16;
            }
        }
    }
    return lay;
}

const Leaf *find(const Tree &tree, const Id &type, const Id &name)
{
    auto t = tree.find(type);
    if (t == tree.end())
        return nullptr;
    auto n = t->second.find(name);
    if (n == t->second.end() || n->second.empty())
        return nullptr;
    return &n->second.begin()->second;
}

}  // namespace rsrc
