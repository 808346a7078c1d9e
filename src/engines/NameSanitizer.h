#pragma once

#include <QString>

#include <optional>

namespace vistrel {

// Turns a naming tool's free-form answer into a file-name slug (lower-case a-z and 0-9 in
// hyphen-separated runs, at most 48 characters), or nothing when the answer is unusable.
// Kept free of processes and files so it can be tested and fuzzed on its own.
std::optional<QString> sanitizeName(const std::optional<QString> &output);

} // namespace vistrel
