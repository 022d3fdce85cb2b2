// Conversions of the current key to text, integer and boolean.
#include <cstring>

#include "base/locale.hpp"
#include "base/little_endian.hpp"
#include "storage/storage.hpp"
#include "storage/value_text.hpp"

namespace tb {
namespace {

double AsDouble(const TrsKeyRecord& key) {
    const std::uint64_t bits = LoadU64(key.fixed);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::int32_t Low32(const TrsKeyRecord& key) { return static_cast<std::int32_t>(LoadU32(key.fixed)); }
std::int64_t Whole64(const TrsKeyRecord& key) { return static_cast<std::int64_t>(LoadU64(key.fixed)); }
bool AllZero(const TrsKeyRecord& key) { return LoadU64(key.fixed) == 0; }
std::int32_t LowBits(std::int64_t value) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(value)); }

// Ten-thousandths to whole units, rounding ties to even.
std::int64_t CurrencyUnits(std::int64_t value) {
    std::int64_t q = value / 10000;
    const std::int64_t r = value % 10000;
    const std::int64_t twice = r < 0 ? -2 * r : 2 * r;
    if (twice > 10000 || (twice == 10000 && q % 2 != 0)) q += r < 0 ? -1 : 1;
    return q;
}

}  // namespace

bool TrsKeyWrapper::HasKey() const {
    return key_pos_ >= 0 && static_cast<std::size_t>(key_pos_) < storage_.keys_.size();
}

const TrsKeyRecord& TrsKeyWrapper::Record() const {
    if (!HasKey()) RaiseStorageError(kGetKeyValueError, "No current key.");
    return storage_.keys_[static_cast<std::size_t>(key_pos_)];
}

TMemoryStream& TrsKeyWrapper::ScratchStream() {
    if (!scratch_) scratch_ = std::make_unique<TMemoryStream>();
    return *scratch_;
}

void TrsKeyWrapper::RaiseConversion(const char* type_word) const {
    RaiseStorageError(kGetKeyValueError,
                      "Can't read value of key \"" + KeyDisplayPath() + "\" as " + type_word + " type.");
}

std::string TrsKeyWrapper::KeyDisplayPath() const {
    const TrsKeyRecord& key = Record();
    const auto& sections = storage_.sections_;
    // The key's section by id: the remembered position when it still holds that id, else a search.
    auto find_section = [&](std::int32_t id, std::ptrdiff_t hint) -> std::ptrdiff_t {
        if (hint >= 0 && static_cast<std::size_t>(hint) < sections.size() && sections[hint].id == id) return hint;
        for (std::size_t i = 0; i < sections.size(); ++i) {
            if (sections[i].id == id) return static_cast<std::ptrdiff_t>(i);
        }
        return -1;
    };
    std::string section_path;
    if (key.section_id != 0) {
        section_pos_ = find_section(key.section_id, section_pos_);
        // Walk up to the root; a damaged file may hold a cycle, so stop after as many steps as
        // there are sections.
        std::ptrdiff_t pos = section_pos_;
        for (std::size_t steps = 0; pos >= 0 && steps <= sections.size(); ++steps) {
            const TrsSectionRecord& s = sections[static_cast<std::size_t>(pos)];
            section_path = section_path.empty() ? s.name : s.name + "\\" + section_path;
            if (s.parent_id == 0) break;
            pos = find_section(s.parent_id, -1);
        }
    }
    return "\\" + section_path + "\\" + std::string(key.name);
}

std::string TrsKeyWrapper::StringOf(const TrsKeyRecord& key) const {
    switch (key.kind) {
        case vkEmpty: return {};
        case vkString: return std::string(key.bytes);
        case vkBinary: return BytesToHexText(key.bytes);
        case vkInteger:
        case vkRaw32: return std::to_string(Low32(key));
        case vkFloat: return FormatFloat(AsDouble(key), SystemLocaleFormats());
        case vkCurrency: return FormatCurrency(Whole64(key), SystemLocaleFormats());
        case vkDateTime:
            if (auto text = FormatDateTime(AsDouble(key), SystemLocaleFormats())) return *text;
            break;
        case vkBoolean: return Low32(key) != 0 ? "True" : "False";
        case vkPoint: {
            return "(" + std::to_string(static_cast<int>(Low32(key))) + "," +
                   std::to_string(static_cast<std::int32_t>(LoadU32(key.fixed + 4))) + ")";
        }
        case vkInt64: return std::to_string(Whole64(key));
        default: break;
    }
    RaiseConversion("string");
}

std::int32_t TrsKeyWrapper::IntegerOf(const TrsKeyRecord& key) const {
    switch (key.kind) {
        case vkEmpty: return 0;
        case vkString: return TextToInteger(key.bytes);
        case vkBinary:
            if (key.bytes.size() == 4) {
                return static_cast<std::int32_t>(LoadU32(reinterpret_cast<const unsigned char*>(key.bytes.data())));
            }
            break;
        case vkInteger: return Low32(key);
        case vkFloat:
        case vkDateTime:
            if (auto rounded = RoundToInt64(AsDouble(key))) return LowBits(*rounded);
            break;
        case vkCurrency: return LowBits(CurrencyUnits(Whole64(key)));
        case vkBoolean: return Low32(key) != 0 ? 1 : 0;
        case vkInt64: return LowBits(Whole64(key));
        default: break;
    }
    RaiseConversion("integer");
}

bool TrsKeyWrapper::BooleanOf(const TrsKeyRecord& key) const {
    switch (key.kind) {
        case vkEmpty: return false;
        case vkString:
            if (CompareNames(key.bytes, "True") == 0) return true;
            if (CompareNames(key.bytes, "False") == 0) return false;
            break;
        case vkInteger:
        case vkBoolean: return Low32(key) != 0;
        case vkFloat:
        case vkCurrency: return !AllZero(key);
        case vkInt64: return Whole64(key) != 0;
        default: break;
    }
    RaiseConversion("boolean");
}

}  // namespace tb
