#pragma once
// What identifies a record file on a server: the SHA-256 of its bytes (the same bytes are the
// same measurement, whoever publishes them), and its name as text.
#include <string>
#include <string_view>

// Lower-case hex of the SHA-256 of data.
std::string Sha256Hex(std::string_view data);

// The bytes of a record file, read the way the loader reads it: a regular file only, opened
// without blocking, at most MaxRecordFileBytes. False with errno set when it cannot be read.
bool ReadRecordFileBytes(const char* path, std::string& bytes);

// A file name as UTF-8: as it is when it is UTF-8, decoded as GBK (the instrument's naming)
// when it reads so, else with every other byte replaced by U+FFFD.
std::string NameAsText(std::string_view name);
