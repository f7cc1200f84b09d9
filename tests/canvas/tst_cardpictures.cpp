#include "../model/StoreFixture.h"
#include "../support/PngBytes.h"

#include "canvas/CardPictures.h"
#include "runtime/SnipImageCache.h"

#include <QImage>
#include <QSignalSpy>

using namespace tessaline;
using namespace tessaline::testing;

Q_DECLARE_METATYPE(CardPictures::State)

namespace {

QByteArray png(const QColor &colour) { return pngOf(colour, QSize(160, 100)); }

} // namespace

class CardPicturesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pictureFollowsTheStoredData_data()
    {
        QTest::addColumn<QByteArray>("thumbnail");
        QTest::addColumn<QByteArray>("original");
        QTest::addColumn<CardPictures::State>("state");
        QTest::addColumn<QColor>("colour");
        const QByteArray red = png(Qt::red);
        const QByteArray blue = png(Qt::blue);
        QTest::newRow("original only") << QByteArray() << red << CardPictures::State::ready << QColor(Qt::red);
        QTest::newRow("thumbnail first") << blue << red << CardPictures::State::ready << QColor(Qt::blue);
        QTest::newRow("unreadable thumbnail: no fallback")
            << QByteArray("not a picture") << red << CardPictures::State::unavailable << QColor();
        QTest::newRow("unreadable original") << QByteArray() << QByteArray("not a picture")
                                             << CardPictures::State::unavailable << QColor();
        QTest::newRow("nothing stored") << QByteArray() << QByteArray() << CardPictures::State::unavailable << QColor();
    }

    void pictureFollowsTheStoredData()
    {
        QFETCH(QByteArray, thumbnail);
        QFETCH(QByteArray, original);
        QFETCH(CardPictures::State, state);
        QFETCH(QColor, colour);
        auto store = memoryStore();
        ModelContext &context = *store->mainContext();
        CanvasCard *card = addCard(context, addNote(context, QStringLiteral("Map"), at(0)), CardKind::snip, at(1));
        if (!thumbnail.isEmpty())
            card->setThumbnailImageData(thumbnail);
        if (!original.isEmpty())
            card->setOriginalImageData(original);
        QVERIFY(context.save());

        SnipImageCache cache;
        CardPictures pictures(cache);
        const QSize size(80, 80);
        pictures.picture(*card, size);
        cache.waitForPending();
        const CardPictures::Picture shown = pictures.picture(*card, size);
        QCOMPARE(shown.state, state);
        if (!colour.isValid())
            return;
        // Fills the size asked for, the aspect ratio kept.
        QCOMPARE(shown.pixmap.size(), QSize(128, 80));
        QCOMPARE(shown.pixmap.toImage().pixelColor(64, 40), colour);

        // A layout edit changes the card, not its picture: no new decoding,
        // no placeholder.
        card->setCanvasX(500);
        card->setUpdatedAt(at(99));
        QCOMPARE(pictures.picture(*card, size).state, CardPictures::State::ready);

        // A new picture is decoded again; the old one shows meanwhile.
        if (thumbnail.isEmpty()) {
            card->setOriginalImageData(png(Qt::green));
            card->setUpdatedAt(at(100));
            QVERIFY(context.save());
            QSignalSpy ready(&pictures, &CardPictures::pictureReady);
            const CardPictures::Picture meanwhile = pictures.picture(*card, size);
            QCOMPARE(meanwhile.state, CardPictures::State::loading);
            QCOMPARE(meanwhile.pixmap.toImage().pixelColor(64, 40), colour);
            QVERIFY(ready.wait());
            QCOMPARE(pictures.picture(*card, size).pixmap.toImage().pixelColor(64, 40), QColor(Qt::green));
        }
    }
};

QTEST_MAIN(CardPicturesTest)
#include "tst_cardpictures.moc"
