#pragma once

#include <QObject>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <memory>

// Measures a file's integrated loudness off the caller's thread: the file is
// decoded as fast as it goes and fed to the measure block by block. The
// result comes back on the meter's thread. A newer measure() or cancel()
// drops the one under way, and it stops decoding soon after.
class LoudnessMeter : public QObject
{
    Q_OBJECT

public:
    explicit LoudnessMeter(QObject *parent = nullptr);
    ~LoudnessMeter() override; // stops the decoding and waits for it

    void measure(const QString &fileName);
    void cancel();

signals:
    void measured(const QString &fileName, double lufs);
    // Unreadable, no sound, silent, or of a kind not decoded here (MIDI).
    void failed(const QString &fileName);

private:
    using Flag = std::shared_ptr<std::atomic<bool>>;
    void run(const QString &fileName, const Flag &cancelled);

    QThreadPool m_pool; // one at a time: a newer file waits for the older to stop
    Flag m_cancelled;
};
