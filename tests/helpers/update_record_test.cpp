// Update.log lines and Update.state: what comes from outside cannot forge a line or a header.
#include <gtest/gtest.h>

#include <algorithm>

#include "settings/update_record.hpp"

namespace tb {
namespace {

TEST(UpdateRecord, ALogLineIsOneLineOfPrintableText) {
    EXPECT_EQ(UpdateLogLine("2026-12-10 20:00:00Z", "https://u.example.com/bar/", "updated to version 1.2"),
              "2026-12-10 20:00:00Z https://u.example.com/bar/ updated to version 1.2\n");
    const std::string forged = UpdateLogLine("t", "http://x/\n2026-01-01 00:00:00Z http://x/ updated\t\x7f\xc3\xa9", "ok");
    EXPECT_EQ(std::count(forged.begin(), forged.end(), '\n'), 1);
    EXPECT_EQ(forged, "t http://x/?2026-01-01 00:00:00Z http://x/ updated???? ok\n");
    EXPECT_LT(UpdateLogLine("t", std::string(10000, 'a'), "ok").size(), 400u);
}

TEST(UpdateRecord, TheStateKeepsCleanValidatorsOnly) {
    const std::vector<SavedValidators> saved = {{"https://u/bar/B.release", {"\"r-2\"", ""}},
                                                {"https://u/bar/icons.bin", {"", "Thu, 10 Dec 2026 20:00:00 GMT"}}};
    EXPECT_EQ(ParseUpdateState(FormatUpdateState(saved)), saved);
    const std::string hostile = "https://u/a\t\"x\"\r\nInjected: 1\t\n"  // a line break inside a value
                                "https://u/b\t\"y\"\n"                   // too few fields
                                "https://u/c\t\"z\"\t\tmore\n"           // too many
                                "https://u/d\t\"ok\"\t\n"
                                "https://u/e\t\"cut off at the end\"\t";
    EXPECT_EQ(ParseUpdateState(hostile), (std::vector<SavedValidators>{{"https://u/d", {"\"ok\"", ""}}}));
    EXPECT_TRUE(ParseUpdateState(std::string(kUpdateStateSizeLimit, 'x') + "\nhttps://u/f\ta\tb\n").empty());

    auto entries = WithValidators(saved, "https://u/bar/B.release", {"\"r-3\"", ""});
    EXPECT_EQ(FindValidators(entries, "https://u/bar/B.release").etag, "\"r-3\"");
    EXPECT_EQ(entries.size(), 2u);
    entries = WithValidators(entries, "https://u/bar/icons.bin", {});
    EXPECT_EQ(entries.size(), 1u);
    EXPECT_EQ(FindValidators(entries, "https://u/bar/icons.bin"), Validators{});
}

}  // namespace
}  // namespace tb
