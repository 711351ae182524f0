#include "SectorReader.h"

#include <QFile>

#include <gst/base/gstbasesrc.h>
#include <gst/gst.h>

#include <algorithm>
#include <mutex>

namespace {

constexpr const char *CdSectorSync = "\x00\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\x00";
constexpr int CdSectorSyncSize = 12;

quint32 readLe32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return quint32(u[0]) | quint32(u[1]) << 8 | quint32(u[2]) << 16 | quint32(u[3]) << 24;
}

// The stream inside the sectors, as a demuxer pulls its ranges (or pushed in
// blocks). Not appsrc: a demuxer plugged while the pipeline stops makes the
// typefinder start the source again from its streaming thread, and appsrc's
// start then asserts that it is no further on than READY.
struct SectorSource
{
    GstBaseSrc parent;
    SectorReader *reader; // given on the decoder's "source-setup"
};

struct SectorSourceClass
{
    GstBaseSrcClass parent;
};

constexpr const char *SourceUri = "cdsectors://";

void sector_source_uri_init(gpointer iface, gpointer);

G_DEFINE_TYPE_WITH_CODE(SectorSource, sector_source, GST_TYPE_BASE_SRC,
                        G_IMPLEMENT_INTERFACE(GST_TYPE_URI_HANDLER, sector_source_uri_init))

SectorReader *readerOf(GstBaseSrc *base)
{
    return reinterpret_cast<SectorSource *>(base)->reader;
}

gboolean sourceStart(GstBaseSrc *base)
{
    return readerOf(base) != nullptr;
}

gboolean sourceSize(GstBaseSrc *base, guint64 *size)
{
    *size = readerOf(base)->size();
    return TRUE;
}

gboolean sourceIsSeekable(GstBaseSrc *)
{
    return TRUE;
}

GstFlowReturn sourceCreate(GstBaseSrc *base, guint64 offset, guint length, GstBuffer **out)
{
    SectorReader &reader = *readerOf(base);
    if (offset >= reader.size())
        return GST_FLOW_EOS;
    const quint64 wanted = std::min<quint64>(length, reader.size() - offset);
    GstBuffer *buffer = gst_buffer_new_allocate(nullptr, wanted, nullptr);
    if (!buffer)
        return GST_FLOW_ERROR;
    quint64 got = 0;
    GstMapInfo map;
    if (gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        got = reader.read(offset, map.data, wanted);
        gst_buffer_unmap(buffer, &map);
    }
    if (got == 0) { // the file reads short: its stream ends there
        gst_buffer_unref(buffer);
        return GST_FLOW_EOS;
    }
    gst_buffer_set_size(buffer, gsize(got));
    GST_BUFFER_OFFSET(buffer) = offset;
    GST_BUFFER_OFFSET_END(buffer) = offset + got;
    *out = buffer;
    return GST_FLOW_OK;
}

void sector_source_init(SectorSource *source)
{
    source->reader = nullptr;
}

void sector_source_class_init(SectorSourceClass *klass)
{
    static GstStaticPadTemplate srcTemplate =
        GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS_ANY);
    auto *element = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(element, &srcTemplate);
    gst_element_class_set_static_metadata(element, "Video CD sectors", "Source/File",
                                          "The MPEG stream inside a video CD's raw sectors", "Tandra");
    auto *base = GST_BASE_SRC_CLASS(klass);
    base->start = sourceStart;
    base->get_size = sourceSize;
    base->is_seekable = sourceIsSeekable;
    base->create = sourceCreate;
}

void sector_source_uri_init(gpointer iface, gpointer)
{
    auto *handler = static_cast<GstURIHandlerInterface *>(iface);
    handler->get_type = [](GType) { return GST_URI_SRC; };
    handler->get_protocols = [](GType) -> const gchar *const * {
        static const gchar *const protocols[] = {"cdsectors", nullptr};
        return protocols;
    };
    handler->get_uri = [](GstURIHandler *) { return g_strdup(SourceUri); };
    handler->set_uri = [](GstURIHandler *, const gchar *, GError **) -> gboolean { return TRUE; };
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

quint64 SectorReader::read(quint64 position, uchar *data, quint64 length)
{
    std::lock_guard lock(m_mutex);
    length = std::min(length, m_size - std::min(m_size, position));
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

const char *SectorReader::sourceUri()
{
    static std::once_flag once;
    std::call_once(once, [] { gst_element_register(nullptr, "sectorsrc", GST_RANK_NONE, sector_source_get_type()); });
    return SourceUri;
}

void SectorReader::onSourceSetup(GstElement *, GstElement *source, void *reader)
{
    if (G_TYPE_CHECK_INSTANCE_TYPE(source, sector_source_get_type()))
        reinterpret_cast<SectorSource *>(source)->reader = static_cast<SectorReader *>(reader);
}
