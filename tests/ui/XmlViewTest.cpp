// The result viewer's document view: what a reply looks like, read afresh, opened at its top, made lazily.
#include <QAction>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTreeView>

#include "platform/Files.h"
#include "support/WindowDriver.h"
#include "ui/XmlTreeModel.h"
#include "ui/XmlView.h"

using ostrel::XmlDocument;
using ostrel::test::control;
using ostrel::ui::XmlTreeModel;
using ostrel::ui::XmlView;

namespace {

QByteArray multistatus(int responses) {
    QByteArray xml = "<?xml version=\"1.0\"?>\n<D:multistatus xmlns:D=\"DAV:\">\n";
    for (int i = 0; i < responses; ++i) {
        xml += "<D:response><D:href>/dav/file" + QByteArray::number(i) +
               ".xml</D:href><D:propstat><D:prop>"
               "<D:getcontentlength>7</D:getcontentlength></D:prop></D:propstat></D:response>\n";
    }
    return xml + "</D:multistatus>\n";
}

}  // namespace

class XmlViewTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    XmlView view;
    QTreeView* tree = control<QTreeView>(&view, "xmlTree");
    // Every row below parent as "depth|text", one a line, each node opened as the view opens it.
    QString rows(const QModelIndex& parent = {}, int depth = 0) {
        QString out;
        tree->model()->fetchMore(parent);
        for (int row = 0; row < tree->model()->rowCount(parent); ++row) {
            const QModelIndex index = tree->model()->index(row, 0, parent);
            out += QString::number(depth) + "|" + index.data().toString() + "\n" + rows(index, depth + 1);
        }
        return out;
    }
    QString load(const QByteArray& bytes) {
        const QString path = dir.filePath("result.xml");
        ostrel::files::writeFileAtomically(path.toStdString(), bytes.toStdString());
        view.load(path);
        return control<QLabel>(&view, "xmlError")->text();
    }

private slots:
    void showsADocumentAsABrowserDoes() {
        QCOMPARE(
            load("<?xml version=\"1.0\"?>\n<?xml-stylesheet href=\"s.xsl\"?>\n<!-- listing -->\n"
                 "<!DOCTYPE D:multistatus SYSTEM \"m.dtd\" [<!ENTITY e \"x\">]>\n"
                 "<D:multistatus xmlns:D=\"DAV:\">\n  <D:response>\n    <D:href>/dav/a.xml</D:href>\n"
                 "    <D:propstat status=\"ok\" x:y=\"1\" xmlns:x=\"urn:x\">\n"
                 "      <D:prop><D:getcontentlength>12</D:getcontentlength><empty/></D:prop>\n"
                 "    </D:propstat>\n  </D:response>\n  <note>Mixed <b>bold</b> text <![CDATA[a<b]]></note>\n"
                 "  <t>a &amp; b</t>\n  <w>  two\n   lines </w>\n</D:multistatus>\n"),
            QString());
        QCOMPARE(rows(),
                 "0|<?xml version=\"1.0\"?>\n0|<?xml-stylesheet href=\"s.xsl\"?>\n0|<!-- listing -->\n"
                 "0|<!DOCTYPE D:multistatus SYSTEM \"m.dtd\" [\n1|<!ENTITY e \"x\">\n1|]>\n0|<D:multistatus "
                 "xmlns:D=\"DAV:\">\n"
                 "1|<D:response>\n2|<D:href>/dav/a.xml</D:href>\n"
                 "2|<D:propstat xmlns:x=\"urn:x\" status=\"ok\" x:y=\"1\">\n3|<D:prop>\n"
                 "4|<D:getcontentlength>12</D:getcontentlength>\n4|<empty/>\n4|</D:prop>\n3|</D:propstat>\n"
                 "2|</D:response>\n1|<note>\n2|Mixed\n2|<b>bold</b>\n2|text\n2|<![CDATA[a<b]]>\n2|</note>\n"
                 "1|<t>a & b</t>\n1|<w>two lines</w>\n1|</D:multistatus>\n");
        // A small document opens whole; a one-row element cannot be opened.
        const QModelIndex response = tree->model()->index(0, 0, tree->model()->index(4, 0));
        QVERIFY(tree->isExpanded(response) && tree->isExpanded(tree->model()->index(1, 0, response)));
        QVERIFY(!tree->model()->hasChildren(tree->model()->index(0, 0, response)));
    }

    void brokenAndUnreadableFilesSayWhy() {
        // Declared Latin-1: the plain text decodes it as such, not as UTF-8.
        const QByteArray broken =
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<a>\n<b>caf\xE9</b>\n<c x=1/>\n</a>\n";
        const QString error = load(broken);
        // The first error: the unquoted value, not the tag the parser then gave up on.
        QVERIFY2(error.contains("AttValue: \" or ' expected (line 4, column 6)"), qPrintable(error));
        QCOMPARE(control<QPlainTextEdit>(&view, "xmlText")->toPlainText(), QString::fromLatin1(broken));
        QVERIFY(!tree->isVisibleTo(&view));
        QVERIFY(!load("").isEmpty());
        view.load(dir.filePath("missing.xml"));
        QVERIFY(control<QLabel>(&view, "xmlError")->text().contains(dir.filePath("missing.xml")));
        // A good file after a bad one is a tree again.
        QCOMPARE(load("<b x=\"2\">new</b>"), QString());
        QCOMPARE(rows(), QString("0|<b x=\"2\">new</b>\n"));
        QVERIFY(tree->isVisibleTo(&view));
    }

    void aLargeDocumentIsMadeLazilyAndEachOpensAtItsTop() {
        constexpr int kResponses = 100000;
        load(multistatus(kResponses));
        view.resize(800, 600);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        // Only what is open has rows: the responses exist, their contents do not yet.
        QAbstractItemModel* model = tree->model();
        const QModelIndex root = model->index(1, 0);
        QVERIFY(tree->isExpanded(root) && model->hasChildren(model->index(0, 0, root)));
        QCOMPARE(model->rowCount(model->index(0, 0, root)), 0);
        QVERIFY(model->rowCount(root) < kResponses);
        // Scrolling to the end brings the next rows: every response once, in order, then the end tag.
        for (int guard = 0; guard < 1000 && model->rowCount(root) <= kResponses; ++guard) {
            tree->scrollToBottom();
            QCoreApplication::processEvents();
        }
        QCOMPARE(model->rowCount(root), kResponses + 1);
        QCOMPARE(model->index(kResponses, 0, root).data().toString(), QString("</D:multistatus>"));
        QCOMPARE(model->index(kResponses - 1, 0, root).data().toString(), QString("<D:response>"));
        QVERIFY(tree->verticalScrollBar()->value() > 0);
        load(multistatus(50));
        QCoreApplication::processEvents();
        QCOMPARE(tree->verticalScrollBar()->value(), 0);
    }

    void findReachesRowsNotYetMadeBothWays() {
        load(multistatus(30000));
        const QModelIndex root = tree->model()->index(1, 0);
        QVERIFY(tree->model()->rowCount(root) < 25000);
        QVERIFY(view.find("FILE25000.XML", true));
        QCOMPARE(tree->currentIndex().data().toString(), QString("<D:href>/dav/file25000.xml</D:href>"));
        QVERIFY(tree->isExpanded(tree->currentIndex().parent()));
        QVERIFY(view.find("multistatus", true));  // its end tag, then past the end, from the top
        QCOMPARE(tree->currentIndex().data().toString(), QString("</D:multistatus>"));
        QVERIFY(view.find("multistatus", true));
        QCOMPARE(tree->currentIndex(), root);
        QVERIFY(view.find("/file2999", false));  // before the top, from the end
        QCOMPARE(tree->currentIndex().data().toString(), QString("<D:href>/dav/file29999.xml</D:href>"));
        QVERIFY(!view.find("file30000", true));
    }
    void findGoesFromRowToRowByWhatTheyShow() {
        const std::string longText = std::string(5000, 'y') + " zz-end";
        XmlDocument document;
        QVERIFY(
            document.loadXML("<D:multistatus xmlns:D='DAV:'><D:response><D:href>/a</D:href><a>x1</a>"
                             "<b>x1</b><c><d/>tail x1</c><long>" +
                             longText + "</long></D:response></D:multistatus>"));
        XmlTreeModel model;
        model.reset(std::move(document), "<?xml version=\"1.0\"?>");
        // Each search starts from the row the one before found; a row that is not found keeps the place.
        const QString cutLong = QString(4000, 'y') + QChar(0x2026);
        const struct {
            const char* needle;
            bool forward;
            QString row;
        } steps[] = {
            {"x1", true, "<a>x1</a>"},
            {"X1", true, "<b>x1</b>"},  // not the text of <a>, which has no row of its own
            {"x1", true, "tail x1"},
            {"x1", true, "<a>x1</a>"},
            {"x1", false, "tail x1"},
            {"DAV:", true, "<D:multistatus xmlns:D=\"DAV:\">"},
            {"<D:href", true, "<D:href>/a</D:href>"},
            {"</D:multistatus>", true, "</D:multistatus>"},
            {"</c>", false, "</c>"},
            {"zz-end", true, cutLong},  // beyond where the row is cut
            {"nowhere", true, cutLong},
            {"version=", true, "<?xml version=\"1.0\"?>"},
            {"xmlns:d=\"dav:\"", false, "<D:multistatus xmlns:D=\"DAV:\">"},
        };
        XmlTreeModel::Place place;
        for (const auto& step : steps) {
            if (const XmlTreeModel::Place found = model.find(place, step.needle, step.forward)) place = found;
            QCOMPARE(model.reveal(place).data().toString(), step.row);
        }
    }

    void copyGivesAnElementThatParsesOnItsOwn() {
        load(
            "<D:multistatus xmlns:D=\"DAV:\" xmlns:x=\"urn:x\"><D:response><D:href>/a</D:href>"
            "</D:response></D:multistatus>");
        QVERIFY(view.find("/a", true));
        for (QAction* action : view.actions())
            if (action->text() == "&Copy") action->trigger();
        XmlDocument copy;
        QVERIFY(copy.loadXML(QApplication::clipboard()->text().toStdString()));
        QCOMPARE(copy.documentElement().namespaceURI(), std::string("DAV:"));
        QCOMPARE(copy.documentElement().namespaceDeclarations().size(), std::size_t(2));
    }
};

QTEST_MAIN(XmlViewTest)
#include "XmlViewTest.moc"
