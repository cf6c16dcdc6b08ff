#include "app/cchecksumparts.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

// Bytes a part reads at a time: inside a core's second-level cache, so that the copy out of the page
// cache is still there when the CRC reads it (128 KB to 1 MB measured alike on a loaded machine).
constexpr qint64 kPiece = 256 * 1024;
constexpr qint64 kMinPart = 1024 * 1024;
constexpr int kMaxParts = 4;

struct Part
{
    qint64 from = 0;
    qint64 to = 0;  // one past its last byte
    CChecksum::State state;
    qint64 read = 0;
    int error = 0;
};

void ReadPart(const CChecksum &checksum, int fd, Part &part)
{
    const std::unique_ptr<char[]> buffer(new char[kPiece]);
    for (qint64 at = part.from; at < part.to;) {
        const ssize_t got = ::pread(fd, buffer.get(), size_t(std::min(kPiece, part.to - at)), at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            part.error = errno ? errno : EIO;
            return;
        }
        if (got == 0)
            return;
        checksum.Update(part.state, buffer.get(), got);
        at += got;
        part.read += got;
    }
}

}  // namespace

int CChecksumParts::PartsFor(qint64 size)
{
    const int cores = int(std::clamp(std::thread::hardware_concurrency(), 1u, unsigned(kMaxParts)));
    return int(std::clamp(size / kMinPart, qint64(1), qint64(cores)));
}

int CChecksumParts::Read(const CChecksum &checksum, int fd, qint64 size, int parts, CChecksum::State &state)
{
    Q_ASSERT(checksum.Combines() && parts >= 1);
    std::vector<Part> all(static_cast<std::size_t>(parts));
    for (int i = 0; i < parts; ++i) {
        all[i].from = size / parts * i + size % parts * i / parts;
        all[i].to = i + 1 < parts ? size / parts * (i + 1) + size % parts * (i + 1) / parts : std::numeric_limits<qint64>::max();
        all[i].state = i == 0 ? state : checksum.InitPart();
    }
    std::vector<std::thread> threads;
    int started = 1;
    try {
        for (; started < parts; ++started)
            threads.emplace_back(ReadPart, std::cref(checksum), fd, std::ref(all[started]));
    } catch (const std::system_error &) {
        // No more threads to be had: the parts left are read here, after the first.
    }
    ReadPart(checksum, fd, all[0]);
    for (int i = started; i < parts; ++i)
        ReadPart(checksum, fd, all[i]);
    for (std::thread &thread : threads)
        thread.join();
    bool ended = false;  // a part before ended early: the file is shorter than `size`
    for (const Part &part : all) {
        if (part.error)
            return part.error;
        if (ended && part.read > 0)
            return kChanged;
        ended = ended || part.from + part.read < part.to;
    }
    state = all[0].state;
    for (int i = 1; i < parts; ++i)
        checksum.Append(state, all[i].state, all[i].read);
    return 0;
}
