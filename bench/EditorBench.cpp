// The editor, offscreen, holding a large document: how long after the last keystroke the document's first
// well-formedness error shows under the text.
//
//   ostrel-bench-editor [--kilobytes 1000] [--rounds 20]
//
// Each round types "<x" into the middle of the text, which breaks the document, and times from the last
// keystroke until the line under the text names the error and has been painted; then deletes the two
// characters again and waits until the line says the text is well-formed.
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
#include "platform/Toolkit.h"
#include "ui/frmUpdate.h"

using namespace ostrel;
using namespace ostrel::bench;

namespace {

class BenchToolkit : public Toolkit {
public:
    std::string InputBox(const std::string&, const std::string&, const std::string&) override { return {}; }
    void MsgBox(const std::string&, const std::string&) override {}
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    int Choose(const std::string&, const std::vector<std::string>&, int, int escapeChoice,
               const std::string&) override {
        return escapeChoice;
    }
    std::string ResultFilePath() override { return {}; }
};

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

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    return runMeasured([&] {
        const Args args(argc, argv);
        const QString text = document(args.number("kilobytes", 1000) * 1000);
        BenchToolkit toolkit;
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
