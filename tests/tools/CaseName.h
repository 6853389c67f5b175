// Test names for the cases of a parameterised suite: the case's position in
// the list, then what PrintTo shows of the case, with every run of characters
// that a test name cannot hold made one "_" (at most 48 characters in all;
// "blank" when nothing is left).
// The names read as the cases do and stay the same from build to build, so a
// failing case can be run again by name (--gtest_filter, ctest -R).
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>

struct CaseName {
    template <class Case>
    std::string operator()(const testing::TestParamInfo<Case>& info) const {
        const std::string number = std::to_string(info.index) + "_";
        std::string name = number;
        for (const char c : testing::PrintToString(info.param)) {
            if (name.size() >= 48) break;
            if (std::isalnum(static_cast<unsigned char>(c)) != 0) name += c;
            else if (name.back() != '_') name += '_';
        }
        if (name == number) return number + "blank";
        if (name.back() == '_') name.pop_back();
        return name;
    }
};
