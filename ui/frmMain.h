#pragma once

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "client/WebDAVClient.h"
#include "platform/ExchangeLog.h"
#include "platform/Toolkit.h"
#include "ui/Drafts.h"
#include "ui/Twips.h"

class QCompleter;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenuBar;
class QPushButton;
class QTimer;
class QToolButton;

namespace ostrel::ui {

class DirListBox;
class DriveListBox;
class JobProgress;
class JobRunner;
class Keyring;
class ServerMemory;
class ServerTrust;
class frmBrowse;
class frmLog;
class frmLogon;
class frmUpdate;
struct XmlPage;

// The main window: it owns the one WebDAV client, starts up by asking for the server and the credentials,
// and runs every command. Each handler reads the resource field, makes at most one request, and shows the
// outcome in a message box or, for a reply document, in the shared result viewer.
class frmMain : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kDefaultUri = "http://127.0.0.1:4000/ostrelwebdavserver";
    static constexpr const char* kCopyDestination = "http://127.0.0.1/WebDAV Folder/";

    explicit frmMain(Toolkit& toolkit, QWidget* parent = nullptr);
    ~frmMain() override;

    // Start-up, before the window is first shown: the client, the server URI prompt, the modal logon dialog,
    // the hidden editor.
    void Form_Load();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private slots:
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Command7_Click();
    void Command8_Click();
    void Command9_Click();
    void Command10_Click();
    void Command11_Click();
    void lstResult_Click();
    void lstResult_DblClick(QListWidgetItem* item);
    void mnuChangeServer_Click();
    void mnuLogonAgain_Click();
    void mnuForgetServer_Click();
    void mnuResultViewer_Click();
    void mnuEditor_Click();
    void mnuProtocolLog_Click();
    void mnuShortcuts_Click();
    void mnuAbout_Click();
    void Drive1_Change();
    void Dir1_Change();
    void Dir1_PathRequested(const QString& path);
    void logonForm_LoggedOn(const QString& userId, const QString& password);
    void updform_UpdateDoc(const QString& xmldoc);
    void updform_edited();
    void draftTimer_Timer();

private:
    void buildControls();
    void buildMenus();
    void describeForAssistiveTools();
    void arrangeControls();
    // Runs a handler under the error guard; true when it ran to its end.
    bool guarded(const std::function<void()>& handler);
    void message(const std::string& text);
    std::string field() const;
    // A reply document is shown in two halves: written to the result file and read back as the last steps
    // of the command's job, on the worker; then shown in the viewer.
    XmlPage resultSteps(JobProgress& job, XmlDocument reply);
    void ShowResult(XmlPage page);

    // Before the editor's text is replaced or the server or user changes: text that is not stored is
    // stored, discarded, or kept by answering Cancel. True when the command may go on.
    bool settleUnsavedEdits();
    // Stores the editor's text at the resource field, asking before it replaces a change made on the server
    // meanwhile or a document that exists. True when the text went to the server.
    bool storeEditorText(const std::string& xmldoc);
    // A command on an empty or blank field acts on the server's root and everything below it: asked first.
    bool confirmWholeServer(const char* command);
    // What is remembered between runs (frmMainMemory.cpp): the URI prompt offering the servers used
    // before, the chosen server's user id, password, pin and recent resources, and what a logon or a
    // command that went through leaves behind.
    void startRemembering();
    std::string askServer();
    void useServer(const std::string& uri);
    void rememberLogon(const QString& userId, const QString& password);
    void rememberResource();
    void offerLeftOverDraft();
    void forgetDraft();
    Toolkit& toolkit;

    QLabel* Label1;
    QLineEdit* txtWebDAVResource;
    QPushButton* Command1;
    QPushButton* Command2;
    QPushButton* Command3;
    QPushButton* Command4;
    QPushButton* Command5;
    QToolButton* Command6;
    QPushButton* Command7;
    QPushButton* Command8;
    QListWidget* lstResult;
    QToolButton* Command9;
    QPushButton* Command10;
    QPushButton* Command11;
    DriveListBox* Drive1;
    DirListBox* Dir1;
    QLabel* lblPath;
    QMenuBar* menuBar;
    AnchoredLayout placements;

    // Declared before the client and the worker, so they go last: the worker reports to the log until it
    // stops. The log keeps what the client exchanged whether or not its window is open.
    ExchangeLog exchangeLog{ExchangeLog::kKept};
    std::unique_ptr<frmLog> logWindow;
    std::unique_ptr<WebDAVClient> davClient;
    // Declared after the client, so it goes first: the worker must stop before the client it uses.
    std::unique_ptr<JobRunner> runner;
    frmLogon* logonForm = nullptr;  // a child of this window
    std::unique_ptr<frmUpdate> updform;
    std::unique_ptr<frmBrowse> browser;
    std::string lockToken;
    std::string lastPicked;
    // Where the shown result came from: a fetched document, or nothing a store could replace.
    EditOrigin resultOrigin;
    std::unique_ptr<ServerMemory> memory;
    std::unique_ptr<Keyring> keyring;
    std::unique_ptr<ServerTrust> trust;
    QCompleter* resourceCompleter = nullptr;
    std::unique_ptr<Drafts> drafts;
    QTimer* draftTimer = nullptr;
    bool draftFailureShown = false;
};

}  // namespace ostrel::ui
