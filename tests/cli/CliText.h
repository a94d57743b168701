#pragma once

#include "support/TempDir.h"

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

// Writing the command lines of a test's runs and reading what the command line printed.
namespace cli_text {

// The words of `text`, split at spaces: PORT becomes `port`, and "@name" (also after "--option=") a path
// in `dir`.
inline std::vector<std::string> Words(const std::string& text, const std::string& port, const CTempDir& dir) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) {
        const size_t at = word.find('@');
        words.push_back(word == "PORT"            ? port
                        : at != std::string::npos ? word.substr(0, at) + dir.Path(word.substr(at + 1))
                                                  : word);
    }
    return words;
}

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// True when the text holds a byte a plain log must not: anything below 0x20 but the line end, or DEL.
inline bool HasControlCharacters(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u < 0x20 && c != '\n') || u == 0x7F;
    });
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// What a terminal shows after `output` was written to it: handles carriage return, line feed, erase line
// (ESC [ 2 K) and cursor up (ESC [ n A); other escape sequences are dropped.
inline std::vector<std::string> Screen(const std::string& output) {
    std::vector<std::string> screen(1);
    size_t row = 0;
    size_t column = 0;
    for (size_t i = 0; i < output.size(); ++i) {
        const char c = output[i];
        if (c == '\r') {
            column = 0;
        } else if (c == '\n') {
            screen.resize(std::max(screen.size(), ++row + 1));
        } else if (c == '\x1b') {
            const size_t end = output.find_first_not_of("[0123456789;", i + 1);
            if (end == std::string::npos) {
                break;
            }
            const std::string number = output.substr(i + 2, end - i - 2);
            if (output[end] == 'A') {
                row -= std::min(row, number.empty() ? size_t{1} : std::stoul(number));
            } else if (output[end] == 'K' && number == "2") {
                screen[row].clear();
            }
            i = end;
        } else {
            screen[row].resize(std::max(screen[row].size(), column + 1), ' ');
            screen[row][column++] = c;
        }
    }
    while (!screen.empty() && screen.back().empty()) {
        screen.pop_back();
    }
    return screen;
}

} // namespace cli_text
