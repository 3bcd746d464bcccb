#pragma once

#include <cctype>
#include <cstddef>
#include <string>
#include <string_view>

namespace orvelle::test {

// A GoogleTest parameter name made from the words that say what a table row
// guards against: the row's number first, so that names stay unique and keep
// the table's order, then the letters and digits, anything else an
// underscore. "planes 2" as row 9 is "09_planes_2", which --gtest_filter can
// pick out on its own.
inline std::string RowName(std::size_t index, std::string_view what)
{
    std::string name = (index < 10 ? "0" : "") + std::to_string(index);
    bool gap = true;
    for (const char c : what) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            if (gap)
                name += '_';
            name += c;
            gap = false;
        } else {
            gap = true;
        }
    }
    return name;
}

} // namespace orvelle::test
