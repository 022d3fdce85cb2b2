// PE layout used here (all fields little-endian):
//   DOS header: "MZ", at 0x3C the offset of the PE signature "PE\0\0".
//   COFF header (20 bytes): machine (0x14C x86, 0x8664 x64), section count, time stamp, symbol
//     table pointer, symbol count, optional header size, characteristics (0x2000: a library).
//   Optional header: magic 0x10B (32-bit) or 0x20B (64-bit); size of initialized data at +8,
//     section and file alignment at +32 and +36, image size at +56, header size at +60, checksum
//     at +64; directory count and the directories (RVA, size; 2 resources, 4 certificates (a file
//     offset), 5 base relocations) at +92/+96 (32-bit) or +108/+112 (64-bit).
//   Section headers (40 bytes): name, virtual size, RVA, raw size, raw pointer, ..., flags at +36.
//   Resource tree: three levels of directories (type, name, language): a 16-byte header whose last
//     two words count the named and the numbered entries, then 8-byte entries (name or number,
//     offset; the top bit marks a name string and a subdirectory). Leaves are 16-byte data entries:
//     RVA, size, code page, reserved. Names are a word count and UTF-16 units.
#include "tools/pe_resources.hpp"

#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include "base/little_endian.hpp"

namespace tb::tool {

namespace {

constexpr uint32_t kDirectoryResources = 2;
constexpr uint32_t kDirectoryCertificates = 4;
constexpr uint32_t kDirectoryRelocations = 5;
constexpr uint32_t kSectionDiscardable = 0x02000000;
constexpr size_t kMaxResources = 10000;
constexpr size_t kMaxResourceBytes = 256u << 20;
// Directory entries visited in all: a tree of kMaxResources leaves has at most three entries per
// leaf (type, name, language); a file that needs more is damaged or made to waste time.
constexpr size_t kMaxEntriesVisited = 4 * kMaxResources;

uint32_t U16At(std::string_view image, size_t offset) {
    return ByteReader::LoadU16(reinterpret_cast<const unsigned char*>(image.data() + offset));
}
uint32_t U32At(std::string_view image, size_t offset) {
    return ByteReader::LoadU32(reinterpret_cast<const unsigned char*>(image.data() + offset));
}
void PutU16(std::string& out, size_t offset, uint32_t value) {
    out[offset] = static_cast<char>(value & 0xFF);
    out[offset + 1] = static_cast<char>((value >> 8) & 0xFF);
}
void PutU32(std::string& out, size_t offset, uint32_t value) {
    PutU16(out, offset, value & 0xFFFF);
    PutU16(out, offset + 2, value >> 16);
}
void AppendU16(std::string& out, uint32_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}
void AppendU32(std::string& out, uint32_t value) {
    AppendU16(out, value & 0xFFFF);
    AppendU16(out, value >> 16);
}

uint64_t AlignUp(uint64_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

bool PowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

[[noreturn]] void Refuse(const std::string& why) { throw PeFormatError(why); }

// Reads the resource tree of a section image; `rva_to_bytes` gives the bytes of a data entry.
class TreeReader {
public:
    TreeReader(std::string_view section, std::function<std::string_view(uint32_t rva, uint32_t size)> data)
        : section_(section), data_(std::move(data)) {}

    std::vector<Resource> Read() {
        std::vector<Resource> out;
        Resource path;
        Directory(0, 0, path, out);
        return out;
    }

private:
    std::string_view section_;
    std::function<std::string_view(uint32_t, uint32_t)> data_;
    size_t total_bytes_ = 0;
    size_t entries_visited_ = 0;
    // A tree reaches each directory once; one reached again (a loop, or a directory shared by many
    // entries) would be read over and over.
    std::set<uint32_t> directories_seen_;

    void Need(uint64_t offset, uint64_t size, const char* what) const {
        if (offset > section_.size() || size > section_.size() - offset) {
            Refuse(std::string("damaged resources: ") + what + " lies outside the resource section");
        }
    }

    std::u16string NameAt(uint32_t offset) const {
        Need(offset, 2, "a resource name");
        const uint32_t length = U16At(section_, offset);
        Need(uint64_t{offset} + 2, uint64_t{length} * 2, "a resource name");
        std::u16string name;
        for (uint32_t i = 0; i < length; ++i) name.push_back(static_cast<char16_t>(U16At(section_, offset + 2 + 2 * i)));
        return name;
    }

    void Directory(uint32_t offset, int level, Resource& path, std::vector<Resource>& out) {
        Need(offset, 16, "a resource directory");
        if (!directories_seen_.insert(offset).second) {
            Refuse("damaged resources: the directory at offset " + std::to_string(offset) + " is reached twice");
        }
        const uint32_t count = U16At(section_, offset + 12) + U16At(section_, offset + 14);
        Need(uint64_t{offset} + 16, uint64_t{count} * 8, "a resource directory");
        for (uint32_t i = 0; i < count; ++i) {
            if (++entries_visited_ > kMaxEntriesVisited) Refuse("damaged resources: too many directory entries");
            const uint32_t entry = offset + 16 + 8 * i;
            const uint32_t name = U32At(section_, entry);
            const uint32_t target = U32At(section_, entry + 4);
            ResourceId id = (name & 0x80000000u) ? ResourceId::Name(NameAt(name & 0x7FFFFFFFu))
                                                 : ResourceId::Number(static_cast<uint16_t>(name));
            if (!id.is_name && name > 0xFFFF) Refuse("damaged resources: a resource number above 65535");
            if (level == 0) path.type = std::move(id);
            if (level == 1) path.name = std::move(id);
            if (level == 2) {
                if (id.is_name) Refuse("damaged resources: a language given by name");
                path.language = id.number;
            }
            const bool subdirectory = (target & 0x80000000u) != 0;
            if (subdirectory != (level < 2)) Refuse("damaged resources: the tree is not three levels deep");
            if (subdirectory) {
                Directory(target & 0x7FFFFFFFu, level + 1, path, out);
                continue;
            }
            Need(target, 16, "a resource data entry");
            const uint32_t rva = U32At(section_, target);
            const uint32_t size = U32At(section_, target + 4);
            if (out.size() >= kMaxResources) Refuse("damaged resources: too many resources");
            total_bytes_ += size;
            if (total_bytes_ > kMaxResourceBytes) Refuse("damaged resources: more resource data than the file holds");
            path.code_page = U32At(section_, target + 8);
            path.data = std::string(data_(rva, size));
            out.push_back(path);
        }
    }
};

bool LessId(const ResourceId& a, const ResourceId& b) {
    // Names first, in the order of their UTF-16 units (the loader's binary search), then numbers.
    if (a.is_name != b.is_name) return a.is_name;
    return a.is_name ? a.name < b.name : a.number < b.number;
}

}  // namespace

uint32_t PeResources::Directory(uint32_t index, uint32_t* size) const {
    if (index >= directory_count_) {
        if (size != nullptr) *size = 0;
        return 0;
    }
    if (size != nullptr) *size = U32At(image_, directories_offset_ + 8 * index + 4);
    return U32At(image_, directories_offset_ + 8 * index);
}

PeResources PeResources::Parse(std::string image) {
    PeResources pe;
    pe.image_ = std::move(image);
    const std::string_view img = pe.image_;
    const auto need = [&](uint64_t offset, uint64_t size, const char* what) {
        if (offset > img.size() || size > img.size() - offset) Refuse(std::string("cut off inside ") + what);
    };
    if (img.size() < 0x40 || img[0] != 'M' || img[1] != 'Z') Refuse("not a Windows library (no MZ header)");
    const uint32_t pe_offset = U32At(img, 0x3C);
    need(pe_offset, 24, "the PE header");
    if (img.substr(pe_offset, 4) != std::string_view("PE\0\0", 4)) Refuse("not a Windows library (no PE signature)");
    pe.coff_offset_ = pe_offset + 4;
    const uint32_t machine = U16At(img, pe.coff_offset_);
    const uint32_t section_count = U16At(img, pe.coff_offset_ + 2);
    const uint32_t optional_size = U16At(img, pe.coff_offset_ + 16);
    const uint32_t characteristics = U16At(img, pe.coff_offset_ + 18);
    if (machine != 0x14C && machine != 0x8664) Refuse("not a library for x86 or x64 Windows");
    if ((characteristics & 0x2000) == 0) Refuse("a program, not a library (DLL)");
    pe.optional_offset_ = pe.coff_offset_ + 20;
    need(pe.optional_offset_, optional_size, "the optional header");
    if (optional_size < 96) Refuse("the optional header is too short");
    const uint32_t magic = U16At(img, pe.optional_offset_);
    if (magic != (machine == 0x14C ? 0x10Bu : 0x20Bu)) Refuse("the optional header does not match the machine");
    pe.is_64_ = magic == 0x20B;
    const uint32_t count_offset = pe.optional_offset_ + (pe.is_64_ ? 108 : 92);
    need(count_offset, 4, "the optional header");
    pe.directories_offset_ = count_offset + 4;
    pe.directory_count_ = std::min<uint32_t>(U32At(img, count_offset), 16);
    if (pe.directories_offset_ + 8ull * pe.directory_count_ > pe.optional_offset_ + uint64_t{optional_size}) {
        Refuse("the data directories do not fit the optional header");
    }
    pe.section_alignment_ = U32At(img, pe.optional_offset_ + 32);
    pe.file_alignment_ = U32At(img, pe.optional_offset_ + 36);
    if (!PowerOfTwo(pe.section_alignment_) || !PowerOfTwo(pe.file_alignment_) ||
        pe.file_alignment_ > pe.section_alignment_) {
        Refuse("bad section or file alignment");
    }
    const uint32_t sections_offset = pe.optional_offset_ + optional_size;
    if (section_count == 0 || section_count > 96) Refuse("bad section count");
    need(sections_offset, 40ull * section_count, "the section table");
    for (uint32_t i = 0; i < section_count; ++i) {
        Section s;
        s.header_offset = sections_offset + 40 * i;
        const std::string_view raw_name = img.substr(s.header_offset, 8);
        s.name = std::string(raw_name.substr(0, std::min(raw_name.find('\0'), raw_name.size())));
        s.virtual_size = U32At(img, s.header_offset + 8);
        s.virtual_address = U32At(img, s.header_offset + 12);
        s.raw_size = U32At(img, s.header_offset + 16);
        s.raw_pointer = U32At(img, s.header_offset + 20);
        s.characteristics = U32At(img, s.header_offset + 36);
        if (s.raw_size != 0) need(s.raw_pointer, s.raw_size, "a section");
        if (!pe.sections_.empty() && s.virtual_address <= pe.sections_.back().virtual_address) {
            Refuse("the sections are not in address order");
        }
        pe.sections_.push_back(std::move(s));
    }
    uint32_t resource_size = 0;
    const uint32_t resource_rva = pe.Directory(kDirectoryResources, &resource_size);
    if (resource_rva == 0) Refuse("the library has no resources (no version resource): not a toolbar library");
    const auto found = std::find_if(pe.sections_.begin(), pe.sections_.end(), [&](const Section& s) {
        return resource_rva == s.virtual_address;
    });
    if (found == pe.sections_.end()) Refuse("the resources do not start a section of their own");
    pe.resource_section_ = static_cast<size_t>(found - pe.sections_.begin());
    const Section& rsrc = *found;
    const std::string_view section = img.substr(rsrc.raw_pointer, std::min(rsrc.raw_size, rsrc.virtual_size));
    const auto data_at = [&pe, img](uint32_t rva, uint32_t size) -> std::string_view {
        for (const Section& s : pe.sections_) {
            const uint32_t mapped = std::min(s.raw_size, s.virtual_size);
            if (rva >= s.virtual_address && rva - s.virtual_address < mapped &&
                size <= mapped - (rva - s.virtual_address)) {
                return img.substr(s.raw_pointer + (rva - s.virtual_address), size);
            }
        }
        Refuse("damaged resources: resource data lies outside the file's sections");
    };
    pe.resources_ = TreeReader(section, data_at).Read();
    return pe;
}

const Resource* PeResources::Find(const ResourceId& type, const ResourceId& name) const {
    for (const Resource& r : resources_) {
        if (r.type == type && r.name == name) return &r;
    }
    return nullptr;
}

void PeResources::Remove(const ResourceId& type, const ResourceId& name) {
    std::erase_if(resources_, [&](const Resource& r) { return r.type == type && r.name == name; });
}

void PeResources::Set(const ResourceId& type, const ResourceId& name, std::string data, uint16_t language) {
    uint32_t code_page = 0;
    if (const Resource* old = Find(type, name)) code_page = old->code_page;
    Remove(type, name);
    resources_.push_back({type, name, language, code_page, std::move(data)});
}

// Layout of the rebuilt section: all directories (root, types, names), then the data entries,
// then the name strings, then the data, each item 8-aligned.
std::string PeResources::BuildResourceSection(uint32_t section_rva) const {
    using Languages = std::vector<const Resource*>;
    struct Names {
        std::vector<std::pair<ResourceId, Languages>> list;
    };
    std::vector<std::pair<ResourceId, Names>> types;
    std::vector<const Resource*> sorted;
    for (const Resource& r : resources_) sorted.push_back(&r);
    std::stable_sort(sorted.begin(), sorted.end(), [](const Resource* a, const Resource* b) {
        if (!(a->type == b->type)) return LessId(a->type, b->type);
        if (!(a->name == b->name)) return LessId(a->name, b->name);
        return a->language < b->language;
    });
    for (const Resource* r : sorted) {
        if (types.empty() || !(types.back().first == r->type)) types.push_back({r->type, {}});
        auto& names = types.back().second.list;
        if (names.empty() || !(names.back().first == r->name)) names.push_back({r->name, {}});
        if (!names.back().second.empty() && names.back().second.back()->language == r->language) {
            Refuse("two resources of the same type, name and language");
        }
        names.back().second.push_back(r);
    }
    const auto dir_size = [](size_t entries) { return 16 + 8 * entries; };
    // Offsets of everything, first pass.
    uint32_t cursor = static_cast<uint32_t>(dir_size(types.size()));
    std::vector<uint32_t> type_dirs, name_dirs;
    for (const auto& t : types) {
        type_dirs.push_back(cursor);
        cursor += static_cast<uint32_t>(dir_size(t.second.list.size()));
    }
    for (const auto& t : types) {
        for (const auto& n : t.second.list) {
            name_dirs.push_back(cursor);
            cursor += static_cast<uint32_t>(dir_size(n.second.size()));
        }
    }
    const uint32_t data_entries = cursor;
    cursor += static_cast<uint32_t>(16 * sorted.size());
    std::map<std::u16string, uint32_t> strings;
    for (const auto& t : types) {
        if (t.first.is_name) strings.emplace(t.first.name, 0);
        for (const auto& n : t.second.list) {
            if (n.first.is_name) strings.emplace(n.first.name, 0);
        }
    }
    for (auto& [text, offset] : strings) {
        if (text.size() > 0xFFFF) Refuse("a resource name is too long");
        offset = cursor;
        cursor += static_cast<uint32_t>(2 + 2 * text.size());
    }
    cursor = static_cast<uint32_t>(AlignUp(cursor, 8));

    std::string out;
    const auto id_field = [&](const ResourceId& id) {
        return id.is_name ? (0x80000000u | strings.at(id.name)) : uint32_t{id.number};
    };
    const auto directory = [&](size_t named, size_t numbered) {
        AppendU32(out, 0);  // characteristics
        AppendU32(out, 0);  // time stamp
        AppendU32(out, 0);  // version
        AppendU16(out, static_cast<uint32_t>(named));
        AppendU16(out, static_cast<uint32_t>(numbered));
    };
    const auto count_named = [](const auto& list) {
        return static_cast<size_t>(std::count_if(list.begin(), list.end(), [](const auto& e) { return e.first.is_name; }));
    };
    directory(count_named(types), types.size() - count_named(types));
    for (size_t i = 0; i < types.size(); ++i) {
        AppendU32(out, id_field(types[i].first));
        AppendU32(out, 0x80000000u | type_dirs[i]);
    }
    size_t name_index = 0;
    for (const auto& t : types) {
        directory(count_named(t.second.list), t.second.list.size() - count_named(t.second.list));
        for (const auto& n : t.second.list) {
            AppendU32(out, id_field(n.first));
            AppendU32(out, 0x80000000u | name_dirs[name_index++]);
        }
    }
    size_t leaf = 0;
    for (const auto& t : types) {
        for (const auto& n : t.second.list) {
            directory(0, n.second.size());
            for (const Resource* r : n.second) {
                AppendU32(out, r->language);
                AppendU32(out, data_entries + static_cast<uint32_t>(16 * leaf++));
            }
        }
    }
    uint64_t data_cursor = cursor;
    for (const Resource* r : sorted) {
        if (data_cursor + r->data.size() > 0x7FFFFFFFu) Refuse("the resources are too large");
        AppendU32(out, static_cast<uint32_t>(section_rva + data_cursor));
        AppendU32(out, static_cast<uint32_t>(r->data.size()));
        AppendU32(out, r->code_page);
        AppendU32(out, 0);
        data_cursor = AlignUp(data_cursor + r->data.size(), 8);
    }
    for (const auto& [text, offset] : strings) {
        AppendU16(out, static_cast<uint32_t>(text.size()));
        for (char16_t c : text) AppendU16(out, c);
    }
    out.resize(cursor, '\0');
    for (const Resource* r : sorted) {
        out += r->data;
        out.resize(AlignUp(out.size(), 8), '\0');
    }
    return out;
}

std::string PeResources::Write() const {
    const std::string_view img = image_;
    uint32_t certificates_size = 0;
    if (Directory(kDirectoryCertificates, &certificates_size) != 0 || certificates_size != 0) {
        Refuse("the library is signed (it has a certificate table): brand an unsigned build and sign the branded copy");
    }
    const Section& rsrc = sections_[resource_section_];
    // Sections after the resources move; only what nothing but the headers points into may.
    std::vector<size_t> moved;
    for (size_t i = resource_section_ + 1; i < sections_.size(); ++i) {
        const Section& s = sections_[i];
        if (s.name != ".reloc" && (s.characteristics & kSectionDiscardable) == 0) {
            Refuse("section " + s.name + " follows the resources and cannot be moved");
        }
        if (s.raw_size != 0 && s.raw_pointer < rsrc.raw_pointer + rsrc.raw_size) {
            Refuse("section " + s.name + " lies before the resources in the file");
        }
        moved.push_back(i);
    }
    for (uint32_t d = 0; d < directory_count_; ++d) {
        if (d == kDirectoryResources || d == kDirectoryRelocations || d == kDirectoryCertificates) continue;
        const uint32_t rva = Directory(d);
        for (size_t i : moved) {
            const Section& s = sections_[i];
            if (rva != 0 && rva >= s.virtual_address && rva - s.virtual_address < std::max(s.virtual_size, s.raw_size)) {
                Refuse("section " + s.name + " follows the resources and holds a data directory");
            }
        }
    }
    // Where the sections' raw data ends: what follows (symbol table, strings, anything else) moves.
    uint64_t old_end = 0;
    for (const Section& s : sections_) {
        if (s.raw_size != 0) old_end = std::max<uint64_t>(old_end, uint64_t{s.raw_pointer} + s.raw_size);
    }
    for (size_t i = 0; i < resource_section_; ++i) {
        const Section& s = sections_[i];
        if (s.raw_size != 0 && uint64_t{s.raw_pointer} + s.raw_size > rsrc.raw_pointer) {
            Refuse("section " + s.name + " lies after the resources in the file");
        }
    }

    const std::string section = BuildResourceSection(rsrc.virtual_address);
    const uint64_t new_raw_size = AlignUp(section.size(), file_alignment_);
    std::string out(img.substr(0, rsrc.raw_pointer));
    out += section;
    out.resize(rsrc.raw_pointer + new_raw_size, '\0');
    PutU32(out, rsrc.header_offset + 8, static_cast<uint32_t>(section.size()));
    PutU32(out, rsrc.header_offset + 16, static_cast<uint32_t>(new_raw_size));
    uint64_t next_rva = AlignUp(uint64_t{rsrc.virtual_address} + section.size(), section_alignment_);
    uint32_t relocations_size = 0;
    const uint32_t relocations_rva = Directory(kDirectoryRelocations, &relocations_size);
    uint64_t image_end = next_rva;
    for (size_t i : moved) {
        const Section& s = sections_[i];
        const uint32_t new_rva = static_cast<uint32_t>(next_rva);
        if (relocations_rva != 0 && relocations_rva >= s.virtual_address &&
            relocations_rva - s.virtual_address < std::max(s.virtual_size, s.raw_size)) {
            PutU32(out, directories_offset_ + 8 * kDirectoryRelocations + 0, new_rva + (relocations_rva - s.virtual_address));
        }
        PutU32(out, s.header_offset + 12, new_rva);
        if (s.raw_size != 0) {
            out.resize(AlignUp(out.size(), file_alignment_), '\0');
            PutU32(out, s.header_offset + 20, static_cast<uint32_t>(out.size()));
            out += img.substr(s.raw_pointer, s.raw_size);
        }
        image_end = AlignUp(uint64_t{new_rva} + std::max(s.virtual_size, s.raw_size), section_alignment_);
        next_rva = image_end;
    }
    const int64_t tail_shift = static_cast<int64_t>(out.size()) - static_cast<int64_t>(old_end);
    const uint32_t symbols = U32At(img, coff_offset_ + 8);
    if (symbols != 0 && symbols >= old_end) {
        PutU32(out, coff_offset_ + 8, static_cast<uint32_t>(symbols + tail_shift));
    } else if (symbols != 0 && symbols >= rsrc.raw_pointer) {
        Refuse("the symbol table lies inside the sections that must move");
    }
    if (old_end < img.size()) out += img.substr(static_cast<size_t>(old_end));
    if (out.size() > 0xFFFFFFFFu || image_end > 0xFFFFFFFFu) Refuse("the branded library would be too large");

    PutU32(out, directories_offset_ + 8 * kDirectoryResources + 4, static_cast<uint32_t>(section.size()));
    PutU32(out, optional_offset_ + 56, static_cast<uint32_t>(image_end));
    const uint32_t initialized = U32At(img, optional_offset_ + 8);
    PutU32(out, optional_offset_ + 8,
           static_cast<uint32_t>(initialized - rsrc.raw_size + static_cast<uint32_t>(new_raw_size)));
    PutU32(out, optional_offset_ + 64, PeChecksum(out, optional_offset_ + 64));
    return out;
}

uint32_t PeChecksum(std::string_view image, size_t checksum_offset) {
    uint64_t sum = 0;
    for (size_t i = 0; i < image.size(); i += 2) {
        if (i >= checksum_offset && i < checksum_offset + 4) continue;
        uint32_t word = static_cast<unsigned char>(image[i]);
        if (i + 1 < image.size()) word |= static_cast<uint32_t>(static_cast<unsigned char>(image[i + 1])) << 8;
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + image.size());
}

}  // namespace tb::tool
