// Fuzz support: every target works in one private workspace folder, made the working directory
// once, so that the system's fixed file names ("data\verticesamp4.txt", ...) land there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// Creates the workspace (with "data" and "matrix" folders) and enters it; once per process.
void enterWorkspace();

// Replaces the file `name` (a local path such as "data/vertices2.txt") with the given bytes.
void writeFile(const std::string& name, const uint8_t* data, size_t size);
void writeFile(const std::string& name, const std::string& text);

} // namespace fuzz
