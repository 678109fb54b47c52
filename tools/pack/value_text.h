// How values are written in pack input files and in the listing of `pack inspect`.
//
// A value field is either verbatim (the text as it stands, backslashes included) or quoted: it
// starts with '"' and ends with the matching '"', and inside it these escapes apply:
//   \\  \"  \n  \r  \t  \xHH (a byte of a narrow value, the code unit U+00HH of a wide one)
//   \uHHHH (wide values only: one UTF-16 code unit, so lone surrogates can be written too)
// Wide values are UTF-8 text in the file and are stored as UTF-16; narrow values are stored as
// the bytes they are.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pack {

// Decodes a whole value field (verbatim or quoted). Returns false with an error text.
bool decodeNarrowField(std::string_view field, std::string& value, std::string& error);
bool decodeWideField(std::string_view field, std::u16string& value, std::string& error);

// Decodes a quoted token at the start of text (text[0] == '"'); end receives the index just
// behind the closing quote. Used where more fields follow on the line.
bool decodeQuotedNarrow(std::string_view text, std::string& value, size_t& end, std::string& error);

// The field text that decodes back to exactly this value: verbatim when that is unambiguous and
// visible, quoted otherwise.
std::string encodeNarrowField(std::string_view value);
std::string encodeWideField(std::u16string_view value);
// Like encodeNarrowField, but quoted whenever the value holds a blank, for a field that other
// fields follow on the line (a file name).
std::string encodeNarrowToken(std::string_view value);

// Strict UTF-8 to UTF-16: false (with the byte offset of the fault) for malformed, overlong or
// surrogate sequences.
bool decodeUtf8(std::string_view text, std::u16string& out, size_t& badOffset);

}  // namespace pack
