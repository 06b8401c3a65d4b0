#include "ui/frmMain.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

#include "client/Replies.h"
#include "platform/Files.h"
#include "ui/Browsing.h"
#include "ui/ErrorGuard.h"
#include "ui/FolderLists.h"
#include "ui/Icons.h"
#include "ui/RequestRunner.h"
#include "ui/Text.h"
#include "ui/Twips.h"
#include "ui/frmBrowse.h"
#include "ui/frmLogon.h"
#include "ui/frmUpdate.h"

namespace ostrel::ui {

namespace {

QPushButton* button(QWidget* parent, const char* name, const char* caption, QRect twipsRectangle) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    placeTwips(b, twipsRectangle);
    b->setAutoDefault(false);
    return b;
}

// A button with a 32x32 picture above its caption.
QToolButton* pictureButton(QWidget* parent, const char* name, const char* caption, const QPixmap& picture,
                           QRect twipsRectangle) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setText(caption);
    b->setIcon(QIcon(picture));
    b->setIconSize(QSize(32, 32));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    placeTwips(b, twipsRectangle);
    return b;
}

}  // namespace

frmMain::frmMain(Toolkit& toolkitToUse, QWidget* parent) : QWidget(parent), toolkit(toolkitToUse) {
    setObjectName("frmMain");
    setWindowTitle("Simple WebDAV client");
    setWindowIcon(mainWindowIcon());
    resize(twips(11310), twips(7515));
    useLayoutFont(this);
    buildControls();
}

frmMain::~frmMain() = default;

void frmMain::buildControls() {
    Label1 = new QLabel("Resource", this);
    Label1->setObjectName("Label1");
    placeTwips(Label1, {240, 360, 1335, 255});
    txtWebDAVResource = new QLineEdit("xbrl/config/Document_1.xml", this);
    txtWebDAVResource->setObjectName("txtWebDAVResource");
    placeTwips(txtWebDAVResource, {240, 720, 5415, 285});
    Command1 = button(this, "Command1", "Property names", {5880, 360, 1335, 255});
    Command2 = button(this, "Command2", "All properties", {5880, 720, 1335, 255});
    Command3 = button(this, "Command3", "Get document", {7680, 360, 1455, 255});
    Command4 = button(this, "Command4", "Modify document", {7680, 1200, 1455, 255});
    Command5 = button(this, "Command5", "Delete document", {7680, 1560, 1455, 255});
    Command6 = pictureButton(this, "Command6", "Unlock", padlockOpenPicture(), {9360, 1200, 855, 795});
    Command7 = button(this, "Command7", "OpaqueToken", {5880, 1080, 1335, 255});
    Command8 = button(this, "Command8", "Get resources", {240, 1200, 1335, 255});
    lstResult = new QListWidget(this);
    lstResult->setObjectName("lstResult");
    lstResult->setUniformItemSizes(true);
    placeTwips(lstResult, {360, 2280, 5415, 2595});
    Command9 = pictureButton(this, "Command9", "&Lock", padlockClosedPicture(), {9360, 360, 855, 795});
    Command10 = button(this, "Command10", "New document", {7680, 720, 1455, 255});
    Command11 = button(this, "Command11", "Copy document", {8400, 4800, 1455, 255});
    Drive1 = new DriveListBox(this);
    Drive1->setObjectName("Drive1");
    placeTwips(Drive1, {6000, 2280, 3855, 315});
    Dir1 = new DirListBox(this);
    Dir1->setObjectName("Dir1");
    placeTwips(Dir1, {6000, 2640, 3855, 1440});
    lblPath = new QLabel(this);
    lblPath->setObjectName("lblPath");
    lblPath->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    placeTwips(lblPath, {6000, 4080, 3855, 255});

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
    connect(Drive1, &QComboBox::currentIndexChanged, this, &frmMain::Drive1_Change);
    connect(Dir1, &DirListBox::Change, this, &frmMain::Dir1_Change);
    connect(Dir1, &DirListBox::pathRequested, this, &frmMain::Dir1_PathRequested);
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
        runner = std::make_unique<RequestRunner>(*davClient, this);
        davClient->WebDAVURI(toolkit.InputBox("URI Ostrel WebDAVServer?", "URI WebDAV server", kDefaultUri));
        logonForm = new frmLogon(this);
        connect(logonForm, &frmLogon::LoggedOn, this, &frmMain::logonForm_LoggedOn);
        logonForm->exec();
        updform = std::make_unique<frmUpdate>(toolkit);
        connect(updform.get(), &frmUpdate::UpdateDoc, this, &frmMain::updform_UpdateDoc);
        updform->setResource(txtWebDAVResource->text());
        connect(txtWebDAVResource, &QLineEdit::textChanged, updform.get(), &frmUpdate::setResource);
    });
}

void frmMain::logonForm_LoggedOn(const QString& userId, const QString& password) {
    davClient->UserId(userId.toStdString());
    davClient->Password(password.toStdString());
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (updform && updform->hasUnsavedChanges() &&
        !toolkit.AskYesNo("The editor holds changes that have not been stored on the server.\r\n"
                          "Close the program and discard them?",
                          kAppTitle)) {
        event->ignore();
        return;
    }
    if (updform) updform->hide();
    if (browser) browser->hide();
    event->accept();
}

// ---------------------------------------------------------------------------------------------------------
// Browsing

void frmMain::Command8_Click() {
    guarded([this] {
        XmlDocument reply = runner->run(
            "Get resources", [&, resource = field()] { return listCollection(*davClient, resource); });
        const std::vector<std::string> names = replies::displayNames(reply);

        const QSignalBlocker quiet(lstResult);
        lstResult->clear();
        QStringList entries;
        for (const std::string& entry : browsing::listing(field(), names))
            entries << QString::fromStdString(entry);
        lstResult->addItems(entries);
        lstResult->setCurrentRow(-1);
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

void frmMain::ShowResult(XmlDocument reply) {
    const std::string path = toolkit.ResultFilePath();
    // Writing, reading back and parsing a large result take a while: they run off the user-interface
    // thread, and the busy cursor stays until the viewer has painted the new document.
    BusyCursor busy;
    if (browser) browser->ReleasePage();
    XmlPage page = runner->run("Result", [&] {
        files::makeFolders(QFileInfo(QString::fromStdString(path)).absolutePath().toStdString());
        if (files::exists(path)) files::remove(path);
        reply.save(path);
        {
            // A large document takes a while to free as well.
            const XmlDocument freed = std::move(reply);
        }
        return XmlView::read(QString::fromStdString(path));
    });
    if (!browser) browser = std::make_unique<frmBrowse>();
    browser->ShowPage(std::move(page));
    browser->show();
    browser->raise();
    browser->repaint();
}

// ---------------------------------------------------------------------------------------------------------
// Documents

void frmMain::Command3_Click() {
    guarded([this] {
        ShowResult(runner->run("Get document",
                               [&, resource = field()] { return davClient->GetDocument(resource); }));
    });
}

void frmMain::Command4_Click() {
    guarded([this] {
        updform->xmldoc(QString::fromStdString(toolkit.ResultFilePath()));
        updform->show();
        updform->raise();
    });
}

void frmMain::Command10_Click() {
    guarded([this] {
        if (trimBlanks(field()).empty()) {
            message("Select a collection first before continuing");
            return;
        }
        lockToken.clear();
        updform->NewDoc();
        updform->show();
        updform->raise();
    });
}

void frmMain::Command5_Click() {
    guarded([this] {
        XmlDocument reply = runner->run(
            "Delete document", [&, resource = field()] { return davClient->DeleteDocument(resource, ""); });
        if (reply.hasChildNodes()) {
            ShowResult(std::move(reply));
        } else {
            message("Resource " + field() + " deleted");
        }
    });
}

void frmMain::Command11_Click() {
    guarded([this] {
        runner->run("Copy document",
                    [&, resource = field()] { davClient->CopyResource(resource, kCopyDestination); });
    });
}

void frmMain::updform_UpdateDoc(const QString& xmldoc) {
    guarded([this, &xmldoc] {
        XmlDocument reply = runner->run("Update document", [&, resource = field()] {
            return davClient->UpdateDocument(resource, xmldoc.toStdString(), lockToken);
        });
        // The text is on the server now; until here a failure leaves the editor open with it.
        updform->Stored();
        if (reply.hasChildNodes()) {
            ShowResult(std::move(reply));
        } else {
            message("Document updated");
        }
    });
}

// ---------------------------------------------------------------------------------------------------------
// Properties and locks

void frmMain::Command1_Click() {
    guarded([this] {
        ShowResult(runner->run("Property names",
                               [&, resource = field()] { return davClient->GetAllPropertyNames(resource); }));
    });
}

void frmMain::Command2_Click() {
    guarded([this] {
        ShowResult(runner->run("All properties",
                               [&, resource = field()] { return davClient->GetAllProperties(resource); }));
    });
}

void frmMain::Command9_Click() {
    guarded([this] {
        runner->run("Lock", [&, resource = field()] { davClient->LockResource(resource); });
        message("Resource " + field() + " has been locked\r\nLock token is " + davClient->opaquetoken());
        lockToken = davClient->opaquetoken();
    });
}

void frmMain::Command6_Click() {
    guarded([this] {
        runner->run("Unlock", [&, resource = field()] { davClient->UnlockResource(resource, lockToken); });
        message("Resource " + field() + " has been unlocked");
        lockToken.clear();
    });
}

void frmMain::Command7_Click() {
    guarded([this] {
        XmlDocument reply = runner->run("OpaqueToken", [&, resource = field()] {
            return davClient->FindPropertyByName(resource, "lockdiscovery");
        });
        const XmlNode locktoken = replies::firstLockToken(reply);
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
