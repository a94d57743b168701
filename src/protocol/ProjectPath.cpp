#include <string>

namespace brenwick {

std::string g_ProjectFilePath;

} // namespace brenwick
