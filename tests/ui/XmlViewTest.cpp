#include <QAbstractItemModel>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include "ui/XmlView.h"

using ostrel::ui::XmlView;

namespace {

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Every row below parent as "depth|text", fetching children the way the view does when a node is opened.
void collectRows(QAbstractItemModel* model, const QModelIndex& parent, int depth, QStringList& out) {
    for (int guard = 0; guard < 1000 && model->canFetchMore(parent); ++guard) model->fetchMore(parent);
    QVERIFY(!model->canFetchMore(parent));
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        out << QString::number(depth) + "|" + index.data().toString();
        if (depth < 50) collectRows(model, index, depth + 1, out);
    }
}

QStringList allRows(QAbstractItemModel* model) {
    QStringList rows;
    collectRows(model, QModelIndex(), 0, rows);
    return rows;
}

QByteArray multistatus(int responses) {
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<D:multistatus xmlns:D=\"DAV:\">\n";
    xml.reserve(responses * 230 + 100);
    for (int i = 0; i < responses; ++i) {
        xml += "<D:response><D:href>/dav/file" + QByteArray::number(i) +
               ".xml</D:href><D:propstat><D:prop><D:getcontentlength>" + QByteArray::number(i * 7) +
               "</D:getcontentlength><D:getetag>\"e" + QByteArray::number(i) +
               "\"</D:getetag></D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat></D:response>\n";
    }
    return xml + "</D:multistatus>\n";
}

}  // namespace

class XmlViewTest : public QObject {
    Q_OBJECT

private slots:
    void showsWellFormedDocumentAsTree();
    void readsTheFileAfreshOnEachLoad();
    void showsBrokenAndUnreadableFilesAsPlainText();
    void opensLargeDocumentLazilyAndFast();
};

void XmlViewTest::showsWellFormedDocumentAsTree() {
    QTemporaryDir dir;
    const QString path = dir.filePath("reply.xml");
    QVERIFY(writeFile(path,
                      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                      "<?xml-stylesheet href=\"s.xsl\"?>\n"
                      "<!-- listing -->\n"
                      "<D:multistatus xmlns:D=\"DAV:\">\n"
                      "  <D:response>\n"
                      "    <D:href>/dav/a.xml</D:href>\n"
                      "    <D:propstat status=\"ok\" x:y=\"1\" xmlns:x=\"urn:x\">\n"
                      "      <D:prop><D:getcontentlength>12</D:getcontentlength><empty/></D:prop>\n"
                      "    </D:propstat>\n"
                      "  </D:response>\n"
                      "  <note>Mixed <b>bold</b> text <![CDATA[a<b]]></note>\n"
                      "  <t>a &amp; b</t>\n"
                      "  <w>  two\n   lines </w>\n"
                      "</D:multistatus>\n"));
    XmlView view;
    view.load(path);
    QVERIFY(view.showsTree());
    QVERIFY(view.errorText().isEmpty());
    const QStringList expected = {
        "0|<?xml-stylesheet href=\"s.xsl\"?>",
        "0|<!-- listing -->",
        "0|<D:multistatus xmlns:D=\"DAV:\">",
        "1|<D:response>",
        "2|<D:href>/dav/a.xml</D:href>",
        "2|<D:propstat xmlns:x=\"urn:x\" status=\"ok\" x:y=\"1\">",
        "3|<D:prop>",
        "4|<D:getcontentlength>12</D:getcontentlength>",
        "4|<empty/>",
        "4|</D:prop>",
        "3|</D:propstat>",
        "2|</D:response>",
        "1|<note>",
        "2|Mixed",
        "2|<b>bold</b>",
        "2|text",
        "2|<![CDATA[a<b]]>",
        "2|</note>",
        "1|<t>a & b</t>",
        "1|<w>two lines</w>",
        "1|</D:multistatus>",
    };
    QCOMPARE(allRows(view.model()), expected);

    // A small document opens whole, like a browser shows it; one-row elements cannot be opened.
    QAbstractItemModel* model = view.model();
    const QModelIndex root = model->index(2, 0);
    const QModelIndex response = model->index(0, 0, root);
    QVERIFY(view.treeView()->isExpanded(root));
    QVERIFY(view.treeView()->isExpanded(response));
    QVERIFY(view.treeView()->isExpanded(model->index(1, 0, response)));
    QVERIFY(!model->hasChildren(model->index(0, 0, response)));
}

void XmlViewTest::readsTheFileAfreshOnEachLoad() {
    QTemporaryDir dir;
    const QString path = dir.filePath("result.xml");
    QVERIFY(writeFile(path, "<a><old/></a>"));
    XmlView view;
    view.load(path);
    QCOMPARE(allRows(view.model()), QStringList({"0|<a>", "1|<old/>", "1|</a>"}));
    QVERIFY(writeFile(path, "<b x=\"2\">new</b>"));
    view.load(path);
    QCOMPARE(allRows(view.model()), QStringList({"0|<b x=\"2\">new</b>"}));
}

void XmlViewTest::showsBrokenAndUnreadableFilesAsPlainText() {
    QTemporaryDir dir;
    const QString path = dir.filePath("broken.xml");
    // Declared Latin-1: the plain text must decode it as such, not as UTF-8.
    const QByteArray broken =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<a>\n<b>caf\xE9</b>\n<c x=1/>\n</a>\n";
    QVERIFY(writeFile(path, broken));
    XmlView view;
    view.load(path);
    QVERIFY(!view.showsTree());
    QCOMPARE(view.model()->rowCount(), 0);
    QCOMPARE(view.plainText(), QString::fromLatin1(broken));
    QVERIFY2(view.errorText().contains("Start Tag c") && view.errorText().contains("(line 4, column "),
             qPrintable(view.errorText()));

    const QString missing = dir.filePath("missing.xml");
    QVERIFY_THROWS_NO_EXCEPTION(view.load(missing));
    QVERIFY(!view.showsTree());
    QVERIFY(view.plainText().isEmpty());
    QVERIFY2(view.errorText().contains(missing), qPrintable(view.errorText()));

    QVERIFY(writeFile(path, ""));
    view.load(path);
    QVERIFY(!view.showsTree());
    QVERIFY(!view.errorText().isEmpty());

    // A broken reply of megabytes on one line is shown at once, not laid out as one enormous line.
    const QByteArray oneLine = "<a>" + QByteArray(8'000'000, 'x') + "</b>";
    QVERIFY(writeFile(path, oneLine));
    QElapsedTimer timer;
    timer.start();
    view.load(path);
    QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(view.plainText().size(), oneLine.size());

    // A good file after a bad one is a tree again, with no stale error.
    QVERIFY(writeFile(path, "<ok/>"));
    view.load(path);
    QVERIFY(view.showsTree());
    QVERIFY(view.errorText().isEmpty());
    QVERIFY(view.plainText().isEmpty());
}

void XmlViewTest::opensLargeDocumentLazilyAndFast() {
    QTemporaryDir dir;
    const QString path = dir.filePath("large.xml");
    constexpr int kResponses = 100000;
    const QByteArray xml = multistatus(kResponses);
    QVERIFY(xml.size() > 19'000'000);
    QVERIFY(writeFile(path, xml));

    XmlView view;
    view.resize(800, 600);
    QElapsedTimer timer;
    timer.start();
    view.load(path);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCoreApplication::processEvents();
    const qint64 elapsed = timer.elapsed();
    qInfo("20 MB document shown in %lld ms", elapsed);
    // Typically under a second; the bound is loose so that a busy machine does not fail it. Laziness itself
    // is checked exactly below.
    QVERIFY2(elapsed < 3000, qPrintable(QString::number(elapsed)));

    // Only what is open has rows: the responses exist, their contents do not.
    QAbstractItemModel* model = view.model();
    const QModelIndex root = model->index(0, 0);
    QVERIFY(view.treeView()->isExpanded(root));
    QVERIFY(view.createdRows() < kResponses / 4);
    const QModelIndex first = model->index(0, 0, root);
    QCOMPARE(first.data().toString(), QString("<D:response>"));
    QVERIFY(model->hasChildren(first));
    QCOMPARE(model->rowCount(first), 0);

    // Scrolling to the end brings the next rows: every response once, in order, then the end tag.
    for (int guard = 0; guard < 1000 && model->rowCount(root) <= kResponses; ++guard) {
        view.treeView()->scrollToBottom();
        QCoreApplication::processEvents();
    }
    QCOMPARE(model->rowCount(root), kResponses + 1);
    QCOMPARE(model->index(kResponses, 0, root).data().toString(), QString("</D:multistatus>"));
    // Opening a node in the view makes its rows.
    const QModelIndex last = model->index(kResponses - 1, 0, root);
    view.treeView()->expand(last);
    QCOMPARE(model->index(0, 0, last).data().toString(),
             QString("<D:href>/dav/file%1.xml</D:href>").arg(kResponses - 1));
    QCOMPARE(view.createdRows(), qint64(1 + kResponses + 1 + 3));
}

QTEST_MAIN(XmlViewTest)
#include "XmlViewTest.moc"
