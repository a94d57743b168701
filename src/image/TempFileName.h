#pragma once

#include <string>

namespace brenwick {

// The folder part of path, up to and with its last separator; "" for a bare name. On Windows a backslash
// and a drive prefix ("C:name") end a folder too.
std::string FolderOf(const std::string& path);

// A fresh name for a temporary file in folder (as FolderOf gives it): ".brenwick-" and eight random letters
// or digits. A name that is taken is met by asking again.
std::string TempFileNameIn(const std::string& folder);

} // namespace brenwick
