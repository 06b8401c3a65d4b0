#include "ui/QtToolkit.h"

#include <QApplication>
#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyle>

#include <algorithm>

namespace ostrel::ui {

namespace {
// Messages are composed with CR LF between lines; a Qt label wants plain line feeds.
QString forDisplay(const std::string& text) {
    return QString::fromStdString(text).replace("\r\n", "\n");
}

// A box as narrow as a short message leaves the window manager no room for the caption ("Ost… AV"). The
// frame draws it in a font of its own, often bold and larger, beside the window's icon and three buttons of
// about a title bar's height each; Qt's own allowance for that is 50 pixels.
void makeRoomForCaption(QMessageBox& box) {
    QFont frameFont = QApplication::font();
    frameFont.setBold(true);
    const QFontMetrics metrics(frameFont);
    const int button =
        std::max(box.style()->pixelMetric(QStyle::PM_TitleBarHeight), metrics.height() * 3 / 2);
    const int width = metrics.horizontalAdvance(box.windowTitle()) * 5 / 4 + 4 * button;
    // QMessageBox fixes its own size from its layout's: a spacer is the way to widen it.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(),
                      0, 1, grid->columnCount());
}
}  // namespace

void nameApplication() {
    QApplication::setApplicationName("ostrel-webdav");
}

std::string QtToolkit::InputBox(const std::string& prompt, const std::string& title,
                                const std::string& defaultText) {
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(QString::fromStdString(title));
    dialog.setLabelText(forDisplay(prompt));
    dialog.setTextValue(QString::fromStdString(defaultText));
    dialog.resize(dialog.sizeHint().expandedTo(QSize(420, 0)));
    return dialog.exec() == QDialog::Accepted ? dialog.textValue().toStdString() : std::string();
}

std::string QtToolkit::InputBoxWithChoices(const std::string& prompt, const std::string& title,
                                           const std::string& defaultText,
                                           const std::vector<std::string>& choices) {
    QStringList items;
    for (const std::string& choice : choices) items << QString::fromStdString(choice);
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(QString::fromStdString(title));
    dialog.setLabelText(forDisplay(prompt));
    dialog.setComboBoxItems(items);
    dialog.setComboBoxEditable(true);
    dialog.setTextValue(QString::fromStdString(defaultText));
    dialog.resize(dialog.sizeHint().expandedTo(QSize(420, 0)));
    return dialog.exec() == QDialog::Accepted ? dialog.textValue().toStdString() : std::string();
}

void QtToolkit::MsgBox(const std::string& prompt, const std::string& title) {
    DetailedMsgBox(prompt, std::string(), title);
}

void QtToolkit::DetailedMsgBox(const std::string& prompt, const std::string& details,
                               const std::string& title) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title), forDisplay(prompt), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Qt offers the details behind its "Show Details..." button.
    if (!details.empty()) box.setDetailedText(forDisplay(details));
    makeRoomForCaption(box);
    box.exec();
}

bool QtToolkit::AskYesNo(const std::string& question, const std::string& title) {
    QMessageBox box(QMessageBox::Question, QString::fromStdString(title), forDisplay(question),
                    QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    makeRoomForCaption(box);
    return box.exec() == QMessageBox::Yes;
}

int QtToolkit::Choose(const std::string& question, const std::vector<std::string>& choices, int defaultChoice,
                      int escapeChoice, const std::string& title) {
    QMessageBox box(QMessageBox::Question, QString::fromStdString(title), forDisplay(question),
                    QMessageBox::NoButton, QApplication::activeWindow());
    std::vector<QPushButton*> buttons;
    for (const std::string& choice : choices)
        buttons.push_back(box.addButton(QString::fromStdString(choice), QMessageBox::ActionRole));
    box.setDefaultButton(buttons.at(static_cast<std::size_t>(defaultChoice)));
    box.setEscapeButton(buttons.at(static_cast<std::size_t>(escapeChoice)));
    makeRoomForCaption(box);
    box.exec();
    const auto pressed = std::find(buttons.begin(), buttons.end(), box.clickedButton());
    return pressed == buttons.end() ? escapeChoice : static_cast<int>(pressed - buttons.begin());
}

std::string QtToolkit::ResultFilePath() {
    return (QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + "/result.xml")
        .toStdString();
}

}  // namespace ostrel::ui
