#pragma once

#include "MediaChannel.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

typedef struct _GstElement GstElement;
typedef struct _GstMessage GstMessage;

struct GstChannelOptions
{
    // gst-launch description of the sound output (a bin with one sink pad);
    // empty: the desktop's default output.
    QString audioSink;
    // Pictures of video files go to a window of the channel's own when a
    // display exists; false, or no display: they are decoded and dropped.
    bool showVideo = true;
    // Upper bound of "open": the window must never hang on a file.
    int openTimeoutMs = 3000;
    // Called on the caller's thread with each audio sink built from
    // audioSink, before the file is opened; lets a test attach to it.
    std::function<void(GstElement *audioSink)> audioSinkCreated;
};

// A media channel on GStreamer: one playbin per open file. Commands run on
// the caller's thread; the pipeline's messages are read from the event loop.
class GstMediaChannel : public QObject, public MediaChannel
{
    Q_OBJECT

public:
    explicit GstMediaChannel(GstChannelOptions options = {}, QObject *parent = nullptr);
    ~GstMediaChannel() override;

    void setFileName(const QString &fileName) override;
    void command(const QString &word) override;

    // Not part of the channel's interface; for diagnostics and tests.
    bool isOpen() const { return m_pipeline != nullptr; }
    bool isPlaying() const { return m_pipeline && m_playing && !m_ended; }

    // Video CDs keep their MPEG stream in 2352-byte raw sectors, either in a
    // RIFF "CDXA" file or as a bare sector dump. Where the sectors of such a
    // file start and how many there are; found false for anything else.
    struct SectorLayout
    {
        bool found = false;
        qint64 dataOffset = 0;
        qint64 sectorCount = 0;
    };
    static SectorLayout findSectorLayout(const QString &fileName);

    static constexpr int RawSectorSize = 2352;
    static constexpr int SectorPayloadOffset = 24;
    static constexpr int SectorPayloadSize = 2324;

private:
    void open();
    void play();
    void pause();
    void close();

    bool rewind();
    void drainBus();
    void handleMessage(GstMessage *message);
    bool waitForState(int timeoutMs);

    struct SectorReader;

    GstChannelOptions m_options;
    QString m_fileName;
    QString m_openFileName;
    GstElement *m_pipeline = nullptr;
    std::unique_ptr<SectorReader> m_sectors;
    QTimer m_busTimer;
    bool m_playing = false;
    bool m_ended = false;
    bool m_failed = false;
};
