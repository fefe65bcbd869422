#pragma once

#include <string_view>

// Runs this program as one kind of host ("no-application", "core-application", "no-display"); 0 = passed.
int runHostScenario(std::string_view scenario);
