// The release manifest's text: what the writer writes reads back, and the reader takes nothing else.
#include <gtest/gtest.h>

#include "settings/release_manifest.hpp"

namespace tb {
namespace {

ReleaseManifest Sample() {
    ReleaseManifest m;
    m.class_id = "{8FB98BEA-1BDD-41AE-B3E1-EC8AAE954B06}";
    m.version = "1.2.10";
    m.template_sha256 = std::string(64, 'a');
    m.icons_sha256 = std::string(64, 'b');
    m.made = 1797000000;
    m.expires = 1797600000;
    m.key_id = "0123456789abcdef";
    m.signature = std::string(64, '\x5c');
    return m;
}

TEST(ReleaseManifest, WhatIsWrittenReadsBackAndTheSignatureCoversEverythingBeforeIt) {
    for (const bool expires : {true, false}) {
        ReleaseManifest m = Sample();
        if (!expires) m.expires.reset();
        const std::string text = ManifestText(m);
        const ParsedManifest parsed = ParseReleaseManifest(text);
        ASSERT_TRUE(parsed.manifest) << parsed.error;
        EXPECT_EQ(parsed.signed_text, SignedManifestText(m));
        EXPECT_EQ(text.substr(0, parsed.signed_text.size()), parsed.signed_text);
        EXPECT_EQ(ManifestText(*parsed.manifest), text);
        EXPECT_EQ(parsed.manifest->expires, m.expires);
    }
}

// Every cut of a manifest is refused (the last line must be ended), and so is each text that is
// almost one: a reader that took any of them would give one document two meanings.
TEST(ReleaseManifest, OnlyTheOneFormIsTaken) {
    const std::string good = ManifestText(Sample());
    for (size_t cut = 0; cut < good.size(); ++cut) {
        EXPECT_FALSE(ParseReleaseManifest(good.substr(0, cut)).manifest) << "cut at " << cut;
    }
    const auto replaced = [&good](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"text after the end", good + "\n"},
        {"carriage returns", replaced("\nversion", "\r\nversion")},
        {"a space too many", replaced("version ", "version  ")},
        {"upper-case digest", replaced(std::string(64, 'a'), std::string(64, 'A'))},
        {"short digest", replaced(std::string(64, 'a'), std::string(63, 'a'))},
        {"lines swapped", replaced("template " + std::string(64, 'a') + "\nicons " + std::string(64, 'b'),
                                   "icons " + std::string(64, 'b') + "\ntemplate " + std::string(64, 'a'))},
        {"a version that is no dotted number", replaced("version 1.2.10", "version 1.2-beta")},
        {"an empty version part", replaced("version 1.2.10", "version 1..10")},
        {"a class id without braces", replaced("{8FB98BEA-1BDD-41AE-B3E1-EC8AAE954B06}", "8FB98BEA-1BDD-41AE-B3E1-EC8AAE954B06")},
        {"a negative expiry", replaced("expires 1797600000", "expires -1")},
        {"another format", replaced("toolbar release 1", "toolbar release 2")},
        {"over the size limit", good + std::string(kReleaseManifestSizeLimit, 'x')},
    };
    for (const auto& c : cases) EXPECT_FALSE(ParseReleaseManifest(c.text).manifest) << c.what;
    EXPECT_EQ(ParseReleaseManifest(good + std::string(kReleaseManifestSizeLimit, 'x')).error, "size limit");
}

TEST(ReleaseManifest, VersionsCompareAsDottedNumbers) {
    const struct {
        const char* a;
        const char* b;
        int order;
    } cases[] = {
        {"1.10", "1.9", 1}, {"1.2", "1.2.0", 0}, {"2", "10", -1}, {"1.0.1", "1", 1}, {"0.9", "1.0", -1},
        {"999999999.1", "999999999", 1},
    };
    for (const auto& c : cases) {
        const auto a = ParseDottedVersion(c.a);
        const auto b = ParseDottedVersion(c.b);
        ASSERT_TRUE(a && b) << c.a << " " << c.b;
        EXPECT_EQ(CompareDottedVersions(*a, *b), c.order) << c.a << " vs " << c.b;
    }
    for (const char* bad : {"", ".", "1.", ".1", "1.a", "1 .2", "1234567890", "1.2.3.4.5.6.7.8.9", "+1"}) {
        EXPECT_FALSE(ParseDottedVersion(bad)) << bad;
    }
}

TEST(ReleaseManifest, CarriedKeysAreWholePoints) {
    const std::string a = "\x04" + std::string(64, 'a');
    const std::string b = "\x04" + std::string(64, 'b');
    EXPECT_EQ(SplitPublicKeys(a + b), (std::vector<std::string>{a, b}));
    EXPECT_TRUE(SplitPublicKeys(a + b.substr(1)).empty());
    EXPECT_TRUE(SplitPublicKeys(a + "\x05" + b.substr(1)).empty());
    EXPECT_TRUE(SplitPublicKeys("").empty());
}

}  // namespace
}  // namespace tb
