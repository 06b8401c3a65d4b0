// The editor, offscreen, holding a large document.
//
//   ostrel-bench-editor [--kilobytes 1000] [--rounds 20]
//   ostrel-bench-editor typing --text single-line|ampersands [--kilobytes 1000] [--rounds 20]
//
// By default: how long after the last keystroke the document's first well-formedness error shows under the
// text. Each round types "<x" into the middle of the text, which breaks the document, and times from the
// last keystroke until the line under the text names the error and has been painted; then deletes the two
// characters again and waits until the line says the text is well-formed.
//
// "typing": the text is one line (a document written without line breaks, or nothing but "&"), and each
// round types one character into its middle and times from the key until the text has been coloured, laid
// out and painted again. Rounds are a typist's 50 ms apart, so the check under the text never runs between
// them, as while someone types.
#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "Support.h"
#include "support/ScriptedToolkit.h"
#include "ui/frmUpdate.h"

using namespace ostrel;
using namespace ostrel::bench;

namespace {

// A document of the given size as a server hands it out for editing: one element a line.
QString document(qsizetype bytes) {
    QString text = "<?xml version=\"1.0\"?>\n<doc>\n";
    for (long item = 0; text.size() + 64 < bytes; ++item)
        text += QString("  <item n=\"%1\">some text of the item</item>\n").arg(item);
    return text + "</doc>";
}

// Waits, at most ten seconds, until the line under the text satisfies a condition; returns when it did.
Clock::time_point whenLine(QPushButton* line, const std::function<bool(const QString&)>& shows) {
    const Clock::time_point start = Clock::now();
    while (!shows(line->text())) {
        if (secondsBetween(start, Clock::now()) > 10) throw std::runtime_error("the check did not report");
        QTest::qWait(1);
    }
    line->repaint();
    return Clock::now();
}

// A document of the given size on one line, as some servers and tools write it.
QString singleLine(qsizetype bytes) {
    QString text = "<?xml version=\"1.0\"?><doc>";
    for (long item = 0; text.size() + 64 < bytes; ++item)
        text += QString("<item n=\"%1\">some text &amp; more</item>").arg(item);
    return text + "</doc>";
}

int typing(const Args& args) {
    const qsizetype bytes = args.number("kilobytes", 1000) * 1000;
    const std::string kind = args.get("text");
    if (kind != "single-line" && kind != "ampersands") throw std::runtime_error("unknown --text " + kind);
    const QString text = kind == "ampersands" ? QString(bytes, '&') : singleLine(bytes);
    test::ScriptedToolkit toolkit;
    ui::frmUpdate editor(toolkit);
    editor.show();
    auto* edit = editor.findChild<QPlainTextEdit*>("rtfXMlDoc");
    const Clock::time_point filled = Clock::now();
    edit->setPlainText(text);
    edit->viewport()->repaint();
    report("filled_seconds", secondsBetween(filled, Clock::now()));

    std::vector<double> times;
    const long rounds = args.number("rounds", 20);
    for (long round = 0; round < rounds; ++round) {
        QTextCursor middle(edit->document());
        middle.setPosition(static_cast<int>(text.size() / 2 + round));
        edit->setTextCursor(middle);
        // The cursor's move repaints too; that is not part of the key's time.
        edit->viewport()->repaint();
        const Clock::time_point pressed = Clock::now();
        QTest::keyClick(edit, Qt::Key_A);
        edit->viewport()->repaint();
        times.push_back(secondsBetween(pressed, Clock::now()));
        report("typed_to_painted", times.back());
        QTest::qWait(50);
    }
    std::sort(times.begin(), times.end());
    report("typed_to_painted_median", times[times.size() / 2]);
    report("typed_to_painted_slowest", times.back());
    report("characters", static_cast<long>(text.size()));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    return runMeasured([&] {
        const Args args(argc, argv);
        if (args.mode() == "typing") return typing(args);
        const QString text = document(args.number("kilobytes", 1000) * 1000);
        test::ScriptedToolkit toolkit;
        ui::frmUpdate editor(toolkit);
        editor.show();
        auto* edit = editor.findChild<QPlainTextEdit*>("rtfXMlDoc");
        auto* line = editor.findChild<QPushButton*>("cmdXmlError");
        edit->setPlainText(text);
        const auto wellFormed = [](const QString& shown) { return shown == "Well-formed XML"; };
        const auto anError = [](const QString& shown) { return shown.startsWith("line "); };
        whenLine(line, wellFormed);

        std::vector<double> times;
        const long rounds = args.number("rounds", 20);
        for (long round = 0; round < rounds; ++round) {
            QTextCursor middle(edit->document()->findBlockByNumber(edit->document()->blockCount() / 2));
            middle.movePosition(QTextCursor::EndOfBlock);
            edit->setTextCursor(middle);
            QTest::keyClicks(edit, "<x");
            const Clock::time_point typed = Clock::now();
            times.push_back(secondsBetween(typed, whenLine(line, anError)));
            report("error_shown", times.back());
            QTest::keyClick(edit, Qt::Key_Backspace);
            QTest::keyClick(edit, Qt::Key_Backspace);
            whenLine(line, wellFormed);
        }
        std::sort(times.begin(), times.end());
        report("error_shown_median", times[times.size() / 2]);
        report("error_shown_slowest", times.back());
        report("characters", static_cast<long>(text.size()));
        return 0;
    });
}
