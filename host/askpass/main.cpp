#include "askpassdialog.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

/*
 * ssh runs this program with its question as the only argument and reads the answer from its
 * standard output; an exit code other than 0 says the question was not answered.
 */
int main(int argc, char *argv[])
{
    const QString prompt = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const QString mode = qEnvironmentVariable("SSH_ASKPASS_PROMPT");
    // The prompt is ssh's (or a server's) text: Qt must not read options from it.
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("vell-admin-askpass"));
    AskpassDialog dialog(prompt, mode);
    dialog.exec();
    QByteArray answer = dialog.takeAnswer();
    if (!answer.isEmpty() && (std::fwrite(answer.constData(), 1, size_t(answer.size()), stdout) !=
                                  size_t(answer.size()) ||
                              std::fflush(stdout) != 0)) {
        answer.fill('\0');
        return 1;
    }
    answer.fill('\0');
    return dialog.exitCode();
}
