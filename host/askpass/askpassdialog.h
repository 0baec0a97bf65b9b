#pragma once

#include <QByteArray>
#include <QDialog>

class QLineEdit;
class QPushButton;

/**
 * What ssh asks through its question program (SSH_ASKPASS), answered as ssh reads it: an
 * unknown host key with its fingerprint and Yes/No, a password or passphrase in a masked
 * field, a confirmation (SSH_ASKPASS_PROMPT=confirm) answered by the exit code alone, and a
 * plain notice (SSH_ASKPASS_PROMPT=none).
 */
class AskpassDialog : public QDialog
{
    Q_OBJECT
public:
    enum Kind
    {
        HostKey,
        Secret,
        Confirm,
        Notice
    };
    /// The longest prompt shown: a keyboard-interactive prompt is the server's text.
    static const int MaxPromptLength = 8192;

    /// What @p prompt asks, with ssh's SSH_ASKPASS_PROMPT value @p mode.
    static Kind kindOf(const QString &prompt, const QString &mode);
    /// The key fingerprint (SHA256:... or MD5:...) named in @p prompt; empty when none.
    static QString fingerprint(const QString &prompt);
    /// @p prompt cut to the maximum, its line ends made line breaks, its other control
    /// characters (but tabs) replaced.
    static QString printablePrompt(const QString &prompt);

    AskpassDialog(const QString &prompt, const QString &mode, QWidget *parent = nullptr);
    ~AskpassDialog() override;

    Kind kind() const { return m_kind; }
    /**
     * What the program prints for ssh, once the dialog has closed: "yes" or "no" for a host
     * key, the text typed for a secret (each with a line break), nothing otherwise. The typed
     * text leaves the dialog with it.
     */
    QByteArray takeAnswer();
    /// The program's exit code: 0 answered (Yes to a confirmation), 1 cancelled or No.
    int exitCode() const { return m_exitCode; }

    QLineEdit *secretEdit() const { return m_secret; }
    QPushButton *yesButton() const { return m_yes; }
    QPushButton *noButton() const { return m_no; }
    /// OK for a secret or a notice.
    QPushButton *okButton() const { return m_ok; }
    QPushButton *cancelButton() const { return m_cancel; }

public slots:
    /// Closes the dialog; whatever was typed leaves the field, answered or not.
    void done(int result) override;

private:
    void answer(const QByteArray &text, int exitCode);

    Kind m_kind;
    QLineEdit *m_secret = nullptr;
    QPushButton *m_yes = nullptr;
    QPushButton *m_no = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
    QByteArray m_answer;
    int m_exitCode = 1;
};
