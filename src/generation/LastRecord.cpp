#include "generation/LastRecord.h"

#include <optional>
#include <vector>

#include "document/CodePage.h"
#include "generation/HapScript.h"

namespace tw {
namespace {

constexpr std::string_view SetregPiece = "]   \\setreg[";
constexpr std::string_view ValuePiece = "   f0= ";
constexpr std::string_view NamePiece = "name= ";
constexpr std::string_view FigurePiece = "figure= ";
constexpr std::string_view FigureNamePiece = " name= ";

bool Printable(std::string_view text) {
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) return false;
    }
    return true;
}

// Only spaces and no-break spaces (0xA0 in the code page), or nothing.
bool Blank(std::string_view text) {
    for (char c : text)
        if (c != ' ' && c != '\xA0') return false;
    return true;
}

bool Digit(char c) { return c >= '0' && c <= '9'; }

// "###0.000" as written: an optional minus, digits, a period, three digits.
bool IsWrittenNumber(std::string_view text) {
    std::size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
    const std::size_t digits = i;
    while (i < text.size() && Digit(text[i])) ++i;
    if (i == digits || text.size() - i != 4 || text[i] != '.') return false;
    return Digit(text[i + 1]) && Digit(text[i + 2]) && Digit(text[i + 3]);
}

bool IsHeaderLine(std::string_view line) {
    return !line.empty() && line[0] == '"' && Printable(line.substr(1));
}

// A line read backwards: where it starts and its text without the CR LF. A
// line not ended by CR LF, or holding another CR, is broken: no part of a
// record can be such a line.
struct Line {
    std::size_t start = 0;
    std::string_view text;
    bool broken = false;
};

enum class Step { Line, FileStart, NeedMore };

// Reads the lines before a line start, one by one, last first.
class LinesBackward {
public:
    LinesBackward(std::string_view bytes, bool fromFileStart, std::size_t lineStart)
        : bytes_(bytes), fromFileStart_(fromFileStart), pos_(lineStart) {}

    Step Previous(Line& line) {
        if (pos_ == 0) return fromFileStart_ ? Step::FileStart : Step::NeedMore;
        const std::size_t feed = pos_ - 1;  // bytes_[feed] is the line feed ending the line
        const std::size_t before = feed == 0 ? std::string_view::npos : bytes_.rfind('\n', feed - 1);
        std::size_t start;
        if (before == std::string_view::npos) {
            // The line may begin before these bytes.
            if (!fromFileStart_) return Step::NeedMore;
            start = 0;
        } else {
            start = before + 1;
        }
        std::string_view text = bytes_.substr(start, feed - start);
        line.start = start;
        line.broken = text.empty() || text.back() != '\r';
        if (!line.broken) text.remove_suffix(1);
        line.broken = line.broken || text.find('\r') != std::string_view::npos;
        line.text = text;
        pos_ = start;
        return Step::Line;
    }

private:
    std::string_view bytes_;
    bool fromFileStart_;
    std::size_t pos_;
};

struct RegisterLine {
    Line line;
    std::string_view time;
};

}  // namespace

bool IsRegisterLine(std::string_view line, std::string_view* time) {
    if (!line.starts_with(ClockPrefix)) return false;
    std::string_view rest = line.substr(ClockPrefix.size());
    const std::size_t close = rest.find(']');
    if (close == std::string_view::npos || !IsWrittenNumber(rest.substr(0, close))) return false;
    const std::string_view clock = rest.substr(0, close);
    rest.remove_prefix(close);
    if (!rest.starts_with(SetregPiece) || !rest.ends_with(']')) return false;
    rest.remove_prefix(SetregPiece.size());
    rest.remove_suffix(1);
    // The value holds no blank, so it begins after the last one.
    const std::size_t blank = rest.rfind(' ');
    if (blank == std::string_view::npos || !IsWrittenNumber(rest.substr(blank + 1))) return false;
    rest = rest.substr(0, blank + 1);
    if (!rest.ends_with(ValuePiece)) return false;
    rest.remove_suffix(ValuePiece.size());
    if (!Printable(rest)) return false;
    std::string_view name;
    if (rest.starts_with(NamePiece)) {
        name = rest.substr(NamePiece.size());
    } else if (rest.starts_with(FigurePiece)) {
        // The figure is not empty; the name follows its first " name= ".
        rest.remove_prefix(FigurePiece.size());
        const std::size_t at = rest.find(FigureNamePiece, 1);
        if (at == std::string_view::npos) return false;
        name = rest.substr(at + FigureNamePiece.size());
    } else {
        return false;
    }
    if (Blank(name)) return false;
    if (time) *time = clock;
    return true;
}

EndReading ReadRecordAtEnd(std::string_view bytes, bool fromFileStart) {
    EndReading notRecord;
    EndReading needMore;
    needMore.verdict = EndVerdict::NeedMore;
    if (bytes.size() < RecordClose.size()) return fromFileStart ? notRecord : needMore;
    if (!bytes.ends_with(RecordClose)) return notRecord;
    const std::size_t closing = bytes.size() - RecordClose.size();
    if (closing == 0) return fromFileStart ? notRecord : needMore;
    if (bytes[closing - 1] != '\n') return notRecord;

    LinesBackward lines(bytes, fromFileStart, closing);
    // The register lines before the closing quote, as many as there are. Of
    // them only the earliest two matter beyond counting: a sub header may
    // have to take its last line (or two) from them.
    std::size_t run = 0;
    std::string_view lastTime;
    RegisterLine earliest, second;
    std::vector<Line> back;  // the lines before the run, last first
    for (;;) {
        Line line;
        const Step step = lines.Previous(line);
        if (step == Step::NeedMore) return needMore;
        if (step == Step::FileStart) return notRecord;  // no room for a header
        std::string_view time;
        if (line.broken || !IsRegisterLine(line.text, &time)) {
            back.push_back(line);
            break;
        }
        if (run++ == 0) lastTime = time;
        second = earliest;
        earliest = {line, time};
    }
    // Fetches back[i]; false with the verdict when there is no such line.
    EndVerdict missing = EndVerdict::NotARecord;
    const auto need = [&](std::size_t i) {
        while (back.size() <= i) {
            Line line;
            const Step step = lines.Previous(line);
            if (step != Step::Line) {
                missing = step == Step::NeedMore ? EndVerdict::NeedMore : EndVerdict::NotARecord;
                return false;
            }
            back.push_back(line);
        }
        return true;
    };
    const auto found = [&](std::size_t start, std::string_view header, std::size_t absorbed) {
        EndReading reading;
        reading.verdict = EndVerdict::Record;
        RecordAtEnd& record = reading.record;
        record.start = start;
        record.header = header.substr(1);
        record.registerLines = run - absorbed;
        if (record.registerLines > 0) {
            record.firstTime = absorbed ? second.time : earliest.time;
            record.lastTime = lastTime;
        }
        const std::size_t linesStart = record.registerLines == 0 ? closing
                                       : absorbed               ? second.line.start
                                                                : earliest.line.start;
        record.lines = bytes.substr(linesStart, closing - linesStart);
        return reading;
    };

    // Of the records that could end here, the one that follows a closing
    // line (or begins the file) is the one an add wrote after earlier adds;
    // when none does, the shortest. Gives the verdict once it is known.
    std::optional<EndReading> shortest;
    const auto consider = [&](EndReading candidate, std::size_t headerIndex) -> std::optional<EndReading> {
        if (!need(headerIndex + 1)) {
            if (missing == EndVerdict::NeedMore) return needMore;
            return candidate;  // the header is the file's first line
        }
        const Line before = back[headerIndex + 1];
        if (!before.broken && before.text == "\"") return candidate;
        if (!shortest) shortest = std::move(candidate);
        return std::nullopt;
    };
    // When the search ends without a record after a closing line.
    const auto ended = [&] {
        if (missing == EndVerdict::NeedMore) return needMore;
        return shortest ? *shortest : notRecord;
    };

    // No sub header: the empty line, and the header line before it.
    if (!back[0].broken && back[0].text.empty()) {
        if (!need(1)) {
            if (missing == EndVerdict::NeedMore) return needMore;
        } else if (!back[1].broken && IsHeaderLine(back[1].text)) {
            if (auto verdict = consider(found(back[1].start, back[1].text, 0), 1)) return *verdict;
        }
    }

    // A sub header: back[i] is the credit line, back[i-1] .. back[0] the sub
    // header's lines, then the register lines. A sub header of no line, or of
    // one empty line, cannot be (it would be empty, and an empty sub header
    // writes no credit line), so it takes the first register line as its
    // last line.
    missing = EndVerdict::NotARecord;
    for (std::size_t i = 0;; ++i) {
        if (!need(i)) return ended();
        const Line line = back[i];
        if (line.broken) return ended();
        if (line.text == CreditLine) {
            const bool absorb = i == 0 || (i == 1 && back[0].text.empty());
            if (!absorb || run > 0) {
                if (!need(i + 2)) return ended();
                const Line empty = back[i + 1];
                const Line header = back[i + 2];
                if (!empty.broken && empty.text.empty() && !header.broken && IsHeaderLine(header.text)) {
                    EndReading reading = found(header.start, header.text, absorb ? 1 : 0);
                    RecordAtEnd& record = reading.record;
                    record.hasSubHeader = true;
                    const std::size_t from = i > 0 ? back[i - 1].start : earliest.line.start;
                    const Line& last = absorb ? earliest.line : back[0];
                    record.subHeader = bytes.substr(from, last.start + last.text.size() - from);
                    if (auto verdict = consider(std::move(reading), i + 2)) return *verdict;
                }
            }
        }
        // From here on this line belongs to the sub header of any record that
        // begins earlier, and no sub header holds a record's closing line.
        if (line.text == "\"") return ended();
    }
}

std::string RecordFromParts(std::string_view header, std::string_view subHeader, std::string_view registerLines) {
    std::string record(RecordOpen);
    record.append(header);
    record.append(LineEnd);
    record.append(LineEnd);
    AddSubHeader(record, subHeader);
    record.append(registerLines);
    record.append(RecordClose);
    return record;
}

std::string HeaderForBox(std::string_view header) { return DecodeCodePage(header); }

std::string SubHeaderForBox(std::string_view subHeader) {
    const std::string text = DecodeCodePage(subHeader);
    std::string box;
    box.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        box += text[i];
    }
    return box;
}

}  // namespace tw
