#pragma once

#include <optional>
#include <string>
#include <vector>

namespace brenwick::cli {

// Walks a command's arguments: options ("--name value" or "--name=value") and positional words.
class CArgScanner {
  public:
    explicit CArgScanner(const std::vector<std::string>& args) : m_Args(args) {}

    bool Done() const { return m_Pos >= m_Args.size(); }
    const std::string& Peek() const { return m_Args[m_Pos]; }
    bool IsOption() const { return !Done() && Peek().size() > 1 && Peek()[0] == '-'; }

    // True (and consumed) when the current argument is the flag `name`.
    bool Flag(const std::string& name);
    // The value of option `name` when the current argument is that option; sets Error() when it lacks one.
    std::optional<std::string> Value(const std::string& name);
    std::string Positional() { return m_Args[m_Pos++]; }

    const std::string& Error() const { return m_Error; }

  private:
    const std::vector<std::string>& m_Args;
    size_t m_Pos = 0;
    std::string m_Error;
};

} // namespace brenwick::cli
