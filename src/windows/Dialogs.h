// Message boxes behind a small interface, so that tests can read what would be
// shown and answer questions without a modal loop.
#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace tw {

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // An OK box with the application's title.
    virtual void Inform(QWidget* parent, const QString& text) = 0;
    // A Yes/No box; true for Yes.
    virtual bool Ask(QWidget* parent, const QString& text) = 0;
    // A box asking for a line of text, starting at `initial`; none when
    // cancelled. Without a box of its own, a question is cancelled.
    virtual std::optional<QString> AskText(QWidget* parent, const QString& text, const QString& initial) {
        (void)parent, (void)text, (void)initial;
        return std::nullopt;
    }
};

// The real message boxes.
class MessageBoxDialogs : public Dialogs {
public:
    void Inform(QWidget* parent, const QString& text) override;
    bool Ask(QWidget* parent, const QString& text) override;
    std::optional<QString> AskText(QWidget* parent, const QString& text, const QString& initial) override;
};

}  // namespace tw
