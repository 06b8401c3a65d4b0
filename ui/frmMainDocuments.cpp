// The main window's document commands and what keeps the editor's text safe: the question before unstored
// text is replaced, the conflict check on storing, and the draft that outlives a crash.
#include <QLineEdit>
#include <QTimer>

#include "platform/Error.h"
#include "ui/ErrorGuard.h"
#include "ui/RequestRunner.h"
#include "ui/Text.h"
#include "ui/frmMain.h"
#include "ui/frmUpdate.h"

namespace ostrel::ui {

namespace {

using StoreExpectation = WebDAVClient::StoreExpectation;
using StoreConflict = WebDAVClient::StoreConflict;

// A store back to the resource the text was fetched from expects that copy; anywhere else it expects no
// document, so that it never replaces one unasked.
StoreExpectation expectationFor(const EditOrigin& origin, const std::string& target) {
    if (origin.fetched && origin.resource == target) return {StoreExpectation::Kind::Unchanged, origin.etag};
    return {StoreExpectation::Kind::Absent, {}};
}

std::string conflictQuestion(StoreConflict conflict, const std::string& resource) {
    const std::string what =
        conflict == StoreConflict::Exists
            ? "The document " + resource + " already exists on the server."
            : "The document " + resource + " changed on the server since you fetched it.";
    return what + "\r\nReplace it with the editor's text, or keep editing?";
}

}  // namespace

void frmMain::Command3_Click() {
    guarded([this] {
        const std::string resource = field();
        WebDAVClient::FetchedDocument fetched =
            runner->run("Get document", [&] { return davClient->FetchDocument(resource); });
        ShowResult(std::move(fetched.document));
        resultOrigin = {resource, fetched.etag, true};
    });
}

void frmMain::Command4_Click() {
    guarded([this] {
        if (!settleUnsavedEdits()) return;
        updform->xmldoc(QString::fromStdString(toolkit.ResultFilePath()));
        updform->setOrigin(resultOrigin);
        updform->open();
    });
}

void frmMain::Command10_Click() {
    guarded([this] {
        if (trimBlanks(field()).empty()) {
            message("Select a collection first before continuing");
            return;
        }
        if (!settleUnsavedEdits()) return;
        lockToken.clear();
        updform->NewDoc();
        updform->open();
    });
}

void frmMain::mnuEditor_Click() {
    if (updform) updform->open();
}

void frmMain::Command5_Click() {
    guarded([this] {
        if (!toolkit.AskYesNo("Delete the document " + field() + " from the server?", kAppTitle)) return;
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
        if (!confirmWholeServer("Copy document")) return;
        runner->run("Copy document",
                    [&, resource = field()] { davClient->CopyResource(resource, kCopyDestination); });
    });
}

bool frmMain::confirmWholeServer(const char* command) {
    return !trimBlanks(field()).empty() ||
           toolkit.AskYesNo("The resource field is empty: " + std::string(command) +
                                " acts on the whole server, every collection and document on it.\r\nGo on?",
                            kAppTitle);
}

void frmMain::updform_UpdateDoc(const QString& xmldoc) {
    guarded([this, &xmldoc] { storeEditorText(xmldoc.toStdString()); });
}

bool frmMain::storeEditorText(const std::string& xmldoc) {
    const std::string resource = field();
    const auto store = [&](const StoreExpectation& expected) {
        return runner->run("Update document",
                           [&] { return davClient->StoreDocument(resource, xmldoc, lockToken, expected); });
    };
    WebDAVClient::StoreResult result = store(expectationFor(updform->origin(), resource));
    if (result.conflict != StoreConflict::None) {
        if (toolkit.Choose(conflictQuestion(result.conflict, resource), {"Replace it", "Keep editing"}, 1, 1,
                           kAppTitle) != 0)
            return false;
        result = store({});
    }
    // The text is on the server now; until here a failure leaves the editor open with it.
    updform->Stored({resource, result.etag, true});
    forgetDraft();
    if (result.reply.hasChildNodes()) {
        ShowResult(std::move(result.reply));
    } else {
        message("Document updated");
    }
    return true;
}

bool frmMain::settleUnsavedEdits() {
    if (!updform || !updform->hasUnsavedChanges()) return true;
    enum { Store, Discard, Cancel };
    switch (
        toolkit.Choose("The editor holds changes that have not been stored on the server.\r\n"
                       "Store them first, or discard them?",
                       {"Store", "Discard", "Cancel"}, Store, Cancel, kAppTitle)) {
        case Store:
            updform->requestStore();
            return !updform->hasUnsavedChanges();
        case Discard:
            updform->Discard();
            forgetDraft();
            return true;
        default:
            return false;
    }
}

// ---------------------------------------------------------------------------------------------------------
// Drafts

void frmMain::updform_edited() {
    // Written a moment after typing stops, so a crash loses at most that moment.
    draftTimer->start();
}

void frmMain::draftTimer_Timer() {
    if (!drafts || !updform->hasUnsavedChanges()) return;
    const auto save = [this] { drafts->save({updform->lines(), field(), updform->origin(), lockToken}); };
    if (!draftFailureShown) {
        draftFailureShown = !guarded(save);
        return;
    }
    // Said once already: a box after every pause in typing would make the editor unusable.
    try {
        save();
    } catch (const Error&) {
    }
}

void frmMain::forgetDraft() {
    if (draftTimer) draftTimer->stop();
    if (drafts) guarded([this] { drafts->remove(); });
}

void frmMain::offerLeftOverDraft() {
    draftTimer = new QTimer(this);
    draftTimer->setSingleShot(true);
    draftTimer->setInterval(1000);
    connect(draftTimer, &QTimer::timeout, this, &frmMain::draftTimer_Timer);
    connect(updform.get(), &frmUpdate::edited, this, &frmMain::updform_edited);
    drafts = std::make_unique<Drafts>(Drafts::defaultFolder());
    const std::optional<Draft> draft = drafts->takeLeftOver();
    if (!draft) return;
    const bool restore =
        toolkit.Choose(
            "An earlier run of the program ended while the editor held text that was not stored on "
            "the server" +
                (draft->target.empty() ? "" : " (for " + draft->target + ")") +
                ".\r\nRestore it in the editor, or discard it?",
            {"Restore", "Discard"}, 0, 0, kAppTitle) == 0;
    if (restore) {
        txtWebDAVResource->setText(QString::fromStdString(draft->target));
        lockToken = draft->lockToken;
        updform->restore(*draft);
        // This run's own draft first, so that the text is on disk at every moment.
        draftTimer_Timer();
        updform->open();
    }
    drafts->forgetLeftOver();
}

}  // namespace ostrel::ui
