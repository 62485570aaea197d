// Real files in a private temporary folder, removed with the fixture.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A fresh, empty folder under the system's temporary folder.
std::string MakeTempDir();
void RemoveTree(const std::string& dir);

std::string JoinPath(const std::string& dir, const std::string& name);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::string& path);
bool FileExists(const std::string& path);

// Whether this process holds the file open. On Windows the program grants
// others read sharing at most, so opening for writing fails with a sharing
// violation exactly while it holds the file; elsewhere /proc lists the open
// files.
bool HeldOpen(const std::string& path);

