#pragma once
// What identifies a record file on a server: the SHA-256 of its bytes (the same bytes are the
// same measurement, whoever publishes them).
#include <string>
#include <string_view>

// Lower-case hex of the SHA-256 of data.
std::string Sha256Hex(std::string_view data);

// The bytes of a record file, read the way the loader reads it: a regular file only, opened
// without blocking, at most MaxRecordFileBytes. False with errno set when it cannot be read.
bool ReadRecordFileBytes(const char* path, std::string& bytes);
