#include <string>

std::string g_ProjectFilePath;
