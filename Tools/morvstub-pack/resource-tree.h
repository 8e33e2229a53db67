// The resource directory of an image as a sorted tree (type, name,
// language), read from the stub and laid out again for the new section.
#pragma once

#include "pe-image.h"

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rsrc {

inline constexpr uint16_t kRtRcdata = 10;
inline constexpr uint16_t kLangEnUs = 1033;

// A resource type or name: a 16-bit number or a UTF-16 string.
struct Id {
    bool named = false;
    uint16_t num = 0;
    std::u16string name;

    static Id number(uint16_t n) { return Id{false, n, {}}; }
    static Id string(std::string_view ascii);
    std::string display() const;
};

// The order the loader's binary search expects: named entries first, names
// compared without regard to case, then numbers ascending.
struct IdLess {
    bool operator()(const Id &a, const Id &b) const;
};

struct Leaf {
    std::vector<uint8_t> bytes;  // the data, unless it is streamed or a view
    uint32_t size = 0;
    int streamIdx = -1;          // >= 0: written by the caller, after everything else
    uint32_t codePage = 0;
    std::span<const uint8_t> view;  // read from an image, which outlives the tree

    std::span<const uint8_t> data() const { return view.data() ? view : std::span<const uint8_t>(bytes); }
};

using LangMap = std::map<uint16_t, Leaf>;
using NameMap = std::map<Id, LangMap, IdLess>;
using Tree = std::map<Id, NameMap, IdLess>;

// The image's resources, as views into its bytes; empty when it has none.
Tree read(const pe::Image &img);

// The section contents up to the first streamed blob, and where each
// streamed blob goes (offsets from the section start, in stream order).
struct Layout {
    std::vector<uint8_t> head;
    std::vector<uint32_t> streamOffsets;
    std::vector<uint32_t> streamSizes;
    uint32_t size = 0;           // the whole section's data
};

Layout layOut(const Tree &tree, uint32_t sectionRva);
// What layOut's section would hold, without the 32-bit limits layOut
// enforces, so that an oversized payload can be reported by its size.
uint64_t sectionSize(const Tree &tree);

// The first language's leaf of (type, name), or nullptr.
const Leaf *find(const Tree &tree, const Id &type, const Id &name);

}  // namespace rsrc
