// Helpers shared by the art tests: running one of the generating tools into
// a fresh folder and reading files back.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace arttest {

// A new empty folder under the system's temporary folder.
inline std::filesystem::path FreshFolder(const std::string& name) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("reelstack_art_" + std::to_string(::getpid()) + "_" + name);
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

// Runs tool with folder as its one argument; true when it exits with 0.
inline bool RunTool(const std::string& tool, const std::filesystem::path& folder) {
    const std::string command = "'" + tool + "' '" + folder.string() + "'";
    return std::system(command.c_str()) == 0;
}

inline std::vector<uint8_t> ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline uint32_t Le16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint32_t>(b.at(at)) | static_cast<uint32_t>(b.at(at + 1)) << 8;
}
inline uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return Le16(b, at) | Le16(b, at + 2) << 16;
}

}  // namespace arttest
