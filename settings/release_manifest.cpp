// The release manifest, text in ASCII, at most kReleaseManifestSizeLimit bytes, lines ended by
// "\n" only, in this order and each exactly once:
//
//   toolbar release 1
//   class-id {8FB98BEA-1BDD-41AE-B3E1-EC8AAE954B06}    the toolbar's class id, any letter case
//   version 1.2.10                                      dotted numbers: at most 8 parts of 1-9 digits
//   template <64 hex>                                   SHA-256 of the template file B.tb
//   icons <64 hex>                                      SHA-256 of the icon store icons.bin
//   made 1797000000                                     seconds since 1970-01-01 UTC, 1-12 digits
//   expires 1797600000 | expires never                  likewise; the release is refused from then on
//   key <16 hex>                                        id of the signing key (KeyIdOf)
//   signature <128 hex>                                 r then s (ECDSA P-256 over SHA-256)
//
// Hexadecimal is lower case. The signature covers every byte before the "signature" line. Nothing
// else is allowed: no blank lines, no spaces beyond the one after each name, no "\r", nothing after
// the last "\n". A reader meets exactly what a writer writes, so one document has one meaning.
#include "settings/release_manifest.hpp"

#include <charconv>

#include "base/text.hpp"
#include "settings/update_signature.hpp"

namespace tb {
namespace {

constexpr char kFirstLine[] = "toolbar release 1";

bool IsLowerHex(std::string_view text, size_t digits) {
    if (text.size() != digits) return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

bool IsDecimal(std::string_view text, size_t max_digits) {
    if (text.empty() || text.size() > max_digits) return false;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

int64_t DecimalValue(std::string_view text) {
    int64_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// Takes the next line, which must be "NAME VALUE"; false when it is not.
bool TakeField(std::string_view& rest, std::string_view name, std::string_view& value) {
    const size_t end = rest.find('\n');
    if (end == std::string_view::npos) return false;
    const std::string_view line = rest.substr(0, end);
    if (line.size() <= name.size() + 1 || line.substr(0, name.size()) != name || line[name.size()] != ' ') return false;
    value = line.substr(name.size() + 1);
    rest.remove_prefix(end + 1);
    return true;
}

}  // namespace

std::string SignedManifestText(const ReleaseManifest& m) {
    std::string text = std::string(kFirstLine) + "\n";
    text += "class-id " + m.class_id + "\n";
    text += "version " + m.version + "\n";
    text += "template " + m.template_sha256 + "\n";
    text += "icons " + m.icons_sha256 + "\n";
    text += "made " + std::to_string(m.made) + "\n";
    text += "expires " + (m.expires ? std::to_string(*m.expires) : std::string("never")) + "\n";
    text += "key " + m.key_id + "\n";
    return text;
}

std::string ManifestText(const ReleaseManifest& m) {
    return SignedManifestText(m) + "signature " + ToHex(m.signature) + "\n";
}

ParsedManifest ParseReleaseManifest(std::string_view text) {
    ParsedManifest parsed;
    const auto fail = [&parsed](std::string reason) {
        parsed.error = std::move(reason);
        return std::move(parsed);
    };
    if (text.size() > kReleaseManifestSizeLimit) return fail("size limit");
    std::string_view rest = text;
    if (rest.substr(0, sizeof kFirstLine) != std::string(kFirstLine) + "\n") return fail("not a release manifest");
    rest.remove_prefix(sizeof kFirstLine);
    ReleaseManifest m;
    std::string_view value;
    if (!TakeField(rest, "class-id", value) || !IsClassIdText(value)) return fail("no class id");
    m.class_id = value;
    if (!TakeField(rest, "version", value) || !ParseDottedVersion(value)) return fail("no version");
    m.version = value;
    if (!TakeField(rest, "template", value) || !IsLowerHex(value, 64)) return fail("no template digest");
    m.template_sha256 = value;
    if (!TakeField(rest, "icons", value) || !IsLowerHex(value, 64)) return fail("no icon store digest");
    m.icons_sha256 = value;
    if (!TakeField(rest, "made", value) || !IsDecimal(value, 12)) return fail("no time of making");
    m.made = DecimalValue(value);
    if (!TakeField(rest, "expires", value) || !(value == "never" || IsDecimal(value, 12))) return fail("no expiry");
    if (value != "never") m.expires = DecimalValue(value);
    if (!TakeField(rest, "key", value) || !IsLowerHex(value, 16)) return fail("no key id");
    m.key_id = value;
    const std::string_view signed_text = text.substr(0, text.size() - rest.size());
    if (!TakeField(rest, "signature", value) || !IsLowerHex(value, 128)) return fail("no signature");
    if (!rest.empty()) return fail("text after the signature");
    m.signature = *FromHex(value);
    parsed.signed_text = signed_text;
    parsed.manifest = std::move(m);
    return parsed;
}

std::optional<std::vector<uint32_t>> ParseDottedVersion(std::string_view text) {
    std::vector<uint32_t> parts;
    for (;;) {
        const size_t dot = text.find('.');
        const std::string_view part = text.substr(0, dot);
        if (!IsDecimal(part, 9) || parts.size() == 8) return std::nullopt;
        parts.push_back(static_cast<uint32_t>(DecimalValue(part)));
        if (dot == std::string_view::npos) return parts;
        text.remove_prefix(dot + 1);
    }
}

int CompareDottedVersions(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    for (size_t i = 0; i < a.size() || i < b.size(); ++i) {
        const uint32_t x = i < a.size() ? a[i] : 0;
        const uint32_t y = i < b.size() ? b[i] : 0;
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

std::string KeyIdOf(std::string_view digest) { return ToHex(digest.substr(0, 8)); }

std::string ToHex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        hex += kDigits[b >> 4];
        hex += kDigits[b & 15];
    }
    return hex;
}

std::optional<std::string> FromHex(std::string_view hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    std::string bytes;
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexDigitValue(hex[i]);
        const int low = HexDigitValue(hex[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
    }
    return bytes;
}

std::vector<std::string> SplitPublicKeys(std::string_view carried) {
    std::vector<std::string> keys;
    if (carried.empty() || carried.size() % kUpdatePublicKeySize != 0) return keys;
    for (size_t at = 0; at < carried.size(); at += kUpdatePublicKeySize) {
        if (carried[at] != '\x04') return {};  // not the uncompressed points of `tbtool keygen`
        keys.emplace_back(carried.substr(at, kUpdatePublicKeySize));
    }
    return keys;
}

bool IsClassIdText(std::string_view text) {
    if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
    for (size_t i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? text[i] != '-' : HexDigitValue(text[i]) < 0) return false;
    }
    return true;
}

}  // namespace tb
