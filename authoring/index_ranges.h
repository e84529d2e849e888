// Lists of triangle numbers in messages: "3, 7 a 9, 12" rather than every number.
#pragma once

#include <string>
#include <vector>

namespace corretor {

// `indices` ascending; consecutive runs of three or more become "first a last".
inline std::string faixasDeIndices(const std::vector<int>& indices)
{
    std::string texto;
    for (std::size_t i = 0; i < indices.size();) {
        std::size_t fim = i;
        while (fim + 1 < indices.size() && indices[fim + 1] == indices[fim] + 1)
            ++fim;
        if (!texto.empty()) texto += ", ";
        texto += std::to_string(indices[i]);
        if (fim >= i + 2) {
            texto += " a " + std::to_string(indices[fim]);
            i = fim + 1;
        } else {
            ++i;
        }
    }
    return texto;
}

} // namespace corretor
