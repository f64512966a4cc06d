// A generation run's block as it leaves the program: for a file or for the
// clipboard. Every rule that turns the window's texts into the bytes of a
// block lives here or below, never in a window.
#pragma once

#include <string>
#include <string_view>

#include "document/DocumentTexts.h"
#include "document/FileHeader.h"
#include "document/Outcome.h"
#include "generation/Generation.h"

namespace tw {

// The sub header as a block holds it: every line break (LF, CR LF or a lone
// CR) as CR LF, since the generator never writes a lone LF.
std::string SubHeaderAsWritten(std::string_view typed);

enum class BlockDestination { File, Clipboard };

// Checks the texts a block carries before anything is generated: the single-
// line texts (the file path, the File Header, the figure name and every name
// cell) hold no line break and no other control character, and no name cell
// is empty or only blanks; for a file, every text written into it (all but
// the path) holds only characters of the file's code page. The sub header may
// hold line breaks and tabs but no other control character, and none of its
// lines may be or begin with a quotation mark (such a line would open or close
// a record of the file); it is otherwise taken as typed. Fails with a message
// naming the first field at fault and what is wrong with it.
Outcome<void> CheckBlockTexts(BlockDestination destination, const DocumentTexts& document);

// Checks the texts with CheckBlockTexts, then generates the block of
// `document`: its sub header as SubHeaderAsWritten
// gives it; for a file, in the file's 8-bit code page (a block whose texts are
// all ASCII is left as it is, since it reads the same). For the clipboard
// the block stays in UTF-8. Failures as CheckBlockTexts's and GenerateBlock's.
Outcome<GeneratedBlock> BlockFor(BlockDestination destination, const DocumentTexts& document,
                                 const ProgressFn& progress = {}, std::string reuse = {});

// A block built from `document`'s texts (sub header as written) made ready for
// `destination`: for a file, in the file's code page.
std::string ForDestination(BlockDestination destination, const DocumentTexts& document, std::string block);

}  // namespace tw
