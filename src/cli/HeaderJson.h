#pragma once
// The Extended Header as JSON, without loss: export then import gives the same
// tree, and so the same file.
//
//   { "LABEL": ENTRY, ... }                       the root's entries, in label order
//   ENTRY := {"type": "List", "entries": { "LABEL": ENTRY, ... }}
//          | {"type": "ASCII" | "Unicode", "value": "text"}
//          | {"type": "Unicode", "units": [UTF-16 code units]}   (text with unpaired surrogates)
//          | {"type": "Boolean", "values": [true, false, ...]}   (a stored byte other than 0 or 1
//                                                                  appears as that integer)
//          | {"type": "Byte" | "Short" | "Long", "values": [integers]}
//          | {"type": "Float" | "Double", "values": [numbers]}   (written so that they read
//            back to the same bits; "Infinity", "-Infinity", "NaN", or "NaN:0x..." with the
//            value's bits for other not-a-number patterns)
//          | {"type": "End"}
//          | {"type": "Unknown", "code": N, "bytes": [0..255, ...]}
//
// Labels and ASCII text are 8-bit bytes, written as the characters they stand for
// in the program's code page (TextCodec); text it cannot hold is refused.

#include <memory>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "model/CodedError.h"
#include "model/HeaderNode.h"

class HeaderJson {
  public:
    // What export writes: entries in the tree's order.
    using Json = nlohmann::ordered_json;
    // What import reads: the order of a list's entries does not matter (the tree
    // keeps its own), and this object finds a key in O(log n) where the ordered
    // one searches every key, which made reading a large list quadratic.
    using InputJson = nlohmann::json;

    // A JSON document that does not describe a valid tree; the message names
    // the entry concerned.
    class Error : public CodedError {
      public:
        explicit Error(const std::string& text) : CodedError(Code::BadJson, text) {}
    };

    static Json Export(const HeaderNode& root);

    // A new root holding the tree of the JSON text, built as the text is read
    // (memory follows the tree, not a document of the text). A key given twice
    // in one object is refused. Throws Error, or nlohmann::json::exception where
    // the text is no JSON.
    static std::unique_ptr<HeaderNode> Import(std::string_view text);
};
