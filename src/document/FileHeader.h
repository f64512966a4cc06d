// The header line that starts every block: the fixed words around the hap
// file's name. The File Header field starts with the default name; choosing a
// file in the chooser writes a header naming it.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tw {

inline constexpr std::string_view HeaderBeforeName = "#Haptek  Version= 2.00 Name= ";
inline constexpr std::string_view HeaderAfterName = "   HapType= script FileType= text";
inline constexpr std::string_view DefaultHeaderName = "insertnamehere.hap";

// The header line naming the file `name`.
inline std::string HeaderNaming(std::string_view name) {
    return std::string(HeaderBeforeName).append(name).append(HeaderAfterName);
}

namespace detail {
// The three parts joined at compile time, with a closing NUL as a literal has.
inline constexpr auto DefaultFileHeaderChars = [] {
    std::array<char, HeaderBeforeName.size() + DefaultHeaderName.size() + HeaderAfterName.size() + 1> text{};
    std::size_t n = 0;
    for (std::string_view part : {HeaderBeforeName, DefaultHeaderName, HeaderAfterName})
        for (char c : part) text[n++] = c;
    return text;
}();
}  // namespace detail

// The header line the File Header field starts with.
inline constexpr std::string_view DefaultFileHeader{detail::DefaultFileHeaderChars.data(),
                                                    detail::DefaultFileHeaderChars.size() - 1};

}  // namespace tw
