#pragma once
// The resources of a Windows library (a PE file, 32-bit or 64-bit), read and written without the
// platform, so that the tool brands a library the same way on Linux and on Windows.
//
// Reading checks every header field and every offset against the file before using it; a file
// that is not a library for x86 or x64, or whose resource tree is damaged, is refused with
// PeFormatError. Writing rebuilds the resource section in place: the section grows or shrinks,
// and only sections that nothing but the headers points into (the base relocations, discardable
// sections such as debug information) may follow it; they move with it, and the symbol table and
// any bytes after the last section move with them. Everything before the resource section stays
// byte for byte.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/errors.hpp"

namespace tb::tool {

class PeFormatError : public Error {
public:
    using Error::Error;
};

// A resource type or name: a number, or a name (UTF-16).
struct ResourceId {
    bool is_name = false;
    uint16_t number = 0;
    std::u16string name;

    static ResourceId Number(uint16_t n) { return {false, n, {}}; }
    static ResourceId Name(std::u16string text) { return {true, 0, std::move(text)}; }
    bool operator==(const ResourceId& other) const {
        return is_name == other.is_name && (is_name ? name == other.name : number == other.number);
    }
};

inline constexpr uint16_t kResourceTypeRcData = 10;
inline constexpr uint16_t kResourceTypeVersion = 16;

struct Resource {
    ResourceId type;
    ResourceId name;
    uint16_t language = 0;
    uint32_t code_page = 0;
    std::string data;
};

class PeResources {
public:
    // Parses the library's headers and its resource tree. Throws PeFormatError.
    static PeResources Parse(std::string image);

    bool Is64Bit() const { return is_64_; }
    // Where the resource section starts in the file, and where the checksum field lies.
    uint32_t ResourceFileOffset() const { return sections_[resource_section_].raw_pointer; }
    size_t ChecksumOffset() const { return optional_offset_ + 64; }
    std::vector<Resource>& Resources() { return resources_; }
    const std::vector<Resource>& Resources() const { return resources_; }

    // Replaces every resource of that type and name (all languages) by one in `language`.
    void Set(const ResourceId& type, const ResourceId& name, std::string data, uint16_t language = 0);
    void Remove(const ResourceId& type, const ResourceId& name);
    const Resource* Find(const ResourceId& type, const ResourceId& name) const;

    // The whole file with the current resources. Throws PeFormatError when the file's layout does
    // not allow moving what follows the resource section (see above).
    std::string Write() const;

private:
    struct Section {
        uint32_t header_offset = 0;
        uint32_t virtual_size = 0;
        uint32_t virtual_address = 0;
        uint32_t raw_size = 0;
        uint32_t raw_pointer = 0;
        uint32_t characteristics = 0;
        std::string name;
    };

    std::string image_;
    bool is_64_ = false;
    uint32_t coff_offset_ = 0;      // the COFF file header, after "PE\0\0"
    uint32_t optional_offset_ = 0;  // the optional header
    uint32_t directories_offset_ = 0;
    uint32_t directory_count_ = 0;
    uint32_t section_alignment_ = 0;
    uint32_t file_alignment_ = 0;
    std::vector<Section> sections_;
    size_t resource_section_ = 0;
    std::vector<Resource> resources_;

    uint32_t Directory(uint32_t index, uint32_t* size = nullptr) const;
    std::string BuildResourceSection(uint32_t section_rva) const;
};

// The PE checksum of an image (the field at `checksum_offset` counts as zero).
uint32_t PeChecksum(std::string_view image, size_t checksum_offset);

}  // namespace tb::tool
