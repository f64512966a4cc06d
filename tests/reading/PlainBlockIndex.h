// The block index the plain way, for the tests and the fuzz target to hold the
// scanner to: the bytes cut into lines one byte at a time, each line judged by
// the record reader's own register-line rule, the block's fields filled in as
// the lines go by.
#pragma once

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "document/NumberText.h"
#include "generation/HapScript.h"
#include "generation/LastRecord.h"
#include "reading/BlockIndex.h"

namespace tw::plain {

struct PlainLine {
    std::size_t start;
    std::string text;
    std::string end;
};

inline std::vector<PlainLine> Lines(std::string_view bytes) {
    std::vector<PlainLine> lines;
    std::size_t i = 0;
    while (i < bytes.size()) {
        PlainLine line{i, {}, {}};
        while (i < bytes.size() && bytes[i] != '\r' && bytes[i] != '\n') line.text += bytes[i++];
        if (i < bytes.size() && bytes[i] == '\r') line.end += bytes[i++];
        if (i < bytes.size() && bytes[i] == '\n' && (line.end.empty() || line.end == "\r")) line.end += bytes[i++];
        lines.push_back(line);
    }
    return lines;
}

// The register's name on a register line: after "name= " when no figure is
// named, else after the figure's first " name= ", up to the value.
inline std::string NameOn(const std::string& line) {
    const std::size_t open = line.find("\\setreg[") + 8;
    const std::size_t value = line.rfind("   f0= ");
    std::string rest = line.substr(open, value - open);
    if (rest.rfind("name= ", 0) == 0) return rest.substr(6);
    rest = rest.substr(8);
    return rest.substr(rest.find(" name= ", 1) + 7);
}

inline bool Printable(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x20 && c != 0x7F; });
}

inline BlockIndex IndexBlocks(std::string_view bytes) {
    BlockIndex index;
    index.size = bytes.size();
    const std::vector<PlainLine> lines = Lines(bytes);
    std::size_t i = 0;
    while (i < lines.size()) {
        const PlainLine& opening = lines[i];
        if (opening.text.empty() || opening.text[0] != '"' || !Printable(opening.text.substr(1))) {
            ++i;
            continue;
        }
        BlockEntry block;
        block.offset = opening.start;
        block.header = opening.text.substr(1);
        // The lines up to the closing one.
        std::size_t close = i + 1;
        while (close < lines.size() && lines[close].text != "\"") ++close;
        block.complete = close < lines.size();
        const std::size_t end = block.complete ? lines[close].start + 1 + lines[close].end.size() : bytes.size();
        block.length = end - block.offset;
        std::size_t body = i + 1;
        if (body < close && lines[body].text.empty()) {
            ++body;
            if (body < close && lines[body].text == CreditLine) {
                block.hasSubHeader = true;
                ++body;
                // Lines up to the first register line; a sub header of no
                // line or of one empty line takes that line as its last.
                const std::size_t first = body;
                while (body < close) {
                    const bool registerLine = IsRegisterLine(lines[body].text);
                    const bool tooShort = body == first || (body == first + 1 && lines[first].text.empty());
                    if (registerLine && !tooShort) break;
                    ++body;
                    if (registerLine) break;
                }
                for (std::size_t k = first; k < body; ++k) {
                    if (k > first) block.subHeader += lines[k - 1].end;
                    block.subHeader += lines[k].text;
                }
            }
        }
        std::string lastTime;
        for (std::size_t k = body; k < close; ++k) {
            std::string_view time;
            if (!IsRegisterLine(lines[k].text, &time)) continue;
            ++block.registerLines;
            if (block.start.empty()) block.start = time;
            block.finish = time;
            if (time != lastTime) {
                ++block.frames;
                lastTime = time;
            }
            if (time == block.start) continue;
            const std::string name = NameOn(lines[k].text);
            if (std::find(block.registers.begin(), block.registers.end(), name) == block.registers.end())
                block.registers.push_back(name);
        }
        if (block.frames > 1) {
            const double duration = NumericValue(block.finish) - NumericValue(block.start);
            const double rate = static_cast<double>(block.frames - 1) / duration;
            if (duration != 0 && std::isfinite(rate)) block.framesPSec = DecimalText(rate);
        }
        index.blocks.push_back(block);
        i = block.complete ? close + 1 : lines.size();
    }
    return index;
}

}  // namespace tw::plain
