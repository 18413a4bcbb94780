// Every page of the main window at its smallest size and at its default size:
// no two visible controls overlap, none is squeezed below the size it needs to
// be read, and where a page cannot fit it scrolls. The pages are also saved as
// PNG files under build/screenshots/ for people to look at.
#include "windowrig.h"

#include "model/stationtexts.h"
#include "shell/station.h"
#include "window/tformmain.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPoint>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QWidget>

namespace {

QString describe(const QWidget* w)
{
    QString text;
    if (const auto* b = qobject_cast<const QAbstractButton*>(w))
        text = b->text();
    else if (const auto* l = qobject_cast<const QLabel*>(w))
        text = l->text();
    return QString::fromLatin1(w->metaObject()->className()) + u' ' + w->objectName() +
           QStringLiteral(" \"") + text + u'"';
}

// The part of w that shows in the window: its rectangle cut by every ancestor's.
QRect shownRect(const QWidget* w, const QWidget* window)
{
    QRect rect(w->mapTo(window, QPoint(0, 0)), w->size());
    for (const QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
        rect &= QRect(p->mapTo(window, QPoint(0, 0)), p->size());
    return rect;
}

// A control the operator reads or uses, not a part of a composite one (the
// scroll bars, headers and viewport of a grid or text box).
bool isControl(const QWidget* w, const QWidget* page)
{
    if (!(qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w) ||
          qobject_cast<const QComboBox*>(w) || qobject_cast<const QGroupBox*>(w) ||
          (qobject_cast<const QLabel*>(w) && !static_cast<const QLabel*>(w)->text().isEmpty()) ||
          (qobject_cast<const QAbstractScrollArea*>(w) && !qobject_cast<const QScrollArea*>(w))))
        return false;
    for (const QWidget* p = w->parentWidget(); p && p != page; p = p->parentWidget()) {
        if (qobject_cast<const QAbstractScrollArea*>(p) && !qobject_cast<const QScrollArea*>(p))
            return false;
        if (qobject_cast<const QComboBox*>(p))
            return false;
    }
    return true;
}

bool isAncestor(const QWidget* a, const QWidget* b)
{
    for (const QWidget* p = b->parentWidget(); p; p = p->parentWidget()) {
        if (p == a)
            return true;
    }
    return false;
}

} // namespace

class TestPageLayout : public QObject {
    Q_OBJECT

    std::unique_ptr<WindowRig> m_rig;

private slots:
    void initTestCase()
    {
        m_rig = std::make_unique<WindowRig>(QStringLiteral("Резервуар"),
                                            QStringLiteral("/var/lib/kx7r/archive"));
        m_rig->window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_rig->window.get()));
    }
    void cleanupTestCase() { m_rig.reset(); }

    void controlsStayWholeAndApart_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("page");
        const QList<std::pair<const char*, QSize>> sizes{{"smallest", QSize(1040, 285)},
                                                         {"default", QSize(1069, 450)}};
        const char* pages[] = {"poll list", "COM ports", "TCP", "additional"};
        for (const auto& [name, size] : sizes) {
            for (int page = 0; page < 4; ++page)
                QTest::addRow("%s, %s", name, pages[page]) << size << page;
        }
    }
    void controlsStayWholeAndApart()
    {
        QFETCH(QSize, size);
        QFETCH(int, page);
        TFormMain& window = *m_rig->window;
        window.resize(size);
        auto* pages = window.findChild<QTabWidget*>(QStringLiteral("PageControl"));
        QVERIFY(pages);
        pages->setCurrentIndex(page);
        QTRY_COMPARE(window.size(), size);
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();

        QWidget* shown = pages->currentWidget();
        QList<QWidget*> controls;
        const auto all = shown->findChildren<QWidget*>();
        for (QWidget* w : all) {
            if (w->isVisible() && isControl(w, shown) && !shownRect(w, &window).isEmpty())
                controls.append(w);
        }
        QVERIFY(controls.size() >= 2);

        for (const QWidget* w : std::as_const(controls)) {
            // Whole: at least as large as it needs to be read. A button of a
            // fixed width needs only its text's.
            QSize least = w->minimumSizeHint().expandedTo(w->minimumSize());
            const auto* button = qobject_cast<const QAbstractButton*>(w);
            if (button && w->minimumWidth() == w->maximumWidth())
                least.setWidth(w->fontMetrics().horizontalAdvance(button->text()) + 4);
            QVERIFY2(w->width() >= least.width() && w->height() >= least.height(),
                     qPrintable(describe(w) + QStringLiteral(" is %1x%2, needs %3x%4")
                                                  .arg(w->width())
                                                  .arg(w->height())
                                                  .arg(least.width())
                                                  .arg(least.height())));
        }
        for (qsizetype i = 0; i < controls.size(); ++i) {
            for (qsizetype j = i + 1; j < controls.size(); ++j) {
                const QWidget* a = controls[i];
                const QWidget* b = controls[j];
                if (isAncestor(a, b) || isAncestor(b, a))
                    continue;
                const QRect both = shownRect(a, &window) & shownRect(b, &window);
                QVERIFY2(both.isEmpty(),
                         qPrintable(describe(a) + QStringLiteral(" overlaps ") + describe(b)));
            }
        }

        const QString dir = QStringLiteral(KX7R_BIN_DIR "/../screenshots");
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(window.grab().save(dir + QStringLiteral("/layout-page%1-%2x%3.png")
                                             .arg(page + 1)
                                             .arg(size.width())
                                             .arg(size.height())));
    }

    // At the default size and splitter position both client grids show every
    // column, each heading whole, without scrolling sideways.
    void clientGridHeadingsWholeAtDefaultSize()
    {
        TFormMain& window = *m_rig->window;
        window.resize(1069, 450);
        auto* pages = window.findChild<QTabWidget*>(QStringLiteral("PageControl"));
        pages->setCurrentIndex(2);
        QTRY_COMPARE(window.size(), QSize(1069, 450));
        QCoreApplication::processEvents();
        for (const char* name : {"tblCurrentConnections", "tblCurrentConnectionsForUpdate"}) {
            auto* grid = window.findChild<QTableView*>(QLatin1String(name));
            QVERIFY(grid);
            const QHeaderView* heading = grid->horizontalHeader();
            QVERIFY2(heading->length() <= grid->viewport()->width(), name);
            const QFontMetrics metrics(heading->font());
            for (int c = 0; c < heading->count(); ++c) {
                const QString text = grid->model()->headerData(c, Qt::Horizontal).toString();
                QVERIFY2(metrics.horizontalAdvance(text) < heading->sectionSize(c),
                         qPrintable(QLatin1String(name) + u' ' + text));
            }
        }
    }

    // A page that cannot fit at the smallest size scrolls to its lowest control.
    void smallestCommunicationPageScrolls()
    {
        TFormMain& window = *m_rig->window;
        window.resize(1040, 285);
        auto* pages = window.findChild<QTabWidget*>(QStringLiteral("PageControl"));
        pages->setCurrentIndex(1);
        QTRY_COMPARE(window.size(), QSize(1040, 285));
        auto* scroll = qobject_cast<QScrollArea*>(pages->currentWidget());
        QVERIFY(scroll);
        QTRY_VERIFY(scroll->verticalScrollBar()->maximum() > 0);
        auto* memo = window.findChild<QWidget*>(QStringLiteral("memoRSMonitor"));
        QVERIFY(shownRect(memo, &window).height() < memo->height());
        scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
        QCoreApplication::processEvents();
        QCOMPARE(shownRect(memo, &window).height(), memo->height());
    }
};

QTEST_MAIN(TestPageLayout)
#include "tst_pagelayout.moc"
