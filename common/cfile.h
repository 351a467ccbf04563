#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace nimbra {

struct CloseCFile
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using CFile = std::unique_ptr<std::FILE, CloseCFile>;

// Opens a C stream by its wide name on Windows, where the narrow one is read in the system's
// code page and cannot name every file; null when the file cannot be opened.
inline CFile OpenCFile(const std::filesystem::path& name, const char* mode)
{
#ifdef _WIN32
    const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return CFile(_wfopen(name.c_str(), wideMode.c_str()));
#else
    return CFile(std::fopen(name.c_str(), mode));
#endif
}

} // namespace nimbra
