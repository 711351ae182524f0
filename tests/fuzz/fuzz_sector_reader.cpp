// The bytes are a whole file: its layout must come out the same from memory
// and from disk, and the stream read out of it must be the payloads of its
// sectors, in order, and nothing else.
#include "FuzzCheck.h"
#include "SectorReader.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <vector>

namespace {

QString inputFile()
{
    static QTemporaryDir dir;
    return dir.filePath(QStringLiteral("input.dat"));
}

// Written over and then cut to length: a file emptied and written anew is
// flushed to disk on close, which would make the fuzzer wait on the disk.
bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.write(bytes) == bytes.size() && file.resize(bytes.size());
}

QByteArray payloadOf(const QByteArray &bytes, const SectorReader::Layout &layout)
{
    QByteArray payload;
    for (qint64 i = 0; i < layout.sectorCount; ++i)
        payload += bytes.mid(layout.dataOffset + i * SectorReader::RawSectorSize + SectorReader::SectorPayloadOffset,
                             SectorReader::SectorPayloadSize);
    return payload;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer;
    buffer.setData(bytes);
    FUZZ_CHECK(buffer.open(QIODevice::ReadOnly));
    const SectorReader::Layout layout = SectorReader::findLayout(buffer);
    if (layout.found) {
        FUZZ_CHECK(layout.dataOffset >= 0 && layout.sectorCount > 0);
        FUZZ_CHECK(layout.dataOffset + layout.sectorCount * SectorReader::RawSectorSize <= qint64(size));
    }

    const QString path = inputFile();
    FUZZ_CHECK(writeFile(path, bytes));
    const SectorReader::Layout onDisk = SectorReader::findLayout(path);
    FUZZ_CHECK(onDisk.found == layout.found && onDisk.dataOffset == layout.dataOffset
               && onDisk.sectorCount == layout.sectorCount);

    const std::unique_ptr<SectorReader> reader = SectorReader::open(path);
    FUZZ_CHECK(bool(reader) == layout.found);
    if (!reader)
        return 0;
    const QByteArray expected = payloadOf(bytes, layout);
    FUZZ_CHECK(reader->size() == quint64(expected.size()));

    // Read as a demuxer would: in steps of a size that varies with the input,
    // starting anywhere in the first sector, then once past the end.
    const quint64 step = 1 + (size * 7919 + data[size - 1]) % 6000;
    const quint64 start = data[size / 2] % SectorReader::SectorPayloadSize;
    std::vector<uchar> got(step + 1, 0xee);
    for (quint64 at = start; at < reader->size(); at += step) {
        const quint64 n = reader->read(at, got.data(), step);
        FUZZ_CHECK(n == std::min(step, reader->size() - at));
        FUZZ_CHECK(got[step] == 0xee);
        FUZZ_CHECK(QByteArray::fromRawData(reinterpret_cast<const char *>(got.data()), qsizetype(n))
                   == expected.mid(qsizetype(at), qsizetype(n)));
    }
    FUZZ_CHECK(reader->read(reader->size(), got.data(), step) == 0);
    FUZZ_CHECK(reader->read(reader->size() + step, got.data(), step) == 0);
    return 0;
}
