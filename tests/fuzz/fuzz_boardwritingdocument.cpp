// Feeds arbitrary text to the note writing reader as the store hands it over
// (UTF-8 decoded), then to everything that acts on what it reads: the repair
// to normal form, writing it back and reading that again, inserting a card
// reference, and a note taking the text as stored. Any crash, sanitizer
// report or broken invariant is a finding; so is words lost without a
// recovery record, or a readable text that cannot be written again.

#include "model/Board.h"
#include "model/BoardWritingDocument.h"

#include <QCoreApplication>
#include <QSet>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace tessaline;

namespace {

// Fixed, so that a run replays exactly.
const QUuid fixedCardID(0x0a1b2c3d, 0x4e5f, 0x4a6b, 0x8c, 0x7d, 0x9e, 0x0f, 0x1a, 0x2b, 0x3c, 0x4d);

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

void checkNormal(const QList<BoardWritingBlock> &blocks)
{
    if (blocks.isEmpty() || !blocks.constLast().isParagraph())
        fail("normal form does not end in a paragraph");
    QSet<QUuid> ids;
    for (const BoardWritingBlock &block : blocks) {
        if (ids.contains(block.id))
            fail("normal form repeats an id");
        ids.insert(block.id);
        if (block.isParagraph() ? block.cardID.has_value() : !block.cardID.has_value())
            fail("normal form holds a malformed block");
    }
    if (BoardWritingDocument::normalizedBlocks(blocks) != blocks)
        fail("normalising is not idempotent");
    const auto text = BoardWritingDocument::encode(blocks);
    if (!text)
        fail("a document that was read cannot be written");
    const auto reread = BoardWritingDocument::decode(*text);
    if (!reread || reread->blocks != blocks)
        fail("round trip changed the document");
}

void exerciseBoard(const QString &stored, const std::optional<BoardWritingDocument> &read)
{
    const QDateTime date = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
    Board board;
    board.setWritingDocumentStorage(stored);
    const bool unreadable = board.hasUnreadableWriting();
    if (unreadable != (!stored.isEmpty() && !read))
        fail("unreadable writing misreported");
    if (!board.normalizeWritingDocumentStorage(date))
        fail("repairing readable writing failed");
    if (unreadable) {
        if (board.writingDocumentStorage() != stored || !board.pendingRecoveries().isEmpty())
            fail("the repair wrote over text it could not read");
    } else {
        const bool dropsWords = read && BoardWritingDocument::normalizationDropsText(read->blocks);
        const qsizetype expected = dropsWords ? 1 : 0;
        if (board.pendingRecoveries().size() != expected)
            fail("words the repair dropped were not kept aside");
        if (dropsWords && board.pendingRecoveries().first().text != stored)
            fail("the recovery record is not the stored text");
        checkNormal(board.writingDocument().blocks);
    }

    // Any later change succeeds and never loses the text that was there.
    BoardWritingDocument edited = board.writingDocument();
    edited.insertCardReference(fixedCardID);
    const qsizetype before = board.pendingRecoveries().size();
    if (!board.updateWritingDocument(edited, date))
        fail("a later change could not be written");
    if (unreadable && (board.pendingRecoveries().size() != before + 1 || board.pendingRecoveries().last().text != stored))
        fail("unreadable text was replaced without a recovery record");
    checkNormal(board.writingDocument().blocks);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static int argc = 1;
    static char name[] = "fuzz_boardwritingdocument";
    static char *argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString stored = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto read = BoardWritingDocument::decode(stored);
    // A space after the text takes it past the stored form's own reader to
    // the general one, which must read it the same.
    const auto generally = BoardWritingDocument::decode(stored + QLatin1Char(' '));
    if (read.has_value() != generally.has_value() || (read && read->blocks != generally->blocks))
        fail("the stored form's reader and the general one disagree");
    if (read) {
        checkNormal(BoardWritingDocument::normalizedBlocks(read->blocks));
        BoardWritingDocument inserted = *read;
        inserted.insertCardReference(fixedCardID, read->blocks.isEmpty() ? std::nullopt
                                                                                   : std::optional(read->blocks.first().id));
        checkNormal(inserted.blocks);
    }
    exerciseBoard(stored, read);
    return 0;
}
