#pragma once
// Every modal question the program asks goes through this interface: the
// program answers it with real message boxes and file choosers, a test with
// a recording fake, so that no test ever waits on a modal window.

#include <QString>

class QWidget;

namespace tovik {

class UserPrompts {
public:
    virtual ~UserPrompts() = default;

    // A box with the error icon and an OK button.
    virtual void Error(const QString& title, const QString& text) = 0;
    // A box with the question icon and Yes/No; true for Yes. defaultYes picks
    // the button that Enter presses.
    virtual bool Question(const QString& title, const QString& text, bool defaultYes) = 0;
    // The open-file chooser; the chosen file's full path, empty if cancelled.
    virtual QString OpenFile(QWidget* parent, const QString& title, const QString& folder,
                             const QString& filters) = 0;
};

// The real boxes. Owner-less like the originals, so they stay on top of
// whichever dialog is open.
class QtUserPrompts : public UserPrompts {
public:
    void Error(const QString& title, const QString& text) override;
    bool Question(const QString& title, const QString& text, bool defaultYes) override;
    QString OpenFile(QWidget* parent, const QString& title, const QString& folder,
                     const QString& filters) override;
};

}  // namespace tovik
