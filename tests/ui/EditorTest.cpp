// The editor's additions: where the check finds the first error, Format, and the question before a text
// that is not well-formed is stored on Apache.
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include "platform/Files.h"
#include "support/DavServer.h"
#include "support/WindowDriver.h"
#include "ui/XmlCheck.h"
#include "ui/XmlFormat.h"
#include "ui/XmlHighlighter.h"
#include "ui/XmlLexer.h"
#include "ui/frmUpdate.h"

using namespace ostrel;
using namespace ostrel::test;

class EditorTest : public QObject {
    Q_OBJECT

private slots:
    void theFirstErrorAndWhereTheCursorGoes() {
        // Columns count characters: "é" takes one place, "😀" two in the editor's text.
        const QList<std::tuple<QString, QString, int>> cases = {
            {"<a>\n <é>x</e></a>", "line 2, column 10: Opening and ending tag mismatch: é line 2 and e", 13},
            {"<a>😀😀 &b </a>", "line 1, column 9: EntityRef: expecting ';'", 10},
            {"<a>\n", "line 2, column 1: Premature end of data in tag a line 1", 4},
            // The first error, not what the parser found after it.
            {"<a><b></a>", "line 1, column 11: Opening and ending tag mismatch: b line 1 and a", 10},
            {"<doc>\n <a>\n  <b>\n   <c x='1' <d/>\n</c></b></a></doc>",
             "line 4, column 13: error parsing attribute name", 29},
        };
        for (const auto& [text, expected, offset] : cases) {
            const ui::XmlProblem problem = ui::firstXmlProblem(text).value_or(ui::XmlProblem{0, 0, "none"});
            QCOMPARE(problem.describe(), expected);
            QCOMPARE(ui::offsetOf(text, problem.line, problem.column), offset);
        }
    }

    // Format moves only white space between markup: references stay as written (resolved they would lose
    // an external entity, or turn an entity holding markup into text that is not well-formed), and so do
    // declarations, attribute values and whatever holds text of its own.
    void formatKeepsTheDocumentsMeaning() {
        const QList<std::pair<QString, QString>> cases = {
            {"<?xml version='1.0'?><!--c--><a x='1'><b/><c>t <i>u</i></c>"
             "<p xml:space='preserve'><q/> <r/></p>\n\n<d></d></a>",
             "<?xml version='1.0'?>\n<!--c-->\n<a x='1'>\n  <b/>\n  <c>t <i>u</i></c>\n"
             "  <p xml:space='preserve'><q/> <r/></p>\n  <d></d>\n</a>"},
            {"<!DOCTYPE book [<!ENTITY chap1 SYSTEM 'c1.xml'>]><book><part>&chap1;</part> "
             "<part>x</part></book>",
             "<!DOCTYPE book [<!ENTITY chap1 SYSTEM 'c1.xml'>]>\n<book>\n  <part>&chap1;</part>\n"
             "  <part>x</part>\n</book>"},
            {"<!DOCTYPE a [<!ENTITY e '<b>x</b>'>]><a><c>&e;</c> <d/></a>",
             "<!DOCTYPE a [<!ENTITY e '<b>x</b>'>]>\n<a>\n  <c>&e;</c>\n  <d/>\n</a>"},
            {"<a><b/>&e;<c/></a>", "<a><b/>&e;<c/></a>"},
            {"<?xml version='1.0' encoding='ISO-8859-1'?><a t='x>y'> <![CDATA[ <c> ]]> </a>",
             "<?xml version='1.0' encoding='ISO-8859-1'?>\n<a t='x>y'> <![CDATA[ <c> ]]> </a>"},
            {"<a><!-- <b> --><c xml:space='preserve'> <d/> <e xml:space='default'> <f/> </e></c></a>",
             "<a>\n  <!-- <b> -->\n  <c xml:space='preserve'> <d/> <e xml:space='default'> <f/> "
             "</e></c>\n</a>"},
        };
        for (const auto& [text, expected] : cases)
            QCOMPARE(ui::formatXml(text).text.value_or("none"), expected);

        const QList<std::pair<QString, QString>> refused = {
            // Defaults declared for xml:space decide where white space is data, out of sight of the tags.
            {"<!DOCTYPE a [<!ATTLIST a xml:space (default|preserve) 'preserve'>]><a> <b/> </a>", "xml:space"},
            {"<a><b></a>", "its tags do not match"},
            {"<a><b/>", "an element is not closed"},
        };
        for (const auto& [text, why] : refused) {
            const ui::Formatted formatted = ui::formatXml(text);
            QVERIFY(!formatted.text);
            QVERIFY2(formatted.why.contains(why), qPrintable(formatted.why));
        }
    }

    // Each line is read once from the state the line before it ended in; an "&" without its ";" is one
    // character of colour, never a look to the end of the line.
    void theHighlighterReadsEachLineOnce() {
        using K = ui::XmlSpanKind;
        using S = ui::XmlLexState;
        struct Case {
            QString line;
            S from;
            qsizetype limit;
            QList<ui::XmlSpan> spans;
            S to;
        };
        // clang-format off
        const QList<Case> cases = {
            {"<a x=\"1\">t&amp;u</a>", S::Text, 100,
             {{0, 2, K::Element}, {3, 1, K::Attribute}, {5, 1, K::Value}, {6, 2, K::Value}, {8, 1, K::Element},
              {10, 5, K::Reference}, {16, 3, K::Element}, {19, 1, K::Element}}, S::Text},
            {"&& &#x41; &b c;", S::Text, 100,
             {{0, 1, K::Reference}, {1, 1, K::Reference}, {3, 6, K::Reference}, {10, 1, K::Reference}}, S::Text},
            {"a --> <b", S::Comment, 100, {{0, 5, K::Comment}, {6, 2, K::Element}}, S::Tag},
            {"<!DOCTYPE d [", S::Text, 100, {{0, 2, K::Instruction}, {2, 11, K::Instruction}}, S::Subset},
            {"<!ENTITY e \"x\">]><d/>", S::Subset, 100,
             {{0, 16, K::Instruction}, {16, 1, K::Instruction}, {17, 2, K::Element}, {19, 1, K::Element},
              {20, 1, K::Element}}, S::Text},
            {"x=\"multi", S::Tag, 100, {{0, 1, K::Attribute}, {2, 1, K::Value}, {3, 5, K::Value}}, S::Double},
            // Beyond the limit a line is read for its state alone.
            {"&&&&&&&&", S::Text, 3, {{0, 1, K::Reference}, {1, 1, K::Reference}, {2, 1, K::Reference}}, S::Text},
            {"<a>xxxxxxxxxx<!--", S::Text, 3, {{0, 2, K::Element}, {2, 1, K::Element}}, S::Comment},
        };
        // clang-format on
        for (const Case& c : cases) {
            QList<ui::XmlSpan> spans;
            const S to =
                ui::lexXmlLine(c.line, c.from, c.limit, [&](const ui::XmlSpan& span) { spans << span; });
            QVERIFY2(spans == c.spans, qPrintable(c.line));
            QVERIFY2(to == c.to, qPrintable(c.line));
        }

        // In the editor, a line far longer than what is coloured carries no colour past that.
        QTextDocument document;
        ui::XmlHighlighter highlighter(&document);
        document.setPlainText(QString(3 * ui::XmlHighlighter::kColouredPerLine, '&') + "\n<a>");
        highlighter.rehighlight();
        const QList<QTextLayout::FormatRange> formats = document.firstBlock().layout()->formats();
        QVERIFY(!formats.isEmpty());
        for (const QTextLayout::FormatRange& range : formats)
            QVERIFY(range.start + range.length <= ui::XmlHighlighter::kColouredPerLine);
        QVERIFY(!document.lastBlock().layout()->formats().isEmpty());
    }

    // A large text is checked and formatted off the user-interface thread: the window goes on painting, and
    // the text is not to be changed until the verdict is in.
    void largeTextsAreCheckedAndFormattedOffTheWindowsThread() {
        ScriptedToolkit toolkit;
        ui::frmUpdate editor(toolkit);
        editor.show();
        auto* text = control<QPlainTextEdit>(&editor, "rtfXMlDoc");
        QSignalSpy stores(&editor, &ui::frmUpdate::UpdateDoc);
        QString items;
        for (int n = 0; n < 10000; ++n) items += "<i>x</i>";

        text->setPlainText("<doc>" + items + "</dc>");
        toolkit.answers = {false};
        QVERIFY(QMetaObject::invokeMethod(&editor, "Command1_Click"));
        QVERIFY(toolkit.questions.empty() && text->isReadOnly());
        QTRY_COMPARE(toolkit.questions.size(), std::size_t(1));
        QVERIFY(!text->isReadOnly());
        // Where a question goes on once the text is stored (Store before closing), it is checked at once.
        toolkit.answers = {false};
        editor.requestStore();
        QCOMPARE(toolkit.questions.size(), std::size_t(2));
        QCOMPARE(stores.count(), 0);

        text->setPlainText("<doc>" + items + "</doc>");
        QVERIFY(QMetaObject::invokeMethod(&editor, "cmdFormat_Click"));
        QVERIFY(text->isReadOnly());
        QCOMPARE(editor.lines(), "<doc>" + items + "</doc>");
        QTRY_VERIFY(editor.lines().startsWith("<doc>\n  <i>x</i>\n  <i>x</i>\n"));
        QVERIFY(!text->isReadOnly());

        // What Format cannot do without loss it says, and leaves the text alone.
        const QString declared =
            "<!DOCTYPE doc [<!ATTLIST doc xml:space CDATA 'preserve'>]><doc> <i/> </doc>";
        text->setPlainText(declared);
        QVERIFY(QMetaObject::invokeMethod(&editor, "cmdFormat_Click"));
        QCOMPARE(editor.lines(), declared);
        QVERIFY(QString::fromStdString(toolkit.last()).contains("xml:space"));
    }

    void textThatIsNotWellFormedIsStoredOnlyWhenTheUserSaysSo() {
        DavServer dav;
        ScriptedToolkit toolkit;
        auto window = startMainWindow(toolkit, dav.url());
        setField(window.get(), "xbrl/config/new.xml");
        click(window.get(), "Command10");
        QWidget* editor = topLevel("frmUpdate");
        auto* text = control<QPlainTextEdit>(editor, "rtfXMlDoc");
        text->setPlainText("<doc>\u00a0\n  <b>x</b>\n</dc>");
        const QString problem = "line 3, column 6: Opening and ending tag mismatch: doc line 1 and dc";
        QTRY_COMPARE(control<QAbstractButton>(editor, "cmdXmlError")->text(), problem);
        click(editor, "cmdXmlError");
        QCOMPARE(text->textCursor().position(), 23);
        // No keeps the editor open and sends nothing; Yes stores the text as typed, no-break space included.
        const std::string stored = dav.folder() + "/dav/xbrl/config/new.xml";
        toolkit.answers = {false, true};
        click(editor, "Command1");
        QCOMPARE(toolkit.questions.at(0).text,
                 "The text is not well-formed XML (" + problem.toStdString() + "). Store it anyway?");
        QVERIFY(editor->isVisible() && !files::exists(stored));
        click(editor, "Command1");
        QCOMPARE(files::readAll(stored), std::string("<doc>\u00a0\r\n  <b>x</b>\r\n</dc>"));
    }
    void ctrlHOpensFindAndReplaceReadyForWhatToFind() {
        ScriptedToolkit toolkit;
        ui::frmUpdate editor(toolkit);
        editor.show();
        QApplication::setActiveWindow(&editor);
        QVERIFY(QTest::qWaitForWindowActive(&editor));
        QTest::keyClick(&editor, Qt::Key_H, Qt::ControlModifier);
        QWidget* findReplace = control(&editor, "frmFindReplace");
        QVERIFY(findReplace->isVisible());
        QCOMPARE(findReplace->focusWidget()->objectName(), QString("txtFind"));
    }
};

QTEST_MAIN(EditorTest)
#include "EditorTest.moc"
