#pragma once
// A realistic example sample file: a few hundred KB of four-dye trace data, a
// version 3.0 Standard Header with plausible run parameters and an Extended
// Header of a few dozen entries of every type, nested lists included.

#include <memory>
#include <string>

#include "format/StandardHeader.h"
#include "model/HeaderNode.h"

namespace ExampleFile {
// The example's Extended Header tree.
std::unique_ptr<HeaderNode> MakeTree();
// The example's record before the headers are written (Offset 632, Length 0).
StandardHeader MakeRecord();
// Writes the example to `path`, which must not exist yet. Throws FileError.
void Write(const std::string& path);
}  // namespace ExampleFile
