#pragma once
// The parts of a Windows program file (PE format, 32 and 64 bits) that packaging an installer
// reads and changes: the headers, the section table and the data directories. Every read goes
// through the bounded byte reader; a file that does not hold what it claims is refused.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "common/outcome.h"

namespace kestrova::ravelin {

inline constexpr std::size_t kSectionHeaderSize = 40;
inline constexpr std::size_t kResourceDirectory = 2;
inline constexpr std::size_t kCertificateDirectory = 4;

// Section flags used when a section is added.
inline constexpr std::uint32_t kSectionInitializedData = 0x00000040;
inline constexpr std::uint32_t kSectionReadable = 0x40000000;

struct PeSection {
    std::array<std::uint8_t, 8> name{};
    std::uint32_t virtualSize = 0;
    std::uint32_t virtualAddress = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawPointer = 0;
    std::uint32_t characteristics = 0;

    // The end of its addresses in memory (a virtual size of 0 means the raw size).
    std::uint64_t VirtualEnd() const {
        return std::uint64_t{virtualAddress} + (virtualSize != 0 ? virtualSize : rawSize);
    }
    std::uint64_t RawEnd() const { return std::uint64_t{rawPointer} + rawSize; }
};

struct PeDataDirectory {
    std::uint32_t address = 0;  // an address in memory; a file position for the certificates
    std::uint32_t size = 0;
};

struct PeImage {
    bool pe32Plus = false;
    std::uint64_t coffHeaderAt = 0;  // the 20-byte file header after "PE\0\0"
    std::uint64_t optionalHeaderAt = 0;
    std::uint16_t sizeOfOptionalHeader = 0;
    std::uint32_t pointerToSymbolTable = 0;
    std::uint32_t sizeOfInitializedData = 0;
    std::uint32_t sectionAlignment = 0;
    std::uint32_t fileAlignment = 0;
    std::uint32_t sizeOfImage = 0;
    std::uint32_t sizeOfHeaders = 0;
    std::uint32_t checkSum = 0;
    std::uint64_t directoriesAt = 0;
    std::vector<PeDataDirectory> directories;
    std::uint64_t sectionTableAt = 0;
    std::vector<PeSection> sections;
    // Where the headers and the sections' raw data end in the file, and where the image ends: the
    // same, or the end of the certificate table when it lies further on. What follows is not part
    // of the program (an installer finds its mod there).
    std::uint64_t rawEnd = 0;
    std::uint64_t imageEnd = 0;

    // Positions of the header fields that packaging rewrites.
    std::uint64_t NumberOfSectionsAt() const { return coffHeaderAt + 2; }
    std::uint64_t PointerToSymbolTableAt() const { return coffHeaderAt + 8; }
    std::uint64_t SizeOfInitializedDataAt() const { return optionalHeaderAt + 8; }
    std::uint64_t SizeOfImageAt() const { return optionalHeaderAt + 56; }
    std::uint64_t CheckSumAt() const { return optionalHeaderAt + 64; }
    std::uint64_t DirectoryAt(std::size_t index) const { return directoriesAt + 8 * index; }
    std::uint64_t SectionHeaderAt(std::size_t index) const {
        return sectionTableAt + kSectionHeaderSize * index;
    }

    PeDataDirectory Directory(std::size_t index) const {
        return index < directories.size() ? directories[index] : PeDataDirectory{};
    }
    // The section whose memory and data in the file hold [address, address + size) (an empty
    // range may sit at the very end of a section that holds something), or null.
    const PeSection* SectionHolding(std::uint32_t address, std::uint32_t size) const;
    // The file position of that range.
    std::optional<std::uint64_t> FilePosition(std::uint32_t address, std::uint32_t size) const;
};

// Reads the headers and the section table; refuses a file that is not a PE program or whose
// headers point outside it, saying what is wrong.
Outcome ReadPeImage(std::span<const std::uint8_t> file, PeImage& image);

// The PE checksum of `file`: its 16-bit words summed with end-around carry, the four bytes of the
// checksum field at `checkSumAt` counted as zeros, plus the file's length.
std::uint32_t PeChecksum(std::span<const std::uint8_t> file, std::uint64_t checkSumAt);

// Rounds up to a multiple of `alignment` (a power of two) in 64 bits.
inline std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
    return (value + alignment - 1) & ~(alignment - 1);
}

// Little-endian stores into a buffer at a position that the caller knows to lie inside it.
void StoreLittleEndian16(std::vector<std::uint8_t>& bytes, std::uint64_t at, std::uint16_t value);
void StoreLittleEndian32(std::vector<std::uint8_t>& bytes, std::uint64_t at, std::uint32_t value);

}  // namespace kestrova::ravelin
