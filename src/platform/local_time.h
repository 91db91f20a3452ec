#pragma once
// The wall clock in the user's time zone.
#include <ctime>

namespace tabrix {

std::tm localTimeNow();

}  // namespace tabrix
