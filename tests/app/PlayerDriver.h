#pragma once

// Drives the real program under the test X server with xdotool.
#include <QFile>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTest>

#include <cstdio>

namespace playerdriver {

inline QString run(const QStringList &args, int timeoutMs = 10000)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    if (!p.waitForFinished(timeoutMs))
        p.kill();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// True under scripts/with-test-env.sh, which gives the X server and null sink.
inline bool testEnvironmentPresent()
{
    return !qEnvironmentVariableIsEmpty("PULSE_SERVER") && !qEnvironmentVariableIsEmpty("DISPLAY");
}

// Client-area points (below the menu bar) of the buttons.
inline const QPoint Channel1(329, 93);
inline const QPoint Channel2(329, 142);
inline const QPoint PlayButton(85, 107);
inline const QPoint PauseButton(146, 116);
inline const QPoint StopButton(205, 118);

// The player as a user starts it, with a handle on its window.
class Player
{
public:
    // program: the binary to start; captureErrors keeps its stderr for
    // errors() instead of passing it through.
    explicit Player(QString program = QStringLiteral(TANDRA_BINARY), bool captureErrors = false)
        : m_program(std::move(program))
        , m_captureErrors(captureErrors)
    {
    }

    bool start(const QStringList &arguments = {})
    {
        if (m_captureErrors) {
            m_process.setProcessChannelMode(QProcess::SeparateChannels);
            m_process.setStandardOutputFile(QProcess::nullDevice());
        } else {
            m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        }
        m_process.start(m_program, arguments);
        if (!m_process.waitForStarted())
            return false;
        m_window = run({"search", "--sync", "--name", "^Tandra$"}, 15000).section('\n', 0, 0);
        if (m_window.isEmpty())
            return false;
        const QString shell = run({"getwindowgeometry", "--shell", m_window});
        const int height = shell.section("HEIGHT=", 1).section('\n', 0, 0).toInt();
        m_origin = QPoint(shell.section("X=", 1).section('\n', 0, 0).toInt(),
                          shell.section("Y=", 1).section('\n', 0, 0).toInt());
        m_menuHeight = height - 187;
        return m_menuHeight > 0;
    }

    ~Player()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(2000);
        if (m_captureErrors) {
            const QByteArray rest = m_errors + m_process.readAllStandardError();
            std::fwrite(rest.constData(), 1, size_t(rest.size()), stderr);
        }
    }

    // Clicks a point of the client area (below the menu bar).
    void click(QPoint client)
    {
        run({"mousemove", "--window", m_window, QString::number(client.x()),
             QString::number(client.y() + m_menuHeight), "click", "1"});
    }

    void moveTo(QPoint client)
    {
        run({"mousemove", "--window", m_window, QString::number(client.x()),
             QString::number(client.y() + m_menuHeight)});
    }

    // Clicks a channel button and types the file's path into its dialog.
    // Waits for the dialog rather than a fixed time: the first one can be slow
    // on a loaded machine. A dialog still open after Enter (its path completer
    // took the key, or a key was lost) gets the path typed afresh.
    bool choose(QPoint channelButton, const QString &path)
    {
        click(channelButton);
        QString dialog;
        for (int waited = 0; dialog.isEmpty() && waited < 10000; waited += 100) {
            QTest::qWait(100);
            dialog = openDialog();
        }
        if (dialog.isEmpty()) {
            qWarning("the file dialog did not open");
            return false;
        }
        for (int attempt = 0; attempt < 3 && dialogIsOpen(); ++attempt) {
            run({"windowfocus", "--sync", dialog});
            run({"keydown", "ctrl"});
            run({"key", "a"});
            run({"keyup", "ctrl"});
            run({"type", "--delay", "5", path});
            run({"key", "Return"});
            for (int waited = 0; dialogIsOpen() && waited < 3000; waited += 100)
                QTest::qWait(100);
        }
        QTest::qWait(300);
        if (dialogIsOpen())
            qWarning("the file dialog stayed open after the path was typed three times");
        return !dialogIsOpen();
    }

    static QString openDialog() { return run({"search", "--onlyvisible", "--name", "^Open$"}).section('\n', 0, 0); }
    static bool dialogIsOpen() { return !openDialog().isEmpty(); }

    // With no window manager nobody gives the main window the keyboard back.
    // The modifiers go down and up as separate steps: sent as one
    // combination they can reach the program after the key itself.
    void key(const QString &keys)
    {
        run({"windowfocus", "--sync", m_window});
        QStringList modifiers = keys.split('+');
        const QString last = modifiers.takeLast();
        for (const QString &modifier : modifiers)
            run({"keydown", modifier});
        QTest::qWait(50);
        run({"key", last});
        QTest::qWait(50);
        for (const QString &modifier : modifiers)
            run({"keyup", modifier});
    }

    // Where a client-area rectangle is on the screen.
    QRect onScreen(const QRect &client) const { return client.translated(m_origin + QPoint(0, m_menuHeight)); }

    // The program's resident memory, in KiB; -1 when it is gone.
    qint64 residentKiB() const
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(m_process.processId()));
        if (m_process.state() != QProcess::Running || !status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
        return -1;
    }

    // What the program wrote on stderr so far (captureErrors only).
    QByteArray errors()
    {
        m_errors += m_process.readAllStandardError();
        return m_errors;
    }

    QProcess &process() { return m_process; }

private:
    QString m_program;
    bool m_captureErrors;
    QProcess m_process;
    QString m_window;
    QPoint m_origin;
    int m_menuHeight = 0;
    QByteArray m_errors;
};

} // namespace playerdriver
