#pragma once

#include <cctype>
#include <string>
#include <vector>

// Reading what the command line printed.
namespace cli_text {

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// True when the text holds a byte a plain log must not: anything below 0x20 but the line end, or DEL.
inline bool HasControlCharacters(const std::string& text) {
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\n') || u == 0x7F) {
            return true;
        }
    }
    return false;
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start));
    }
    return lines;
}

// What a terminal shows after `output` was written to it: handles carriage return, line feed, erase line
// (ESC [ 2 K and ESC [ K) and cursor up/down (ESC [ n A / B); other escape sequences are dropped.
inline std::vector<std::string> Screen(const std::string& output) {
    std::vector<std::string> screen(1);
    size_t row = 0;
    size_t column = 0;
    for (size_t i = 0; i < output.size(); ++i) {
        const char c = output[i];
        if (c == '\r') {
            column = 0;
        } else if (c == '\n') {
            ++row;
            if (row >= screen.size()) {
                screen.resize(row + 1);
            }
        } else if (c == '\x1b' && i + 1 < output.size() && output[i + 1] == '[') {
            size_t j = i + 2;
            std::string number;
            while (j < output.size() &&
                   (std::isdigit(static_cast<unsigned char>(output[j])) != 0 || output[j] == ';')) {
                number += output[j++];
            }
            if (j >= output.size()) {
                break;
            }
            const size_t n = number.empty() ? 1 : std::stoul(number);
            switch (output[j]) {
            case 'A':
                row = n > row ? 0 : row - n;
                break;
            case 'B':
                row += n;
                if (row >= screen.size()) {
                    screen.resize(row + 1);
                }
                break;
            case 'K':
                if (number == "2") {
                    screen[row].clear();
                } else if (screen[row].size() > column) {
                    screen[row].resize(column);
                }
                break;
            default:
                break;
            }
            i = j;
        } else {
            std::string& line = screen[row];
            if (line.size() <= column) {
                line.resize(column + 1, ' ');
            }
            line[column++] = c;
        }
    }
    while (!screen.empty() && screen.back().empty()) {
        screen.pop_back();
    }
    return screen;
}

} // namespace cli_text
