#pragma once

#include <QByteArrayView>
#include <QString>

#include <atomic>
#include <memory>

namespace tessaline {

// A file without a name in a directory, whose written ranges are read back
// through memory. What is kept there is held by the kernel as file pages:
// resident only while it is read, and dropped (to be read again) when memory
// is short, where heap memory could only be swapped. The file goes with the
// last range kept in it; nothing is left on disk after a crash.
class MappedScratchFile : public std::enable_shared_from_this<MappedScratchFile>
{
public:
    // A file in `directory` (made if missing); none when none can be made
    // there. Safe to use from any thread.
    static std::shared_ptr<MappedScratchFile> create(const QString &directory);
    ~MappedScratchFile();

    MappedScratchFile(const MappedScratchFile &) = delete;
    MappedScratchFile &operator=(const MappedScratchFile &) = delete;

    // Bytes written to the file and mapped read-only; their pages and disk
    // space go back when the range goes.
    class Range
    {
    public:
        ~Range();
        Range(const Range &) = delete;
        Range &operator=(const Range &) = delete;
        const char *data() const { return m_address; }
        qsizetype size() const { return m_size; }
        // Takes the range's pages out of the process's memory; they stay
        // readable, and come back from the kernel's file cache (or the
        // disk) when next read. Safe while another thread reads them.
        void dropPages() const;

    private:
        friend class MappedScratchFile;
        Range(std::shared_ptr<MappedScratchFile> file, const char *address, qint64 offset, qsizetype size);
        std::shared_ptr<MappedScratchFile> m_file;
        const char *m_address;
        qint64 m_offset;
        qsizetype m_size;
    };
    // `bytes` kept in the file; none when the file cannot take them (a full
    // disk) or they cannot be mapped.
    std::unique_ptr<Range> keep(QByteArrayView bytes);

private:
    explicit MappedScratchFile(int descriptor);
    // Whole pages for a range of `size` bytes.
    static qint64 pagesFor(qsizetype size);

    int m_descriptor;
    std::atomic<qint64> m_end{0};
};

} // namespace tessaline
