#pragma once

#include "hostoptions.h"

#include <QDialog>
#include <QStringList>

class QComboBox;
class QLabel;
class QSettings;

/**
 * The hosts the console was recently asked to connect to, as the "Connect to host..." dialog
 * offers them: most recent first, each once, at most MaxCount, never this machine.
 */
class RecentHosts
{
public:
    static const int MaxCount = 10;

    /// The console's own settings, where the list is kept between runs, owned by @p parent.
    static QSettings *consoleSettings(QObject *parent);
    /// The list as kept in @p settings, cleaned as add() leaves it (the file may be edited).
    static QStringList load(QSettings &settings);
    /// Puts @p given first in @p settings' list (see add()).
    static void record(QSettings &settings, const QString &given);
    /**
     * @p list with @p given first: an entry for the same user, host and port goes, anything
     * that is no host (SshTarget::parse) or names this machine goes, and the list is cut to
     * MaxCount. @p given itself is left out when it names this machine or is no host.
     */
    static QStringList add(const QStringList &list, const QString &given);
    /// Whether @p target names this machine: a loopback address, localhost or its own name.
    static bool isLocal(const SshTarget &target);
};

/**
 * Asks which host a new console should administer: an editable list of the recent hosts, the
 * text checked as --host checks it before the dialog may close, and the refusal shown in it.
 */
class ConnectDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ConnectDialog(const QStringList &recentHosts, QWidget *parent = nullptr);

    /// The host taken (valid once the dialog was accepted).
    SshTarget target() const { return m_target; }
    QComboBox *hostBox() const { return m_hostBox; }
    QLabel *errorLabel() const { return m_error; }

public slots:
    /// Closes the dialog only when the text is a host; else says why and stays.
    void accept() override;

private:
    QComboBox *m_hostBox;
    QLabel *m_error;
    SshTarget m_target;
};
