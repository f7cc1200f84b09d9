#include "platform/MappedScratchFile.h"

#include <QDir>
#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace tessaline {

std::shared_ptr<MappedScratchFile> MappedScratchFile::create(const QString &directory)
{
    if (directory.isEmpty() || !QDir().mkpath(directory))
        return nullptr;
    // Never linked into the directory, so no crash leaves it behind.
    const int descriptor = ::open(QFile::encodeName(directory).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (descriptor < 0)
        return nullptr;
    return std::shared_ptr<MappedScratchFile>(new MappedScratchFile(descriptor));
}

MappedScratchFile::MappedScratchFile(int descriptor) : m_descriptor(descriptor) {}

MappedScratchFile::~MappedScratchFile()
{
    ::close(m_descriptor);
}

qint64 MappedScratchFile::pagesFor(qsizetype size)
{
    static const qint64 page = ::sysconf(_SC_PAGESIZE);
    return (qint64(size) + page - 1) / page * page;
}

std::unique_ptr<MappedScratchFile::Range> MappedScratchFile::keep(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return nullptr;
    // Each range on pages of its own, so that its pages can be handed back
    // without touching another's.
    const qint64 length = pagesFor(bytes.size());
    const qint64 offset = m_end.fetch_add(length);
    // Space claimed before writing: a mapped page the disk has no room for
    // would fault when read.
    if (::posix_fallocate(m_descriptor, offset, length) != 0)
        return nullptr;
    for (qsizetype written = 0; written < bytes.size();) {
        const ssize_t wrote = ::pwrite(m_descriptor, bytes.data() + written, size_t(bytes.size() - written), offset + written);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            ::fallocate(m_descriptor, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, offset, length);
            return nullptr;
        }
        written += wrote;
    }
    void *address = ::mmap(nullptr, size_t(length), PROT_READ, MAP_SHARED, m_descriptor, offset);
    if (address == MAP_FAILED) {
        ::fallocate(m_descriptor, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, offset, length);
        return nullptr;
    }
    return std::unique_ptr<Range>(new Range(shared_from_this(), static_cast<const char *>(address), offset, bytes.size()));
}

MappedScratchFile::Range::Range(std::shared_ptr<MappedScratchFile> file, const char *address, qint64 offset,
                                qsizetype size)
    : m_file(std::move(file))
    , m_address(address)
    , m_offset(offset)
    , m_size(size)
{
}

void MappedScratchFile::Range::dropPages() const
{
    // A shared mapping of a file loses nothing by this: its pages are the
    // file's.
    ::madvise(const_cast<char *>(m_address), size_t(pagesFor(m_size)), MADV_DONTNEED);
}

MappedScratchFile::Range::~Range()
{
    const qint64 length = pagesFor(m_size);
    ::munmap(const_cast<char *>(m_address), size_t(length));
    // The file keeps its length; the range's disk space goes.
    ::fallocate(m_file->m_descriptor, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, m_offset, length);
}

} // namespace tessaline
