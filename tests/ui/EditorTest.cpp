// The editor's additions: where the check finds the first error, Format, and the question before a text
// that is not well-formed is stored on Apache.
#include <QPlainTextEdit>

#include "platform/Files.h"
#include "support/DavServer.h"
#include "support/WindowDriver.h"
#include "ui/XmlCheck.h"
#include "ui/XmlFormat.h"
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
        };
        for (const auto& [text, expected, offset] : cases) {
            const ui::XmlProblem problem = ui::firstXmlProblem(text).value_or(ui::XmlProblem{0, 0, "none"});
            QCOMPARE(problem.describe(), expected);
            QCOMPARE(ui::offsetOf(text, problem.line, problem.column), offset);
        }
    }

    void formatIndentsOnlyWhereWhiteSpaceIsNotData() {
        QCOMPARE(*ui::formatXml("<?xml version='1.0'?><!--c--><a x='1'><b/><c>t <i>u</i></c>"
                                "<p xml:space='preserve'><q/> <r/></p>\n\n<d></d></a>"),
                 QString("<?xml version='1.0'?>\n<!--c-->\n<a x='1'>\n  <b/>\n  <c>t <i>u</i></c>\n"
                         "  <p xml:space='preserve'><q/> <r/></p>\n  <d></d>\n</a>"));
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
