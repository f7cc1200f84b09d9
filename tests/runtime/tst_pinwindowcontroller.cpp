#include "../support/SnipFixtures.h"

#include "design/StudioIconButton.h"
#include "platform/FloatingWindows.h"
#include "platform/Pasteboard.h"
#include "runtime/PinWindowController.h"
#include "runtime/PinnedImageView.h"

#include <QMessageBox>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QWindow>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

class RecordingFloatingWindows : public FloatingWindows
{
public:
    void keepOnAllWorkspaces(QWindow &window) override { calls.append(window.isVisible()); }
    // Whether the window was on screen at each call.
    QList<bool> calls;
};

class RecordingPasteboard : public Pasteboard
{
public:
    void clearContents() override { entries.clear(); }
    void declareTypes(const QStringList &) override {}
    bool setData(const QByteArray &data, const QString &type) override
    {
        if (refuses)
            return false;
        entries.insert(type, data);
        return true;
    }
    bool refuses = false;
    QHash<QString, QByteArray> entries;
};

QImage filled(QSize size, const QColor &colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

struct Pins
{
    RecordingFloatingWindows floating;
    RecordingPasteboard pasteboard;
    PinWindowController controller{floating, pasteboard};
};

} // namespace

class PinWindowControllerTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void oneWindowPerCard();
    void aPinClosedByTheWindowManagerCanBePinnedAgain();
    void storedSnipsArePinnedWithTheirAnnotations();
    void hoverControlsOpacityAndCopy();
};

void PinWindowControllerTest::oneWindowPerCard()
{
    Pins pins;
    const QUuid card = QUuid::createUuid();
    pins.controller.pin(filled(QSize(1600, 900), Qt::red), card);
    PinnedImageView *window = pins.controller.window(card);
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QCOMPARE(window->size(), QSize(560, 315));
    // Asked to float before it was first shown.
    QCOMPARE(pins.floating.calls, QList<bool>{false});
    QVERIFY(window->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    QVERIFY(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(window->windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(window->testAttribute(Qt::WA_ShowWithoutActivating));

    window->setOpacity(0.5);
    window->resize(400, 225);
    // Pinning again, with a changed picture, only raises the one window.
    pins.controller.pin(filled(QSize(300, 300), Qt::blue), card);
    QCOMPARE(pins.controller.window(card), window);
    QCOMPARE(pins.controller.pinnedIDs().size(), 1);
    QCOMPARE(window->opacity(), 0.5);
    QCOMPARE(window->size(), QSize(400, 225));
    QTRY_VERIFY(window->picture());
    QCOMPARE(window->picture()->image().pixelColor(0, 0), QColor(Qt::red));

    // Another card is another window.
    pins.controller.pin(filled(QSize(300, 200), Qt::green), QUuid::createUuid());
    QCOMPARE(pins.controller.pinnedIDs().size(), 2);

    // Its close button ends it; a later pin is fresh.
    window->closeButton()->click();
    QVERIFY(!pins.controller.window(card));
    QVERIFY(!window->isVisible());
    pins.controller.pin(filled(QSize(1600, 900), Qt::red), card);
    QVERIFY(pins.controller.window(card));
    QCOMPARE(pins.controller.window(card)->opacity(), 1.0);
    QCOMPARE(pins.controller.window(card)->size(), QSize(560, 315));
}

void PinWindowControllerTest::aPinClosedByTheWindowManagerCanBePinnedAgain()
{
    Pins pins;
    const QUuid card = QUuid::createUuid();
    pins.controller.pin(filled(QSize(300, 200), Qt::red), card);
    QPointer<PinnedImageView> window = pins.controller.window(card);
    QSignalSpy changed(&pins.controller, &PinWindowController::pinsChanged);
    // What a window manager's close amounts to: a close event from outside.
    QVERIFY(window->close());
    QCOMPARE(pins.controller.pinnedIDs(), QList<QUuid>());
    QCOMPARE(changed.count(), 1);
    QTRY_VERIFY(!window);

    pins.controller.pin(filled(QSize(300, 200), Qt::red), card);
    QVERIFY(pins.controller.window(card));
    QVERIFY(pins.controller.window(card)->isVisible());
}

void PinWindowControllerTest::storedSnipsArePinnedWithTheirAnnotations()
{
    Pins pins;
    const auto marked = storedSnip(pngOf(Qt::white, QSize(400, 300)), blackFrame());
    pins.controller.pinCard(*marked);
    // On screen at its size once the bytes are read, the picture following
    // off the main thread.
    QTRY_VERIFY(pins.controller.window(marked->id()));
    PinnedImageView *window = pins.controller.window(marked->id());
    QCOMPARE(window->size(), QSize(400, 300));
    QTRY_VERIFY(window->picture());
    QCOMPARE(window->picture()->image().pixelColor(5, 150), QColor(Qt::black));

    // Unreadable bytes: the pin goes again; no bytes: it never comes.
    const auto broken = storedSnip(QByteArray("\x89PNG\r\n\x1a\n not really", 20));
    const auto bare = storedSnip(std::nullopt);
    pins.controller.pinCard(*bare);
    QVERIFY(!pins.controller.window(bare->id()));
    pins.controller.pinCard(*broken);
    QTRY_VERIFY(!pins.controller.window(broken->id()));
    QCOMPARE(pins.controller.pinnedIDs(), QList<QUuid>{marked->id()});

    // A card trashed or deleted while its bytes are read gets no pin. The
    // pin asked for after it opens when its bytes are in, and those for the
    // gone cards were read before.
    auto trashed = storedSnip(pngOf(Qt::white, QSize(400, 300)));
    auto deleted = storedSnip(pngOf(Qt::white, QSize(400, 300)));
    const QUuid deletedID = deleted->id();
    const auto later = storedSnip(pngOf(Qt::white, QSize(300, 200)));
    pins.controller.pinCard(*trashed);
    pins.controller.pinCard(*deleted);
    pins.controller.pinCard(*later);
    trashed->moveToTrash(QDateTime::currentDateTimeUtc());
    deleted.reset();
    QTRY_VERIFY(pins.controller.window(later->id()));
    QVERIFY(!pins.controller.window(trashed->id()));
    QVERIFY(!pins.controller.window(deletedID));
}

void PinWindowControllerTest::hoverControlsOpacityAndCopy()
{
    Pins pins;
    const QUuid card = QUuid::createUuid();
    pins.controller.pin(filled(QSize(300, 200), Qt::red), card);
    PinnedImageView *window = pins.controller.window(card);
    QTRY_VERIFY(window->picture());

    QVERIFY(window->controls()->isHidden());
    QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), window->mapToGlobal(QPointF(10, 10)));
    QCoreApplication::sendEvent(window, &enter);
    QVERIFY(window->controls()->isVisible());
    // The controls sit 8 points inside the picture's top-trailing corner.
    const QRectF image = window->fittedImageRect();
    QCOMPARE(window->controls()->geometry().topRight(), QPoint(int(image.right()) - 8 - 1, int(image.top()) + 8));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(window, &leave);
    QVERIFY(window->controls()->isHidden());
    // A strip narrower than the controls, and one flatter than them: the
    // controls stay whole inside the window.
    for (const QSize &strip : {QSize(2, 200), QSize(600, 3)}) {
        const QUuid stripCard = QUuid::createUuid();
        pins.controller.pin(filled(strip, Qt::blue), stripCard);
        PinnedImageView *thin = pins.controller.window(stripCard);
        QTRY_VERIFY(thin->picture());
        QCoreApplication::sendEvent(thin, &enter);
        QVERIFY2(thin->rect().contains(thin->controls()->geometry()),
                 qPrintable(QStringLiteral("%1 × %2").arg(strip.width()).arg(strip.height())));
    }

    window->opacitySlider()->setValue(10);
    QCOMPARE(window->opacity(), 0.25);
    window->setOpacity(0.1);
    QCOMPARE(window->opacity(), 0.25);

    QVERIFY(window->copyPicture());
    QVERIFY(pins.pasteboard.entries.contains(QStringLiteral("image/png")));
    pins.pasteboard.refuses = true;
    QVERIFY(!window->copyPicture());
    QMessageBox *alert = window->findChild<QMessageBox *>();
    QVERIFY(alert);
    QCOMPARE(alert->informativeText(), QStringLiteral("The image could not be encoded as PNG."));
}

QTEST_MAIN(PinWindowControllerTest)
#include "tst_pinwindowcontroller.moc"
