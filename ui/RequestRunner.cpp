#include "ui/RequestRunner.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include "client/WebDAVClient.h"
#include "platform/Error.h"
#include "ui/ErrorGuard.h"

namespace ostrel::ui {

namespace {

constexpr int kDialogDelayMs = 300;
constexpr int kRefreshMs = 100;

QString octets(long long count) {
    if (count < 10 * 1024) return QString("%1 octets").arg(count);
    if (count < 10 * 1024 * 1024) return QString("%1 KiB").arg(count / 1024);
    return QString("%1 MiB").arg(static_cast<double>(count) / (1024.0 * 1024.0), 0, 'f', 1);
}

QString ofTotal(long long done, long long total) {
    return total > 0 ? octets(done) + " of " + octets(total) : octets(done);
}

// The modal dialog of a request that takes a while: what is being done, how far it got, and Cancel (Esc).
// A step without a request shows only its caption and the time so far: the client's figures would be those
// of the request before it.
class ProgressDialog : public QDialog {
public:
    ProgressDialog(QWidget* parent, const QString& caption, WebDAVClient& client, bool cancellable)
        : QDialog(parent), client_(client), cancellable_(cancellable) {
        setObjectName("progressDialog");
        setWindowTitle(caption);
        setWindowModality(Qt::ApplicationModal);
        auto* layout = new QVBoxLayout(this);
        request_ = new QLabel(this);
        request_->setObjectName("progressRequest");
        request_->setTextInteractionFlags(Qt::TextSelectableByMouse);
        transfer_ = new QLabel(this);
        elapsed_ = new QLabel(this);
        auto* cancel = new QPushButton("Cancel", this);
        cancel->setObjectName("progressCancel");
        layout->addWidget(request_);
        layout->addWidget(transfer_);
        layout->addWidget(elapsed_);
        layout->addWidget(cancel, 0, Qt::AlignRight);
        connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
        for (QWidget* part : {static_cast<QWidget*>(request_), static_cast<QWidget*>(transfer_),
                              static_cast<QWidget*>(cancel)})
            part->setVisible(cancellable_);
        clock_.start();
        refresh();
    }

    void refresh() {
        elapsed_->setText(
            QString("Elapsed %1 s").arg(static_cast<double>(clock_.elapsed()) / 1000.0, 0, 'f', 1));
        if (!cancellable_) return;
        const HttpRequest::Progress progress = client_.Progress();
        request_->setText(QString::fromStdString(progress.method + " " + progress.url));
        transfer_->setText("Sent " + ofTotal(progress.sent, progress.toSend) + ", received " +
                           ofTotal(progress.received, progress.toReceive));
    }

    // Esc and the close box come here too. The dialog goes when the step ends.
    void reject() override {
        if (cancellable_) client_.Cancel();
    }

private:
    WebDAVClient& client_;
    const bool cancellable_;
    QLabel* request_;
    QLabel* transfer_;
    QLabel* elapsed_;
    QElapsedTimer clock_;
};

// While a request runs, input to every window but the progress dialog is dropped, not queued: a click on
// another command does nothing, then or afterwards.
class InputBlocker : public QObject {
public:
    explicit InputBlocker(const QDialog& allowed) : allowed_(allowed) { qApp->installEventFilter(this); }
    ~InputBlocker() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject* target, QEvent* event) override {
        if (!isInput(event->type())) return false;
        if (auto* widget = qobject_cast<QWidget*>(target))
            return widget != &allowed_ && !allowed_.isAncestorOf(widget);
        if (auto* window = qobject_cast<QWindow*>(target)) return window != allowed_.windowHandle();
        return false;
    }

private:
    static bool isInput(QEvent::Type type) {
        switch (type) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::Shortcut:
            case QEvent::ShortcutOverride:
            case QEvent::Wheel:
            case QEvent::ContextMenu:
            case QEvent::Close:
                return true;
            default:
                return false;
        }
    }

    const QDialog& allowed_;
};

}  // namespace

RequestRunner::RequestRunner(WebDAVClient& client, QWidget* window)
    : client_(client), window_(window), worker_([this] { work(); }) {}

RequestRunner::~RequestRunner() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void RequestRunner::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || job_ != nullptr; });
        if (stopping_) return;
        Job& job = *job_;
        lock.unlock();
        client_.ClearCancel();
        try {
            job.call();
        } catch (...) {
            job.error = std::current_exception();
        }
        lock.lock();
        job_ = nullptr;
        QMetaObject::invokeMethod(&job.done, &QEventLoop::quit, Qt::QueuedConnection);
    }
}

void RequestRunner::wait(const QString& caption, const std::function<void()>& call, Cancel cancel) {
    std::exception_ptr error = attempt(caption, call, cancel);
    if (error && retryAfterFailure && retryAfterFailure(error)) error = attempt(caption, call, cancel);
    if (error) std::rethrow_exception(error);
    if (afterSuccess) afterSuccess();
}

std::exception_ptr RequestRunner::attempt(const QString& caption, const std::function<void()>& call,
                                          Cancel cancel) {
    ProgressDialog dialog(window_, caption, client_, cancel == Cancel::Offered);
    InputBlocker blocker(dialog);
    BusyCursor busy;
    QEventLoop done;
    Job job{call, done, nullptr};
    {
        std::lock_guard lock(mutex_);
        if (job_) {
            throw Error(static_cast<std::int32_t>(0x8000FFFFu), "RequestRunner",
                        "Another request is still running");
        }
        job_ = &job;
    }
    wake_.notify_all();

    QTimer::singleShot(kDialogDelayMs, &dialog, [&dialog] { dialog.show(); });
    QTimer refresh;
    connect(&refresh, &QTimer::timeout, &dialog, [&dialog] { dialog.refresh(); });
    refresh.start(kRefreshMs);
    done.exec();
    dialog.hide();
    return job.error;
}

}  // namespace ostrel::ui
