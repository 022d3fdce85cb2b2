/* The binary storage file. Little-endian, no padding, no end marker, no checksum.

     header   4  signature "RS0" + version digit v (only the fourth byte is examined)
              2  S, section records      2  K, key records
     section  2  id      2  parent id (0 = root)      1  n      n  name
     key      2  section id (0 = root)     1  n      n  name      2  kind      payload
     payload  kinds 1 (text) and 2 (binary): length L, then L bytes; L has 4 bytes when v is 2
              or 3, 2 bytes in every other version
              kinds 3, 7, 10: 4 bytes      kinds 4, 5, 6, 9: 8 bytes      kind 8: x then y, 4 each
              kind 0 and unknown kinds: nothing

   In version 3 names and kind-1 texts are UTF-16LE (the length counts bytes; an odd last byte is
   dropped) and are converted to the system code page. Records stand in table order and are kept
   as they come. The writer always writes version 2.

   The reader never reads past the data: it stops at the first record that does not fit, keeps
   every complete record before it and marks the store as damaged. */
#include "storage/bin_data.hpp"

#include <algorithm>
#include <cstring>
#include <limits>

#include "base/text.hpp"
#include "base/little_endian.hpp"
#include "storage/storage.hpp"

namespace tb {
namespace {

constexpr std::uint32_t kMaxCount = 0xFFFF;
constexpr std::size_t kMaxNameBytes = 0xFF;
constexpr std::size_t kSectionHeaderBytes = 5;  // id, parent id, name length
constexpr std::size_t kKeyHeaderBytes = 5;      // section id, name length, kind

std::string Utf16LeToAnsi(std::string_view bytes) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(LoadU16(bytes.data() + 2 * i));
    }
    return Utf16ToAnsi(units);
}


// Appends up to `count` key records read from [p, end) to `keys`; false at the first record that
// does not fit, keeping the ones before it. `adjust` may change a record's texts before it is
// added; `added` runs after each (and may raise: what was added stays).
//
// The time goes into finding where each record starts, which waits on the record before it. So
// the payload's size comes from a branch on the kind of value, each arm with a constant: where the
// processor guesses the kind right (files repeat the same few kinds in the same order, section
// after section), the next start waits only for the name length, not for the kind. Each record is
// filled where nothing else can see it, then added whole.
template <class Adjust, class Added>
bool ReadKeyRecords(const char*& p, const char* end, std::uint32_t count, bool long_lengths,
                    std::vector<TrsKeyRecord>& keys, Adjust adjust, Added added) {
    const size_t length_bytes = long_lengths ? 4 : 2;
    for (std::uint32_t i = 0; i < count; ++i) {
        // section id, name length, name, kind
        const size_t left = static_cast<size_t>(end - p);
        if (left < 3) return false;
        const size_t name_length = static_cast<unsigned char>(p[2]);
        if (left < 3 + name_length + 2) return false;
        TrsKeyRecord key;
        key.section_id = static_cast<std::uint16_t>(LoadU16(p));
        key.name = std::string_view(p + 3, name_length);
        key.kind = static_cast<TrsValueKind>(LoadU16(p + 3 + name_length));
        const char* const payload = p + 3 + name_length + 2;
        const size_t available = left - 3 - name_length - 2;

        // A byte string's length and bytes, or the fixed bytes of the kind; none for vkEmpty and
        // unknown kinds. Kept in step with FixedPayloadSize.
        std::uint64_t fixed = 0;
        size_t size = 0;
        switch (key.kind) {
            case vkString:
            case vkBinary: {
                if (available < length_bytes) return false;
                const size_t length = long_lengths ? LoadU32(payload) : LoadU16(payload);
                if (available - length_bytes < length) return false;
                key.bytes = std::string_view(payload + length_bytes, length);
                size = length_bytes + length;
                break;
            }
            case vkInteger:
            case vkBoolean:
            case vkRaw32:
                if (available < 4) return false;
                fixed = LoadU32(payload);
                size = 4;
                break;
            case vkFloat:
            case vkCurrency:
            case vkDateTime:
            case vkPoint:
            case vkInt64:
                if (available < 8) return false;
                fixed = LoadU64(payload);
                size = 8;
                break;
            default: break;
        }
        std::memcpy(key.fixed, &fixed, sizeof key.fixed);
        p = payload + size;
        adjust(key);
        keys.push_back(key);
        added();
    }
    return true;
}

[[noreturn]] void RefuseToSave(const std::string& what) {
    RaiseStorageError(kStorageLibraryError, "Cannot save the storage: " + what + ".");
}

}  // namespace

struct BinProgress {
    static void Start(TrsBinData& data, std::int32_t total) {
        data.progress_total_ = total;
        data.ReportProgress();
    }
    static void Step(TrsBinData& data) {
        ++data.progress_done_;
        if (data.OnProgress) data.ReportProgress();  // a report without a handler does nothing
    }
    // Counts records read while no handler was set, for which there is nothing to report.
    static void Skip(TrsBinData& data, std::int32_t count) { data.progress_done_ += count; }
};

void TrsBinData::ReadTree(TMemoryStream& stream) {
    TrsStreamData::ReadTree(stream);
    TrsStorage* store = CurrentStore();
    if (store == nullptr) return;
    // The records point into the image, which the store then keeps: a work stream about to be
    // emptied gives its bytes up, any other source is copied once.
    TextPool texts;
    const std::string_view image = texts.Adopt(std::make_unique<std::string>(
        SourceIsDisposable() && stream.Position() == 0 ? stream.Take() : std::string(stream.Remaining())));
    std::vector<TrsSectionRecord> sections;
    std::vector<TrsKeyRecord> keys;
    bool complete = false;
    try {
        complete = ParseImage(image, texts, sections, keys);
    } catch (...) {
        // A progress handler raised: what was read stays read.
        store->LoadTables(std::move(texts), std::move(sections), std::move(keys), false);
        throw;
    }
    store->LoadTables(std::move(texts), std::move(sections), std::move(keys), !complete);
}

bool TrsBinData::ParseImage(std::string_view image, TextPool& texts, std::vector<TrsSectionRecord>& sections,
                            std::vector<TrsKeyRecord>& keys) {
    ByteReader in(image);
    const std::string_view signature = in.Bytes(4);
    const std::uint16_t section_count = in.U16();
    const std::uint16_t key_count = in.U16();
    if (!in.Ok()) return false;
    const int version = static_cast<unsigned char>(signature[3]) - '0';
    const bool long_lengths = version == 2 || version == 3;
    const bool utf16 = version == 3;
    // Version 3 texts are converted into the pool; the others are used where they stand.
    auto text = [&](std::string_view raw) { return utf16 ? texts.Keep(Utf16LeToAnsi(raw)) : raw; };
    BinProgress::Start(*this, section_count + key_count);

    // Each record is read whole, then checked once: the reader stops at the first record that does
    // not fit, keeping the ones before it. Never reserve more records than the remaining bytes could
    // hold.
    sections.reserve(std::min<size_t>(section_count, in.Remaining() / kSectionHeaderBytes));
    for (std::uint32_t i = 0; i < section_count; ++i) {
        const std::uint16_t id = in.U16();
        const std::uint16_t parent = in.U16();
        const std::string_view name = in.Bytes(in.U8());
        if (!in.Ok()) return false;
        TrsSectionRecord& s = sections.emplace_back();
        s.id = id;
        s.parent_id = parent;
        s.name.assign(text(name));
        BinProgress::Step(*this);
    }

    // Keys are most of a file: see ReadKeyRecords. A version 3 file's texts are converted into
    // the pool; without a progress handler nothing runs between two records, and they are counted
    // once at the end.
    const char* p = image.data() + in.Position();
    const char* const end = image.data() + image.size();
    keys.reserve(std::min<size_t>(key_count, in.Remaining() / kKeyHeaderBytes));
    if (!utf16 && !OnProgress) {
        const size_t before = keys.size();
        const bool complete = ReadKeyRecords(p, end, key_count, long_lengths, keys, [](TrsKeyRecord&) {}, [] {});
        BinProgress::Skip(*this, static_cast<std::int32_t>(keys.size() - before));
        return complete;
    }
    const auto convert = [&](TrsKeyRecord& key) {
        if (!utf16) return;
        if (key.kind == vkString) key.bytes = text(key.bytes);
        key.name = text(key.name);
    };
    return ReadKeyRecords(p, end, key_count, long_lengths, keys, convert, [this] { BinProgress::Step(*this); });
}

std::string TrsBinData::EncodeTables(const TrsStorage& store) {
    const auto& sections = store.Sections();
    const auto& keys = store.Keys();
    // Check everything first: a tree the format cannot hold must not leave a file that reads back
    // as something else.
    if (sections.size() > kMaxCount) RefuseToSave(std::to_string(sections.size()) + " sections, at most 65535 fit");
    if (keys.size() > kMaxCount) RefuseToSave(std::to_string(keys.size()) + " keys, at most 65535 fit");
    size_t total = 8;
    for (const TrsSectionRecord& s : sections) {
        if (s.id < 0 || static_cast<std::uint32_t>(s.id) > kMaxCount || s.parent_id < 0 ||
            static_cast<std::uint32_t>(s.parent_id) > kMaxCount) {
            RefuseToSave("section \"" + s.name + "\" has id " + std::to_string(s.id) + " under " +
                         std::to_string(s.parent_id) + ", only ids 0 to 65535 fit");
        }
        if (s.name.size() > kMaxNameBytes) RefuseToSave("the section name \"" + s.name + "\" is longer than 255 bytes");
        total += kSectionHeaderBytes + s.name.size();
    }
    for (const TrsKeyRecord& k : keys) {
        if (k.section_id < 0 || static_cast<std::uint32_t>(k.section_id) > kMaxCount) {
            RefuseToSave("key \"" + std::string(k.name) + "\" belongs to section id " +
                         std::to_string(k.section_id) + ", only ids 0 to 65535 fit");
        }
        if (k.name.size() > kMaxNameBytes) {
            RefuseToSave("the key name \"" + std::string(k.name) + "\" is longer than 255 bytes");
        }
        if (k.bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
            RefuseToSave("the value of key \"" + std::string(k.name) + "\" is too long");
        }
        total += kKeyHeaderBytes + k.name.size() + k.Payload().size();
        if (k.kind == vkString || k.kind == vkBinary) total += 4;
    }

    std::string out;
    out.reserve(total);
    out += "RS02";
    AppendU16(out, static_cast<std::uint32_t>(sections.size()));
    AppendU16(out, static_cast<std::uint32_t>(keys.size()));
    for (const TrsSectionRecord& s : sections) {
        AppendU16(out, static_cast<std::uint32_t>(s.id));
        AppendU16(out, static_cast<std::uint32_t>(s.parent_id));
        AppendU8(out, static_cast<std::uint32_t>(s.name.size()));
        out += s.name;
    }
    for (const TrsKeyRecord& k : keys) {
        AppendU16(out, static_cast<std::uint32_t>(k.section_id));
        AppendU8(out, static_cast<std::uint32_t>(k.name.size()));
        out += k.name;
        AppendU16(out, k.kind);
        if (k.kind == vkString || k.kind == vkBinary) AppendU32(out, static_cast<std::uint32_t>(k.bytes.size()));
        out += k.Payload();
    }
    return out;
}

void TrsBinData::WriteTree(TMemoryStream& stream) {
    TrsStreamData::WriteTree(stream);
    TrsStorage* store = CurrentStore();
    if (store == nullptr) return;
    const std::string image = EncodeTables(*store);
    BinProgress::Start(*this, static_cast<std::int32_t>(store->Sections().size() + store->Keys().size()));
    // The image is built whole; progress follows the records it holds.
    for (size_t i = 0; i < store->Sections().size() + store->Keys().size(); ++i) BinProgress::Step(*this);
    stream.Write(image);
}

}  // namespace tb
