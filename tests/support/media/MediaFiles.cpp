#include "MediaFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <gst/gst.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>

namespace testmedia {

namespace {

constexpr int SectorSize = 2352;
constexpr int SectorPayload = 2324;
constexpr int AudioBuffersPerSecond = 100; // 441 samples at 44.1 kHz
constexpr int VideoFramesPerSecond = 25;

void ensureGstInitialized()
{
    static std::once_flag once;
    std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

QString number(double value)
{
    return QString::number(value, 'f', 3);
}

QString toneSource(double frequency, double seconds)
{
    const int buffers = std::max(1, int(std::lround(seconds * AudioBuffersPerSecond)));
    return QStringLiteral("audiotestsrc num-buffers=%1 samplesperbuffer=441 wave=sine freq=%2 volume=%3"
                          " ! audio/x-raw,rate=44100,channels=2 ! audioconvert")
        .arg(buffers)
        .arg(number(frequency), number(ToneAmplitude));
}

QString pictureSource(double seconds, int width, int height)
{
    const int frames = std::max(1, int(std::ceil(seconds * VideoFramesPerSecond)));
    return QStringLiteral("videotestsrc num-buffers=%1 pattern=ball"
                          " ! video/x-raw,width=%2,height=%3,framerate=%4/1 ! videoconvert")
        .arg(frames)
        .arg(width)
        .arg(height)
        .arg(VideoFramesPerSecond);
}

// Runs a pipeline whose filesink is named "sink" to its end.
bool encode(const QString &description, const QString &path)
{
    GError *error = nullptr;
    GstElement *pipeline = gst_parse_launch(description.toUtf8().constData(), &error);
    if (error) {
        g_clear_error(&error);
        if (pipeline)
            gst_object_unref(pipeline);
        return false;
    }
    if (!pipeline)
        return false;
    gst_object_ref_sink(pipeline);
    GstElement *sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    if (!sink) {
        gst_object_unref(pipeline);
        return false;
    }
    // The plain path, not a URI: any character of a file name is fine here.
    g_object_set(sink, "location", QFile::encodeName(path).constData(), nullptr);
    gst_object_unref(sink);

    bool ok = false;
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE) {
        GstBus *bus = gst_element_get_bus(pipeline);
        GstMessage *message = gst_bus_timed_pop_filtered(
            bus, 60 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        ok = message && GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS;
        if (message)
            gst_message_unref(message);
        gst_object_unref(bus);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return ok && QFileInfo(path).size() > 0;
}

QString videoCdDescription(double frequency, double seconds)
{
    // What a video CD holds: MPEG-1 video 352x288 and MPEG-1 layer II sound
    // at 224 kbit/s, multiplexed in 2324-byte packs.
    return toneSource(frequency, seconds)
           + QStringLiteral(" ! avenc_mp2 bitrate=224000 ! mpegaudioparse ! mux. ")
           + pictureSource(seconds, 352, 288)
           + QStringLiteral(" ! mpeg2enc format=1 ! mpegvideoparse ! mux. avmux_vcd name=mux ! filesink name=sink");
}

// The error detection code of CD-ROM sectors (reflected CRC-32,
// polynomial 0x8001801B).
quint32 sectorEdc(const unsigned char *data, int size)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 edc = i;
            for (int bit = 0; bit < 8; ++bit)
                edc = (edc >> 1) ^ ((edc & 1) ? 0xD8018001u : 0u);
            t[i] = edc;
        }
        return t;
    }();
    quint32 edc = 0;
    for (int i = 0; i < size; ++i)
        edc = (edc >> 8) ^ table[(edc ^ data[i]) & 0xff];
    return edc;
}

void appendLe32(QByteArray &out, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        out.append(char((value >> (8 * i)) & 0xff));
}

void appendBe(QByteArray &out, quint32 value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.append(char((value >> (8 * i)) & 0xff));
}

QByteArray vlq(quint32 value)
{
    QByteArray bytes(1, char(value & 0x7f));
    while (value >>= 7)
        bytes.prepend(char((value & 0x7f) | 0x80));
    return bytes;
}

int nearestMidiNote(double frequency)
{
    const int note = int(std::lround(69 + 12 * std::log2(frequency / 440.0)));
    return std::clamp(note, 0, 127);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size()
           && file.flush();
}

} // namespace

QString suffixFor(MediaKind kind)
{
    switch (kind) {
    case MediaKind::Wav: return QStringLiteral(".wav");
    case MediaKind::Mp3: return QStringLiteral(".mp3");
    case MediaKind::Wma: return QStringLiteral(".wma");
    case MediaKind::DatCdxa:
    case MediaKind::DatPlain: return QStringLiteral(".dat");
    case MediaKind::Avi: return QStringLiteral(".avi");
    case MediaKind::Mid: return QStringLiteral(".mid");
    }
    return {};
}

const char *kindName(MediaKind kind)
{
    switch (kind) {
    case MediaKind::Wav: return "wav";
    case MediaKind::Mp3: return "mp3";
    case MediaKind::Wma: return "wma";
    case MediaKind::DatCdxa: return "dat-cdxa";
    case MediaKind::DatPlain: return "dat-plain";
    case MediaKind::Avi: return "avi";
    case MediaKind::Mid: return "mid";
    }
    return "";
}

double soundingFrequency(MediaKind kind, double frequency)
{
    if (kind != MediaKind::Mid)
        return frequency;
    return 440.0 * std::pow(2.0, (nearestMidiNote(frequency) - 69) / 12.0);
}

QByteArray wrapInCdxa(const QByteArray &programStream)
{
    const int sectors = int((programStream.size() + SectorPayload - 1) / SectorPayload);
    QByteArray data;
    data.reserve(qsizetype(sectors) * SectorSize);
    for (int i = 0; i < sectors; ++i) {
        QByteArray sector(SectorSize, '\0');
        auto *s = reinterpret_cast<unsigned char *>(sector.data());
        s[0] = 0x00;
        std::fill(s + 1, s + 11, 0xff);
        s[11] = 0x00;
        // Header: the sector's address in BCD minutes, seconds, frames (a
        // track starts 2 s in), then mode 2.
        const int address = 150 + i;
        const auto bcd = [](int v) { return static_cast<unsigned char>(((v / 10) << 4) | (v % 10)); };
        s[12] = bcd(address / (75 * 60));
        s[13] = bcd((address / 75) % 60);
        s[14] = bcd(address % 75);
        s[15] = 2;
        // Subheader, twice: file 1, channel 1, real-time Form 2 video data.
        const unsigned char subheader[4] = {0x01, 0x01, 0x62, 0x0f};
        std::copy(subheader, subheader + 4, s + 16);
        std::copy(subheader, subheader + 4, s + 20);
        const qsizetype from = qsizetype(i) * SectorPayload;
        const qsizetype n = std::min<qsizetype>(SectorPayload, programStream.size() - from);
        std::copy(programStream.constData() + from, programStream.constData() + from + n,
                  sector.data() + 24);
        const quint32 edc = sectorEdc(s + 16, 8 + SectorPayload);
        for (int b = 0; b < 4; ++b)
            s[24 + SectorPayload + b] = static_cast<unsigned char>((edc >> (8 * b)) & 0xff);
        data.append(sector);
    }

    // XA file attributes as a disc's directory record gives them.
    QByteArray fmt;
    appendBe(fmt, 0, 2);      // owner
    appendBe(fmt, 0, 2);      // group
    appendBe(fmt, 0x1555, 2); // attributes: Mode 2 Form 2, readable
    fmt.append("XA");
    fmt.append(char(1));      // file number
    fmt.append(QByteArray(7, '\0'));

    QByteArray body("CDXA");
    body.append("fmt ");
    appendLe32(body, quint32(fmt.size()));
    body.append(fmt);
    body.append("data");
    appendLe32(body, quint32(data.size()));
    body.append(data);

    QByteArray riff("RIFF");
    appendLe32(riff, quint32(body.size()));
    riff.append(body);
    return riff;
}

std::vector<float> decodeMono(const QString &path, int sampleRate)
{
    ensureGstInitialized();
    gchar *uri = gst_filename_to_uri(QFile::encodeName(path).constData(), nullptr);
    const QString description = QStringLiteral("uridecodebin uri=\"%1\" ! audioconvert ! audioresample"
                                               " ! audio/x-raw,format=F32LE,channels=1,rate=%2 ! appsink name=out sync=false")
                                    .arg(QString::fromUtf8(uri))
                                    .arg(sampleRate);
    g_free(uri);
    std::vector<float> samples;
    GstElement *pipeline = gst_parse_launch(description.toUtf8().constData(), nullptr);
    if (!pipeline)
        return samples;
    GstElement *sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    for (;;) {
        GstSample *sample = nullptr;
        g_signal_emit_by_name(sink, "pull-sample", &sample);
        if (!sample)
            break;
        GstMapInfo map;
        GstBuffer *buffer = gst_sample_get_buffer(sample);
        if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            const auto *f = reinterpret_cast<const float *>(map.data);
            samples.insert(samples.end(), f, f + map.size / sizeof(float));
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return samples;
}

QByteArray midiFileBytes(int note, double seconds)
{
    constexpr int TicksPerQuarter = 480;
    constexpr quint32 MicrosecondsPerQuarter = 500000; // 120 beats a minute
    const auto ticks = quint32(std::lround(seconds * 1e6 / MicrosecondsPerQuarter * TicksPerQuarter));
    const char key = char(std::clamp(note, 0, 127));

    QByteArray track;
    track.append(vlq(0)).append("\xff\x51\x03", 3);
    appendBe(track, MicrosecondsPerQuarter, 3);
    track.append(vlq(0)).append("\xc0\x49", 2); // flute, the nearest to a sine
    track.append(vlq(0)).append('\x90').append(key).append('\x7f');
    track.append(vlq(ticks)).append('\x80').append(key).append('\x40');
    track.append(vlq(0)).append("\xff\x2f\x00", 3);

    QByteArray file("MThd");
    appendBe(file, 6, 4);
    appendBe(file, 0, 2); // format 0
    appendBe(file, 1, 2); // one track
    appendBe(file, TicksPerQuarter, 2);
    file.append("MTrk");
    appendBe(file, quint32(track.size()), 4);
    file.append(track);
    return file;
}

QString makeToneFile(const QString &dir, const QString &fileName, MediaKind kind, double frequency,
                     double seconds)
{
    ensureGstInitialized();
    const QString path = QDir(dir).absoluteFilePath(fileName);
    bool ok = false;
    switch (kind) {
    case MediaKind::Wav:
        ok = encode(toneSource(frequency, seconds)
                        + QStringLiteral(" ! audio/x-raw,format=S16LE ! wavenc ! filesink name=sink"),
                    path);
        break;
    case MediaKind::Mp3:
        ok = encode(toneSource(frequency, seconds)
                        + QStringLiteral(" ! lamemp3enc target=bitrate bitrate=128 cbr=true ! filesink name=sink"),
                    path);
        break;
    case MediaKind::Wma:
        ok = encode(toneSource(frequency, seconds)
                        + QStringLiteral(" ! avenc_wmav2 bitrate=128000 ! asfmux ! filesink name=sink"),
                    path);
        break;
    case MediaKind::Avi:
        ok = encode(toneSource(frequency, seconds) + QStringLiteral(" ! audio/x-raw,format=S16LE ! mux. ")
                        + pictureSource(seconds, 160, 120)
                        + QStringLiteral(" ! jpegenc ! mux. avimux name=mux ! filesink name=sink"),
                    path);
        break;
    case MediaKind::DatPlain:
        ok = encode(videoCdDescription(frequency, seconds), path);
        break;
    case MediaKind::DatCdxa: {
        const QString streamPath = path + QStringLiteral(".mpg.part");
        if (encode(videoCdDescription(frequency, seconds), streamPath)) {
            QFile stream(streamPath);
            if (stream.open(QIODevice::ReadOnly))
                ok = writeFile(path, wrapInCdxa(stream.readAll()));
        }
        QFile::remove(streamPath);
        break;
    }
    case MediaKind::Mid:
        ok = writeFile(path, midiFileBytes(nearestMidiNote(frequency), seconds));
        break;
    }
    return ok ? path : QString();
}

QString writeWav(const QString &path, double seconds, const std::function<double(int, int)> &sample, int rate)
{
    const int frames = int(seconds * rate);
    QByteArray pcm(frames * 4, Qt::Uninitialized);
    for (int f = 0; f < frames; ++f)
        for (int c = 0; c < 2; ++c)
            qToLittleEndian<qint16>(qint16(std::lround(std::clamp(sample(f, c), -1.0, 1.0) * 32767)),
                                    pcm.data() + 4 * f + 2 * c);
    QByteArray header("RIFF____WAVEfmt \x10\0\0\0\1\0\2\0________\4\0\x10\0data____", 44);
    qToLittleEndian<quint32>(quint32(36 + pcm.size()), header.data() + 4);
    qToLittleEndian<quint32>(quint32(rate), header.data() + 24);
    qToLittleEndian<quint32>(quint32(rate * 4), header.data() + 28);
    qToLittleEndian<quint32>(quint32(pcm.size()), header.data() + 40);
    return writeFile(path, header + pcm) ? path : QString();
}

std::vector<qint32> readWav16(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray pcm = file.readAll().mid(44);
    std::vector<qint32> samples(std::size_t(pcm.size() / 2));
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = qFromLittleEndian<qint16>(pcm.constData() + 2 * i);
    return samples;
}

} // namespace testmedia
