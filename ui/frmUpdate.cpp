#include "ui/frmUpdate.h"

#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>

#include "platform/Files.h"
#include "platform/TextCodec.h"
#include "platform/Toolkit.h"
#include "ui/ErrorGuard.h"
#include "ui/FindReplace.h"
#include "ui/Icons.h"
#include "ui/Twips.h"
#include "ui/XmlCheck.h"
#include "ui/XmlFormat.h"
#include "ui/XmlHighlighter.h"

namespace ostrel::ui {

namespace {
constexpr const char* kNewDocument = "<?xml version=\"1.0\"?>\r\n<newdoc></newdoc>";

QPushButton* button(QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    // A click leaves the focus in the text: a button that kept it would take the next space typed.
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

// The client area as drawn.
constexpr QRect kDrawn(1665, 1965, 10380, 6240);
}  // namespace

frmUpdate::frmUpdate(Toolkit& toolkit, QWidget* parent)
    : QWidget(parent, Qt::Window),
      toolkit_(toolkit),
      rtfXMlDoc(new QPlainTextEdit(this)),
      Command1(button(this, "Command1", "Update")),
      Command2(button(this, "Command2", "Cancel")),
      cmdXmlError(button(this, "cmdXmlError", "")),
      cmdFormat(button(this, "cmdFormat", "Format")),
      cmdFind(button(this, "cmdFind", "Find/Replace")),
      lblResource(new QLabel(this)),
      checker_(new XmlChecker([this] { return lines(); }, this)),
      placements_(kDrawn.size(), AnchoredLayout::Smaller::Follows) {
    setObjectName("frmUpdate");
    setWindowTitle("Update document");
    setWindowIcon(editorIcon());
    placeTwips(this, kDrawn);
    useLayoutFont(this);

    rtfXMlDoc->setObjectName("rtfXMlDoc");
    rtfXMlDoc->setAccessibleName("Document");
    rtfXMlDoc->setLineWrapMode(QPlainTextEdit::NoWrap);
    // A line is laid out whole at every key typed into it, so what that costs per character counts in a
    // document written on one line: Latin text in a fixed font needs no shaping, and markup reads left to
    // right, so the direction of each line need not be worked out from its text. Both halve the time.
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleStrategy(QFont::PreferNoShaping);
    rtfXMlDoc->setFont(font);
    QTextOption leftToRight = rtfXMlDoc->document()->defaultTextOption();
    leftToRight.setTextDirection(Qt::LeftToRight);
    rtfXMlDoc->document()->setDefaultTextOption(leftToRight);
    new XmlHighlighter(rtfXMlDoc->document());

    // The check's outcome under the text: a click on an error puts the cursor where it is.
    cmdXmlError->setFlat(true);
    cmdXmlError->setStyleSheet("text-align: left; padding-left: 2px;");
    cmdFormat->setToolTip("Indent the elements for reading (Ctrl+Shift+F)");
    cmdFind->setToolTip("Find and replace text (Ctrl+F, Ctrl+H; F3 finds the next)");
    lblResource->setObjectName("lblResource");

    setTabOrder(rtfXMlDoc, Command1);
    setTabOrder(Command1, Command2);
    setTabOrder(Command2, cmdXmlError);
    setTabOrder(cmdXmlError, cmdFormat);
    setTabOrder(cmdFormat, cmdFind);
    rtfXMlDoc->setFocus();

    // The text takes the room the window gives, or gives it up down to a minimum; the line under it and the
    // buttons keep to the bottom, Update and Cancel to the right.
    placements_.add(rtfXMlDoc, {240, 240, 9735, 5055}, kAllEdges);
    placements_.add(Command1, {8040, 5640, 855, 255}, kRight | kBottom);
    placements_.add(Command2, {9120, 5640, 855, 255}, kRight | kBottom);
    placements_.add(cmdXmlError, {240, 5325, 9735, 285}, kLeft | kRight | kBottom);
    placements_.add(cmdFormat, {240, 5640, 855, 255}, kLeft | kBottom);
    placements_.add(cmdFind, {1200, 5640, 1215, 255}, kLeft | kBottom);
    placements_.add(lblResource, {240, 5925, 9735, 255}, kLeft | kRight | kBottom);
    placements_.arrange(rect());
    setMinimumSize(size() - QSize(twips(5000), twips(3000)));

    connect(Command1, &QPushButton::clicked, this, &frmUpdate::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmUpdate::Command2_Click);
    connect(cmdFormat, &QPushButton::clicked, this, &frmUpdate::cmdFormat_Click);
    connect(cmdXmlError, &QPushButton::clicked, this, &frmUpdate::cmdXmlError_Click);
    connect(rtfXMlDoc, &QPlainTextEdit::textChanged, checker_, &XmlChecker::schedule);
    connect(checker_, &XmlChecker::checked, this, &frmUpdate::showCheck);

    // Ctrl+H opens the same window as Ctrl+F: what to find is typed first, whatever replaces it after.
    auto openFind = [this] {
        if (!findReplace_) findReplace_ = new FindReplace(rtfXMlDoc, this);
        findReplace_->show();
        findReplace_->raise();
        findReplace_->activateWindow();
        findReplace_->findChild<QLineEdit*>("txtFind")->setFocus();
    };
    connect(cmdFind, &QPushButton::clicked, this, openFind);
    connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, this, openFind);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_H), this), &QShortcut::activated, this, openFind);
    connect(new QShortcut(QKeySequence::FindNext, this), &QShortcut::activated, this, [this] {
        if (findReplace_) findReplace_->find(false);
    });
    connect(new QShortcut(QKeySequence::FindPrevious, this), &QShortcut::activated, this, [this] {
        if (findReplace_) findReplace_->find(true);
    });
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F), this), &QShortcut::activated, this,
            &frmUpdate::cmdFormat_Click);
    connect(new QShortcut(QKeySequence::Save, this), &QShortcut::activated, this, &frmUpdate::Command1_Click);
    connect(rtfXMlDoc, &QPlainTextEdit::textChanged, this, &frmUpdate::edited);

    setResource(QString());
    showCheck(std::nullopt);
}

frmUpdate::~frmUpdate() = default;

void frmUpdate::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placements_.arrange(rect());
}

void frmUpdate::setResource(const QString& resource) {
    lblResource->setText("Update stores to: " + resource);
}

void frmUpdate::fill(const QString& text) {
    QString lines = text;
    lines.replace("\r\n", "\n");
    rtfXMlDoc->setPlainText(lines);
    rtfXMlDoc->document()->setModified(false);
    origin_ = {};
}

void frmUpdate::open() {
    show();
    raise();
    activateWindow();
    rtfXMlDoc->setFocus(Qt::OtherFocusReason);
    rtfXMlDoc->moveCursor(QTextCursor::Start);
}

void frmUpdate::restore(const Draft& draft) {
    fill(draft.text);
    origin_ = draft.origin;
    rtfXMlDoc->document()->setModified(true);
}

void frmUpdate::xmldoc(const QString& filename) {
    const std::string bytes = files::readAll(filename.toStdString());
    fill(QString::fromStdString(text::toValidUtf8(bytes)));
}

void frmUpdate::NewDoc() {
    fill(kNewDocument);
}

QString frmUpdate::lines() const {
    // The editor's plain text would turn no-break spaces into spaces: the raw text keeps every character.
    QString raw = rtfXMlDoc->document()->toRawText();
    for (QChar& c : raw) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator) c = '\n';
    }
    return raw;
}

QString frmUpdate::text() const {
    return lines().replace("\n", "\r\n");
}

bool frmUpdate::hasUnsavedChanges() const {
    return rtfXMlDoc->document()->isModified();
}

void frmUpdate::Stored(EditOrigin origin) {
    origin_ = std::move(origin);
    rtfXMlDoc->document()->setModified(false);
    hide();
}

void frmUpdate::Discard() {
    rtfXMlDoc->document()->setModified(false);
}

void frmUpdate::requestStore() {
    // Asked for by a question that goes on once the text is stored (Store before closing, say): it cannot
    // wait for a pool thread.
    whileChecking(false, XmlChecker::Where::InPlace, [this](const XmlVerdict& verdict) { store(verdict); });
}

void frmUpdate::Command1_Click() {
    whileChecking(false, XmlChecker::Where::BySize, [this](const XmlVerdict& verdict) { store(verdict); });
}

void frmUpdate::store(const XmlVerdict& verdict) {
    if (verdict.problem &&
        !toolkit_.AskYesNo("The text is not well-formed XML (" + verdict.problem->describe().toStdString() +
                               "). Store it anyway?",
                           kAppTitle))
        return;
    emit UpdateDoc(QString(verdict.text).replace("\n", "\r\n"));
}

void frmUpdate::Command2_Click() {
    hide();
}

void frmUpdate::cmdFormat_Click() {
    whileChecking(true, XmlChecker::Where::BySize, [this](const XmlVerdict& verdict) {
        // A text that is not well-formed stays as it is; the line under it says why.
        if (!verdict.formatted) return;
        if (!verdict.formatted->text) {
            toolkit_.MsgBox(verdict.formatted->why.toStdString(), kAppTitle);
            return;
        }
        if (*verdict.formatted->text == verdict.text) return;
        // One edit, so that Undo brings the text back as it was.
        QTextCursor all(rtfXMlDoc->document());
        all.select(QTextCursor::Document);
        all.insertText(*verdict.formatted->text);
    });
}

void frmUpdate::whileChecking(bool format, XmlChecker::Where where,
                              const std::function<void(const XmlVerdict&)>& then) {
    if (checking_) return;
    // A large text is checked off this thread: until the verdict is in, the text stays as it was checked,
    // and a second Update or Format waits for the first.
    checking_ = true;
    rtfXMlDoc->setReadOnly(true);
    checker_->checkThen(format, where, [this, then](const XmlVerdict& verdict) {
        checking_ = false;
        rtfXMlDoc->setReadOnly(false);
        // The text may have been replaced meanwhile (the main window fills the editor): the verdict is then
        // about a text that is gone.
        if (verdict.text == lines()) then(verdict);
    });
}

void frmUpdate::showCheck(const std::optional<XmlProblem>& problem) {
    errorAt_.reset();
    if (problem) errorAt_.emplace(problem->line, problem->column);
    cmdXmlError->setText(problem ? problem->describe() : QString("Well-formed XML"));
    cmdXmlError->setEnabled(problem.has_value());
    QPalette palette = cmdXmlError->palette();
    palette.setColor(QPalette::ButtonText, problem ? QColor(0xB0, 0x00, 0x00) : QColor(0x20, 0x70, 0x20));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x20, 0x70, 0x20));
    cmdXmlError->setPalette(palette);
}

void frmUpdate::cmdXmlError_Click() {
    if (!errorAt_) return;
    QTextCursor cursor(rtfXMlDoc->document());
    cursor.setPosition(offsetOf(lines(), errorAt_->first, errorAt_->second));
    rtfXMlDoc->setTextCursor(cursor);
    rtfXMlDoc->ensureCursorVisible();
    rtfXMlDoc->setFocus();
}

}  // namespace ostrel::ui
