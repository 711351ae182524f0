#include "SectorReader.h"

#include <QFile>

#include <gst/gst.h>

#include <algorithm>

namespace {

constexpr const char *CdSectorSync = "\x00\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\x00";
constexpr int CdSectorSyncSize = 12;

quint32 readLe32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return quint32(u[0]) | quint32(u[1]) << 8 | quint32(u[2]) << 16 | quint32(u[3]) << 24;
}

} // namespace

SectorReader::Layout SectorReader::findLayout(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return findLayout(file);
}

SectorReader::Layout SectorReader::findLayout(QIODevice &file)
{
    Layout layout;
    const qint64 fileSize = file.size();
    const QByteArray head = file.read(12);
    if (head.size() < 12)
        return layout;

    if (head.startsWith("RIFF") && head.mid(8, 4) == "CDXA") {
        qint64 at = 12;
        for (int chunks = 0; chunks < 64 && at + 8 <= fileSize; ++chunks) {
            if (!file.seek(at))
                return layout;
            const QByteArray chunk = file.read(8);
            if (chunk.size() < 8)
                return layout;
            const qint64 size = readLe32(chunk.constData() + 4);
            if (chunk.startsWith("data")) {
                layout.dataOffset = at + 8;
                layout.sectorCount = std::min(size, fileSize - layout.dataOffset) / RawSectorSize;
                layout.found = layout.sectorCount > 0;
                return layout;
            }
            at += 8 + size + (size & 1);
        }
        return layout;
    }

    if (head == QByteArray::fromRawData(CdSectorSync, CdSectorSyncSize) && fileSize % RawSectorSize == 0) {
        layout.sectorCount = fileSize / RawSectorSize;
        layout.found = true;
    }
    return layout;
}

std::unique_ptr<SectorReader> SectorReader::open(const QString &fileName)
{
    const Layout layout = findLayout(fileName);
    if (!layout.found)
        return nullptr;
    std::unique_ptr<SectorReader> reader(new SectorReader);
    reader->m_file = std::fopen(QFile::encodeName(fileName).constData(), "rb");
    if (!reader->m_file)
        return nullptr;
    reader->m_dataOffset = layout.dataOffset;
    reader->m_size = quint64(layout.sectorCount) * SectorPayloadSize;
    return reader;
}

SectorReader::~SectorReader()
{
    if (m_file)
        std::fclose(m_file);
}

void SectorReader::onSourceSetup(GstElement *, GstElement *source, void *reader)
{
    if (g_strcmp0(G_OBJECT_TYPE_NAME(source), "GstAppSrc") != 0)
        return;
    auto *self = static_cast<SectorReader *>(reader);
    gst_util_set_object_arg(G_OBJECT(source), "stream-type", "random-access");
    g_object_set(source, "format", GST_FORMAT_BYTES, "size", gint64(self->m_size), nullptr);
    g_signal_connect(source, "need-data", G_CALLBACK(needData), self);
    g_signal_connect(source, "seek-data", G_CALLBACK(seekData), self);
}

void SectorReader::needData(GstElement *source, unsigned length, void *reader)
{
    auto *self = static_cast<SectorReader *>(reader);
    // A demuxer pulling ranges wants exactly what it asks for; pushing, the
    // length is only a hint.
    constexpr quint64 ChunkSize = 16 * SectorPayloadSize;
    constexpr quint64 MaxRange = 4 << 20;
    const quint64 asked = (length > 0 && length <= MaxRange) ? length : ChunkSize;
    std::unique_lock lock(self->m_mutex);
    const quint64 wanted = std::min(asked, self->m_size - std::min(self->m_size, self->m_position));
    GstBuffer *buffer = wanted ? gst_buffer_new_allocate(nullptr, wanted, nullptr) : nullptr;
    quint64 got = 0;
    GstMapInfo map;
    if (buffer && gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        got = self->readLocked(self->m_position, map.data, wanted);
        gst_buffer_unmap(buffer, &map);
    }
    GstFlowReturn ret;
    if (got == 0) {
        if (buffer)
            gst_buffer_unref(buffer);
        lock.unlock();
        g_signal_emit_by_name(source, "end-of-stream", &ret);
        return;
    }
    gst_buffer_set_size(buffer, gsize(got));
    GST_BUFFER_OFFSET(buffer) = self->m_position;
    self->m_position += got;
    lock.unlock();
    g_signal_emit_by_name(source, "push-buffer", buffer, &ret);
    gst_buffer_unref(buffer);
}

quint64 SectorReader::read(quint64 position, uchar *data, quint64 length)
{
    std::lock_guard lock(m_mutex);
    return readLocked(position, data, std::min(length, m_size - std::min(m_size, position)));
}

quint64 SectorReader::readLocked(quint64 position, uchar *data, quint64 length)
{
    quint64 got = 0;
    while (got < length) {
        const quint64 at = position + got;
        const quint64 within = at % SectorPayloadSize;
        const quint64 n = std::min<quint64>(SectorPayloadSize - within, length - got);
        const qint64 fileAt = m_dataOffset + qint64(at / SectorPayloadSize) * RawSectorSize + SectorPayloadOffset
                              + qint64(within);
        if (fseeko(m_file, fileAt, SEEK_SET) != 0)
            break;
        const size_t read = std::fread(data + got, 1, n, m_file);
        got += read;
        if (read < n)
            break;
    }
    return got;
}

int SectorReader::seekData(GstElement *, quint64 offset, void *reader)
{
    auto *self = static_cast<SectorReader *>(reader);
    std::lock_guard lock(self->m_mutex);
    if (offset > self->m_size)
        return FALSE;
    self->m_position = offset;
    return TRUE;
}
