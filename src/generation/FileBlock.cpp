#include "generation/FileBlock.h"

#include "document/CodePage.h"

namespace tw {
namespace {

bool IsAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Whether every text that reaches the block as it stands is ASCII (the number
// texts must be numbers and so are ASCII).
bool UserTextsAreAscii(const DocumentTexts& document) {
    if (!IsAscii(document.figure) || !IsAscii(document.fileHeader) || !IsAscii(document.subHeader))
        return false;
    for (const std::string& name : document.names)
        if (!IsAscii(name)) return false;
    return true;
}

}  // namespace

std::string SubHeaderAsWritten(std::string_view typed) {
    std::string out;
    out.reserve(typed.size() + typed.size() / 16);
    for (std::size_t i = 0; i < typed.size(); ++i) {
        const char c = typed[i];
        if (c == '\r') {
            if (i + 1 < typed.size() && typed[i + 1] == '\n') ++i;
            out += "\r\n";
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

Outcome<GeneratedBlock> BlockFor(BlockDestination destination, const DocumentTexts& document,
                                 const ProgressFn& progress, std::string reuse) {
    DocumentTexts texts = document;
    texts.subHeader = SubHeaderAsWritten(document.subHeader);
    Outcome<GeneratedBlock> block = GenerateBlock(texts, progress, std::move(reuse));
    if (block) block.value().text = ForDestination(destination, texts, std::move(block.value().text));
    return block;
}

std::string ForDestination(BlockDestination destination, const DocumentTexts& document, std::string block) {
    // A block whose texts are all ASCII reads the same in the code page.
    if (destination == BlockDestination::File && !UserTextsAreAscii(document)) return EncodeCodePage(block);
    return block;
}

}  // namespace tw
