#pragma once
// The usage page of --help: every switch by group, and examples.
#include <string>

namespace tabrix {

inline constexpr const char* kVersionText = "Tabrix v7.82";

std::string usageText();

}  // namespace tabrix
