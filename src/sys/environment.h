// The process's environment, which every child started from here on inherits.
#pragma once

#include <string>

// The variable's value; empty when it is not set.
std::string GetEnvironmentValue(const std::string& name);

// Sets the variable for this process and its later children; false when that fails.
bool SetEnvironmentValue(const std::string& name, const std::string& value);
