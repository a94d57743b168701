#include "base/ParseInt.h"

#include <gtest/gtest.h>
#include <string>

using namespace brenwick;

namespace {

// "%i" numbers as the stored settings hold them: the value, and where the text after the number starts.
// ("0x" without a hex digit is left out: glibc reads its 0, the Windows C library nothing. Either way the
// stored baud index reads as 0, and the window, the placement's reader, is not built for Windows.)
TEST(ParseInt, ReadsOneNumberAndSaysWhereItEnds) {
    const struct {
        std::string text;
        std::optional<int32_t> value;
        size_t length; // when a value is read
    } cases[] = {
        {"42", 42, 2},
        {"0x1F", 31, 4},
        {"0X1f", 31, 4},
        {"017", 15, 3},
        {"0", 0, 1},
        {"-7", -7, 2},
        {"+7", 7, 2},
        {"-0x10", -16, 5},
        {"  12", 12, 4},    // white space before the number is skipped
        {"12 baud", 12, 2}, // whatever follows is left
        {"3:4", 3, 1},      // the next field of a list
        {"09", 0, 1},       // 9 is no octal digit
        {"2147483647", 2147483647, 10},
        {"-2147483648", -2147483647 - 1, 11},
        {"2147483648", std::nullopt, 0},  // one past 32 bits
        {"-2147483649", std::nullopt, 0}, // one below
        {"0x80000000", std::nullopt, 0},
        {"99999999999999999999", std::nullopt, 0}, // beyond 64 bits as well
        {"", std::nullopt, 0},
        {"   ", std::nullopt, 0},
        {"COM3", std::nullopt, 0},
        {"-", std::nullopt, 0},
        {"x12", std::nullopt, 0},
    };
    for (const auto& c : cases) {
        size_t length = 99;
        const std::optional<int32_t> value = ParseInt(c.text, &length);
        EXPECT_EQ(value, c.value) << '"' << c.text << '"';
        EXPECT_EQ(length, c.value ? c.length : 99u) << '"' << c.text << "\" (left alone without a value)";
        EXPECT_EQ(ParseInt(c.text), c.value) << '"' << c.text << "\" without asking for the length";
    }
}

// Only the number's own characters are read: a view into a longer text stops where the view does.
TEST(ParseInt, ReadsNoFurtherThanTheView) {
    const std::string text = "123456";
    size_t length = 0;
    EXPECT_EQ(ParseInt(std::string_view(text).substr(0, 3), &length), 123);
    EXPECT_EQ(length, 3u);
}

} // namespace
