#pragma once

#include <QString>

#include <memory>
#include <optional>
#include <string>

class QLockFile;

namespace ostrel::ui {

// Where the editor's text came from: the resource it was fetched from and the server's validator of that
// copy; or nothing that a store could replace (a new document, a reply that was not a document).
struct EditOrigin {
    std::string resource;
    std::string etag;
    bool fetched = false;
};

// What the editor holds that is not on the server yet.
struct Draft {
    QString text;        // lines separated by line feeds
    std::string target;  // the resource field: where Update stores
    EditOrigin origin;
    std::string lockToken;
};

// The editor's drafts on disk, so that a crash loses nothing typed: one file per run of the program in a
// folder of the user's own, written whole or not at all and readable by the user alone. A run holds a lock
// beside its draft for as long as it lives; a draft whose lock nobody holds was left by a run that ended
// without storing or discarding it.
class Drafts {
public:
    // $XDG_STATE_HOME/ostrel-webdav, by default ~/.local/state/ostrel-webdav.
    static QString defaultFolder();

    // Creates the folder (mode 0700) when missing and takes this run's lock. Raises an Error when the
    // folder cannot be made.
    explicit Drafts(QString folder);
    ~Drafts();
    Drafts(const Drafts&) = delete;
    Drafts& operator=(const Drafts&) = delete;

    void save(const Draft& draft);
    void remove();

    // A draft of a run that did not end, now held by this run until forgetLeftOver: the caller restores it
    // (and saves it as its own first) or discards it. Drafts that cannot be read are left where they are.
    std::optional<Draft> takeLeftOver();
    void forgetLeftOver();

private:
    QString pathOf(qint64 pid, const char* suffix) const;

    QString folder_;
    std::unique_ptr<QLockFile> lock_;
    QString leftOverPath_;
    std::unique_ptr<QLockFile> leftOverLock_;
};

}  // namespace ostrel::ui
