#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <memory>
#include <mutex>

class QIODevice;
typedef struct _GstElement GstElement;

// Video CDs keep their MPEG stream in 2352-byte raw sectors, either in a
// RIFF "CDXA" file or as a bare sector dump; GStreamer's demuxers don't
// strip the sectors. This reader is the source of a decoder, giving the
// stream inside, leaving out each sector's header and error codes.
class SectorReader
{
public:
    static constexpr int RawSectorSize = 2352;
    static constexpr int SectorPayloadOffset = 24;
    static constexpr int SectorPayloadSize = 2324;

    // Where the sectors of a file start and how many there are; found is
    // false for any other file.
    struct Layout
    {
        bool found = false;
        qint64 dataOffset = 0;
        qint64 sectorCount = 0;
    };
    static Layout findLayout(const QString &fileName);
    // The same for a file or buffer already open for reading.
    static Layout findLayout(QIODevice &file);

    // Null when the file is no sector file or can't be opened.
    static std::unique_ptr<SectorReader> open(const QString &fileName);
    ~SectorReader();

    // The URI to give a decoding element (GStreamer set up), and what to
    // connect to its "source-setup" with this reader as data: the source the
    // URI makes reads from it.
    static const char *sourceUri();
    static void onSourceSetup(GstElement *decoder, GstElement *source, void *reader);

    // The stream inside: its size, and up to length of its bytes from
    // position on (fewer at its end, or where the file reads short).
    quint64 size() const { return m_size; }
    quint64 read(quint64 position, uchar *data, quint64 length);

private:
    SectorReader() = default;

    std::mutex m_mutex; // streaming threads call in
    std::FILE *m_file = nullptr;
    qint64 m_dataOffset = 0;
    quint64 m_size = 0;
};
