// Parsing and checking the stub's PE headers; the image checksum.
#include "pe-image.h"

#include "pack-error.h"

#include <cstring>

namespace pe {

uint16_t rd16(std::span<const uint8_t> b, size_t off)
{
    return static_cast<uint16_t>(b[off] | b[off + 1] << 8);
}

uint32_t rd32(std::span<const uint8_t> b, size_t off)
{
    return static_cast<uint32_t>(b[off]) | static_cast<uint32_t>(b[off + 1]) << 8 |
           static_cast<uint32_t>(b[off + 2]) << 16 | static_cast<uint32_t>(b[off + 3]) << 24;
}

void wr16(std::vector<uint8_t> &b, size_t off, uint16_t v)
{
    b[off] = static_cast<uint8_t>(v);
    b[off + 1] = static_cast<uint8_t>(v >> 8);
}

void wr32(std::vector<uint8_t> &b, size_t off, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}

namespace {

bool isPow2(uint32_t v) { return v && !(v & (v - 1)); }

}  // namespace

Image::Image(std::vector<uint8_t> bytes, std::string what) : bytes_(std::move(bytes))
{
    auto bad = [&](const char *why) { return PackError(what + " is not a PE image: " + why); };
    std::span<const uint8_t> b(bytes_);
    if (b.size() < 64 || b[0] != 'M' || b[1] != 'Z')
        throw bad("no MZ header");
    uint32_t const offPe = rd32(b, 0x3c);
    if (offPe < 64 || offPe > b.size() || b.size() - offPe < 24 || std::memcmp(&b[offPe], "PE\0\0", 4) != 0)
        throw bad("no PE signature");
    coffOffset_ = offPe + 4;
    unsigned const cSections = rd16(b, coffOffset_ + 2);
    unsigned const cbOpt = rd16(b, coffOffset_ + 16);
    optOffset_ = coffOffset_ + 20;
    if (cbOpt < 96 || b.size() - optOffset_ < cbOpt)
        throw bad("optional header cut short");
    uint16_t const magic = rd16(b, optOffset_);
    if (magic == 0x10b) {
        pe32Plus_ = false;
        dataDirOffset_ = optOffset_ + 96;
    } else if (magic == 0x20b) {
        pe32Plus_ = true;
        dataDirOffset_ = optOffset_ + 112;
    } else {
        throw bad("unknown optional header magic");
    }
    if (dataDirOffset_ > optOffset_ + cbOpt)
        throw bad("optional header cut short");
    dataDirCount_ = rd32(b, dataDirOffset_ - 4);
    if (dataDirCount_ > 16 || dataDirOffset_ + dataDirCount_ * 8u > optOffset_ + cbOpt)
        throw bad("bad data directory count");
    sectionAlignment_ = rd32(b, optOffset_ + 32);
    fileAlignment_ = rd32(b, optOffset_ + 36);
    sizeOfHeaders_ = rd32(b, optOffset_ + 60);
    if (!isPow2(sectionAlignment_) || !isPow2(fileAlignment_) || fileAlignment_ < 512 ||
        fileAlignment_ > 65536 || fileAlignment_ > sectionAlignment_)
        throw bad("bad section or file alignment");
    if (cSections == 0 || cSections > 96)
        throw bad("bad section count");
    sectionTableOffset_ = optOffset_ + cbOpt;
    if (sectionTableOffset_ + cSections * 40u > b.size() || sectionTableOffset_ + cSections * 40u > sizeOfHeaders_ ||
        sizeOfHeaders_ > b.size())
        throw bad("section table outside the headers");

    uint32_t nextVa = 0;
    for (unsigned i = 0; i < cSections; i++) {
        size_t const off = sectionTableOffset_ + i * 40u;
        Section s{};
        std::memcpy(s.name, &b[off], 8);
        s.virtualSize = rd32(b, off + 8);
        s.virtualAddress = rd32(b, off + 12);
        s.sizeOfRawData = rd32(b, off + 16);
        s.pointerToRawData = rd32(b, off + 20);
        s.characteristics = rd32(b, off + 36);
        s.headerOffset = off;
        if (s.sizeOfRawData && (s.pointerToRawData > b.size() || b.size() - s.pointerToRawData < s.sizeOfRawData))
            throw bad("section data beyond the end of the file");
        if (s.sizeOfRawData && s.pointerToRawData < sizeOfHeaders_)
            throw bad("section data overlaps the headers");
        // The loader wants sections in ascending, non-overlapping order.
        if (s.virtualAddress < nextVa || s.virtualAddress % sectionAlignment_)
            throw bad("sections out of order");
        uint64_t const span = s.virtualSize ? s.virtualSize : s.sizeOfRawData;
        nextVa = alignUp(static_cast<uint64_t>(s.virtualAddress) + span, sectionAlignment_);
        sections_.push_back(s);
    }
}

DataDir Image::dataDir(unsigned idx) const
{
    if (idx >= dataDirCount_)
        return {0, 0};
    return {rd32(bytes_, dataDirOffset(idx)), rd32(bytes_, dataDirOffset(idx) + 4)};
}

int Image::sectionOfRva(uint32_t rva) const
{
    for (size_t i = 0; i < sections_.size(); i++) {
        Section const &s = sections_[i];
        uint32_t const cb = s.virtualSize ? s.virtualSize : s.sizeOfRawData;
        if (rva >= s.virtualAddress && rva - s.virtualAddress < cb)
            return static_cast<int>(i);
    }
    return -1;
}

std::span<const uint8_t> Image::bytesAt(uint32_t rva, uint32_t cb) const
{
    int const i = sectionOfRva(rva);
    if (i < 0)
        throw PackError("resource data outside every section");
    Section const &s = sections_[i];
    uint32_t const off = rva - s.virtualAddress;
    if (off > s.sizeOfRawData || s.sizeOfRawData - off < cb)
        throw PackError("resource data beyond its section's file data");
    return std::span<const uint8_t>(bytes_).subspan(s.pointerToRawData + off, cb);
}

size_t Image::rawEnd() const
{
    size_t end = sizeOfHeaders_;
    for (Section const &s : sections_)
        if (s.sizeOfRawData)
            end = std::max<size_t>(end, static_cast<size_t>(s.pointerToRawData) + s.sizeOfRawData);
    return end;
}

bool Image::sectionTableFits(size_t cSections) const
{
    size_t const end = sectionTableOffset_ + cSections * 40u;
    if (end > sizeOfHeaders_)
        return false;
    for (Section const &s : sections_)
        if (s.sizeOfRawData && s.pointerToRawData < end)
            return false;
    return true;
}

void Checksum::word(uint32_t w)
{
    sum_ += w;
    sum_ = (sum_ & 0xffff) + (sum_ >> 16);
}

void Checksum::add(std::span<const uint8_t> data)
{
    size_t i = 0;
    if (odd_ && !data.empty()) {
        word(static_cast<uint32_t>(pending_ | data[0] << 8));
        odd_ = false;
        i = 1;
    }
    for (; i + 1 < data.size(); i += 2)
        word(static_cast<uint32_t>(data[i] | data[i + 1] << 8));
    if (i < data.size()) {
        pending_ = data[i];
        odd_ = true;
    }
}

uint32_t Checksum::finish(uint64_t cbFile) const
{
    uint64_t s = sum_ + (odd_ ? pending_ : 0);
    s = (s & 0xffff) + (s >> 16);
    s = (s & 0xffff) + (s >> 16);
    return static_cast<uint32_t>(s + cbFile);
}

}  // namespace pe
