#pragma once

// A whole file read or written through the program's own text file calls; the test fails when either does.

#include "core/textFile.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace korvel::test {

inline std::string fileText(const std::string& path) {
    std::string text;
    EXPECT_TRUE(readTextFile(path, text));
    return text;
}

// The file as it is stored, without decoding.
inline std::string fileBytes(const std::string& path) {
    std::string bytes;
    EXPECT_TRUE(readFileBytes(path, bytes));
    return bytes;
}

inline void writeFile(const std::string& path, std::string_view text) {
    ASSERT_TRUE(writeTextFileAtomically(path, text));
}

} // namespace korvel::test
