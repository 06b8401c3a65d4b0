// The editor's additions: where the check finds the first error, and Format.
#include <QTest>

#include "ui/XmlCheck.h"
#include "ui/XmlFormat.h"

using namespace ostrel;

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
};

QTEST_MAIN(EditorTest)
#include "EditorTest.moc"
