#pragma once
// The one label comparison of the program: bytes taken unsigned, A-Z folded to
// a-z, the first difference decides, a prefix sorts first. The tree's order, its
// look-ups, the label checks and the file encoding's order all use it.

#include <string>
#include <string_view>

int CompareLabels(std::string_view a, std::string_view b);

inline bool LabelsEqual(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareLabels(a, b) == 0;
}

struct LabelLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const {
        return CompareLabels(a, b) < 0;
    }
};

// The label in upper case (a-z only), as labels typed by the user are stored.
std::string UpperCaseLabel(std::string_view label);
