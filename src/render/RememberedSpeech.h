// The speech track chosen for a hap file, kept in the program's settings by
// the file's absolute path: the view sets and reads it, a render reads it.
#pragma once

#include <QString>

namespace tw {

struct SpeechChoice {
    QString audio;  // empty: no speech track
    double offset = 0;
    QString marks;  // the label file, or empty
};

// The remembered choice for the hap file at `hapPath` (an empty one when none).
SpeechChoice RememberedSpeech(const QString& hapPath);
void RememberSpeech(const QString& hapPath, const SpeechChoice& choice);

}  // namespace tw
