#pragma once
// Fixture makers for the file-layer tests: files, gzip and scrambled
// variants, and ".saf" archives, all written by our own code.
#include <string>
#include <utility>
#include <vector>

std::string fixture_read(const std::string& path);
void fixture_write(const std::string& path, const std::string& bytes);
// gzip member with the optional header fields named by flags (RFC 1952).
std::string fixture_gzip(const std::string& plain, int flags = 0);
std::string fixture_scramble(const std::string& plain);
// An archive of (name, bytes) members in the order given.
void fixture_saf(const std::string& path, const std::vector<std::pair<std::string, std::string>>& members);
// Bytes that do not repeat soon, so compression keeps them long.
std::string fixture_noise(size_t n, unsigned seed);
