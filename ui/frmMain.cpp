#include "ui/frmMain.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QToolButton>

#include "client/Names.h"
#include "client/Replies.h"
#include "platform/HttpRequest.h"
#include "ui/Browsing.h"
#include "ui/CommandSteps.h"
#include "ui/ErrorGuard.h"
#include "ui/FolderLists.h"
#include "ui/Icons.h"
#include "ui/JobRunner.h"
#include "ui/Keyring.h"
#include "ui/ListingFill.h"
#include "ui/ServerMemory.h"
#include "ui/ServerTrust.h"
#include "ui/Shortcuts.h"
#include "ui/Text.h"
#include "ui/Twips.h"
#include "ui/frmBrowse.h"
#include "ui/frmLog.h"
#include "ui/frmLogon.h"
#include "ui/frmUpdate.h"

namespace ostrel::ui {

namespace {

// The client area the controls were drawn for, below the menu bar.
constexpr QSize kDrawnClientArea(11310, 7515);

QPushButton* button(QWidget* parent, const char* name, const char* caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

// A button with a 32x32 picture above its caption.
QToolButton* pictureButton(QWidget* parent, const char* name, const char* caption, const QPixmap& picture) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setText(caption);
    b->setIcon(QIcon(picture));
    b->setIconSize(QSize(32, 32));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    return b;
}

}  // namespace

frmMain::frmMain(Toolkit& toolkitToUse, QWidget* parent)
    : QWidget(parent),
      toolkit(toolkitToUse),
      placements(kDrawnClientArea, AnchoredLayout::Smaller::KeepsDrawn) {
    setObjectName("frmMain");
    setWindowTitle("Simple WebDAV client");
    setWindowIcon(mainWindowIcon());
    useLayoutFont(this);
    buildControls();
    logWindow = std::make_unique<frmLog>(toolkit, exchangeLog);
    buildMenus();
    describeForAssistiveTools();
    resize(twips(kDrawnClientArea.width()), twips(kDrawnClientArea.height()) + menuBar->sizeHint().height());
    // Smaller, the controls drawn at the right and bottom would be cut off: every one stays whole.
    setMinimumSize(placements.wholeControls() + QSize(0, menuBar->sizeHint().height()));
    arrangeControls();
}

frmMain::~frmMain() = default;

void frmMain::buildControls() {
    Label1 = new QLabel("Resource", this);
    Label1->setObjectName("Label1");
    txtWebDAVResource = new QLineEdit("xbrl/config/Document_1.xml", this);
    txtWebDAVResource->setObjectName("txtWebDAVResource");
    Command1 = button(this, "Command1", "Property names");
    Command2 = button(this, "Command2", "All properties");
    Command3 = button(this, "Command3", "Get document");
    Command4 = button(this, "Command4", "Modify document");
    Command5 = button(this, "Command5", "Delete document");
    Command6 = pictureButton(this, "Command6", "Unlock", padlockOpenPicture());
    Command7 = button(this, "Command7", "OpaqueToken");
    Command8 = button(this, "Command8", "Get resources");
    lstResult = new QListWidget(this);
    lstResult->setObjectName("lstResult");
    lstResult->setUniformItemSizes(true);
    Command9 = pictureButton(this, "Command9", "&Lock", padlockClosedPicture());
    Command10 = button(this, "Command10", "New document");
    Command11 = button(this, "Command11", "Copy document");
    Drive1 = new DriveListBox(this);
    Drive1->setObjectName("Drive1");
    Dir1 = new DirListBox(this);
    Dir1->setObjectName("Dir1");
    lblPath = new QLabel(this);
    lblPath->setObjectName("lblPath");
    lblPath->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    // The list takes the room a larger window gives; the local folder controls to its right keep beside it.
    constexpr int kMovesRight = kTop | kRight;
    placements.add(Label1, {240, 360, 1335, 255});
    placements.add(txtWebDAVResource, {240, 720, 5415, 285});
    placements.add(Command1, {5880, 360, 1335, 255});
    placements.add(Command2, {5880, 720, 1335, 255});
    placements.add(Command3, {7680, 360, 1455, 255});
    placements.add(Command4, {7680, 1200, 1455, 255});
    placements.add(Command5, {7680, 1560, 1455, 255});
    placements.add(Command6, {9360, 1200, 855, 795});
    placements.add(Command7, {5880, 1080, 1335, 255});
    placements.add(Command8, {240, 1200, 1335, 255});
    placements.add(lstResult, {360, 2280, 5415, 2595}, kAllEdges);
    placements.add(Command9, {9360, 360, 855, 795});
    placements.add(Command10, {7680, 720, 1455, 255});
    placements.add(Command11, {8400, 4800, 1455, 255}, kMovesRight);
    placements.add(Drive1, {6000, 2280, 3855, 315}, kMovesRight);
    placements.add(Dir1, {6000, 2640, 3855, 1440}, kMovesRight);
    placements.add(lblPath, {6000, 4080, 3855, 255}, kMovesRight);

    // Tab order as laid out: the field first, then the commands, the list and the local folder controls.
    const QList<QWidget*> order = {txtWebDAVResource, Command1,  Command2,  Command3, Command4,
                                   Command5,          Command6,  Command7,  Command8, lstResult,
                                   Command9,          Command10, Command11, Drive1,   Dir1};
    for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
    txtWebDAVResource->setFocus();

    // The folder list starts in the program's working folder; its label stays empty until the first change.
    Drive1->selectDriveOf(QDir::currentPath());
    {
        const QSignalBlocker quiet(Dir1);
        try {
            Dir1->setPath(QDir::currentPath());
        } catch (const Error&) {
            Dir1->setPath(QDir::rootPath());
        }
    }

    connect(Command1, &QPushButton::clicked, this, &frmMain::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmMain::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &frmMain::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &frmMain::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &frmMain::Command5_Click);
    connect(Command6, &QToolButton::clicked, this, &frmMain::Command6_Click);
    connect(Command7, &QPushButton::clicked, this, &frmMain::Command7_Click);
    connect(Command8, &QPushButton::clicked, this, &frmMain::Command8_Click);
    connect(Command9, &QToolButton::clicked, this, &frmMain::Command9_Click);
    connect(Command10, &QPushButton::clicked, this, &frmMain::Command10_Click);
    connect(Command11, &QPushButton::clicked, this, &frmMain::Command11_Click);
    connect(lstResult, &QListWidget::currentRowChanged, this, &frmMain::lstResult_Click);
    connect(lstResult, &QListWidget::itemDoubleClicked, this, &frmMain::lstResult_DblClick);
    connect(Drive1, &QComboBox::currentIndexChanged, this, &frmMain::Drive1_Change);
    connect(Dir1, &DirListBox::Change, this, &frmMain::Dir1_Change);
    connect(Dir1, &DirListBox::pathRequested, this, &frmMain::Dir1_PathRequested);
}

void frmMain::buildMenus() {
    menuBar = new QMenuBar(this);
    menuBar->setObjectName("menuBar");
    // Menu titles and shortcuts leave Alt+L (Lock) and Alt+H (the viewer's Hide) to the buttons, and every
    // key the resource field edits with to the field.
    QMenu* file = menuBar->addMenu("&File");
    file->setObjectName("menuFile");
    file->addAction("Change server…", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), this,
                    &frmMain::mnuChangeServer_Click);
    file->addAction("Log on again…", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_W), this,
                    &frmMain::mnuLogonAgain_Click);
    file->addAction("Forget this server", this, &frmMain::mnuForgetServer_Click);
    file->addSeparator();
    file->addAction("Quit", QKeySequence(Qt::CTRL | Qt::Key_Q), this, &QWidget::close);

    QMenu* commands = menuBar->addMenu("&Commands");
    commands->setObjectName("menuCommands");
    const std::pair<QAbstractButton*, QKeySequence> shortcuts[] = {
        {Command8, QKeySequence(Qt::Key_F5)},
        {Command1, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N)},
        {Command2, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P)},
        {Command7, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O)},
        {Command3, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_G)},
        {Command10, QKeySequence(Qt::CTRL | Qt::Key_N)},
        {Command4, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M)},
        {Command5, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D)},
        {Command11, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_K)},
        {Command9, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L)},
        {Command6, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_U)},
    };
    for (const auto& [command, keys] : shortcuts) {
        QAction* action = commands->addAction(command->text().remove('&'), keys);
        connect(action, &QAction::triggered, command, &QAbstractButton::click);
    }

    QMenu* view = menuBar->addMenu("&View");
    view->setObjectName("menuView");
    view->addAction("Result viewer", QKeySequence(Qt::CTRL | Qt::Key_R), this,
                    &frmMain::mnuResultViewer_Click);
    view->addAction("Editor", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E), this,
                    &frmMain::mnuEditor_Click);
    view->addAction("Protocol log", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T), this,
                    &frmMain::mnuProtocolLog_Click);

    QMenu* help = menuBar->addMenu("Hel&p");
    help->setObjectName("menuHelp");
    help->addAction("Keyboard shortcuts", QKeySequence(Qt::Key_F1), this, &frmMain::mnuShortcuts_Click);
    help->addAction("About", this, &frmMain::mnuAbout_Click);
}

void frmMain::describeForAssistiveTools() {
    // A screen reader names a field by the label that stands before it.
    Label1->setBuddy(txtWebDAVResource);
    lstResult->setAccessibleName("Resources");
    Drive1->setAccessibleName("Drive");
    Dir1->setAccessibleName("Folder");
    lblPath->setAccessibleName("Folder URL");
    Command9->setAccessibleDescription("Locks the resource named in the Resource field");
    Command6->setAccessibleDescription("Unlocks the resource named in the Resource field");
}

void frmMain::arrangeControls() {
    const int menuHeight = menuBar->sizeHint().height();
    menuBar->setGeometry(0, 0, width(), menuHeight);
    placements.arrange(QRect(0, menuHeight, width(), height() - menuHeight));
}

void frmMain::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    arrangeControls();
}

bool frmMain::guarded(const std::function<void()>& handler) {
    return ErrorGuard::run(toolkit, handler);
}

void frmMain::message(const std::string& text) {
    toolkit.MsgBox(text, kAppTitle);
}

std::string frmMain::field() const {
    return txtWebDAVResource->text().toStdString();
}

// ---------------------------------------------------------------------------------------------------------
// Start-up

void frmMain::Form_Load() {
    guarded([this] {
        davClient = std::make_unique<WebDAVClient>();
        davClient->SetExchangeObserver(&exchangeLog);
        runner = std::make_unique<JobRunner>(this);
        logonForm = new frmLogon(this);
        connect(logonForm, &frmLogon::LoggedOn, this, &frmMain::logonForm_LoggedOn);
        startRemembering();
        useServer(askServer());
        logonForm->exec();
        updform = std::make_unique<frmUpdate>(toolkit);
        connect(updform.get(), &frmUpdate::UpdateDoc, this, &frmMain::updform_UpdateDoc);
        updform->setResource(txtWebDAVResource->text());
        connect(txtWebDAVResource, &QLineEdit::textChanged, updform.get(), &frmUpdate::setResource);
        offerLeftOverDraft();
    });
}

void frmMain::logonForm_LoggedOn(const QString& userId, const QString& password) {
    davClient->UserId(userId.toStdString());
    davClient->Password(password.toStdString());
    rememberLogon(userId, password);
}

void frmMain::mnuChangeServer_Click() {
    guarded([this] {
        if (!davClient || !settleUnsavedEdits()) return;
        const std::string current = davClient->WebDAVURI();
        const std::string uri = askServer();
        // Cancel keeps the server in use.
        if (uri.empty() || uri == current) return;
        useServer(uri);
        // A lock token and a listing belong to the server they came from.
        lockToken.clear();
        lastPicked.clear();
        lstResult->clear();
    });
}

void frmMain::mnuLogonAgain_Click() {
    if (logonForm && settleUnsavedEdits()) logonForm->exec();
}

void frmMain::mnuResultViewer_Click() {
    if (!browser) browser = std::make_unique<frmBrowse>();
    browser->show();
    browser->raise();
    browser->activateWindow();
}

void frmMain::mnuShortcuts_Click() {
    ShortcutGroup main{"Main window", {}};
    for (const QAction* menu : menuBar->actions()) {
        for (const QAction* action : menu->menu()->actions()) {
            if (action->shortcut().isEmpty()) continue;
            main.shortcuts.push_back({action->text().remove('&'), {action->shortcut()}});
        }
    }
    main.shortcuts.push_back({"Lock (its button)", {QKeySequence(Qt::ALT | Qt::Key_L)}});
    ShortcutsDialog({main, editorShortcuts(), viewerShortcuts()}, this).exec();
}

void frmMain::mnuAbout_Click() {
    const std::string version = QCoreApplication::applicationVersion().toStdString();
    message(std::string(kAppTitle) + (version.empty() ? "" : " " + version) + "\r\n\r\nQt " + qVersion() +
            "\r\nlibcurl " + httpLibraryVersion() + "\r\nlibxml2 " + xmlLibraryVersion());
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (!settleUnsavedEdits()) {
        event->ignore();
        return;
    }
    if (updform) updform->hide();
    if (browser) browser->hide();
    logWindow->hide();
    event->accept();
}

void frmMain::mnuProtocolLog_Click() {
    logWindow->show();
    logWindow->raise();
    logWindow->activateWindow();
}

// ---------------------------------------------------------------------------------------------------------
// Browsing

void frmMain::Command8_Click() {
    guarded([this] {
        // Input waits while the command runs, so the field read now is the one the listing ends with.
        ListingFill fill(*lstResult, field());
        runner->run("Get resources", requestJob(*davClient, [&, resource = field()] {
                        listCollection(*davClient, resource, fill);
                        fill.complete();
                    }));
        fill.show();
        lastPicked.clear();
    });
}

void frmMain::lstResult_Click() {
    guarded([this] {
        const QListWidgetItem* item = lstResult->currentItem();
        if (!item) return;
        const browsing::Picked picked = browsing::pick(field(), lastPicked, item->text().toStdString());
        txtWebDAVResource->setText(QString::fromStdString(picked.field));
        lastPicked = picked.lastPicked;
    });
}

void frmMain::lstResult_DblClick(QListWidgetItem* item) {
    // The first click of the two has picked the entry; a document is shown, a collection listed, by the
    // client's own rule for telling them apart.
    (isDocumentName(item->text().toStdString()) ? Command3 : Command8)->click();
}

void frmMain::Drive1_Change() {
    guarded([this] { Dir1->setPath(Drive1->drive()); });
}

void frmMain::Dir1_Change() {
    guarded([this] {
        lblPath->setText(QString::fromStdString(browsing::folderUrl(Dir1->path().toStdString())));
    });
}

void frmMain::Dir1_PathRequested(const QString& path) {
    guarded([this, &path] { Dir1->setPath(path); });
}

XmlPage frmMain::resultSteps(JobProgress& job, XmlDocument reply) {
    // Asked here rather than before the job: the path is where the result's steps begin.
    return resultPage(job, std::move(reply), toolkit.ResultFilePath());
}

void frmMain::ShowResult(XmlPage page) {
    resultOrigin = {};
    // The busy cursor stays until the viewer has painted the new document.
    BusyCursor busy;
    if (!browser) browser = std::make_unique<frmBrowse>();
    browser->ShowPage(std::move(page));
    browser->show();
    browser->raise();
    browser->repaint();
}

// ---------------------------------------------------------------------------------------------------------
// Properties and locks

void frmMain::Command1_Click() {
    guarded([this] {
        if (!confirmWholeServer("Property names")) return;
        ShowResult(runner->run("Property names", [&, resource = field()](JobProgress& job) {
            beginRequest(job, *davClient);
            return resultSteps(job, davClient->GetAllPropertyNames(resource));
        }));
    });
}

void frmMain::Command2_Click() {
    guarded([this] {
        if (!confirmWholeServer("All properties")) return;
        ShowResult(runner->run("All properties", [&, resource = field()](JobProgress& job) {
            beginRequest(job, *davClient);
            return resultSteps(job, davClient->GetAllProperties(resource));
        }));
    });
}

void frmMain::Command9_Click() {
    guarded([this] {
        if (!confirmWholeServer("Lock")) return;
        runner->run("Lock",
                    requestJob(*davClient, [&, resource = field()] { davClient->LockResource(resource); }));
        message("Resource " + field() + " has been locked\r\nLock token is " + davClient->opaquetoken());
        lockToken = davClient->opaquetoken();
    });
}

void frmMain::Command6_Click() {
    guarded([this] {
        runner->run("Unlock", requestJob(*davClient, [&, resource = field()] {
                        davClient->UnlockResource(resource, lockToken);
                    }));
        message("Resource " + field() + " has been unlocked");
        lockToken.clear();
    });
}

void frmMain::Command7_Click() {
    guarded([this] {
        if (!confirmWholeServer("OpaqueToken")) return;
        XmlDocument reply = runner->run("OpaqueToken", requestJob(*davClient, [&, resource = field()] {
                                            return davClient->FindPropertyByName(resource, "lockdiscovery");
                                        }));
        const XmlNode locktoken = replies::firstLockToken(reply);
        if (!locktoken && !replies::reportsLockDiscovery(reply)) {
            // rclone answers lockdiscovery as a property it does not have: no token, and no word on locks.
            message("The server does not report the locks of " + field() +
                    ", so whether it is locked cannot be told.");
            return;
        }
        if (!locktoken) {
            message("Resource not locked");
            return;
        }
        const XmlNode href = locktoken.firstChild();
        if (!href) {
            throw Error(errors::kXmlBadArgument, "OpaqueToken",
                        "The server's lock discovery holds a lock token without its href");
        }
        lockToken = "<" + href.text() + ">";
    });
}

}  // namespace ostrel::ui
