#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "foundation/JSON.h"

// The parsed document behind the decoding containers (JSONDocument.cpp). Internal to foundation.
namespace foundation::detail {

// The value of `key` in an object node: the last one when the key is given twice, as a JSON object read
// into a dictionary keeps it. `documentKey` receives the key as stored in the document (it lives as long
// as the document).
bool findField(const JSONNode& object, std::string_view key, JSONNode& value, std::string_view* documentKey);

// The same answer as findField, through the object's index: made on the first look-up (one pass over the
// fields into `state`), then probed. Objects outside the document, and objects of more than
// kMaximumIndexedFields fields (data rather than a model's keys), are searched as findField does.
bool findIndexedField(const JSONNode& object, ObjectIndex& index, DecodingState& state, std::string_view key,
                      JSONNode& value, std::string_view* documentKey);
inline constexpr std::size_t kMaximumIndexedFields = 1024;

// A number as JSON writes it: integers in full, other numbers with 17 significant digits.
std::string formatNumber(const JSONNode& number);

// nlohmann-json's parse with the nesting bound: the reference for what is valid JSON (but for a raw NUL byte,
// which it takes for the end of the text) and for the text of every parse error, which says where and what was
// expected and never quotes the text.
std::expected<JSONValue, Error> parseWithNlohmann(std::string_view text);

// The deepest nesting of arrays and objects a document may have.
inline constexpr int kMaximumNestingDepth = 512;

}  // namespace foundation::detail
