// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// A fresh folder under the system's temporary folder, removed with its content.
class TempDir final {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// The bytes of a file, empty when it does not exist.
std::string ReadFileBytes(const std::string& path);
// Replaces the file with exactly these bytes.
void WriteFileBytes(const std::string& path, const std::string& bytes);
