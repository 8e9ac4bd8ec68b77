// Bytes of the console (answers, error lines) made fit for the records:
// JSON strings must be UTF-8, XML 1.0 text must hold only its characters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Length of the well-formed UTF-8 sequence at the start of text (1 for an
// ASCII byte), or 0 when it does not start one: a stray continuation byte, a
// cut or overlong sequence, a surrogate or a code point past U+10FFFF.
std::size_t utf8Length(std::string_view text);

// The text as UTF-8: well-formed sequences kept, every other byte read as
// Latin-1 (byte 0xNN becomes U+00NN), so no byte is lost.
std::string utf8Kept(std::string_view bytes);

// Text for an XML 1.0 element or attribute, any bytes in: the five markup
// characters as entities, tab, newline and carriage return as character
// references, a backslash doubled, and every byte XML cannot hold (control
// characters, DEL, bytes that are not well-formed UTF-8, U+FFFE and U+FFFF)
// shown as \xNN.  The original bytes can always be read back.
std::string xmlEscape(std::string_view bytes);
