// Reading and rewriting the PE image of the stub: headers, section table,
// data directories and the image checksum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pe {

inline constexpr unsigned kDirResource = 2;
inline constexpr unsigned kDirSecurity = 4;
inline constexpr unsigned kDirBaseReloc = 5;

struct Section {
    char name[8];
    uint32_t virtualSize;
    uint32_t virtualAddress;
    uint32_t sizeOfRawData;
    uint32_t pointerToRawData;
    uint32_t characteristics;
    size_t headerOffset;        // where its entry lies in the section table
};

struct DataDir {
    uint32_t rva;
    uint32_t size;
};

// A parsed, checked PE image held in memory. Throws PackError("... is not a
// PE image: ...") for anything it cannot trust.
class Image {
public:
    Image(std::vector<uint8_t> bytes, std::string what);

    const std::vector<uint8_t> &bytes() const { return bytes_; }
    const std::vector<Section> &sections() const { return sections_; }
    uint32_t sectionAlignment() const { return sectionAlignment_; }
    uint32_t fileAlignment() const { return fileAlignment_; }
    uint32_t sizeOfHeaders() const { return sizeOfHeaders_; }
    unsigned dataDirCount() const { return dataDirCount_; }
    DataDir dataDir(unsigned idx) const;
    bool isPe32Plus() const { return pe32Plus_; }

    // Index of the section whose virtual range holds rva, or -1.
    int sectionOfRva(uint32_t rva) const;
    // File bytes behind [rva, rva + cb); throws when they are not all in one
    // section's raw data.
    std::span<const uint8_t> bytesAt(uint32_t rva, uint32_t cb) const;
    // End of the last section's raw data: what lies after it is overlay.
    size_t rawEnd() const;
    // Room in the headers for this many section-table entries.
    bool sectionTableFits(size_t cSections) const;

    // Offsets of header fields, for the writer.
    size_t coffOffset() const { return coffOffset_; }
    size_t optOffset() const { return optOffset_; }
    size_t dataDirOffset(unsigned idx) const { return dataDirOffset_ + idx * 8u; }
    size_t sectionTableOffset() const { return sectionTableOffset_; }
    size_t checksumOffset() const { return optOffset_ + 64; }

private:
    std::vector<uint8_t> bytes_;
    std::vector<Section> sections_;
    size_t coffOffset_ = 0, optOffset_ = 0, dataDirOffset_ = 0, sectionTableOffset_ = 0;
    uint32_t sectionAlignment_ = 0, fileAlignment_ = 0, sizeOfHeaders_ = 0;
    unsigned dataDirCount_ = 0;
    bool pe32Plus_ = false;
};

// The image checksum over the file fed in pieces of any length, with the
// checksum field itself zero.
class Checksum {
public:
    void add(std::span<const uint8_t> data);
    uint32_t finish(uint64_t cbFile) const;

private:
    void word(uint32_t w);
    uint64_t sum_ = 0;
    bool odd_ = false;       // a low byte is waiting for its high byte
    uint8_t pending_ = 0;
};

inline uint64_t alignUp64(uint64_t v, uint32_t a) { return (v + a - 1) & ~static_cast<uint64_t>(a - 1); }

inline uint32_t alignUp(uint64_t v, uint32_t a) { return static_cast<uint32_t>(alignUp64(v, a)); }

uint16_t rd16(std::span<const uint8_t> b, size_t off);
uint32_t rd32(std::span<const uint8_t> b, size_t off);
void wr16(std::vector<uint8_t> &b, size_t off, uint16_t v);
void wr32(std::vector<uint8_t> &b, size_t off, uint32_t v);

}  // namespace pe
