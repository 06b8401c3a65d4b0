#include "ui/JobRunner.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include "platform/Error.h"
#include "ui/ErrorGuard.h"

namespace ostrel::ui {

namespace {

constexpr int kDialogDelayMs = 300;
constexpr int kRefreshMs = 100;

// The modal dialog of a job that takes a while: the step under way, how far it got, the time so far, and
// Cancel (Esc) where the step offers it.
class ProgressDialog : public QDialog {
public:
    ProgressDialog(QWidget* parent, const QString& caption, JobProgress& progress)
        : QDialog(parent), progress_(progress) {
        setObjectName("progressDialog");
        setWindowTitle(caption);
        setWindowModality(Qt::ApplicationModal);
        auto* layout = new QVBoxLayout(this);
        step_ = new QLabel(this);
        step_->setObjectName("progressStep");
        step_->setTextInteractionFlags(Qt::TextSelectableByMouse);
        figures_ = new QLabel(this);
        elapsed_ = new QLabel(this);
        cancel_ = new QPushButton("Cancel", this);
        cancel_->setObjectName("progressCancel");
        layout->addWidget(step_);
        layout->addWidget(figures_);
        layout->addWidget(elapsed_);
        layout->addWidget(cancel_, 0, Qt::AlignRight);
        connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
        clock_.start();
        refresh();
    }

    void refresh() {
        const JobProgress::Report report = progress_.report();
        step_->setText(QString::fromStdString(report.what));
        figures_->setText(QString::fromStdString(report.figures));
        figures_->setVisible(!report.figures.empty());
        elapsed_->setText(
            QString("Elapsed %1 s").arg(static_cast<double>(clock_.elapsed()) / 1000.0, 0, 'f', 1));
        cancel_->setVisible(report.cancellable);
    }

    // Esc and the close box come here too. The dialog goes when the job ends.
    void reject() override { progress_.cancel(); }

private:
    JobProgress& progress_;
    QLabel* step_;
    QLabel* figures_;
    QLabel* elapsed_;
    QPushButton* cancel_;
    QElapsedTimer clock_;
};

// While a job runs, input to every window but the progress dialog is dropped, not queued: a click on
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

JobRunner::JobRunner(QWidget* window) : window_(window), worker_([this] { work(); }) {}

JobRunner::~JobRunner() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void JobRunner::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || job_ != nullptr; });
        if (stopping_) return;
        Job& job = *job_;
        lock.unlock();
        try {
            job.call(job.progress);
        } catch (...) {
            job.error = std::current_exception();
        }
        lock.lock();
        job_ = nullptr;
        QMetaObject::invokeMethod(&job.done, &QEventLoop::quit, Qt::QueuedConnection);
    }
}

void JobRunner::wait(const QString& caption, const Call& call) {
    std::exception_ptr error = attempt(caption, call);
    if (error && retryAfterFailure && retryAfterFailure(error)) error = attempt(caption, call);
    if (error) std::rethrow_exception(error);
    if (afterSuccess) afterSuccess();
}

std::exception_ptr JobRunner::attempt(const QString& caption, const Call& call) {
    QEventLoop done;
    Job job{call, done, {}, nullptr};
    ProgressDialog dialog(window_, caption, job.progress);
    InputBlocker blocker(dialog);
    BusyCursor busy;
    {
        std::lock_guard lock(mutex_);
        if (job_) {
            throw Error(static_cast<std::int32_t>(0x8000FFFFu), "JobRunner",
                        "Another request is still running");
        }
        job_ = &job;
    }
    wake_.notify_all();

    QTimer::singleShot(kDialogDelayMs, &dialog, [&dialog] {
        dialog.refresh();
        dialog.show();
    });
    QTimer refresh;
    connect(&refresh, &QTimer::timeout, &dialog, [&dialog] { dialog.refresh(); });
    refresh.start(kRefreshMs);
    done.exec();
    dialog.hide();
    return job.error;
}

}  // namespace ostrel::ui
