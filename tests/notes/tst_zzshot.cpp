#include "../support/MainWindowRig.h"
#include "notes/NotesScreens.h"
#include "notes/NotesWorkspaceView.h"
#include "notes/BoardCanvasView.h"
#include "notes/BoardWritingSurface.h"
#include "shell/RootView.h"
#include "runtime/ScreenRegistry.h"
#include "runtime/UpdateService.h"
#include "model/Board.h"
#include "model/ThinkingSessionService.h"
#include <QBuffer>
#include <QMenu>
#include <QToolButton>
#include <QTest>
using namespace tessaline;
using namespace tessaline::testing;
class Shot : public QObject { Q_OBJECT
private Q_SLOTS:
void shot() {
    MainWindowRig rig;
    UpdateService updates;
    ScreenRegistry screens; notes::registerScreens(screens);
    for (int i = 0; i < 6; ++i) {
        Board *b = rig.addNote(QStringLiteral("Note %1 & more").arg(i));
        b->setUpdatedAt(at(i * 4000));
        BoardWritingDocument d; d.blocks = {BoardWritingBlock::paragraph(QStringLiteral("First line of note %1\nsecond line that is long enough to wrap around the row of the list").arg(i))};
        b->updateWritingDocument(d, at(i*4000));
        if (i % 2) b->setIsFavorite(true);
        auto *c = rig.addCard(b, CardKind::snip, i);
        c->setTitle(QStringLiteral("Snip %1").arg(i));
    }
    rig.addNote(QStringLiteral("Quick Captures"), 0, true);
    QVERIFY(rig.context().save());
    RootView view(*rig.runtime, updates, screens);
    view.resize(1180, 780);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QTest::qWait(500);
    view.grab().save("/tmp/scratch/notes1.png");
    auto *nv = qobject_cast<NotesWorkspaceView*>(view.detailWidget());
    QVERIFY(nv);
    nv->workspace()->insertSnipMenu()->popup(QPoint(100,100));
    QTest::qWait(300);
    nv->workspace()->insertSnipMenu()->grab().save("/tmp/scratch/menu.png");
    nv->workspace()->insertSnipMenu()->close();
}
};
QTEST_MAIN(Shot)
#include "tst_zzshot.moc"
