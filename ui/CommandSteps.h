#pragma once

#include <string>
#include <utility>

#include "ui/JobProgress.h"
#include "ui/XmlView.h"

namespace ostrel {
class WebDAVClient;
}

namespace ostrel::ui {

// The steps a command's job is made of: its request, then, for a reply that is shown, the result file.

// The request step: the dialog names the request in flight and its transfer so far, and Cancel stops it.
void beginRequest(JobProgress& job, WebDAVClient& client);

// A job of requests only: call makes them, and its result is the job's.
template <typename Call>
auto requestJob(WebDAVClient& client, Call call) {
    return [&client, call = std::move(call)](JobProgress& job) mutable {
        beginRequest(job, client);
        return call();
    };
}

// The result file, through which a reply document reaches the viewer and the editor. A new result is written
// beside the file and read back from there; it takes the file's place only once the whole of it was read, so
// that a command cancelled or failed on the way leaves the previous result as it was.
class ResultFile {
public:
    explicit ResultFile(std::string path);
    // Removes what was written and not put in place.
    ~ResultFile();
    ResultFile(const ResultFile&) = delete;
    ResultFile& operator=(const ResultFile&) = delete;

    void write(const XmlDocument& reply);
    XmlPage readBack() const;
    void putInPlace();

private:
    std::string path_;
    std::string beside_;
    bool placed_ = false;
};

// The steps that end the job of a command whose reply is shown: the reply written to the result file at path
// and read back for the viewer. It is let go of before the file is read, so a large reply is not held twice.
XmlPage resultPage(JobProgress& job, XmlDocument reply, const std::string& path);

}  // namespace ostrel::ui
