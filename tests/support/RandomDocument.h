// Documents of many kinds for tests that compare two roads to the same bytes:
// random values, acceleration, fractional frame counts, custom names, sub
// headers and figure names. Every text is one the window's fields keep as it
// is when the document is written into them, so the window and the command
// line see the same texts.
#pragma once

#include <charconv>
#include <random>
#include <string>

#include "cli/StartupDocument.h"
#include "document/FieldRules.h"
#include "document/ChooserRules.h"

namespace tw::test {

class RandomDocuments {
public:
    explicit RandomDocuments(unsigned seed) : random_(seed) {}

    // `lineBreaks` may include CR LF and lone CR in the sub header (the
    // window's sub header box keeps only LF).
    DocumentTexts Next(bool anyLineBreak = false) {
        DocumentTexts doc = StartupDocument();
        doc.fileHeader = HeaderNaming("walk" + std::to_string(Pick(0, 99)) + ".hap");
        static const char* const figures[] = {"", "", "Zo\xC3\xAB", "guard 2", "Fig\xC3\xBCr"};
        doc.figure = figures[Pick(0, 4)];
        static const char* const rates[] = {"10", "30", "7", "12.5", "24"};
        doc.framesPSec = rates[Pick(0, 4)];
        // Whole and fractional frame counts, and now and then a negative
        // duration (no frames at all).
        static const char* const durations[] = {"1", "0.5", "1.25", "0.3", "2", "0.45", "-0.2"};
        doc.dKeyframe = durations[Pick(0, 6)];
        doc.startTime = NormalisedNumberText(Number(0, 100, 3));
        doc.finishTime = FinishTimeText(doc.startTime, doc.dKeyframe);
        static const char* const accelerations[] = {"0", "0", "2", "-3", "0.5", "-0.25", "10"};
        doc.acceleration = *NormalisedAccelerationText(accelerations[Pick(0, 6)]);
        static const char* const subHeaders[] = {"", "", "one line", "first\nsecond\n\nfourth", "caf\xC3\xA9\n"};
        doc.subHeader = subHeaders[Pick(0, 4)];
        if (anyLineBreak && Pick(0, 2) == 0) doc.subHeader = "a\r\nb\rc\n";
        const int moving = Pick(0, 3) == 0 ? RegisterCount : Pick(1, 12);
        for (int k = 0; k < moving; ++k) {
            const int r = Pick(0, LastRegisterIndex);
            doc.initial[r] = Number(-2, 2, Pick(0, 6));
            doc.final[r] = Number(-2, 2, Pick(0, 6));
        }
        for (int k = Pick(0, 3); k > 0; --k) {
            const int r = Pick(0, LastRegisterIndex);
            doc.names[r] = Pick(0, 1) ? "Custom" + std::to_string(r) : "T\xC3\xAAte" + std::to_string(r);
        }
        return doc;
    }

private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

    // A number between `low` and `high` with up to `decimals` decimals, as
    // plain text.
    std::string Number(double low, double high, int decimals) {
        double value = std::uniform_real_distribution<double>(low, high)(random_);
        char buffer[64];
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals).ptr;
        std::string text(buffer, end);
        return text == "-0" ? "0" : text;
    }

    std::mt19937 random_;
};

}  // namespace tw::test
