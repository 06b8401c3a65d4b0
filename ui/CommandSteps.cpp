#include "ui/CommandSteps.h"

#include <QFileInfo>

#include "client/WebDAVClient.h"
#include "platform/Error.h"
#include "platform/Files.h"

namespace ostrel::ui {

namespace {

std::string octets(long long count) {
    if (count < 10 * 1024) return std::to_string(count) + " octets";
    if (count < 10 * 1024 * 1024) return std::to_string(count / 1024) + " KiB";
    return QString("%1 MiB").arg(static_cast<double>(count) / (1024.0 * 1024.0), 0, 'f', 1).toStdString();
}

std::string ofTotal(long long done, long long total) {
    return total > 0 ? octets(done) + " of " + octets(total) : octets(done);
}

JobProgress::Describe naming(std::string what) {
    return [what = std::move(what)] { return JobProgress::Report{what, {}}; };
}

}  // namespace

void beginRequest(JobProgress& job, WebDAVClient& client) {
    // A Cancel that came too late to stop the job before must not stop this one.
    client.ClearCancel();
    job.begin(
        [&client] {
            const HttpRequest::Progress progress = client.Progress();
            return JobProgress::Report{progress.method + " " + progress.url,
                                       "Sent " + ofTotal(progress.sent, progress.toSend) + ", received " +
                                           ofTotal(progress.received, progress.toReceive)};
        },
        [&client] { client.Cancel(); });
}

ResultFile::ResultFile(std::string path) : path_(std::move(path)), beside_(path_ + ".new") {}

ResultFile::~ResultFile() {
    if (placed_) return;
    try {
        files::remove(beside_);
    } catch (const Error&) {
    }
}

void ResultFile::write(const XmlDocument& reply) {
    files::makeFolders(QFileInfo(QString::fromStdString(path_)).absolutePath().toStdString());
    reply.save(beside_);
}

XmlPage ResultFile::readBack() const {
    return XmlView::read(QString::fromStdString(beside_));
}

void ResultFile::putInPlace() {
    files::replace(beside_, path_);
    placed_ = true;
}

XmlPage resultPage(JobProgress& job, XmlDocument reply, const std::string& path) {
    ResultFile result(path);
    job.begin(naming("Writing the result file " + path));
    result.write(reply);
    {
        // A large document takes a while to free as well.
        const XmlDocument freed = std::move(reply);
    }
    job.begin(naming("Reading the result file " + path));
    XmlPage page = result.readBack();
    job.stopIfCancelled();
    result.putInPlace();
    return page;
}

}  // namespace ostrel::ui
