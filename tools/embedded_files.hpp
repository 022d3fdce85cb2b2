#pragma once
// Files the tool carries inside itself (cmake/embed_files.cmake writes their tables).
#include <cstddef>
#include <span>
#include <string_view>

namespace tb::tool {

struct EmbeddedFile {
    const char* name;  // a relative path, '/'-separated
    const unsigned char* bytes;
    size_t size;

    std::string_view Bytes() const { return {reinterpret_cast<const char*>(bytes), size}; }
};

// What `tbtool new` lays beside a new source: the sample's logo and a few of its icons (public
// domain), and the source's schema, so an editor checks the source without a network.
std::span<const EmbeddedFile> StarterFiles();

}  // namespace tb::tool
