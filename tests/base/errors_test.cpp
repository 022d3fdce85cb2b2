// The system's exception types: what callers and boundaries read from them.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "base/errors.hpp"

namespace tb {
namespace {

TEST(Error, CarriesItsTextThroughCopiesThrowsAndCatchesAsAStandardException) {
    std::string text = "Cannot open file \"a.ini\". Access is denied.";
    Error kept("placeholder");
    try {
        try {
            throw FileOpenError(text);
        } catch (const Error& error) {
            kept = error;  // outlives the exception object
            throw;
        }
    } catch (const std::exception& error) {
        EXPECT_EQ(std::string(error.what()), text);
    }
    text.clear();  // the exception holds its own copy of the text
    EXPECT_STREQ(kept.what(), "Cannot open file \"a.ini\". Access is denied.");
    Error moved = std::move(kept);
    EXPECT_STREQ(moved.what(), "Cannot open file \"a.ini\". Access is denied.");
    EXPECT_STREQ(ConvertError(std::string()).what(), "");
}

}  // namespace
}  // namespace tb
