// The character view. The 3D player it stands for is not available on this
// platform, so this view records every command it is sent and shows the most
// recent ones; callers only ever send it text commands.
#pragma once

#include <QFrame>
#include <QStringList>

class QLabel;

namespace tw {

class CharacterView : public QFrame {
    Q_OBJECT
public:
    explicit CharacterView(QWidget* parent);

    // Hands a command to the view; never waits and never fails.
    void SendCommand(const QString& command);

    const QStringList& Commands() const { return commands_; }

signals:
    void CommandSent(const QString& command);

private:
    QStringList commands_;
    QLabel* log_;
};

}  // namespace tw
