// UTF-8 as the exporter reads and repairs it: which byte sequences are
// characters XML may hold, texts of byte characters folded back to their
// bytes, and code points spelled as UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Length of the valid UTF-8 sequence at p (at most n bytes), 0 when invalid.
// Noncharacters U+FFFE and U+FFFF count as invalid: XML forbids them.
size_t utf8_valid(const unsigned char* p, size_t n);

// The report writes each byte above 127 as a character reference of its own,
// so a text whose characters all lie below U+0100 is a run of bytes. When those
// bytes are valid UTF-8 the text is rewritten in place as them (and ended with
// a zero byte if it shrank); otherwise each byte stays the Latin-1 character
// it names. Returns the text's length afterwards.
size_t utf8_fold_bytes(char* text, size_t n);

// Appends the UTF-8 form of a code point (U+FFFD for one that is not a character).
void utf8_append(std::string& s, unsigned long cp);
// Appends the UTF-8 form of any number as it is: four bytes for anything past
// U+FFFF, the bits that do not fit cut off (as readers of old took references).
void utf8_spell(std::string& s, uint32_t cp);
