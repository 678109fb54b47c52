// How values are written in the raw listing of a packed launcher's block (`--raw`).
//
// A value field is either verbatim (the text as it stands, backslashes included) or quoted: it
// starts with '"' and ends with the matching '"', and inside it these escapes apply:
//   \\  \"  \n  \r  \t  \xHH (a byte of a narrow value, the code unit U+00HH of a wide one)
//   \uHHHH (wide values only: one UTF-16 code unit, so lone surrogates can be written too)
// Wide values are UTF-8 text in the file and are stored as UTF-16; narrow values are stored as
// the bytes they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pack {

// The field text that decodes back to exactly this value: verbatim when that is unambiguous and
// visible, quoted otherwise.
std::string encodeNarrowField(std::string_view value);
std::string encodeWideField(std::u16string_view value);

// One UTF-8 sequence at text[at]: its code point and length, or false when it is malformed,
// overlong, a surrogate or beyond U+10FFFF.
bool decodeUtf8One(std::string_view text, size_t at, uint32_t& cp, size_t& len);

// Strict UTF-8 to UTF-16: false (with the byte offset of the fault) for malformed, overlong or
// surrogate sequences.
bool decodeUtf8(std::string_view text, std::u16string& out, size_t& badOffset);

}  // namespace pack
