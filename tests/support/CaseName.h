#pragma once

#include <cctype>
#include <gtest/gtest.h>
#include <string>

// Names a parameterised case after its `name` field, in the characters GoogleTest accepts.
template <class Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& param) {
    std::string name = param.param.name;
    for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) {
            ch = '_';
        }
    }
    return name;
}
