// The document as a JSON object: one key per member of DocumentTexts, every
// value a string, and the three register columns as arrays of 105 strings in
// the catalogue's order. Scripts hand documents to the command line this way.
#pragma once

#include <string>
#include <string_view>

#include "document/DocumentTexts.h"
#include "document/Outcome.h"

namespace tw {

// The document as an indented JSON object, every key present, ending in a
// line break. A text that is not valid UTF-8 has each bad sequence replaced
// by U+FFFD, since JSON holds only Unicode text.
std::string DocumentToJson(const DocumentTexts& document);

// Reads a JSON object over `base`: every key given replaces that member's
// text, exactly as it stands; a key left out keeps `base`'s text. A left-out
// finish time follows the start time and duration by the finish-time rule, as
// the field does whenever either of them is typed. Fails with a message naming
// the key for an unknown key, a value that is not a string, or a column that
// is not an array of 105 strings; and for text that is not one JSON object.
// A column may also be an object keyed by register name (the catalogue's):
// each register named takes its text, the others keep `base`'s, and a name
// that is no register is refused, naming it.
Outcome<DocumentTexts> DocumentFromJson(std::string_view json, DocumentTexts base);

}  // namespace tw
