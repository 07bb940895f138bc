#pragma once

#include <QString>

class QWidget;

// The modal boxes the main window shows. Production uses DialogPrompts; tests hand in
// a fake that records what was shown and gives queued answers.
class Prompts
{
public:
    enum class Icon { None, Critical, Warning };

    virtual ~Prompts() = default;

    // A message box with an OK button only.
    virtual void MsgBox(const QString &text, const QString &title, Icon icon) = 0;

    // A question with Yes and No buttons and no icon; true for Yes.
    virtual bool YesNo(const QString &text, const QString &title) = 0;

    // An input box with an empty default text; the empty text after Cancel.
    virtual QString InputBox(const QString &prompt, const QString &title) = 0;
};

// The real boxes: QMessageBox and QInputDialog over an owner window.
class DialogPrompts final : public Prompts
{
public:
    explicit DialogPrompts(QWidget *owner) : m_owner(owner) {}

    void MsgBox(const QString &text, const QString &title, Icon icon) override;
    bool YesNo(const QString &text, const QString &title) override;
    QString InputBox(const QString &prompt, const QString &title) override;

private:
    QWidget *m_owner;
};
