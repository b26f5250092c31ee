// Helpers of the native tests that check the codecs against command-line tools no one here wrote:
// a shell command's output, whole files, and the largest byte difference of two pixel strings.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "Classes.h"

namespace codectools {

// The standard output of a shell command run in Dir (bounded in time); empty when it fails.
inline std::string Shell(const std::filesystem::path& Dir, const std::string& Command) {
    const std::string cmd = "cd '" + Dir.string() + "' && timeout 60 sh -c '" + Command + "' 2>/dev/null";
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[65536];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        if (pclose(p) != 0) out.clear();
    }
    return out;
}

inline std::string Slurp(const std::filesystem::path& File) {
    std::ifstream f(File, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

inline void Save(const std::filesystem::path& File, TMemoryStream& S) {
    std::ofstream f(File, std::ios::binary);
    f.write(static_cast<const char*>(S.GetMemory()), (std::streamsize)S.GetSize());
}

// The largest difference between two byte strings of equal length (256 when lengths differ).
inline int MaxDiff(const std::string& A, const std::string& B) {
    if (A.size() != B.size() || A.empty()) return 256;
    int m = 0;
    for (size_t i = 0; i < A.size(); ++i) m = std::max(m, std::abs((uint8_t)A[i] - (uint8_t)B[i]));
    return m;
}

}  // namespace codectools
