#pragma once
// How messages quote bytes from a file or the console: the one rule for
// every message of the program.
#include <string>
#include <string_view>

namespace zk::rt {

// Length of the valid UTF-8 sequence of two to four bytes at s[k]; 0 when
// the bytes there are not one (ASCII included), or when it encodes a C1
// control, which does not show either.
std::size_t utf8_sequence(std::string_view s, std::size_t k);

// `s` with every byte that would not show as text written as \xNN: control
// bytes, bytes that are not valid UTF-8, C1 controls and the byte-order mark.
// Valid UTF-8 text is kept as it is.
std::string escape_bytes(std::string_view s);

// escape_bytes of `s`, with the middle of a text longer than a few hundred
// bytes left out ("[... N characters left out ...]"), cut between
// characters, so that a message stays one readable line.
std::string shortened(std::string_view s);

}  // namespace zk::rt
