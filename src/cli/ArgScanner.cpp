#include "cli/ArgScanner.h"

namespace brenwick::cli {

bool CArgScanner::Flag(const std::string& name) {
    if (!Done() && Peek() == name) {
        ++m_Pos;
        return true;
    }
    return false;
}

std::optional<std::string> CArgScanner::Value(const std::string& name) {
    if (Done()) {
        return std::nullopt;
    }
    const std::string& arg = Peek();
    if (arg.rfind(name + "=", 0) == 0) {
        ++m_Pos;
        return arg.substr(name.size() + 1);
    }
    if (arg != name) {
        return std::nullopt;
    }
    if (m_Pos + 1 >= m_Args.size()) {
        m_Error = "option " + name + " needs a value";
        ++m_Pos;
        return std::nullopt;
    }
    m_Pos += 2;
    return m_Args[m_Pos - 1];
}

} // namespace brenwick::cli
