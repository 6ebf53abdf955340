// The driver's verbs, "menu" and "window", and what they share.
#pragma once

#include "Steps.h"

#include <optional>
#include <string>

namespace lemvora::driver {

// Each returns the process's exit status: 0, 1 when a step failed, 2 for a usage error.
int menuCommand(const Options& options);
int windowCommand(const Options& options);

// The first step of each verb.
void requireTrust();
std::string withoutTrailingSlash(std::string path);
std::string oneLine(std::string text);

} // namespace lemvora::driver
