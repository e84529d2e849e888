// Work done in another folder as the working directory.
#pragma once

#include <filesystem>
#include <functional>

namespace corretor {

// Runs `trabalho` with `pasta` as the working directory, then returns to the one it found.
// Returns what `trabalho` returns, or false, recording why, when the folder could not be
// entered or the earlier one not entered again.
bool trabalharEm(const std::filesystem::path& pasta, const std::function<bool()>& trabalho);

} // namespace corretor
