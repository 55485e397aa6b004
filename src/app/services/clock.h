#pragma once

#include <functional>

namespace App {

// The current time in seconds since 1970-01-01 00:00:00 UTC, with fraction. Services that store
// or compare times take one, so that tests can put them at any moment.
using Clock = std::function<double()>;

// The system's wall clock.
double systemClock();

} // namespace App
