#pragma once

// The COM port pair that scripts/test-windows joins like a null-modem cable (two pseudo-terminals under
// Wine), named in BRENWICK_TEST_COM_PAIR as "COMa COMb".
#include <cstdlib>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace brenwick::serial::com_pair {

// The two ports' names, or none when the run provides no line.
inline std::vector<std::string> LinePair() {
    const char* names = std::getenv("BRENWICK_TEST_COM_PAIR");
    std::istringstream words(names != nullptr ? names : "");
    std::vector<std::string> pair{std::istream_iterator<std::string>(words), {}};
    return pair.size() == 2 ? pair : std::vector<std::string>{};
}

#define REQUIRE_LINE(pair)                                                                                   \
    const std::vector<std::string> pair = ::brenwick::serial::com_pair::LinePair();                          \
    if (pair.empty()) {                                                                                      \
        GTEST_SKIP() << "no COM port pair: scripts/test-windows provides one";                               \
    }

} // namespace brenwick::serial::com_pair
