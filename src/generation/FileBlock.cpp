#include "generation/FileBlock.h"

#include <cstdio>

#include "document/CodePage.h"
#include "document/MessageText.h"

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

// The first control character of a UTF-8 text (C0, DEL, C1, and the line and
// paragraph separators), as its code point; none when there is none.
std::optional<unsigned> FirstControlCharacter(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) return c;
        if (i + 1 >= text.size()) break;
        const auto next = static_cast<unsigned char>(text[i + 1]);
        if (c == 0xC2 && next >= 0x80 && next <= 0x9F) return next;
        if (c == 0xE2 && next == 0x80 && i + 2 < text.size() &&
            (text[i + 2] == '\xA8' || text[i + 2] == '\xA9'))
            return 0x2000u + static_cast<unsigned char>(text[i + 2]) - 0x80u;
    }
    return std::nullopt;
}

bool IsLineBreak(unsigned c) { return c == '\n' || c == '\r' || c == 0x85 || c == 0x2028 || c == 0x2029; }

// Nothing but spaces (or no-break spaces).
bool IsBlank(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ' ') continue;
        if (text.substr(i, 2) == "\xC2\xA0") {
            ++i;
            continue;
        }
        return false;
    }
    return true;
}

std::optional<std::string> SingleLineFault(std::string_view text, const std::string& field) {
    const std::optional<unsigned> control = FirstControlCharacter(text);
    if (!control) return std::nullopt;
    if (IsLineBreak(*control)) return field + " holds a line break, but it must stay on one line.";
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", *control);
    return field + " holds the control character " + code + ", but it may hold only printable characters.";
}

std::optional<std::string> CodePageFault(std::string_view text, const std::string& field) {
    const std::optional<std::string> outside = FirstCharacterOutsideCodePage(text);
    if (!outside) return std::nullopt;
    return field + " holds \"" + *outside +
           "\", which a script file cannot hold: its code page is Windows-1252. Replace or remove it.";
}

// A sub header may hold line breaks (and tabs) but no other control
// character; and none of its lines may begin with a quotation mark, since a
// line that begins with one opens or closes a record in the file.
std::optional<std::string> SubHeaderFault(std::string_view text) {
    std::size_t lineStart = 0;
    int line = 1;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\r' || text[i] == '\n') {
            const std::string_view content = text.substr(lineStart, i - lineStart);
            if (content.starts_with('"')) {
                return "The Sub Header's line " + std::to_string(line) + " (\"" + ShownName(content) +
                       "\") begins with a quotation mark (\"), which would end the animation's record in the "
                       "file. "
                       "Put another character before it, or remove it.";
            }
            if (i + 1 < text.size() && text[i] == '\r' && text[i + 1] == '\n') ++i;
            lineStart = i + 1;
            ++line;
        }
    }
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t stop = text.find_first_of("\t\r\n", from);
        const std::string_view piece =
            text.substr(from, stop == std::string_view::npos ? std::string_view::npos : stop - from);
        if (const std::optional<unsigned> control = FirstControlCharacter(piece)) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", *control);
            return std::string("The Sub Header holds the control character ") + code +
                   ", but it may hold only printable characters, tabs and line breaks (Enter).";
        }
        if (stop == std::string_view::npos) break;
        from = stop + 1;
    }
    return std::nullopt;
}

std::string NameCellField(int r) {
    return "The name of the register in row " + std::to_string(r + 1) + " (" +
           std::string(RegisterCatalogue()[r].name) + ")";
}

}  // namespace

Outcome<void> CheckBlockTexts(BlockDestination destination, const DocumentTexts& document) {
    const bool toFile = destination == BlockDestination::File;
    std::optional<std::string> fault;
    // Each rule is tried until one finds a fault; the field names are put
    // together only then.
    const auto check = [&](const auto& rule, std::string_view text, const auto& field) {
        if (!fault) fault = rule(text, field());
    };
    if (toFile) check(SingleLineFault, document.activeFile, [] { return "The file path"; });
    const std::pair<const std::string*, const char*> lines[] = {{&document.fileHeader, "The File Header"},
                                                                {&document.figure, "The figure name"}};
    for (const auto& line : lines) {
        const char* field = line.second;
        check(SingleLineFault, *line.first, [field] { return std::string(field); });
        if (toFile) check(CodePageFault, *line.first, [field] { return std::string(field); });
    }
    for (int r = 0; r < RegisterCount && !fault; ++r) {
        const std::string& name = document.names[r];
        if (IsBlank(name)) fault = NameCellField(r) + " is empty, but every register needs a name.";
        check(SingleLineFault, name, [r] { return NameCellField(r); });
        if (toFile) check(CodePageFault, name, [r] { return NameCellField(r); });
    }
    if (!fault) fault = SubHeaderFault(document.subHeader);
    if (toFile) check(CodePageFault, document.subHeader, [] { return "The Sub Header"; });
    if (fault) return Outcome<void>::Failure(std::move(*fault));
    return Outcome<void>::Success();
}

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
    if (Outcome<void> checked = CheckBlockTexts(destination, document); !checked)
        return Outcome<GeneratedBlock>::Failure(checked.error());
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
