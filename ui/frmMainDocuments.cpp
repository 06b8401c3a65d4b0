// The main window's document commands and what keeps the editor's text safe: the question before unstored
// text is replaced, the conflict check on storing, and the draft that outlives a crash.
#include <QLineEdit>
#include <QTimer>

#include <exception>
#include <optional>

#include "platform/Error.h"
#include "ui/CommandSteps.h"
#include "ui/ErrorGuard.h"
#include "ui/JobRunner.h"
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
        std::string etag;
        XmlPage page = runner->run("Get document", [&](JobProgress& job) {
            beginRequest(job, *davClient);
            WebDAVClient::FetchedDocument fetched = davClient->FetchDocument(resource);
            etag = std::move(fetched.etag);
            return resultSteps(job, std::move(fetched.document));
        });
        ShowResult(std::move(page));
        resultOrigin = {resource, etag, true};
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
        std::optional<XmlPage> page = runner->run(
            "Delete document", [&, resource = field()](JobProgress& job) -> std::optional<XmlPage> {
                beginRequest(job, *davClient);
                XmlDocument reply = davClient->DeleteDocument(resource, "");
                if (!reply.hasChildNodes()) return std::nullopt;
                // Deleted: a Cancel now could not bring the document back.
                job.withholdCancel();
                return resultSteps(job, std::move(reply));
            });
        if (page) {
            ShowResult(std::move(*page));
        } else {
            message("Resource " + field() + " deleted");
        }
    });
}

void frmMain::Command11_Click() {
    guarded([this] {
        if (!confirmWholeServer("Copy document")) return;
        runner->run("Copy document", requestJob(*davClient, [&, resource = field()] {
                        davClient->CopyResource(resource, kCopyDestination);
                    }));
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
    // The store's reply, when it has one to show, goes on to the result file in the same job. Failing to show
    // it does not undo the store: that failure is raised once the editor knows the text is stored.
    struct Stored {
        StoreConflict conflict;
        std::string etag;
        std::optional<XmlPage> page;
        std::exception_ptr notShown;
    };
    const auto store = [&](const StoreExpectation& expected) {
        return runner->run("Update document", [&](JobProgress& job) {
            beginRequest(job, *davClient);
            WebDAVClient::StoreResult stored =
                davClient->StoreDocument(resource, xmldoc, lockToken, expected);
            Stored result{stored.conflict, std::move(stored.etag), std::nullopt, nullptr};
            if (stored.conflict != StoreConflict::None || !stored.reply.hasChildNodes()) return result;
            // Stored: a Cancel now could not take the text back from the server.
            job.withholdCancel();
            try {
                result.page = resultSteps(job, std::move(stored.reply));
            } catch (...) {
                result.notShown = std::current_exception();
            }
            return result;
        });
    };
    Stored result = store(expectationFor(updform->origin(), resource));
    if (result.conflict != StoreConflict::None) {
        if (toolkit.Choose(conflictQuestion(result.conflict, resource), {"Replace it", "Keep editing"}, 1, 1,
                           kAppTitle) != 0)
            return false;
        result = store({});
    }
    // The text is on the server now; until here a failure leaves the editor open with it.
    updform->Stored({resource, result.etag, true});
    forgetDraft();
    if (result.notShown) std::rethrow_exception(result.notShown);
    if (result.page) {
        ShowResult(std::move(*result.page));
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
