// Which bytes at the end of a script file are the record the last add wrote,
// so that an add can be taken back exactly: cutting the file before the
// record leaves every earlier byte as it was.
//
// A record as a run to a file writes it, line by line, every line ended by
// CR LF:
//   '"' HEADER          the opening quote and the File Header (printable)
//   (empty)
//   CREDIT              only with a sub header: the credit line,
//   SUB HEADER LINES    then the sub header's lines (anything but a line that
//                       is a lone quote, the line that closes a record)
//   REGISTER LINES      "\clock [t= T]   \setreg[name= N   f0= V]" or
//                       "\clock [t= T]   \setreg[figure= F name= N   f0= V]",
//                       T and V written "###0.000", N not blank; none at all
//                       for a run of negative duration
//   '"'                 the closing quote
// The record begins at the start of the file or right after a line feed.
//
// A sub header may hold lines that could also begin a record or be register
// lines. Of the records that could end the bytes, the one whose header line
// follows a closing quote line (or begins the file) is taken, as every add
// after the first writes it; when none does, the shortest (a file whose
// first add followed hand-written lines). Its sub header is as short as the
// form allows. A sub header holding a lone quote line is never read as one,
// so the search never runs back past an earlier record's end.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tw {

// The last record found at the end of some bytes. The views point into the
// bytes that were read.
struct RecordAtEnd {
    std::size_t start = 0;            // offset of the opening quote
    std::string_view header;          // the header line, without the quote
    bool hasSubHeader = false;        // a credit line follows the empty line
    std::string_view subHeader;       // its lines joined by CR LF (no final CR LF)
    std::size_t registerLines = 0;    // lines of frames
    std::string_view lines;           // those lines, each with its CR LF
    std::string_view firstTime;       // the first register line's time as written
    std::string_view lastTime;        // the last register line's time as written
};

enum class EndVerdict {
    Record,      // the bytes end with exactly one whole record
    NotARecord,  // they do not, whatever comes before them
    NeedMore,    // only bytes before these can tell
};

struct EndReading {
    EndVerdict verdict = EndVerdict::NotARecord;
    RecordAtEnd record;  // only for Record
};

// Reads the last record of `bytes`. `fromFileStart` says that nothing comes
// before them; otherwise they are the last part of a longer file, and the
// answer is NeedMore whenever an earlier byte could change it. A Record or
// NotARecord answer for an end part is the answer for the whole file (with
// the offsets counted from the part's start). Time linear in the bytes read,
// which are only the record and the line before it.
EndReading ReadRecordAtEnd(std::string_view bytes, bool fromFileStart);

// The bytes of a record as a run writes them, from its parts: the header, the
// sub header (nothing when `subHeader` is empty) and the register lines (each
// with its CR LF). The inverse of ReadRecordAtEnd's split.
std::string RecordFromParts(std::string_view header, std::string_view subHeader,
                            std::string_view registerLines);

// Whether `line` (without its CR LF) is a register line; the time text when
// it is.
bool IsRegisterLine(std::string_view line, std::string_view* time = nullptr);

// The header and the sub header as the File Header and Sub Header boxes hold
// them: from the file's code page to UTF-8, the sub header's CR LF as LF.
std::string HeaderForBox(std::string_view header);
std::string SubHeaderForBox(std::string_view subHeader);

}  // namespace tw
