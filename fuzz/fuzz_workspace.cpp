#include "fuzz/fuzz_workspace.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fuzz {

void enterWorkspace()
{
    static bool entered = false;
    if (entered) return;
    entered = true;
    std::string model = (std::filesystem::temp_directory_path() / "corretor-fuzz-XXXXXX").string();
    if (mkdtemp(model.data()) == nullptr) std::abort();
    std::filesystem::current_path(model);
    std::filesystem::create_directories("data");
    std::filesystem::create_directories("matrix");
}

void writeFile(const std::string& name, const uint8_t* data, size_t size)
{
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void writeFile(const std::string& name, const std::string& text)
{
    writeFile(name, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

} // namespace fuzz
