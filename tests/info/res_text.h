// The long texts as res/text holds them, read from the source tree, so that a
// deliberate edit of a text is made in that one file.
#pragma once

#include "Driver.h"

#include <fstream>
#include <sstream>
#include <string>

namespace res_text {

// The bytes of res/text/<name>; empty when the file cannot be read.
inline std::string Read(const char* name)
{
    std::ifstream file(driver::FromUnixPath(std::string(TIERMO_TEXT_DIR "/") + name),
                       std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

inline std::string HelpText() { return Read("help.txt"); }
inline std::string Disclaimer() { return Read("aboutdis.txt"); }

} // namespace res_text
